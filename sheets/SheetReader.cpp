#include "sheets/SheetReader.h"
#include "sheets/SheetFormats.h"
#include "sheets/ZipXml.h"
#include "data/DbError.h"
#include "data/Numbers.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------- SheetBuilder

void SheetBuilder::setCell(int row, int column, const QString &text)
{
    if (text.isEmpty() || row < 0 || column < 0)
        return;
    if (!m_last || row != m_lastRow) {
        m_last = &m_rows[row]; // a map's elements stay where they are as it grows
        m_lastRow = row;
        if (m_last->isEmpty())
            m_last->reserve(m_widest);
    }
    QStringList &r = *m_last;
    if (r.size() <= column) {
        r.resize(column + 1);
        m_widest = std::max(m_widest, column + 1);
    }
    r[column] = text;
}

Sheet SheetBuilder::finish(const QString &sheetName) const
{
    const auto first = m_rows.find(0);
    const bool hasTitles = first != m_rows.end()
        && std::any_of(first->second.begin(), first->second.end(), [](const QString &s) { return !s.isEmpty(); });
    if (!hasTitles)
        throw AppError(QStringLiteral("工作表 %1 没有标题行：第一行是空的").arg(sheetName));

    int width = 0;
    for (const auto &[row, cells] : m_rows) {
        for (int c = int(cells.size()) - 1; c >= 0; --c) {
            if (!cells.at(c).isEmpty()) {
                width = std::max(width, c + 1);
                break;
            }
        }
    }
    Sheet sheet;
    sheet.headings = first->second;
    sheet.headings.resize(width);
    // A column without a title is named after its position, as the spreadsheet
    // providers do, so that the preview can still show it.
    for (int c = 0; c < width; ++c) {
        if (sheet.headings.at(c).isEmpty())
            sheet.headings[c] = QStringLiteral("F%1").arg(c + 1);
    }
    sheet.rows.reserve(int(m_rows.size()));
    sheet.sheetRows.reserve(int(m_rows.size()));
    for (auto it = std::next(first); it != m_rows.end(); ++it) {
        QStringList cells = it->second;
        if (std::all_of(cells.begin(), cells.end(), [](const QString &s) { return s.isEmpty(); }))
            continue;
        cells.resize(width);
        sheet.rows.append(cells);
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
    return ok ? numberText(number) : stored;
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
    QFile f(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly))
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
    return Format::Csv;
}

Sheet read(const QString &path, const std::atomic<bool> *stop)
{
    switch (detect(path)) {
    case Format::Xls: return SheetFormats::readXls(path, stop);
    case Format::Xlsx: return SheetFormats::readXlsx(path);
    case Format::Ods: return SheetFormats::readOds(path);
    case Format::Csv: return SheetFormats::readCsv(path);
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
