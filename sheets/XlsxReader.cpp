// Office Open XML workbooks, read from the zip container with a streaming XML parser so
// that every writer's dialect is understood: shared or inline strings (written by
// spreadsheets saving in constant memory), absolute or relative part names, date
// formats given by built-in id or by their own format code.
#include "sheets/SheetFormats.h"
#include "sheets/ZipXml.h"
#include "db/DbError.h"

#include <QHash>
#include <QVector>

#include <algorithm>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using SheetReader::numberText;
using SheetReader::serialDateText;

// Resolves a relationship target against the folder of the part that names it.
std::string resolvePart(const std::string &base, const std::string &target)
{
    std::string path = target;
    if (!path.empty() && path.front() == '/') {
        path.erase(0, 1);
    } else {
        const auto slash = base.rfind('/');
        path = (slash == std::string::npos ? std::string() : base.substr(0, slash + 1)) + target;
    }
    // Fold "." and ".." segments.
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string seg = path.substr(start, end - start);
        if (seg == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto &p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string relsOf(const std::string &part)
{
    const auto slash = part.rfind('/');
    if (slash == std::string::npos)
        return "_rels/" + part + ".rels";
    return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

bool endsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

struct Relationship {
    std::string id;
    std::string type;
    std::string target;
};

class RelsHandler : public XmlHandler {
public:
    std::vector<Relationship> rels;
    void start(std::string_view name, const char **a) override
    {
        if (name != "Relationship")
            return;
        const char *mode = xmlAttribute(a, "TargetMode");
        if (mode && std::string_view(mode) == "External")
            return;
        const char *id = xmlAttribute(a, "Id");
        const char *type = xmlAttribute(a, "Type");
        const char *target = xmlAttribute(a, "Target");
        if (target)
            rels.push_back({id ? id : "", type ? type : "", target});
    }
    void end(std::string_view) override {}
};

class WorkbookHandler : public XmlHandler {
public:
    QStringList names;
    std::vector<std::string> ids;
    bool date1904 = false;
    void start(std::string_view name, const char **a) override
    {
        if (name == "workbookPr" || name == "calcPr") {
            const char *v = xmlAttribute(a, "date1904");
            if (v && (std::string_view(v) == "1" || std::string_view(v) == "true"))
                date1904 = true;
        } else if (name == "sheet") {
            const char *n = xmlAttribute(a, "name");
            const char *id = xmlAttribute(a, "id"); // r:id
            names << QString::fromUtf8(n ? n : "");
            ids.push_back(id ? id : "");
        }
    }
    void end(std::string_view) override {}
};

// Office Open XML writes a character that XML cannot carry (a control character, a lone
// carriage return) as "_xHHHH_", and a literal "_x" followed by four hex digits as
// "_x005F_x...": both are read back as the character.
QString decodeXstring(const QString &s)
{
    if (!s.contains(QLatin1String("_x")))
        return s;
    const auto hex = [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x80 && std::isxdigit(static_cast<unsigned char>(u));
    };
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i) == QLatin1Char('_') && i + 6 < s.size() && s.at(i + 1) == QLatin1Char('x') && hex(s.at(i + 2))
            && hex(s.at(i + 3)) && hex(s.at(i + 4)) && hex(s.at(i + 5)) && s.at(i + 6) == QLatin1Char('_')) {
            out += QChar(char16_t(s.mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 6;
        } else {
            out += s.at(i);
        }
    }
    return out;
}

class SharedStringsHandler : public XmlHandler {
public:
    QStringList strings;
    void start(std::string_view name, const char **) override
    {
        if (name == "si") {
            m_current.clear();
            m_inItem = true;
        } else if (name == "rPh") { // phonetic guide: not part of the text
            ++m_skip;
        } else if (name == "t" && m_inItem && m_skip == 0) {
            m_inText = true;
        }
    }
    void end(std::string_view name) override
    {
        if (name == "si") {
            if (strings.size() >= SheetLimits::MaxCells)
                throw AppError(QStringLiteral("共享字符串超过 %1 个，无法读取").arg(SheetLimits::MaxCells));
            QString text = decodeXstring(QString::fromUtf8(m_current.data(), qsizetype(m_current.size())));
            checkSharedLength(text.size());
            strings << text;
            m_current.clear();
            m_inItem = false;
        } else if (name == "rPh") {
            --m_skip;
        } else if (name == "t") {
            m_inText = false;
        }
    }
    void text(std::string_view piece) override
    {
        if (!m_inText)
            return;
        m_current.append(piece);
        // Bytes, at most four per character: a string past the limit stops here, before
        // a gigabyte of it is held.
        checkSharedLength(qsizetype(m_current.size() / 4));
    }

private:
    void checkSharedLength(qsizetype chars) const
    {
        if (chars > SheetLimits::MaxCellChars)
            throw AppError(QStringLiteral("共享字符串第 %1 项超过 %2 个字符，超出电子表格的限制")
                               .arg(strings.size() + 1)
                               .arg(SheetLimits::MaxCellChars));
    }

    std::string m_current;
    bool m_inItem = false;
    bool m_inText = false;
    int m_skip = 0;
};

enum class DateKind : char { None, Date, Time };

DateKind builtInKind(int id)
{
    if ((id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 54)
        || id == 57 || id == 58)
        return DateKind::Date;
    if ((id >= 18 && id <= 21) || (id >= 32 && id <= 35) || (id >= 45 && id <= 47) || id == 55 || id == 56)
        return DateKind::Time;
    return DateKind::None;
}

class StylesHandler : public XmlHandler {
public:
    QHash<int, QString> codes;
    std::vector<int> xfFormats;
    void start(std::string_view name, const char **a) override
    {
        if (name == "numFmt") {
            const char *id = xmlAttribute(a, "numFmtId");
            const char *code = xmlAttribute(a, "formatCode");
            if (id && code)
                codes.insert(std::atoi(id), QString::fromUtf8(code));
        } else if (name == "cellXfs") {
            m_inCellXfs = true;
        } else if (name == "xf" && m_inCellXfs) {
            const char *id = xmlAttribute(a, "numFmtId");
            xfFormats.push_back(id ? std::atoi(id) : 0);
        }
    }
    void end(std::string_view name) override
    {
        if (name == "cellXfs")
            m_inCellXfs = false;
    }
    std::vector<DateKind> kinds() const
    {
        std::vector<DateKind> out;
        out.reserve(xfFormats.size());
        for (int id : xfFormats) {
            const auto it = codes.constFind(id);
            if (it == codes.constEnd()) {
                out.push_back(builtInKind(id));
            } else {
                bool timeOnly = false;
                out.push_back(SheetReader::isDateFormatCode(*it, &timeOnly)
                                  ? (timeOnly ? DateKind::Time : DateKind::Date)
                                  : DateKind::None);
            }
        }
        return out;
    }

private:
    bool m_inCellXfs = false;
};

// "B12" -> column 1, row 11; parts that are missing stay -1. A reference beyond the
// sheet's limits gives that limit (or more), so that the cell is refused by name.
void parseReference(const char *ref, qint64 &column, qint64 &row)
{
    column = -1;
    row = -1;
    if (!ref)
        return;
    constexpr qint64 cap = qint64(1) << 40;
    qint64 c = 0;
    const char *p = ref;
    bool letters = false;
    while (*p && ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'))) {
        c = std::min(c * 26 + (*p & 0x1F), cap);
        letters = true;
        ++p;
    }
    if (letters)
        column = c - 1;
    qint64 r = 0;
    bool digits = false;
    while (*p >= '0' && *p <= '9') {
        r = std::min(r * 10 + (*p - '0'), cap);
        digits = true;
        ++p;
    }
    if (digits && r > 0)
        row = r - 1;
}

// The number of a <row r="…"> attribute, from 1; 0 when absent or no number.
qint64 rowNumber(const char *text)
{
    qint64 r = 0;
    for (const char *p = text; p && *p >= '0' && *p <= '9'; ++p)
        r = std::min(r * 10 + (*p - '0'), qint64(1) << 40);
    return r;
}

class WorksheetHandler : public XmlHandler {
public:
    WorksheetHandler(SheetBuilder &builder, const QStringList &shared, const std::vector<DateKind> &kinds, bool date1904)
        : m_builder(builder), m_shared(shared), m_kinds(kinds), m_date1904(date1904)
    {
    }

    void start(std::string_view name, const char **a) override
    {
        if (name == "row") {
            const qint64 row = rowNumber(xmlAttribute(a, "r")) - 1;
            m_row = row >= 0 ? row : m_row + 1;
            m_column = 0;
        } else if (name == "c") {
            qint64 col = -1;
            qint64 row = -1;
            parseReference(xmlAttribute(a, "r"), col, row);
            if (row >= 0)
                m_row = row;
            m_cellColumn = col >= 0 ? col : m_column;
            m_column = m_cellColumn + 1;
            const char *t = xmlAttribute(a, "t");
            m_type = t ? t : "n";
            const char *s = xmlAttribute(a, "s");
            m_style = s ? std::atoi(s) : 0;
            m_value.clear();
            m_inline.clear();
            m_inCell = true;
        } else if (m_inCell) {
            if (name == "v")
                m_inValue = true;
            else if (name == "rPh")
                ++m_skip;
            else if (name == "t" && m_skip == 0)
                m_inInline = true;
        }
    }

    void end(std::string_view name) override
    {
        if (name == "c") {
            if (m_inCell)
                m_builder.setCell(m_row, m_cellColumn, cellText());
            m_inCell = false;
        } else if (name == "v") {
            m_inValue = false;
        } else if (name == "t") {
            m_inInline = false;
        } else if (name == "rPh") {
            --m_skip;
        }
    }

    void text(std::string_view piece) override
    {
        if (m_inValue)
            m_value.append(piece);
        else if (m_inInline)
            m_inline.append(piece);
        else
            return;
        // Bytes, at most four per character: an overlong cell stops here.
        if (qint64(m_value.size() + m_inline.size()) / 4 > SheetLimits::MaxCellChars)
            SheetLimits::cellTooLong(m_row, m_cellColumn);
    }

private:
    QString cellText() const
    {
        if (m_type == "s") {
            // The index of a shared string, read straight from the cell's bytes.
            const char *begin = m_value.data();
            const char *end = begin + m_value.size();
            while (begin < end && std::isspace(static_cast<unsigned char>(*begin)))
                ++begin;
            while (end > begin && std::isspace(static_cast<unsigned char>(end[-1])))
                --end;
            int index = -1;
            const auto [stop, error] = std::from_chars(begin, end, index);
            return error == std::errc() && stop == end && index >= 0 && index < m_shared.size() ? m_shared.at(index)
                                                                                               : QString();
        }
        const QString value = QString::fromUtf8(m_value.data(), qsizetype(m_value.size()));
        if (m_type == "inlineStr" || (m_value.empty() && !m_inline.empty()))
            return decodeXstring(QString::fromUtf8(m_inline.data(), qsizetype(m_inline.size())));
        if (m_type == "b")
            return value.trimmed() == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        if (m_type == "str")
            return decodeXstring(value);
        if (m_type == "e")
            return value;
        if (m_type == "d") { // ISO 8601 date and time
            QString date = value.left(10);
            const QString time = value.mid(11, 8);
            if (!time.isEmpty() && time != QLatin1String("00:00:00"))
                date += QLatin1Char(' ') + time;
            return date;
        }
        if (value.isEmpty())
            return {};
        const DateKind kind = m_style >= 0 && size_t(m_style) < m_kinds.size() ? m_kinds[size_t(m_style)] : DateKind::None;
        if (kind == DateKind::None)
            return SheetReader::storedNumberText(value);
        bool ok = false;
        const double number = value.trimmed().toDouble(&ok);
        if (!ok)
            return value;
        return serialDateText(number, m_date1904, kind == DateKind::Time);
    }

    SheetBuilder &m_builder;
    const QStringList &m_shared;
    const std::vector<DateKind> &m_kinds;
    bool m_date1904;
    qint64 m_row = -1;
    qint64 m_column = 0;
    qint64 m_cellColumn = 0;
    std::string m_type;
    int m_style = 0;
    std::string m_value;
    std::string m_inline;
    bool m_inCell = false;
    bool m_inValue = false;
    bool m_inInline = false;
    int m_skip = 0;
};

std::vector<Relationship> readRels(const ZipArchive &zip, const std::string &part)
{
    RelsHandler h;
    const std::string name = zip.find(relsOf(part));
    if (!name.empty())
        zip.parse(name, h);
    return h.rels;
}

} // namespace

namespace SheetFormats {

Sheet readXlsx(const QString &path)
{
    const ZipArchive zip(path);

    std::string workbook;
    for (const Relationship &r : readRels(zip, std::string()))
        if (endsWith(r.type, "/officeDocument"))
            workbook = resolvePart(std::string(), r.target);
    workbook = zip.find(workbook.empty() ? std::string("xl/workbook.xml") : workbook);
    if (workbook.empty())
        throw AppError(unreadableMessage(path, QStringLiteral("工作簿中缺少 workbook.xml")));

    WorkbookHandler book;
    zip.parse(workbook, book);
    const int index = findSheet(book.names);
    if (index < 0)
        throw AppError(noSheetMessage(path, book.names));

    const std::vector<Relationship> rels = readRels(zip, workbook);
    std::string sheetPart;
    std::string sharedPart;
    std::string stylesPart;
    for (const Relationship &r : rels) {
        if (r.id == book.ids[size_t(index)])
            sheetPart = resolvePart(workbook, r.target);
        else if (endsWith(r.type, "/sharedStrings"))
            sharedPart = resolvePart(workbook, r.target);
        else if (endsWith(r.type, "/styles"))
            stylesPart = resolvePart(workbook, r.target);
    }
    sheetPart = sheetPart.empty() ? std::string() : zip.find(sheetPart);
    if (sheetPart.empty())
        throw AppError(unreadableMessage(path, QStringLiteral("找不到工作表 %1 的内容").arg(book.names.at(index))));

    SharedStringsHandler shared;
    if (!sharedPart.empty() && !(sharedPart = zip.find(sharedPart)).empty())
        zip.parse(sharedPart, shared);
    StylesHandler styles;
    if (!stylesPart.empty() && !(stylesPart = zip.find(stylesPart)).empty())
        zip.parse(stylesPart, styles);
    const std::vector<DateKind> kinds = styles.kinds();

    SheetBuilder builder;
    WorksheetHandler sheet(builder, shared.strings, kinds, book.date1904);
    zip.parse(sheetPart, sheet);
    return builder.finish(book.names.at(index));
}

} // namespace SheetFormats
