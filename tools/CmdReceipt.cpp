// receipt: the receipt of one charge as a PDF file, laid out as the print preview shows it.
// It is a reprint, written to the change record under the operator named (the first one
// unless named).
#include "tools/AdminCommand.h"
#include "tools/OutputFile.h"
#include "output/PrintModule.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "db/Sql.h"
#include "report/ReportPresenter.h"

#include <QDir>
#include <QFileInfo>

namespace {

int runReceipt(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("pdf"), QStringLiteral("operator")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (a.positional().size() != 1 || !a.has(QStringLiteral("pdf")) || a.value(QStringLiteral("pdf")).isEmpty()) {
        err << "用法: chengyue-admin receipt --db PATH NUMBER --pdf FILE [--operator NAME]\n";
        return 2;
    }
    const QString pdf = QFileInfo(a.value(QStringLiteral("pdf"))).absoluteFilePath();
    checkOutputFile(pdf, QByteArrayLiteral("%PDF-"), QStringLiteral(" PDF "));
    openProgramDatabase(a.dbPath());
    const QString op = a.value(QStringLiteral("operator"));
    if (!op.isEmpty()) {
        if (!actAsOperator(op, err))
            return 1;
    } else {
        // The reprint is recorded under the first operator, as the other commands act.
        const Rows user = dataModule().query(QStringLiteral("SELECT ID, theName FROM SUser ORDER BY ID"));
        if (user.isEmpty()) {
            err << QStringLiteral("还没有操作员") << '\n';
            return 1;
        }
        CurrentUserName = user.value(QStringLiteral("theName"));
        CurrentUserId = user.value(QStringLiteral("ID"));
    }
    ChargeDate = Dates::format(QDate::currentDate());
    PdfFilePresenter presenter(pdf);
    report::setPresenter(&presenter);
    // An unknown number gives the receipt with empty charge fields, as the program prints it.
    const int times = printModule().reprintReceipt(a.positional().first());
    report::setPresenter(nullptr);
    const bool found = !printModule().paymentRows.isEmpty();
    out << "已写入收据：" << QDir::toNativeSeparators(pdf) << '\n';
    if (times > 0)
        out << "已记入操作记录：第 " << times << " 次补打\n";
    if (!found)
        out << "没有单号为 " << a.positional().first() << " 的收费记录，收据中收费内容为空\n";
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("receipt"), QStringLiteral("--db PATH NUMBER --pdf FILE [--operator NAME]"),
                         QStringLiteral("把该单号的收据按打印预览的样子写成 PDF 文件（单号不存在时收费内容为空）；作为补打记入操作记录，给出操作员时按其角色"),
                         runReceipt});

} // namespace
