#include "sheets/SheetReader.h"
#include "sheets/SheetFormats.h"
#include "sheets/ZipXml.h"
#include "db/DbError.h"
#include "db/Numbers.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

// ---------------------------------------------------------------- Sheet

QString Sheet::cell(int row, int column) const
{
    const SheetRow &r = rows.at(row);
    const auto it = std::lower_bound(r.begin(), r.end(), column,
                                     [](const QPair<int, QString> &c, int col) { return c.first < col; });
    return it != r.end() && it->first == column ? it->second : QString();
}

QStringList Sheet::row(int r) const
{
    QStringList out(columnCount());
    for (const auto &[column, text] : rows.at(r))
        if (column < out.size())
            out[column] = text;
    return out;
}

void Sheet::addRow(const QStringList &cells, int sheetRow)
{
    SheetRow r;
    for (int c = 0; c < cells.size(); ++c)
        if (!cells.at(c).isEmpty())
            r.append({c, cells.at(c)});
    rows.append(r);
    sheetRows.append(sheetRow);
}

// ---------------------------------------------------------------- limits

namespace SheetLimits {

QString cellName(qint64 row, qint64 column)
{
    return QStringLiteral("第 %1 行第 %2 列").arg(row).arg(column);
}

void cellTooLong(qint64 row, qint64 column)
{
    throw AppError(QStringLiteral("%1的单元格超过 %2 个字符，超出电子表格的限制")
                       .arg(cellName(row + 1, column + 1))
                       .arg(MaxCellChars));
}

void checkCellText(const QString &text, qint64 row, qint64 column)
{
    if (text.size() > MaxCellChars)
        cellTooLong(row, column);
}

} // namespace SheetLimits

// ---------------------------------------------------------------- SheetBuilder

namespace {
[[noreturn]] void tooManyCells(qint64 row, qint64 column)
{
    throw AppError(QStringLiteral("工作表中有内容的单元格超过 %1 个（到%2为止），无法导入")
                       .arg(SheetLimits::MaxCells)
                       .arg(SheetLimits::cellName(row + 1, column + 1)));
}
} // namespace

void SheetBuilder::expectCells(qint64 cells, qint64 row, qint64 column) const
{
    if (cells > SheetLimits::MaxCells - m_cells)
        tooManyCells(row, column);
}

void SheetBuilder::setCell(qint64 row, qint64 column, const QString &text)
{
    using namespace SheetLimits;
    if (text.isEmpty() || row < 0 || column < 0)
        return;
    if (row >= MaxRows)
        throw AppError(QStringLiteral("%1有内容，超出电子表格的最大行数 %2").arg(cellName(row + 1, column + 1)).arg(MaxRows));
    if (column >= MaxColumns)
        throw AppError(QStringLiteral("%1有内容，超出电子表格的最大列数 %2").arg(cellName(row + 1, column + 1)).arg(MaxColumns));
    checkCellText(text, row, column);
    if (!m_last || row != m_lastRow) {
        // Room for as many cells as the row before had: rows of a sheet are alike.
        const qsizetype before = m_last ? m_last->size() : 0;
        m_last = &m_rows[int(row)]; // a map's elements stay where they are as it grows
        m_lastRow = int(row);
        if (m_last->isEmpty())
            m_last->reserve(before);
    }
    SheetRow &r = *m_last;
    const int col = int(column);
    if (r.isEmpty() || r.last().first < col) {
        if (++m_cells > MaxCells)
            tooManyCells(row, column);
        r.append({col, text});
        return;
    }
    // A cell given again or out of order: kept in column order, the last text winning.
    const auto it = std::lower_bound(r.begin(), r.end(), col, [](const QPair<int, QString> &c, int k) { return c.first < k; });
    if (it != r.end() && it->first == col) {
        it->second = text;
    } else {
        if (++m_cells > MaxCells)
            tooManyCells(row, column);
        r.insert(it, {col, text});
    }
}

Sheet SheetBuilder::finish(const QString &sheetName) const
{
    const auto first = m_rows.find(0);
    if (first == m_rows.end() || first->second.isEmpty())
        throw AppError(QStringLiteral("工作表 %1 没有标题行：第一行是空的").arg(sheetName));

    int width = 0;
    for (const auto &[row, cells] : m_rows)
        if (!cells.isEmpty())
            width = std::max(width, cells.last().first + 1);
    Sheet sheet;
    sheet.headings = QStringList(width);
    for (const auto &[column, text] : first->second)
        sheet.headings[column] = text;
    // A column without a title is named after its position, as the spreadsheet
    // providers do, so that the preview can still show it.
    for (int c = 0; c < width; ++c) {
        if (sheet.headings.at(c).isEmpty())
            sheet.headings[c] = QStringLiteral("F%1").arg(c + 1);
    }
    sheet.rows.reserve(int(m_rows.size()));
    sheet.sheetRows.reserve(int(m_rows.size()));
    for (auto it = std::next(first); it != m_rows.end(); ++it) {
        if (it->second.isEmpty())
            continue;
        sheet.rows.append(it->second);
        sheet.sheetRows.append(it->first + 1);
    }
    return sheet;
}

// ---------------------------------------------------------------- cell texts

namespace SheetReader {

QString numberText(double value)
{
    return Numbers::plain(value);
}

QString storedNumberText(const QString &stored)
{
    // Already general: optional minus, no leading zero, no exponent, no trailing zero after
    // the point, at most 15 digits (those numberText keeps). "-0" goes the long way.
    const qsizetype n = stored.size();
    qsizetype i = 0;
    if (i < n && stored.at(i) == QLatin1Char('-'))
        ++i;
    const qsizetype intStart = i;
    while (i < n && stored.at(i).isDigit() && stored.at(i).unicode() < 128)
        ++i;
    const qsizetype intDigits = i - intStart;
    bool general = intDigits > 0 && (intDigits == 1 || stored.at(intStart) != QLatin1Char('0'));
    qsizetype fraction = 0;
    if (general && i < n && stored.at(i) == QLatin1Char('.')) {
        const qsizetype start = ++i;
        while (i < n && stored.at(i).isDigit() && stored.at(i).unicode() < 128)
            ++i;
        fraction = i - start;
        general = fraction > 0 && stored.at(i - 1) != QLatin1Char('0');
    }
    general = general && i == n && intDigits + fraction <= 15
        && !(intDigits == 1 && fraction == 0 && stored.at(intStart) == QLatin1Char('0') && intStart > 0);
    if (general)
        return stored;
    bool ok = false;
    const double number = stored.trimmed().toDouble(&ok);
    // "INF", "NaN" or "1e999" stay as written: no number column takes them.
    return ok && std::isfinite(number) ? numberText(number) : stored;
}

QString serialDateText(double serial, bool date1904, bool timeOnly)
{
    if (!std::isfinite(serial) || serial < 0 || serial > 2958466)
        return numberText(serial);
    double day = std::floor(serial);
    qint64 seconds = std::llround((serial - day) * 86400.0);
    if (seconds >= 86400) {
        day += 1;
        seconds -= 86400;
    }
    // Formatted by hand: a sheet of owners has a date in every row.
    auto time = [seconds] {
        return QString::asprintf("%02d:%02d:%02d", int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    };
    if (timeOnly)
        return time();
    QDate date;
    if (date1904)
        date = QDate(1904, 1, 1).addDays(qint64(day));
    else if (day >= 61)
        date = QDate(1899, 12, 30).addDays(qint64(day));
    else // before the spreadsheet's phantom 29 February 1900
        date = QDate(1899, 12, 31).addDays(qint64(day));
    QString text = QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
    if (seconds != 0)
        text += QLatin1Char(' ') + time();
    return text;
}

bool isDateFormatCode(const QString &code, bool *timeOnly)
{
    // Only the first section (positive numbers) decides; quoted text, escaped
    // characters and bracketed colours or conditions are not format letters, while
    // [h], [mm] and [ss] are elapsed times.
    bool date = false;
    bool time = false;
    bool month = false;
    for (int i = 0; i < code.size(); ++i) {
        const QChar ch = code.at(i);
        if (ch == QLatin1Char(';'))
            break;
        if (ch == QLatin1Char('"')) {
            const int close = code.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                break;
            i = close;
            continue;
        }
        if (ch == QLatin1Char('\\') || ch == QLatin1Char('_') || ch == QLatin1Char('*')) {
            ++i;
            continue;
        }
        if (ch == QLatin1Char('[')) {
            const int close = code.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0)
                break;
            const QString inside = code.mid(i + 1, close - i - 1).toLower();
            static const QRegularExpression elapsed(QStringLiteral("^(h+|m+|s+)$"));
            if (elapsed.match(inside).hasMatch())
                time = true;
            i = close;
            continue;
        }
        switch (ch.toLower().unicode()) {
        case 'y':
        case 'd':
            date = true;
            break;
        case 'e': // era year of the East Asian formats; "E+" is a number's exponent
            if (i + 1 >= code.size() || (code.at(i + 1) != QLatin1Char('+') && code.at(i + 1) != QLatin1Char('-')))
                date = true;
            break;
        case 'h':
        case 's':
            time = true;
            break;
        case 'm':
            month = true;
            break;
        case 'g': // "General" is no date, nor are "0.00" and "@"
            if (code.mid(i, 7).compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
                i += 6;
            break;
        default:
            break;
        }
    }
    if (month && !time)
        date = true;
    if (timeOnly)
        *timeOnly = time && !date;
    return date || time;
}

// ---------------------------------------------------------------- detection and reading

Format detect(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw AppError(QStringLiteral("找不到文件 %1").arg(QDir::toNativeSeparators(path)));
    // Opening a pipe would wait for a writer that never comes.
    if (info.isDir())
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("这是文件夹，不是工作簿")));
    if (!info.isFile())
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("这不是普通文件，不是工作簿")));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(SheetFormats::unreadableMessage(path, f.errorString()));
    const QByteArray head = f.read(64 * 1024);
    if (head.isEmpty())
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("文件是空的")));
    static const QByteArray ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    if (head.startsWith(ole))
        return Format::Xls;
    if (head.startsWith(QByteArrayLiteral("PK\x03\x04"))) {
        const ZipArchive zip(path);
        const std::string mime = zip.find("mimetype");
        if (!mime.empty()) {
            const QByteArray type = zip.read(mime, 4096).trimmed();
            if (type == "application/vnd.oasis.opendocument.spreadsheet")
                return Format::Ods;
            throw AppError(SheetFormats::unreadableMessage(
                path, QStringLiteral("这是 %1 文档，不是电子表格").arg(QString::fromLatin1(type))));
        }
        if (!zip.find("[Content_Types].xml").empty() || !zip.find("xl/workbook.xml").empty())
            return Format::Xlsx;
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("这是压缩文件，不是工作簿")));
    }
    if (head.contains('\0'))
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("不是 Excel、OpenDocument 电子表格或 CSV 文件")));
    // A web page saved under a workbook's name (some systems "export to Excel" so) would
    // read as a sheet of one heading and no rows: nothing imported, reported as success.
    const QByteArray start = head.startsWith("\xEF\xBB\xBF") ? head.mid(3).trimmed() : head.trimmed();
    if (start.startsWith('<'))
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("这是网页（HTML）或 XML 文件，不是工作簿")));
    static const QStringList workbookSuffixes{QStringLiteral("xls"), QStringLiteral("xlsx"), QStringLiteral("xlsm"),
                                              QStringLiteral("ods"), QStringLiteral("et")};
    if (workbookSuffixes.contains(info.suffix().toLower()))
        throw AppError(SheetFormats::unreadableMessage(
            path, QStringLiteral("文件名是 .%1，但内容是文本，不是工作簿").arg(info.suffix())));
    return Format::Csv;
}

Sheet read(const QString &path, const std::atomic<bool> *stop)
{
    try {
        switch (detect(path)) {
        case Format::Xls: return SheetFormats::readXls(path, stop);
        case Format::Xlsx: return SheetFormats::readXlsx(path);
        case Format::Ods: return SheetFormats::readOds(path);
        case Format::Csv: return SheetFormats::readCsv(path);
        }
    } catch (const std::bad_alloc &) {
        // What was read so far is released on the way here; the program goes on.
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("文件太大，本机内存不足，无法读取")));
    } catch (const std::length_error &) {
        throw AppError(SheetFormats::unreadableMessage(path, QStringLiteral("文件太大，无法读取")));
    }
    return {};
}

} // namespace SheetReader

namespace SheetFormats {

int findSheet(const QStringList &names)
{
    const QString wanted = QString::fromLatin1(SheetReader::SheetName);
    const int exact = int(names.indexOf(wanted));
    if (exact >= 0)
        return exact;
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString noSheetMessage(const QString &path, const QStringList &names)
{
    QString text = QStringLiteral("工作簿 %1 中没有名为 %2 的工作表")
                       .arg(QDir::toNativeSeparators(path), QString::fromLatin1(SheetReader::SheetName));
    if (!names.isEmpty())
        text += QStringLiteral("（现有工作表：%1）").arg(names.join(QStringLiteral("、")));
    return text;
}

QString unreadableMessage(const QString &path, const QString &why)
{
    return QStringLiteral("无法读取文件 %1：%2").arg(QDir::toNativeSeparators(path), why);
}

} // namespace SheetFormats
