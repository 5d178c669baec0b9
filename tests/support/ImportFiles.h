#pragma once
// Workbooks for the import tests, written for real: .xlsx with libxlsxwriter (the way
// the program's own export writes them, in normal or constant-memory mode) and small
// zip containers put together part by part for the dialects other writers use.
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <xlsxwriter.h>
#include <zip.h>

namespace ImportFiles {

using Row = QVariantList;

// Writes the rows to a new sheet (named sheetName) of a new workbook. A QString cell is
// text, a number is a number, a QDate a date cell ("yyyy-mm-dd"), a QDateTime a date and
// time cell, an invalid QVariant no cell at all.
inline bool writeXlsx(const QString &path, const QList<Row> &rows, bool constantMemory = false,
                      const char *sheetName = "Sheet1", const char *otherSheetFirst = nullptr)
{
    lxw_workbook_options options{};
    options.constant_memory = constantMemory ? LXW_TRUE : LXW_FALSE;
    const QByteArray p = QFile::encodeName(path);
    lxw_workbook *wb = workbook_new_opt(p.constData(), &options);
    if (!wb)
        return false;
    if (otherSheetFirst) {
        lxw_worksheet *other = workbook_add_worksheet(wb, otherSheetFirst);
        worksheet_write_string(other, 0, 0, "不是这一张", nullptr);
    }
    lxw_worksheet *ws = workbook_add_worksheet(wb, sheetName);
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_format *dateTime = workbook_add_format(wb);
    format_set_num_format(dateTime, "yyyy/m/d h:mm");
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows.at(r).size(); ++c) {
            const QVariant &v = rows.at(r).at(c);
            const auto row = lxw_row_t(r);
            const auto col = lxw_col_t(c);
            switch (v.typeId()) {
            case QMetaType::QString:
                worksheet_write_string(ws, row, col, v.toString().toUtf8().constData(), nullptr);
                break;
            case QMetaType::Int:
            case QMetaType::Double:
                worksheet_write_number(ws, row, col, v.toDouble(), nullptr);
                break;
            case QMetaType::QDate: {
                const QDate d = v.toDate();
                lxw_datetime dt{d.year(), d.month(), d.day(), 0, 0, 0};
                worksheet_write_datetime(ws, row, col, &dt, date);
                break;
            }
            case QMetaType::QDateTime: {
                const QDateTime d = v.toDateTime();
                lxw_datetime dt{d.date().year(), d.date().month(), d.date().day(), d.time().hour(), d.time().minute(), 0};
                worksheet_write_datetime(ws, row, col, &dt, dateTime);
                break;
            }
            default:
                break;
            }
        }
    }
    return workbook_close(wb) == LXW_NO_ERROR;
}

// A zip container of the given parts, in the given order.
inline bool writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &parts)
{
    int error = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        return false;
    QList<QByteArray> keep; // the sources read the buffers when the archive closes
    for (const auto &[name, data] : parts) {
        keep << data;
        zip_source_t *src = zip_source_buffer(z, keep.last().constData(), zip_uint64_t(keep.last().size()), 0);
        if (!src || zip_file_add(z, name.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(src);
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

// The owner sheet used across the tests: four data rows, the third without a room.
inline QList<Row> ownerRows()
{
    return {
        {QStringLiteral("房号"), QStringLiteral("面积"), QStringLiteral("房屋用途"), QStringLiteral("单价"),
         QStringLiteral("到期日期"), QStringLiteral("业主名称"), QStringLiteral("手机号码"), QStringLiteral("备注"),
         QStringLiteral("登记时间")},
        {QStringLiteral("1-101"), 88.56, QStringLiteral("住宅"), 22, QDate(2024, 10, 31), QStringLiteral("张三"),
         QStringLiteral("13812345678"), QStringLiteral("南向"), QDateTime(QDate(2024, 3, 5), QTime(14, 30))},
        {1201, 120, QStringLiteral("商业"), 30.5, QDate(2025, 1, 15), QStringLiteral("李?四"), 13900001111.0,
         QStringLiteral("say \"hi\""), QVariant()},
        {QVariant(), 75, QStringLiteral("住宅"), 22, QVariant(), QStringLiteral("王五"), QVariant(), QVariant(), QVariant()},
        {QStringLiteral("2-202"), 66.5, QStringLiteral("住宅"), 22, QDate(2023, 12, 1), QStringLiteral("赵六"), QVariant(),
         QVariant(), QVariant()},
    };
}

// The same rows as every reader must give them back.
inline QList<QStringList> ownerTexts()
{
    return {
        {QStringLiteral("1-101"), QStringLiteral("88.56"), QStringLiteral("住宅"), QStringLiteral("22"),
         QStringLiteral("2024-10-31"), QStringLiteral("张三"), QStringLiteral("13812345678"), QStringLiteral("南向"),
         QStringLiteral("2024-03-05 14:30:00")},
        {QStringLiteral("1201"), QStringLiteral("120"), QStringLiteral("商业"), QStringLiteral("30.5"),
         QStringLiteral("2025-01-15"), QStringLiteral("李?四"), QStringLiteral("13900001111"), QStringLiteral("say \"hi\""),
         QString()},
        {QString(), QStringLiteral("75"), QStringLiteral("住宅"), QStringLiteral("22"), QString(), QStringLiteral("王五"),
         QString(), QString(), QString()},
        {QStringLiteral("2-202"), QStringLiteral("66.5"), QStringLiteral("住宅"), QStringLiteral("22"),
         QStringLiteral("2023-12-01"), QStringLiteral("赵六"), QString(), QString(), QString()},
    };
}

} // namespace ImportFiles
