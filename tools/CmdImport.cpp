// import: the owner import of the program, from the command line.
#include "tools/AdminCommand.h"
#include "data/BoundWrite.h"
#include "operators/Login.h"
#include "db/Dates.h"
#include "db/Sql.h"
#include "data/DataModule.h"
#include "owners/OwnerImport.h"
#include "sheets/SheetReader.h"

#include <QDate>

#include <QFileInfo>

namespace {

int runImport(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("area"), QStringLiteral("operator"),
                             QStringLiteral("charge-date")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (a.positional().size() != 1) {
        err << "用法: chengyue-admin import --db PATH FILE --area NAME [--operator NAME] [--charge-date yyyy-mm-dd]\n";
        return 2;
    }
    const QString area = a.value(QStringLiteral("area"));
    if (area.isEmpty()) {
        err << "小区名称 不能为空！\n";
        return 2;
    }
    const QDate date = a.has(QStringLiteral("charge-date")) ? Dates::parse(a.value(QStringLiteral("charge-date")))
                                                            : QDate::currentDate();
    if (const QString refusal = Login::chargeDateRefusal(date); !refusal.isEmpty()) {
        err << refusal << '\n';
        return 2;
    }
    // Read the workbook first: a file that cannot be read touches no database.
    const Sheet sheet = SheetReader::read(a.positional().first());

    openProgramDatabase(a.dbPath());
    // As in the window, the area is one of the list.
    if (BoundWrite::count(dataModule().db(), QStringLiteral("select theName from SArea where theName = ?"), {area}) == 0) {
        err << "小区名称 “" << area << "” 不在小区列表中\n";
        return 1;
    }
    QString op = a.value(QStringLiteral("operator"));
    if (op.isEmpty()) {
        op = dataModule().db().scalar(QStringLiteral("select theName from SUser order by ID"));
    } else {
        const QString stored = BoundWrite::scalar(dataModule().db(), QStringLiteral("select theName from SUser where theName = ?"), {op});
        if (stored.isEmpty()) {
            err << "操作员 “" << op << "” 不存在\n";
            return 1;
        }
        op = stored;
    }
    CurrentUserName = op;
    ChargeDate = Dates::format(date);

    int notDates = 0;
    int passedOver = 0;
    const int added = OwnerImport::run(sheet, area, {}, &notDates, QFileInfo(a.positional().first()).fileName(), &passedOver);
    out << OwnerImport::doneMessage(added, notDates, passedOver) << '\n';
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("import"),
                         QStringLiteral("--db PATH FILE --area NAME [--operator NAME] [--charge-date yyyy-mm-dd]"),
                         QStringLiteral("从工作簿（.xls、.xlsx、.ods 或 .csv）的工作表 Sheet1 导入业主到指定小区；操作员默认为第一个操作员，收费日期默认为今天"),
                         runImport});

} // namespace
