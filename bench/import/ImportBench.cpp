// Owner import timings: a 100,000-row .xlsx read and imported into a new database (and
// imported a second time, when every row is a duplicate), and the cost of a date cell
// in an .xls, which FreeXL decodes while it opens the file.
//
//   import-bench [ROWS]       (default 100000; the .xls part needs LibreOffice's soffice)
#include "data/DataModule.h"
#include "data/Schema.h"
#include "owners/OwnerImport.h"
#include "sheets/SheetReader.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <freexl.h>
#include <xlsxwriter.h>

namespace {

QTextStream out(stdout);

void writeOwners(const QString &path, int rows)
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *wb = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Sheet1");
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "yyyy-mm-dd");
    const char *titles[] = {"房号", "面积", "房屋用途", "单价", "到期日期", "业主名称", "手机号码", "备注"};
    for (int c = 0; c < 8; ++c)
        worksheet_write_string(ws, 0, lxw_col_t(c), titles[c], nullptr);
    for (int r = 1; r <= rows; ++r) {
        const QByteArray room = QStringLiteral("%1-%2-%3").arg(r / 1000 + 1).arg(r / 100 % 10 + 1).arg(r % 100 + 101).toUtf8();
        const QByteArray name = QStringLiteral("业主%1").arg(r).toUtf8();
        worksheet_write_string(ws, lxw_row_t(r), 0, room.constData(), nullptr);
        worksheet_write_number(ws, lxw_row_t(r), 1, 60 + r % 90 + 0.25, nullptr);
        worksheet_write_string(ws, lxw_row_t(r), 2, "住宅", nullptr);
        worksheet_write_number(ws, lxw_row_t(r), 3, 22, nullptr);
        lxw_datetime dt{2024, 10, 1 + r % 28, 0, 0, 0};
        worksheet_write_datetime(ws, lxw_row_t(r), 4, &dt, date);
        worksheet_write_string(ws, lxw_row_t(r), 5, name.constData(), nullptr);
        worksheet_write_string(ws, lxw_row_t(r), 6, "13800000000", nullptr);
        if (r % 7 == 0)
            worksheet_write_string(ws, lxw_row_t(r), 7, "南向", nullptr);
    }
    workbook_close(wb);
}

void benchImport(const QTemporaryDir &dir, int rows)
{
    const QString xlsx = dir.filePath(QStringLiteral("owners.xlsx"));
    QElapsedTimer t;
    t.start();
    writeOwners(xlsx, rows);
    out << "wrote " << rows << " rows with libxlsxwriter: " << t.elapsed() << " ms, " << QFile(xlsx).size() / 1024 << " KiB\n";

    const QString db = dir.filePath(QStringLiteral("db.edb"));
    Schema::createFile(db);
    dataModule().setConnection(db, QString::fromUtf8(Schema::DatabaseKey));
    dataModule().execute(QStringLiteral("INSERT INTO SArea (theName) VALUES ('东区')"));
    CurrentUserName = QStringLiteral("管理员");
    ChargeDate = QStringLiteral("2024-10-10");

    t.restart();
    const Sheet sheet = SheetReader::read(xlsx);
    const qint64 readMs = t.elapsed();
    out << "read Sheet1 (" << sheet.rowCount() << " rows): " << readMs << " ms\n";
    t.restart();
    const int added = OwnerImport::run(sheet, QStringLiteral("东区"));
    const qint64 importMs = t.elapsed();
    out << "imported " << added << " houses: " << importMs << " ms ("
        << QString::number(importMs * 1000.0 / std::max(1, sheet.rowCount()), 'f', 1) << " µs a row)\n";
    t.restart();
    const int again = OwnerImport::run(sheet, QStringLiteral("东区"));
    out << "imported the same sheet again, " << again << " added (every row a duplicate): " << t.elapsed() << " ms\n";
    out << "read + import: " << readMs + importMs << " ms\n";
    dataModule().closeConnection();
}

double openMs(const QString &xls, int times)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < times; ++i) {
        const void *h = nullptr;
        if (freexl_open(QFile::encodeName(xls).constData(), &h) != FREEXL_OK)
            return -1;
        freexl_close(h);
    }
    return double(t.nsecsElapsed()) / 1e6 / times;
}

double readMs(const QString &xls, int times)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < times; ++i)
        SheetReader::read(xls);
    return double(t.nsecsElapsed()) / 1e6 / times;
}

void benchXlsDates(const QTemporaryDir &dir)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        out << "xls date cells: skipped (LibreOffice's soffice is needed to write .xls)\n";
        return;
    }
    // Two sheets alike but for the format of column B: dates or plain numbers.
    constexpr int Rows = 20000;
    for (const bool dates : {true, false}) {
        lxw_workbook *wb = workbook_new(QFile::encodeName(dir.filePath(dates ? "dates.xlsx" : "numbers.xlsx")).constData());
        lxw_worksheet *ws = workbook_add_worksheet(wb, "Sheet1");
        lxw_format *date = workbook_add_format(wb);
        format_set_num_format(date, "yyyy-mm-dd");
        worksheet_write_string(ws, 0, 0, "房号", nullptr);
        worksheet_write_string(ws, 0, 1, "到期日期", nullptr);
        for (int r = 1; r <= Rows; ++r) {
            worksheet_write_number(ws, lxw_row_t(r), 0, r, nullptr);
            worksheet_write_number(ws, lxw_row_t(r), 1, 45000 + r % 1000, dates ? date : nullptr);
        }
        workbook_close(wb);
    }
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir.path());
    p.setProcessEnvironment(env);
    p.start(soffice, {"--headless", "--norestore", "--convert-to", "xls", "--outdir", dir.path(),
                      dir.filePath("dates.xlsx"), dir.filePath("numbers.xlsx")});
    if (!p.waitForFinished(300000) || !QFile::exists(dir.filePath("dates.xls"))) {
        out << "xls date cells: skipped (the conversion to .xls failed)\n";
        return;
    }
    const double openDates = openMs(dir.filePath("dates.xls"), 5);
    const double openNumbers = openMs(dir.filePath("numbers.xls"), 5);
    const double readDates = readMs(dir.filePath("dates.xls"), 5);
    const double readNumbers = readMs(dir.filePath("numbers.xls"), 5);
    out << "xls, " << Rows << " rows x 2 cells: freexl_open " << QString::number(openDates, 'f', 1) << " ms with date cells, "
        << QString::number(openNumbers, 'f', 1) << " ms with numbers\n";
    out << "  a date cell costs " << QString::number((openDates - openNumbers) * 1000.0 / Rows, 'f', 1)
        << " µs more to open; whole read " << QString::number(readDates, 'f', 1) << " ms vs "
        << QString::number(readNumbers, 'f', 1) << " ms\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 100000;
    QTemporaryDir dir;
    benchImport(dir, rows);
    benchXlsDates(dir);
    return 0;
}
