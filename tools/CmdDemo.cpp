// demo: fills a new or empty database with a realistic fee office.
#include "tools/AdminCommand.h"
#include "operators/Login.h"
#include "db/Database.h"
#include "demo/DemoData.h"
#include "db/Numbers.h"
#include "db/Dates.h"
#include "data/Schema.h"

#include <QFileInfo>

namespace {

int runDemo(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("houses"), QStringLiteral("years"),
                             QStringLiteral("areas"), QStringLiteral("seed"), QStringLiteral("charge-date"),
                             QStringLiteral("pay-share")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    DemoOptions o;
    o.houses = int(Numbers::toInt(a.value(QStringLiteral("houses"), QStringLiteral("2000"))));
    o.years = int(Numbers::toInt(a.value(QStringLiteral("years"), QStringLiteral("3"))));
    o.areas = int(Numbers::toInt(a.value(QStringLiteral("areas"), QStringLiteral("0"))));
    o.seed = quint32(Numbers::toInt(a.value(QStringLiteral("seed"), QStringLiteral("20241010"))));
    o.payShare = Numbers::toDouble(a.value(QStringLiteral("pay-share"), QStringLiteral("0.85")));
    if (a.has(QStringLiteral("charge-date"))) {
        o.chargeDate = Dates::parse(a.value(QStringLiteral("charge-date")));
        if (const QString refusal = Login::chargeDateRefusal(o.chargeDate); !refusal.isEmpty()) {
            err << refusal << '\n';
            return 2;
        }
    }
    o.progress = [&](const QString &s) { out << s << '\n'; out.flush(); };

    const QString path = a.dbPath();
    if (!Database::isServerUrl(path) && !QFileInfo::exists(path))
        Schema::createFile(path);
    Database db;
    db.open(path, QString::fromUtf8(Schema::DatabaseKey));
    // An empty server database gets the tables first, as a new file does.
    if (db.isServer() && db.tables().isEmpty())
        Schema::initialize(db);
    const DemoSummary s = DemoData::generate(db, o);
    out << "演示数据已填入 " << Database::shownLocation(path) << "：小区 " << s.areas << " 个，业主 " << s.houses << " 户，收费 " << s.payments
        << " 笔，欠费 " << s.inArrears << " 户\n";
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("demo"),
                         QStringLiteral("--db PATH [--houses N] [--years Y] [--areas A] [--charge-date yyyy-mm-dd] [--seed S]"),
                         QStringLiteral("在新的或空的数据库中填入演示数据（小区、单价、收款方式、操作员、业主和 Y 个收费季的收费记录）；已有业主时拒绝"),
                         runDemo});

} // namespace
