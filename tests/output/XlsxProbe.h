#pragma once
// Reads back what a test needs to see of an .xlsx file: cells with their kind and style,
// merged ranges, column widths, page set-up, footer and title. The file is opened as the
// zip it is and its parts parsed as XML, so inline-string cells (as written in constant
// memory mode) are read like any other.
#include <QFile>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>

#include <zip.h>

struct XlsxStyle {
    QString font;
    double size = 0;
    bool bold = false;
    QString hAlign;
    QString vAlign;
    QString numFmt;          // the format code ("General" for id 0, "@" text, "yyyy-mm-dd")
    bool allBorders = false; // left, right, top and bottom all drawn
};

struct XlsxCell {
    QString kind; // "text", "number", "blank"
    QString text; // the string, or the number as stored
    int style = 0;
};

class XlsxProbe {
public:
    explicit XlsxProbe(const QString &path)
    {
        int err = 0;
        zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
        if (!z) {
            error = QStringLiteral("not a zip file (%1)").arg(err);
            return;
        }
        const QByteArray sheet = part(z, "xl/worksheets/sheet1.xml");
        const QByteArray styles = part(z, "xl/styles.xml");
        const QByteArray core = part(z, "docProps/core.xml");
        const QByteArray shared = part(z, "xl/sharedStrings.xml");
        zip_close(z);
        if (sheet.isEmpty() || styles.isEmpty()) {
            error = QStringLiteral("sheet or styles missing");
            return;
        }
        readShared(shared);
        readStyles(styles);
        readSheet(sheet);
        readCore(core);
    }

    QString error; // empty when the file read
    QMap<QString, XlsxCell> cells;
    QStringList merges;
    QMap<int, double> widths; // 1-based column -> width as stored
    QString orientation;
    QString footer;
    QString title;
    int lastRow = 0;
    QVector<XlsxStyle> styles;

    XlsxCell cell(const QString &ref) const { return cells.value(ref, XlsxCell{QStringLiteral("none"), {}, 0}); }
    QString text(const QString &ref) const { return cell(ref).text; }
    QString kind(const QString &ref) const
    {
        const XlsxCell c = cell(ref);
        if (c.kind == QLatin1String("number") && isDateFormat(style(ref).numFmt))
            return QStringLiteral("date");
        return c.kind;
    }
    XlsxStyle style(const QString &ref) const { return styles.value(cell(ref).style); }

    static QString ref(int row, int column) // 1-based
    {
        QString s;
        for (int n = column; n > 0; n = (n - 1) / 26)
            s.prepend(QChar(u'A' + (n - 1) % 26));
        return s + QString::number(row);
    }

private:
    static bool isDateFormat(const QString &code)
    {
        return code.contains(QLatin1String("yy")) || code.contains(QLatin1String("dd"));
    }

    static QByteArray part(zip_t *z, const char *name)
    {
        zip_stat_t st;
        if (zip_stat(z, name, 0, &st) != 0)
            return {};
        zip_file_t *f = zip_fopen(z, name, 0);
        if (!f)
            return {};
        QByteArray data(qsizetype(st.size), Qt::Uninitialized);
        const zip_int64_t n = zip_fread(f, data.data(), st.size);
        zip_fclose(f);
        return n == zip_int64_t(st.size) ? data : QByteArray();
    }

    static QString readText(QXmlStreamReader &x, const QString &end)
    {
        QString t;
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("t"))
                t += x.readElementText();
            else if (x.isEndElement() && x.name() == end)
                break;
        }
        return t;
    }

    void readShared(const QByteArray &xml)
    {
        QXmlStreamReader x(xml);
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("si"))
                m_shared << readText(x, QStringLiteral("si"));
        }
    }

    void readStyles(const QByteArray &xml)
    {
        QHash<int, QString> numFmts{{0, QStringLiteral("General")}, {14, QStringLiteral("m/d/yyyy")}};
        struct Font {
            QString name;
            double size = 0;
            bool bold = false;
        };
        QVector<Font> fonts;
        QVector<bool> borders;
        QXmlStreamReader x(xml);
        QString section;
        while (!x.atEnd()) {
            x.readNext();
            if (!x.isStartElement())
                continue;
            const auto n = x.name();
            const auto a = x.attributes();
            if (n == QLatin1String("numFmt")) {
                numFmts.insert(a.value(QLatin1String("numFmtId")).toInt(), a.value(QLatin1String("formatCode")).toString());
            } else if (n == QLatin1String("fonts") || n == QLatin1String("borders") || n == QLatin1String("cellXfs")
                       || n == QLatin1String("cellStyleXfs") || n == QLatin1String("cellStyles")
                       || n == QLatin1String("dxfs") || n == QLatin1String("fills")) {
                section = n.toString();
            } else if (section == QLatin1String("fonts")) {
                if (n == QLatin1String("font"))
                    fonts.append(Font{});
                else if (n == QLatin1String("sz"))
                    fonts.last().size = a.value(QLatin1String("val")).toDouble();
                else if (n == QLatin1String("name"))
                    fonts.last().name = a.value(QLatin1String("val")).toString();
                else if (n == QLatin1String("b"))
                    fonts.last().bold = a.value(QLatin1String("val")) != QLatin1String("0");
            } else if (section == QLatin1String("borders")) {
                if (n == QLatin1String("border"))
                    borders.append(true);
                else if (n == QLatin1String("left") || n == QLatin1String("right") || n == QLatin1String("top")
                         || n == QLatin1String("bottom"))
                    borders.last() = borders.last() && !a.value(QLatin1String("style")).isEmpty();
            } else if (section == QLatin1String("cellXfs")) {
                if (n == QLatin1String("xf")) {
                    XlsxStyle s;
                    const Font f = fonts.value(a.value(QLatin1String("fontId")).toInt());
                    s.font = f.name;
                    s.size = f.size;
                    s.bold = f.bold;
                    s.numFmt = numFmts.value(a.value(QLatin1String("numFmtId")).toInt(), QStringLiteral("?"));
                    s.allBorders = borders.value(a.value(QLatin1String("borderId")).toInt(), false);
                    styles.append(s);
                } else if (n == QLatin1String("alignment")) {
                    styles.last().hAlign = a.value(QLatin1String("horizontal")).toString();
                    styles.last().vAlign = a.value(QLatin1String("vertical")).toString();
                }
            }
        }
    }

    void readSheet(const QByteArray &xml)
    {
        static const QRegularExpression rowOf(QStringLiteral("\\d+$"));
        QXmlStreamReader x(xml);
        while (!x.atEnd()) {
            x.readNext();
            if (!x.isStartElement())
                continue;
            const auto n = x.name();
            const auto a = x.attributes();
            if (n == QLatin1String("c")) {
                const QString r = a.value(QLatin1String("r")).toString();
                const QString t = a.value(QLatin1String("t")).toString();
                XlsxCell c{QStringLiteral("blank"), {}, a.value(QLatin1String("s")).toInt()};
                while (!x.atEnd()) {
                    x.readNext();
                    if (x.isEndElement() && x.name() == QLatin1String("c"))
                        break;
                    if (!x.isStartElement())
                        continue;
                    if (x.name() == QLatin1String("is")) {
                        c.kind = QStringLiteral("text");
                        c.text = readText(x, QStringLiteral("is"));
                    } else if (x.name() == QLatin1String("v")) {
                        const QString v = x.readElementText();
                        if (t == QLatin1String("s")) {
                            c.kind = QStringLiteral("text");
                            c.text = m_shared.value(v.toInt());
                        } else if (t == QLatin1String("str") || t == QLatin1String("inlineStr")) {
                            c.kind = QStringLiteral("text");
                            c.text = v;
                        } else {
                            c.kind = QStringLiteral("number");
                            c.text = v;
                        }
                    }
                }
                cells.insert(r, c);
                lastRow = qMax(lastRow, rowOf.match(r).captured().toInt());
            } else if (n == QLatin1String("mergeCell")) {
                merges << a.value(QLatin1String("ref")).toString();
            } else if (n == QLatin1String("col")) {
                for (int i = a.value(QLatin1String("min")).toInt(); i <= a.value(QLatin1String("max")).toInt(); ++i)
                    widths.insert(i, a.value(QLatin1String("width")).toDouble());
            } else if (n == QLatin1String("pageSetup")) {
                orientation = a.value(QLatin1String("orientation")).toString();
            } else if (n == QLatin1String("oddFooter")) {
                footer = x.readElementText();
            }
        }
    }

    void readCore(const QByteArray &xml)
    {
        QXmlStreamReader x(xml);
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("title"))
                title = x.readElementText();
        }
    }

    QStringList m_shared;
};
