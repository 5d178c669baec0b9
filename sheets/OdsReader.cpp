// OpenDocument spreadsheets: the sheet is a table in content.xml, read with a streaming
// XML parser. Rows and cells may be repeated; long runs of empty ones (to the end of the
// sheet) are counted, never made.
#include "sheets/SheetFormats.h"
#include "sheets/ZipXml.h"
#include "db/DbError.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

using SheetLimits::MaxColumns;
using SheetLimits::MaxRows;

// A repeat count as written; more than a sheet's rows is as good as that many.
qint64 repeatCount(const char **a, std::string_view attribute)
{
    const char *v = xmlAttribute(a, attribute);
    const long long n = v ? std::atoll(v) : 1;
    return n < 1 ? 1 : std::min<long long>(n, MaxRows + 1);
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
            m_cellRepeat = std::min<qint64>(repeatCount(a, "number-columns-repeated"), MaxColumns + 1);
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
                    // Spaces are counted, not written: a count past a cell's limit is refused
                    // before it is made.
                    const char *c = xmlAttribute(a, "c");
                    const long long n = c ? std::max(1LL, std::atoll(c)) : 1;
                    if (n > SheetLimits::MaxCellChars)
                        SheetLimits::cellTooLong(m_row, m_column);
                    m_cellText.append(size_t(n), ' ');
                    checkLength();
                } else if (name == "tab" && m_inParagraph) {
                    m_cellText += '\t';
                    checkLength();
                } else if (name == "line-break" && m_inParagraph) {
                    m_cellText += '\n';
                    checkLength();
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
                SheetLimits::checkCellText(text, m_row, m_column);
                // Each repeat is a cell of the row; one beyond the last column is refused
                // by the builder, by name.
                for (qint64 i = 0; i < m_cellRepeat; ++i) {
                    if (m_column + i >= MaxColumns) {
                        m_builder.setCell(m_row, m_column + i, text);
                        break;
                    }
                    m_rowCells.append({int(m_column + i), text});
                }
            }
            m_column = std::min<qint64>(m_column + m_cellRepeat, MaxColumns + 1);
            m_inCell = false;
        } else if (name == "table-row") {
            // Empty rows only move the row counter, however often they repeat; the cells
            // of a repeated row with text count against the sheet's limits as often.
            if (!m_rowCells.isEmpty()) {
                m_builder.expectCells(qint64(m_rowCells.size()) * m_rowRepeat, m_row, m_rowCells.first().first);
                for (qint64 r = 0; r < m_rowRepeat; ++r)
                    for (const auto &[column, text] : m_rowCells)
                        m_builder.setCell(m_row + r, column, text);
            }
            m_row = std::min<qint64>(m_row + m_rowRepeat, MaxRows + 1);
        } else if (name == "annotation") {
            --m_skip;
        } else if (name == "p" || name == "h") {
            m_inParagraph = false;
        }
    }

    void text(std::string_view piece) override
    {
        if (m_inParagraph && m_skip == 0) {
            m_cellText.append(piece);
            checkLength();
        }
    }

private:
    // Bytes, at most four per character: an overlong cell stops before it is all held.
    void checkLength() const
    {
        if (qint64(m_cellText.size()) / 4 > SheetLimits::MaxCellChars)
            SheetLimits::cellTooLong(m_row, m_column);
    }

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
    qint64 m_row = 0;
    qint64 m_rowRepeat = 1;
    qint64 m_column = 0;
    QList<QPair<int, QString>> m_rowCells;
    qint64 m_cellRepeat = 1;
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
