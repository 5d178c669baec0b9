// OpenDocument spreadsheets: the sheet is a table in content.xml, read with a streaming
// XML parser. Rows and cells may be repeated; long runs of empty ones (to the end of the
// sheet) are counted, never made.
#include "sheets/SheetFormats.h"
#include "sheets/ZipXml.h"
#include "data/DbError.h"

#include <cstdlib>
#include <string>

namespace {

constexpr int MaxRows = 1 << 20;
constexpr int MaxColumns = 1 << 14;

int repeatCount(const char **a, std::string_view attribute)
{
    const char *v = xmlAttribute(a, attribute);
    const long n = v ? std::atol(v) : 1;
    return n < 1 ? 1 : int(std::min<long>(n, MaxRows));
}

// "PT12H30M05S" -> "12:30:05".
QString durationText(const QString &value)
{
    int h = 0, m = 0;
    double s = 0;
    QString number;
    for (const QChar ch : value) {
        if (ch.isDigit() || ch == QLatin1Char('.')) {
            number += ch;
        } else {
            if (ch == QLatin1Char('H'))
                h = number.toInt();
            else if (ch == QLatin1Char('M'))
                m = number.toInt();
            else if (ch == QLatin1Char('S'))
                s = number.toDouble();
            number.clear();
        }
    }
    const int sec = int(s + 0.5);
    return QStringLiteral("%1:%2:%3").arg(h, 2, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0')).arg(sec, 2, 10, QLatin1Char('0'));
}

class ContentHandler : public XmlHandler {
public:
    QStringList names;
    bool found = false;

    explicit ContentHandler(SheetBuilder &builder)
        : m_builder(builder)
    {
    }

    void start(std::string_view name, const char **a) override
    {
        if (name == "table") {
            ++m_tableDepth;
            if (m_tableDepth == 1) {
                const char *n = xmlAttribute(a, "name");
                names << QString::fromUtf8(n ? n : "");
                m_inTarget = !found && SheetFormats::findSheet(QStringList{names.last()}) == 0;
                if (m_inTarget) {
                    found = true;
                    m_row = 0;
                }
            }
            return;
        }
        if (!m_inTarget || m_tableDepth != 1)
            return;
        if (name == "table-row") {
            m_rowRepeat = repeatCount(a, "number-rows-repeated");
            m_column = 0;
            m_rowCells.clear();
        } else if (name == "table-cell" || name == "covered-table-cell") {
            m_cellRepeat = std::min(repeatCount(a, "number-columns-repeated"), MaxColumns);
            m_cellValue = cellValue(a);
            m_cellText.clear();
            m_paragraphs = 0;
            m_inCell = true;
        } else if (m_inCell) {
            if (name == "annotation") {
                ++m_skip;
            } else if (m_skip == 0) {
                if (name == "p" || name == "h") {
                    if (m_paragraphs++ > 0)
                        m_cellText += '\n';
                    m_inParagraph = true;
                } else if (name == "s" && m_inParagraph) {
                    const char *c = xmlAttribute(a, "c");
                    m_cellText.append(size_t(c ? std::max(1, std::atoi(c)) : 1), ' ');
                } else if (name == "tab" && m_inParagraph) {
                    m_cellText += '\t';
                } else if (name == "line-break" && m_inParagraph) {
                    m_cellText += '\n';
                }
            }
        }
    }

    void end(std::string_view name) override
    {
        if (name == "table") {
            if (m_tableDepth == 1)
                m_inTarget = false;
            --m_tableDepth;
            return;
        }
        if (!m_inTarget || m_tableDepth != 1)
            return;
        if (name == "table-cell" || name == "covered-table-cell") {
            QString text = m_cellValue;
            if (text.isNull())
                text = QString::fromUtf8(m_cellText.data(), qsizetype(m_cellText.size()));
            if (!text.isEmpty()) {
                for (int i = 0; i < m_cellRepeat && m_column + i < MaxColumns; ++i)
                    m_rowCells.append({m_column + i, text});
            }
            m_column += m_cellRepeat;
            m_inCell = false;
        } else if (name == "table-row") {
            // Empty rows only move the row counter, however often they repeat.
            if (!m_rowCells.isEmpty()) {
                for (int r = 0; r < m_rowRepeat && m_row + r < MaxRows; ++r)
                    for (const auto &[column, text] : m_rowCells)
                        m_builder.setCell(m_row + r, column, text);
            }
            m_row = std::min(m_row + m_rowRepeat, MaxRows);
        } else if (name == "annotation") {
            --m_skip;
        } else if (name == "p" || name == "h") {
            m_inParagraph = false;
        }
    }

    void text(std::string_view piece) override
    {
        if (m_inParagraph && m_skip == 0)
            m_cellText.append(piece);
    }

private:
    // The cell's value by its type; a null text when the shown text is the value.
    static QString cellValue(const char **a)
    {
        const char *typeAttr = xmlAttribute(a, "value-type");
        const std::string_view type = typeAttr ? typeAttr : "";
        if (type == "float" || type == "percentage" || type == "currency") {
            const char *v = xmlAttribute(a, "value");
            bool ok = false;
            const double number = QString::fromUtf8(v ? v : "").toDouble(&ok);
            return ok ? SheetReader::numberText(number) : QString();
        }
        if (type == "date") {
            const char *v = xmlAttribute(a, "date-value");
            const QString iso = QString::fromUtf8(v ? v : "");
            QString text = iso.left(10);
            const QString time = iso.mid(11, 8);
            if (!time.isEmpty() && time != QLatin1String("00:00:00"))
                text += QLatin1Char(' ') + time;
            return text;
        }
        if (type == "time") {
            const char *v = xmlAttribute(a, "time-value");
            return durationText(QString::fromUtf8(v ? v : ""));
        }
        if (type == "boolean") {
            const char *v = xmlAttribute(a, "boolean-value");
            return v && std::string_view(v) == "true" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        }
        return QString();
    }

    SheetBuilder &m_builder;
    int m_tableDepth = 0;
    bool m_inTarget = false;
    int m_row = 0;
    int m_rowRepeat = 1;
    int m_column = 0;
    QList<QPair<int, QString>> m_rowCells;
    int m_cellRepeat = 1;
    QString m_cellValue;
    std::string m_cellText;
    int m_paragraphs = 0;
    bool m_inCell = false;
    bool m_inParagraph = false;
    int m_skip = 0;
};

} // namespace

namespace SheetFormats {

Sheet readOds(const QString &path)
{
    const ZipArchive zip(path);
    const std::string content = zip.find("content.xml");
    if (content.empty())
        throw AppError(unreadableMessage(path, QStringLiteral("电子表格中缺少 content.xml")));
    SheetBuilder builder;
    ContentHandler handler(builder);
    zip.parse(content, handler);
    if (!handler.found)
        throw AppError(noSheetMessage(path, handler.names));
    const int index = findSheet(handler.names);
    return builder.finish(handler.names.at(index));
}

} // namespace SheetFormats
