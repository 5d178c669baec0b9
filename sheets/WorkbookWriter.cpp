#include "sheets/WorkbookWriter.h"
#include "data/AppIdentity.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "data/OutputFile.h"
#include "sheets/WorkbookLook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <xlsxwriter.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

int ExportRowSource::fieldIndex(const QString &name) const
{
    const QStringList names = fieldNames();
    for (int i = 0; i < names.size(); ++i)
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString ExportRowSource::value(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw AppError(QStringLiteral("列表中没有字段“%1”").arg(name));
    return value(i);
}

bool RowsExportSource::next()
{
    if (m_row + 1 >= m_rows.rowCount()) {
        // The list stays on its last row, as after walking a query to its end.
        m_rows.setCurrent(m_rows.isEmpty() ? 0 : m_rows.rowCount() - 1);
        m_row = m_rows.rowCount();
        return false;
    }
    ++m_row;
    m_rows.setCurrent(m_row);
    return true;
}

// ---------------------------------------------------------------------------------------

namespace {

QString columnLetter(int index) // 0 -> A
{
    QString s;
    for (int n = index + 1; n > 0; n = (n - 1) / 26)
        s.prepend(QChar(u'A' + (n - 1) % 26));
    return s;
}

} // namespace

QString ExportLayout::lastColumnLetter() const { return columnLetter(int(columns.size()) - 1); }
QString ExportLayout::titleRange() const { return QStringLiteral("A1:") + lastColumnLetter() + QLatin1Char('1'); }
QString ExportLayout::headingRange() const { return QStringLiteral("A1:") + lastColumnLetter() + QLatin1Char('2'); }
QString ExportLayout::bodyRange(int lastRow) const
{
    return QStringLiteral("A2:") + lastColumnLetter() + QString::number(lastRow);
}

QString exportFooter()
{
    // "&" starts a code in a header or footer; one meant as text is doubled.
    QString home = QString::fromUtf8(HomePage);
    home.replace(QLatin1Char('&'), QLatin1String("&&"));
    return QStringLiteral("&C") + home + QStringLiteral(" 共&N页，第&P页");
}

// ---------------------------------------------------------------------------------------

namespace {

// A workbook left unfinished by a failure is closed; its temporary file goes with the
// OutputFile, so no half list is ever presented and the target stays as it was.
struct WorkbookDiscarder {
    void operator()(lxw_workbook *wb) const
    {
        if (wb)
            workbook_close(wb);
    }
};

class SheetWriter {
public:
    SheetWriter(lxw_workbook *wb, lxw_worksheet *ws, const QString &path) : m_wb(wb), m_ws(ws), m_path(path) {}

    void check(lxw_error err) const
    {
        if (err != LXW_NO_ERROR)
            fail(err);
    }
    [[noreturn]] void fail(lxw_error err) const
    {
        throw AppError(QStringLiteral("无法写入工作簿 %1：%2")
                           .arg(QDir::toNativeSeparators(m_path), QString::fromUtf8(lxw_strerror(err))));
    }

    void text(int row, int c, const QString &s, lxw_format *f) const
    {
        if (s.isEmpty()) {
            blank(row, c, f);
            return;
        }
        const QByteArray utf8 = s.toUtf8();
        check(worksheet_write_string(m_ws, lxw_row_t(row), lxw_col_t(c), utf8.constData(), f));
    }
    void number(int row, int c, double v, lxw_format *f) const
    {
        check(worksheet_write_number(m_ws, lxw_row_t(row), lxw_col_t(c), v, f));
    }
    void blank(int row, int c, lxw_format *f) const
    {
        check(worksheet_write_blank(m_ws, lxw_row_t(row), lxw_col_t(c), f));
    }
    // As the spreadsheet takes a typed value: a number becomes a number, the rest text.
    void typed(int row, int c, const QString &s, lxw_format *f) const
    {
        if (Numbers::isNumber(s)) {
            bool ok = false;
            const double v = s.trimmed().toDouble(&ok);
            if (ok && std::isfinite(v)) {
                number(row, c, v, f);
                return;
            }
        }
        text(row, c, s, f);
    }
    void date(int row, int c, const QString &s, lxw_format *dateFormat, lxw_format *plain) const
    {
        const QDate d = Dates::tryParse(s);
        // The sheet's dates start in 1900; anything else is kept as it was listed.
        if (d.isValid() && d.year() >= 1900 && d.year() <= 9999) {
            lxw_datetime dt{d.year(), d.month(), d.day(), 0, 0, 0};
            check(worksheet_write_datetime(m_ws, lxw_row_t(row), lxw_col_t(c), &dt, dateFormat));
            return;
        }
        typed(row, c, s, plain);
    }

private:
    lxw_workbook *m_wb;
    lxw_worksheet *m_ws;
    QString m_path;
};

} // namespace

ExportResult writeExportWorkbook(const QString &path, const ExportLayout &layout, ExportRowSource &list,
                                 const Rows &totals, const QString &unitName)
{
    const int ncols = int(layout.columns.size());
    // Resolve every field before anything is written, so that a list lacking one makes no file.
    QVector<int> field(ncols, -1);
    for (int c = 0; c < ncols; ++c) {
        const ExportColumn &column = layout.columns.at(c);
        if (column.cell == ExportCell::Sequence)
            continue;
        field[c] = list.fieldIndex(column.heading);
        if (field[c] < 0)
            throw AppError(QStringLiteral("列表中没有字段“%1”").arg(column.heading));
    }
    QVector<QString> sums(ncols);
    for (int c = 0; c < ncols; ++c)
        if (!layout.columns.at(c).totalField.isEmpty() && totals.rowCount() > 0)
            sums[c] = totals.at(0, layout.columns.at(c).totalField);

    OutputFile file(path);
    const QByteArray fileName = QFile::encodeName(file.writerPath());
    const QByteArray tmpDir = QFile::encodeName(QFileInfo(path).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(tmpDir.constData());
    options.use_zip64 = LXW_TRUE;
    lxw_workbook *wb = workbook_new_opt(fileName.constData(), &options);
    if (!wb)
        throw AppError(QStringLiteral("无法创建工作簿 %1").arg(QDir::toNativeSeparators(path)));
    std::unique_ptr<lxw_workbook, WorkbookDiscarder> closer(wb);

    lxw_worksheet *ws = workbook_add_worksheet(wb, nullptr);
    if (!ws)
        throw AppError(QStringLiteral("无法创建工作簿 %1").arg(QDir::toNativeSeparators(path)));
    SheetWriter out(wb, ws, path);

    out.check(worksheet_set_column(ws, 0, 0, 4, nullptr));
    const WorkbookLook look(wb, unitName + layout.titleWord);
    QStringList headings;
    for (const ExportColumn &column : layout.columns)
        headings << column.heading;
    out.check(look.startSheet(ws, headings));
    lxw_format *centredFmt = look.ruled();
    format_set_align(centredFmt, LXW_ALIGN_CENTER);
    lxw_format *plainFmt = look.ruled();
    // A text cell whose format is text stays text when the operator edits it later.
    lxw_format *textFmt = look.ruled();
    format_set_num_format(textFmt, "@");
    lxw_format *dateFmt = look.ruled();
    format_set_num_format(dateFmt, "yyyy-mm-dd");

    // Rows from 3 (index 2), one per listed row, then the totals row.
    int row = 2;
    while (list.next()) {
        if (row >= int(LXW_ROW_MAX) - 1)
            throw AppError(QStringLiteral("列表超过 %1 行，超出工作表的最大行数").arg(int(LXW_ROW_MAX) - 3));
        for (int c = 0; c < ncols; ++c) {
            const ExportColumn &column = layout.columns.at(c);
            switch (column.cell) {
            case ExportCell::Sequence:
                out.number(row, c, row - 1, centredFmt);
                break;
            case ExportCell::Text:
                out.text(row, c, list.value(field[c]), textFmt);
                break;
            case ExportCell::Date:
                out.date(row, c, list.value(field[c]), dateFmt, plainFmt);
                break;
            case ExportCell::Typed:
                out.typed(row, c, list.value(field[c]), plainFmt);
                break;
            }
        }
        ++row;
    }
    ExportResult result;
    result.dataRows = row - 2;
    result.totalsRow = row + 1;
    result.bodyRange = layout.bodyRange(result.totalsRow);

    out.text(row, 0, QStringLiteral("合计"), centredFmt);
    for (int c = 1; c < ncols; ++c)
        out.typed(row, c, sums.at(c), plainFmt); // an empty sum is a ruled blank cell

    closer.release();
    lxw_error err = LXW_NO_ERROR;
    list.whileFinishing([&] { err = workbook_close(wb); });
    if (err != LXW_NO_ERROR)
        out.fail(err);
    file.commit();
    return result;
}

QString newExportPath(const QString &folder, const QString &title, const QDateTime &when, const QString &tag)
{
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString base = title;
    base.replace(unsafe, QStringLiteral("_"));
    base = base.trimmed();
    if (base.isEmpty())
        base = QStringLiteral("报表");
    base += QLatin1Char(' ') + when.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    if (!tag.isEmpty())
        base += QLatin1Char(' ') + tag;
    const QDir dir(folder);
    QString path = dir.filePath(base + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(base + QStringLiteral(" (%1).xlsx").arg(n));
    return path;
}

QString exportFolder()
{
    // One folder per account: the lists hold owners' names and phone numbers.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
        .filePath(QStringLiteral("chengyue-export-%1").arg(::getuid()));
}

QString privateExportFolder()
{
    const QString folder = exportFolder();
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        throw AppError(QStringLiteral("无法创建文件夹 %1：%2").arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(std::strerror(errno))));
    // A folder made by another account (or a link planted in its place) in the shared
    // temporary place is never used.
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        throw AppError(QStringLiteral("文件夹 %1 不属于当前用户，不能在其中保存工作簿，请删除它后重试")
                           .arg(QDir::toNativeSeparators(folder)));
    if ((st.st_mode & 07777) != 0700 && ::chmod(name.constData(), 0700) != 0)
        throw AppError(QStringLiteral("无法设置文件夹 %1 的权限").arg(QDir::toNativeSeparators(folder)));
    return folder;
}

QString unpredictableTag()
{
    static const char letters[] = "abcdefghijkmnpqrstuvwxyz23456789";
    QString tag;
    for (int i = 0; i < 6; ++i)
        tag += QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))]);
    return tag;
}
