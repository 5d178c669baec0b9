#include "data/DayFigures.h"
#include "data/KeptFigures.h"
#include "data/LiveRow.h"
#include "db/CaseFold.h"
#include "db/Database.h"

#include <QMap>

namespace DayFigures {

namespace {

// A group's key as the payments' columns compare: without letter case, a missing value as "".
// The file's COALESCE would compare byte by byte; the server's keeps citext.
QString key(bool server, const QString &column)
{
    const QString k = QStringLiteral("COALESCE(%1, '')").arg(column);
    return server ? k : k + QStringLiteral(" COLLATE ") + QLatin1String(CaseFold::CollationName);
}

// An amount is whole fen when rounding it to two decimals leaves it as it is. Each engine
// reads the stored amount its own way (the server as the decimal its exact sums add up), and
// the triggers and the recount use the same expressions. `row` is "" or "NEW.".
QString wholeFen(bool server, const QString &row)
{
    return server ? QStringLiteral("(round(CAST(%1theMoney AS numeric), 2) = CAST(%1theMoney AS numeric))").arg(row)
                  : QStringLiteral("(round(%1theMoney, 2) = %1theMoney)").arg(row);
}

QString fen(bool server, const QString &row = {})
{
    const QString inFen = server ? QStringLiteral("CAST(CAST(%1theMoney AS numeric) * 100 AS bigint)").arg(row)
                                 : QStringLiteral("CAST(round(%1theMoney * 100) AS INTEGER)").arg(row);
    return QStringLiteral("CASE WHEN %1theMoney IS NULL THEN 0 WHEN %2 THEN %3 ELSE 0 END").arg(row, wholeFen(server, row), inFen);
}

QString odd(bool server, const QString &row = {})
{
    return QStringLiteral("CASE WHEN %1theMoney IS NULL OR %2 THEN 0 ELSE 1 END").arg(row, wholeFen(server, row));
}

QString keys(bool server, const QString &row = {})
{
    return key(server, row + QStringLiteral("myDate")) + QStringLiteral(", ") + key(server, row + QStringLiteral("AName"))
        + QStringLiteral(", ") + key(server, row + QStringLiteral("MType"));
}

// A day's total's key: payment date and method.
QString totalKeys(bool server, const QString &row = {})
{
    return key(server, row + QStringLiteral("myDate")) + QStringLiteral(", ") + key(server, row + QStringLiteral("MType"));
}

// The kept row of the payment's day total.
const char kTotalOfNew[] = "(myDate = COALESCE(NEW.myDate, '')) AND (MType = COALESCE(NEW.MType, ''))";

// The kept row of the payment's group.
const char kGroupOfNew[] = "(myDate = COALESCE(NEW.myDate, '')) AND (AName = COALESCE(NEW.AName, '')) "
                           "AND (MType = COALESCE(NEW.MType, ''))";

struct Group {
    QString date, area, method;
    qint64 count = 0, fen = 0, odd = 0;
};

// Groups by their folded keys, in date, area and method order.
using Groups = QMap<QString, Group>;

QString foldedKey(const Group &g)
{
    return CaseFold::folded(g.date) + QChar(0x1f) + CaseFold::folded(g.area) + QChar(0x1f) + CaseFold::folded(g.method);
}

Groups read(Database &db, const QString &sql)
{
    Groups groups;
    auto c = db.cursor(sql);
    while (c->next()) {
        const Group g{c->text(0), c->text(1), c->text(2), c->text(3).toLongLong(), c->text(4).toLongLong(), c->text(5).toLongLong()};
        const QString k = foldedKey(g);
        auto it = groups.find(k);
        if (it == groups.end()) {
            groups.insert(k, g);
        } else {
            // Two kept rows of one group (its index removed behind the program's back):
            // their sum stands for the group.
            it->count += g.count;
            it->fen += g.fen;
            it->odd += g.odd;
        }
    }
    return groups;
}

QString yuan(qint64 fen)
{
    const QString sign = fen < 0 ? QStringLiteral("-") : QString();
    const qint64 a = fen < 0 ? -fen : fen;
    return sign + QString::number(a / 100) + QLatin1Char('.') + QStringLiteral("%1").arg(a % 100, 2, 10, QLatin1Char('0'));
}

QString described(const Group &g)
{
    QString s = QStringLiteral("%1 笔 %2 元").arg(g.count).arg(yuan(g.fen));
    if (g.odd != 0)
        s += QStringLiteral("（其中 %1 笔金额不是整分，未计入）").arg(g.odd);
    return s;
}

} // namespace

QString keepers(bool server, bool withTotals)
{
    const QString group = QString::fromLatin1(kGroupOfNew);
    const QString total = QString::fromLatin1(kTotalOfNew);
    if (server) {
        // A stored payment counts in (1), a voided one out (-1); a group left without
        // payments is gone, as it is from a recount.
        const QString totals = withTotals
            ? QStringLiteral("  UPDATE UDayTotal SET theCount = theCount + s, theFen = theFen + f, theOdd = theOdd + o "
                             "WHERE %1;\n"
                             "  IF NOT FOUND THEN\n"
                             "    INSERT INTO UDayTotal (myDate, MType, theCount, theFen, theOdd) VALUES (%2, s, f, o);\n"
                             "  ELSIF s < 0 THEN\n"
                             "    DELETE FROM UDayTotal WHERE %1 AND theCount = 0 AND theFen = 0 AND theOdd = 0;\n"
                             "  END IF;\n")
                  .arg(total, totalKeys(true, QStringLiteral("NEW.")))
            : QString();
        return QStringLiteral(
                   "CREATE FUNCTION cy_day_figures() RETURNS trigger LANGUAGE plpgsql AS $$\n"
                   "DECLARE s int := CASE WHEN TG_OP = 'INSERT' THEN 1 ELSE -1 END;\n"
                   "  f bigint := s * (%1);\n"
                   "  o bigint := s * (%2);\n"
                   "BEGIN\n"
                   "  UPDATE UDayFigure SET theCount = theCount + s, theFen = theFen + f, theOdd = theOdd + o WHERE %3;\n"
                   "  IF NOT FOUND THEN\n"
                   "    INSERT INTO UDayFigure (myDate, AName, MType, theCount, theFen, theOdd) VALUES (%4, s, f, o);\n"
                   "  ELSIF s < 0 THEN\n"
                   "    DELETE FROM UDayFigure WHERE %3 AND theCount = 0 AND theFen = 0 AND theOdd = 0;\n"
                   "  END IF;\n")
            .arg(fen(true, QStringLiteral("NEW.")), odd(true, QStringLiteral("NEW.")), group, keys(true, QStringLiteral("NEW.")))
            + totals
            + QStringLiteral(
                   "  RETURN NULL;\n"
                   "END\n$$;\n"
                   "CREATE TRIGGER UCharge_figures_insert AFTER INSERT ON UCharge FOR EACH ROW "
                   "WHEN (NEW.theDel = '否') EXECUTE FUNCTION cy_day_figures();\n"
                   "CREATE TRIGGER UCharge_figures_void AFTER UPDATE OF theDel ON UCharge FOR EACH ROW "
                   "WHEN (OLD.theDel = '否' AND NEW.theDel IS DISTINCT FROM '否') EXECUTE FUNCTION cy_day_figures();\n");
    }
    const QString newFen = fen(false, QStringLiteral("NEW.")), newOdd = odd(false, QStringLiteral("NEW."));
    const QString in = QStringLiteral(
        "  UPDATE %1 SET theCount = theCount + 1, theFen = theFen + (%2), theOdd = theOdd + (%3) WHERE %4;\n"
        "  INSERT INTO %1 (%5, theCount, theFen, theOdd) SELECT %6, 1, %2, %3 WHERE NOT EXISTS (SELECT 1 FROM %1 WHERE %4);\n");
    const QString out = QStringLiteral(
        "  UPDATE %1 SET theCount = theCount - 1, theFen = theFen - (%2), theOdd = theOdd - (%3) WHERE %4;\n"
        "  DELETE FROM %1 WHERE %4 AND theCount = 0 AND theFen = 0 AND theOdd = 0;\n");
    QString inserted = in.arg(QStringLiteral("UDayFigure"), newFen, newOdd, group, QStringLiteral("myDate, AName, MType"),
                              keys(false, QStringLiteral("NEW.")));
    QString voided = out.arg(QStringLiteral("UDayFigure"), newFen, newOdd, group);
    if (withTotals) {
        inserted += in.arg(QStringLiteral("UDayTotal"), newFen, newOdd, total, QStringLiteral("myDate, MType"),
                           totalKeys(false, QStringLiteral("NEW.")));
        voided += out.arg(QStringLiteral("UDayTotal"), newFen, newOdd, total);
    }
    return QStringLiteral("CREATE TRIGGER IF NOT EXISTS UCharge_figures_insert AFTER INSERT ON UCharge FOR EACH ROW "
                          "WHEN NEW.theDel = '否' BEGIN\n")
        + inserted
        + QStringLiteral("END;\n"
                         "CREATE TRIGGER IF NOT EXISTS UCharge_figures_void AFTER UPDATE OF theDel ON UCharge FOR EACH ROW "
                         "WHEN OLD.theDel = '否' AND NEW.theDel IS NOT '否' BEGIN\n")
        + voided + QStringLiteral("END;\n");
}

QString dropKeepers(bool server)
{
    return server ? QStringLiteral("DROP TRIGGER IF EXISTS UCharge_figures_insert ON UCharge;\n"
                                   "DROP TRIGGER IF EXISTS UCharge_figures_void ON UCharge;\n"
                                   "DROP FUNCTION IF EXISTS cy_day_figures();\n")
                  : QStringLiteral("DROP TRIGGER IF EXISTS UCharge_figures_insert;\n"
                                   "DROP TRIGGER IF EXISTS UCharge_figures_void;\n");
}

QString recount(const Database &db)
{
    const bool server = db.isServer();
    return QStringLiteral("SELECT ") + keys(server) + QStringLiteral(", COUNT(*), SUM(") + fen(server)
        + QStringLiteral("), SUM(") + odd(server) + QStringLiteral(") FROM UCharge WHERE (" LIVE_ROW ") GROUP BY ")
        + keys(server);
}

QString recountTotals(const Database &db)
{
    const bool server = db.isServer();
    return QStringLiteral("SELECT ") + totalKeys(server) + QStringLiteral(", COUNT(*), SUM(") + fen(server)
        + QStringLiteral("), SUM(") + odd(server) + QStringLiteral(") FROM UCharge WHERE (" LIVE_ROW ") GROUP BY ")
        + totalKeys(server);
}

void rebuild(Database &db)
{
    db.exec(QStringLiteral("DELETE FROM UDayFigure"));
    db.exec(QStringLiteral("INSERT INTO UDayFigure (myDate, AName, MType, theCount, theFen, theOdd) ") + recount(db));
    if (hasTotals(db))
        rebuildTotals(db);
}

void rebuildTotals(Database &db)
{
    db.exec(QStringLiteral("DELETE FROM UDayTotal"));
    db.exec(QStringLiteral("INSERT INTO UDayTotal (myDate, MType, theCount, theFen, theOdd) ") + recountTotals(db));
}

bool hasTotals(Database &db)
{
    return db.tables().contains(QStringLiteral("UDayTotal"), Qt::CaseInsensitive);
}

QString firstDifference(Database &db)
{
    const Groups kept = read(db, QStringLiteral("SELECT myDate, AName, MType, theCount, theFen, theOdd FROM UDayFigure"));
    const Groups counted = read(db, recount(db));
    QString first;
    int differing = 0;
    auto shown = [](const QString &text) { return text.isEmpty() ? QStringLiteral("（空）") : text; };
    auto compare = [&](const Group &named, const Group &k, const Group &c) {
        if (k.count == c.count && k.fen == c.fen && k.odd == c.odd)
            return;
        if (++differing == 1)
            first = QStringLiteral("日汇总与收费记录不符：%1 %2 %3：日汇总为 %4，收费记录为 %5")
                        .arg(shown(named.date), shown(named.area), shown(named.method), described(k), described(c));
    };
    // Both in key order: walked side by side, each group once.
    KeptFigures::walkSideBySide(kept, counted, compare);
    // The days' totals, by date and method, against the same payments.
    if (hasTotals(db)) {
        const bool server = db.isServer();
        const Groups keptTotals = read(db, QStringLiteral("SELECT myDate, '', MType, theCount, theFen, theOdd FROM UDayTotal"));
        const Groups countedTotals = read(db, QStringLiteral("SELECT ") + key(server, QStringLiteral("myDate"))
                                                  + QStringLiteral(", '', ") + key(server, QStringLiteral("MType"))
                                                  + QStringLiteral(", COUNT(*), SUM(") + fen(server) + QStringLiteral("), SUM(")
                                                  + odd(server) + QStringLiteral(") FROM UCharge WHERE (" LIVE_ROW ") GROUP BY ")
                                                  + totalKeys(server));
        KeptFigures::walkSideBySide(keptTotals, countedTotals, [&](const Group &named, const Group &k, const Group &c) {
            if (k.count == c.count && k.fen == c.fen && k.odd == c.odd)
                return;
            if (++differing == 1)
                first = QStringLiteral("日合计与收费记录不符：%1 %2：日合计为 %3，收费记录为 %4")
                            .arg(shown(named.date), shown(named.method), described(k), described(c));
        });
    }
    if (differing > 1)
        first += QStringLiteral("（另有 %1 处不符）").arg(differing - 1);
    return first;
}

} // namespace DayFigures
