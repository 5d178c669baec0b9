// dayclose: the day's close of the 收费日报 window, as text, a PDF or a workbook.
#include "tools/AdminCommand.h"
#include "data/BoundWrite.h"
#include "tools/OutputFile.h"
#include "charging/DayClose.h"
#include "db/Dates.h"
#include "db/Sql.h"
#include "data/DataModule.h"
#include "operators/Login.h"
#include "charging/DayCloseReport.h"

#include <QDateTime>
#include <QDir>

namespace {

int runDayClose(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("date"), QStringLiteral("to"), QStringLiteral("operator"),
                             QStringLiteral("pdf"), QStringLiteral("out")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (!a.positional().isEmpty() || !a.has(QStringLiteral("date"))
        || (a.has(QStringLiteral("pdf")) && a.has(QStringLiteral("out")))) {
        err << "用法: chengyue-admin dayclose --db PATH --date yyyy-mm-dd [--to yyyy-mm-dd] [--operator NAME] "
               "[--pdf FILE | --out FILE.xlsx]\n";
        return 2;
    }
    DayClose::Criteria c;
    c.from = Dates::parse(a.value(QStringLiteral("date")));
    c.to = a.has(QStringLiteral("to")) ? Dates::parse(a.value(QStringLiteral("to"))) : c.from;

    openProgramDatabase(a.dbPath());
    Login::readUnit();
    const QString op = a.value(QStringLiteral("operator"));
    if (!op.isEmpty()) {
        // A named operator asks for their own close, with their role; a deleted one's close
        // is asked by the tool itself.
        if (BoundWrite::count(dataModule().db(), QStringLiteral("SELECT ID FROM SUser WHERE (theName = ?)"), {op}) > 0
            && !actAsOperator(op, err))
            return 1;
        c.operatorName = BoundWrite::scalar(dataModule().db(), QStringLiteral("SELECT theName FROM SUser WHERE (theName = ?)"), {op});
        if (c.operatorName.isEmpty()) {
            // An operator deleted since may still have taken payments in the period.
            c.operatorName = op;
        }
    }
    const DayClose::Report close = DayClose::build(c);

    if (a.has(QStringLiteral("pdf"))) {
        const QString path = QDir::current().absoluteFilePath(a.value(QStringLiteral("pdf")));
        checkOutputFile(path, QByteArrayLiteral("%PDF-"), QStringLiteral(" PDF "));
        const auto pages = DayCloseReport::pages(close, UnitName, QDateTime::currentDateTime());
        report::writePdf(pages, path);
        out << "收费日报（" << close.periodText() << "，" << pages.size() << " 页）已写入 " << QDir::toNativeSeparators(path)
            << '\n';
    } else if (a.has(QStringLiteral("out"))) {
        const QString path = QDir::current().absoluteFilePath(a.value(QStringLiteral("out")));
        checkOutputFile(path, QByteArrayLiteral("PK\x03\x04"), QStringLiteral(" Excel 工作簿"));
        Rows rows = DayClose::asRows(close);
        RowsExportSource source(rows);
        const ExportResult r = writeExportWorkbook(path, DayCloseReport::layout(close), source, DayClose::totalsRow(close), UnitName);
        out << "已导出 " << r.dataRows << " 行到 " << QDir::toNativeSeparators(path) << "（合计在第 " << r.totalsRow << " 行）\n";
    } else {
        out << DayClose::asText(close);
    }
    return 0;
}

AdminCommandRegistrar reg({QStringLiteral("dayclose"),
                           QStringLiteral("--db PATH --date yyyy-mm-dd [--to yyyy-mm-dd] [--operator NAME] "
                                          "[--pdf FILE | --out FILE.xlsx]"),
                           QStringLiteral("收费日报：按收费员和收款方式列出该收费日期（或日期范围）的笔数、起止单号和金额，"
                                          "以及同期的作废，合计与实收大写；--pdf 写出打印页，--out 写出工作簿，都不给时输出文本"),
                           runDayClose});

} // namespace
