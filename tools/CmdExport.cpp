// export: the spreadsheet export of the owner query, the arrears reminder or the charge
// query, for the whole unfiltered list, written to a file for scripts and checks.
#include "tools/AdminCommand.h"
#include "tools/OutputFile.h"
#include "charging/ChargeStatements.h"
#include "db/Dates.h"
#include "data/DataModule.h"
#include "operators/Login.h"
#include "output/XlsxExport.h"
#include "owners/ArrearsStatements.h"
#include "owners/OwnerStatements.h"

#include <QDir>

namespace {

int runExport(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("out"), QStringLiteral("date")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    const QString usage = QStringLiteral("用法: chengyue-admin export --db PATH owners|arrears|charges --out FILE [--date yyyy-mm-dd]\n");
    if (a.positional().size() != 1 || a.value(QStringLiteral("out")).isEmpty()) {
        err << usage;
        return 2;
    }
    const QString which = a.positional().first();
    if (which != QLatin1String("owners") && which != QLatin1String("arrears") && which != QLatin1String("charges")) {
        err << "未知的列表：" << which << '\n' << usage;
        return 2;
    }
    QDate reference;
    if (a.has(QStringLiteral("date"))) {
        if (which != QLatin1String("arrears")) {
            err << "--date 只用于 arrears\n";
            return 2;
        }
        reference = Dates::tryParse(a.value(QStringLiteral("date")));
        if (!reference.isValid()) {
            err << "“" << a.value(QStringLiteral("date")) << "” 不是有效的日期\n";
            return 2;
        }
    }

    openProgramDatabase(a.dbPath());
    Login::readUnit();

    ExportLayout layout;
    QString listSql, totalsSql;
    if (which == QLatin1String("owners")) {
        layout = ExportLayouts::ownerQuery();
        listSql = OwnerStatements::list({});
        totalsSql = OwnerStatements::totals(dataModule().db(), {});
    } else if (which == QLatin1String("charges")) {
        layout = ExportLayouts::chargeQuery();
        listSql = ChargeStatements::list({});
        totalsSql = ChargeStatements::totals(dataModule().db(), {});
    } else {
        if (!reference.isValid()) {
            // As the screen opens: the period end in the year of the charging date, which
            // outside the program is today.
            const auto d = ArrearsStatements::defaultReference(Dates::format(QDate::currentDate()), PeriodEndMonth,
                                                               PeriodEndDay);
            if (!d.problem.isEmpty())
                err << d.problem << '\n';
            reference = d.date;
        }
        layout = ExportLayouts::arrears();
        const QString conditions = ArrearsStatements::dateClause(reference);
        listSql = ArrearsStatements::list(reference, conditions);
        totalsSql = ArrearsStatements::totals(dataModule().db(), reference, conditions);
    }

    // The totals first, then the list walked once through a cursor: memory stays flat
    // however long the list.
    const Rows totals = dataModule().query(totalsSql);
    if (which == QLatin1String("arrears"))
        ArrearsStatements::checkAmounts(dataModule().db(), totals, reference, ArrearsStatements::dateClause(reference));
    auto cursor = dataModule().db().cursor(listSql);
    CursorExportSource source(*cursor);
    const QString path = QDir::current().absoluteFilePath(a.value(QStringLiteral("out")));
    checkOutputFile(path, QByteArrayLiteral("PK\x03\x04"), QStringLiteral(" Excel 工作簿"));
    const ExportResult r = writeExportWorkbook(path, layout, source, totals, UnitName);
    out << "已导出 " << r.dataRows << " 行到 " << QDir::toNativeSeparators(path) << "（合计在第 " << r.totalsRow
        << " 行";
    if (which == QLatin1String("arrears"))
        out << "，到期日期 " << Dates::format(reference);
    out << "）\n";
    return 0;
}

AdminCommandRegistrar reg({QStringLiteral("export"),
                           QStringLiteral("--db PATH owners|arrears|charges --out FILE [--date yyyy-mm-dd]"),
                           QStringLiteral("把业主查询、欠费提醒或收费查询的全部列表（不加条件）导出为 .xlsx 工作簿，"
                                          "与程序的“Excel”按钮相同；arrears 按 --date 的到期日期，默认同欠费提醒窗口"),
                           runExport});

} // namespace
