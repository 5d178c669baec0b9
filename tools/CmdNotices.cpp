// notices: the arrears notices (催费通知单) of the 欠费提醒 window, as a PDF.
#include "tools/AdminCommand.h"
#include "tools/OutputFile.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "operators/Login.h"
#include "owners/ArrearsNotices.h"
#include "owners/ArrearsStatements.h"

#include <QDir>

namespace {

int runNotices(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("date"), QStringLiteral("area"), QStringLiteral("pdf")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (!a.positional().isEmpty() || !a.has(QStringLiteral("date")) || !a.has(QStringLiteral("pdf"))) {
        err << "用法: chengyue-admin notices --db PATH --date yyyy-mm-dd [--area NAME] --pdf FILE\n";
        return 2;
    }
    const QDate reference = Dates::parse(a.value(QStringLiteral("date")));
    const QString area = a.value(QStringLiteral("area"));
    const QString path = QDir::current().absoluteFilePath(a.value(QStringLiteral("pdf")));
    checkOutputFile(path, QByteArrayLiteral("%PDF-"), QStringLiteral(" PDF "));

    openProgramDatabase(a.dbPath());
    Login::readUnit();
    Database &db = dataModule().db();
    const QString conditions = ArrearsNotices::conditions(reference, area);
    // A house whose arrears no receipt can write is refused as the window refuses it.
    ArrearsStatements::checkAmounts(db, reference, conditions);
    const std::unique_ptr<Cursor> rows = db.cursor(ArrearsStatements::list(reference, conditions));
    // The tool has no login: the notices are dated the day they are made.
    const ArrearsNotices::Batch batch =
        ArrearsNotices::build(*rows, ArrearsNotices::office(db, UnitName, Dates::format(QDate::currentDate())), reference);
    if (batch.notices.isEmpty()) {
        out << "到期日期 " << Dates::format(reference) << " 没有欠费金额大于零的房屋，没有写出催费通知单\n";
        return 0;
    }
    report::writePdf(batch.pages, path);
    ArrearsNotices::record(int(batch.notices.size()), reference,
                           area.isEmpty() ? QStringLiteral("全部") : QStringLiteral("小区名称：") + area);
    out << "催费通知单 " << batch.notices.size() << " 份（" << batch.pages.size() << " 页）已写入 "
        << QDir::toNativeSeparators(path) << '\n';
    return 0;
}

AdminCommandRegistrar reg({QStringLiteral("notices"), QStringLiteral("--db PATH --date yyyy-mm-dd [--area NAME] --pdf FILE"),
                           QStringLiteral("催费通知单：到期日期前未交费、欠费金额大于零的房屋（可限一个小区），每户一份，"
                                          "每页两份，写成 PDF；记入操作记录"),
                           runNotices});

} // namespace
