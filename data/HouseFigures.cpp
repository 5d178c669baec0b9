#include "data/HouseFigures.h"
#include "data/BoundWrite.h"
#include "data/KeptFigures.h"
#include "data/LiveRow.h"
#include "db/CaseFold.h"
#include "db/Database.h"

#include <QMap>
#include <QRegularExpression>

namespace HouseFigures {

namespace {

// A group's key as the houses' columns compare: without letter case, a missing area as "".
QString key(bool server, const QString &column)
{
    const QString k = QStringLiteral("COALESCE(%1, '')").arg(column);
    return server ? k : k + QStringLiteral(" COLLATE ") + QLatin1String(CaseFold::CollationName);
}

QString keys(bool server, const QString &row = {})
{
    return key(server, row + QStringLiteral("AName")) + QStringLiteral(", ") + key(server, row + QStringLiteral("EndDate"));
}

// A figure as the engine reads the stored double: on the server as the decimal its exact
// sums add up, on the file as the double itself.
QString decimal(bool server, const QString &column)
{
    return server ? QStringLiteral("CAST(%1 AS numeric)").arg(column) : column;
}

// 1 for a house whose figures do not fit the kept units, else 0. The bounds come first: a
// figure beyond them (or not a number) is never rounded or cast. `row` is "" or "NEW."/"OLD.".
QString odd(bool server, const QString &row = {})
{
    const QString area = row + QStringLiteral("theArea"), price = row + QStringLiteral("thePrice");
    const QString twoDecimals = QStringLiteral("round(%1, 2) = %1");
    // Each step only where the one before let the house through: the server's product of two
    // figures beyond 10^9 could overflow.
    return QStringLiteral("(CASE WHEN %1 IS NULL OR %2 IS NULL OR %3EndDate IS NULL THEN 1 "
                          "WHEN NOT (ABS(%1) < 1e9) OR NOT (ABS(%2) < 1e9) THEN 1 "
                          "WHEN NOT (ABS(%1 * %2) < 1e7) THEN 1 "
                          "WHEN %4 AND %5 THEN 0 ELSE 1 END)")
        .arg(area, price, row, twoDecimals.arg(decimal(server, area)), twoDecimals.arg(decimal(server, price)));
}

// A figure in hundredths, for a house that is not odd.
QString hundredths(bool server, const QString &column)
{
    return server ? QStringLiteral("CAST(CAST(%1 AS numeric) * 100 AS bigint)").arg(column)
                  : QStringLiteral("CAST(round(%1 * 100) AS INTEGER)").arg(column);
}

QString centi(bool server, const QString &row = {})
{
    return QStringLiteral("(CASE WHEN %1 = 1 THEN 0 ELSE %2 END)").arg(odd(server, row), hundredths(server, row + QStringLiteral("theArea")));
}

QString fee(bool server, const QString &row = {})
{
    return QStringLiteral("(CASE WHEN %1 = 1 THEN 0 ELSE %2 * %3 END)")
        .arg(odd(server, row), hundredths(server, row + QStringLiteral("theArea")), hundredths(server, row + QStringLiteral("thePrice")));
}

// The kept row of a house's group; `row` is "NEW." or "OLD.".
QString groupOf(const QString &row)
{
    return QStringLiteral("(AName = COALESCE(%1AName, '')) AND (EndDate = COALESCE(%1EndDate, ''))").arg(row);
}

struct Group {
    QString area, date;
    qint64 count = 0, centi = 0, fee = 0, odd = 0;
};

using Groups = QMap<QString, Group>;

Groups read(Database &db, const QString &sql)
{
    Groups groups;
    auto c = db.cursor(sql);
    while (c->next()) {
        const Group g{c->text(0), c->text(1), c->text(2).toLongLong(), c->text(3).toLongLong(), c->text(4).toLongLong(),
                      c->text(5).toLongLong()};
        const QString k = CaseFold::folded(g.area) + QChar(0x1f) + CaseFold::folded(g.date);
        auto it = groups.find(k);
        if (it == groups.end()) {
            groups.insert(k, g);
        } else {
            // Two kept rows of one group (its index removed behind the program's back):
            // their sum stands for the group.
            it->count += g.count;
            it->centi += g.centi;
            it->fee += g.fee;
            it->odd += g.odd;
        }
    }
    return groups;
}

QString fixed(qint64 units, int decimals)
{
    const QString sign = units < 0 ? QStringLiteral("-") : QString();
    const qint64 a = units < 0 ? -units : units;
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return sign + QString::number(a / scale) + QLatin1Char('.')
        + QStringLiteral("%1").arg(a % scale, decimals, 10, QLatin1Char('0'));
}

QString described(const Group &g)
{
    QString s = QStringLiteral("%1 户 面积 %2 年费 %3 元").arg(g.count).arg(fixed(g.centi, 2), fixed(g.fee, 4));
    if (g.odd != 0)
        s += QStringLiteral("（其中 %1 户面积、单价或到期日期不合计数，未计入）").arg(g.odd);
    return s;
}

// The kept statements of the file's triggers: a house taken out of its group, put into it.
QString fileOut(const QString &row, const QString &when)
{
    return QStringLiteral("  UPDATE UHouseFigure SET theCount = theCount - 1, theCenti = theCenti - %1, "
                          "theFee = theFee - %2, theOdd = theOdd - %3 WHERE %5%4;\n"
                          "  DELETE FROM UHouseFigure WHERE %5%4 AND theCount = 0 AND theCenti = 0 AND theFee = 0 AND theOdd = 0;\n")
        .arg(centi(false, row), fee(false, row), odd(false, row), groupOf(row), when);
}

QString fileIn(const QString &row, const QString &when)
{
    return QStringLiteral("  UPDATE UHouseFigure SET theCount = theCount + 1, theCenti = theCenti + %1, "
                          "theFee = theFee + %2, theOdd = theOdd + %3 WHERE %5%4;\n"
                          // The first house of its group: the update changed no row (changes()
                          // counts the trigger's own last statement), no second look-up.
                          "  INSERT INTO UHouseFigure (AName, EndDate, theCount, theCenti, theFee, theOdd) "
                          "SELECT %6, 1, %1, %2, %3 WHERE %5changes() = 0;\n")
        .arg(centi(false, row), fee(false, row), odd(false, row), groupOf(row), when, keys(false, row));
}

// The columns whose change moves a house between groups or changes its figures.
const char *const kColumns[] = {"AName", "EndDate", "theArea", "thePrice", "theDel"};

QString changed(bool server)
{
    QStringList any;
    for (const char *c : kColumns)
        any << QStringLiteral("OLD.%1 %2 NEW.%1").arg(QLatin1String(c), server ? QStringLiteral("IS DISTINCT FROM") : QStringLiteral("IS NOT"));
    return any.join(QStringLiteral(" OR "));
}

} // namespace

QString keepers(bool server)
{
    if (server) {
        auto figures = [](const QString &row) {
            return QStringLiteral("    o := %1;\n    c := %2;\n    f := %3;\n")
                .arg(odd(true, row), centi(true, row), fee(true, row));
        };
        return QStringLiteral(
                   "CREATE FUNCTION cy_house_figures() RETURNS trigger LANGUAGE plpgsql AS $$\n"
                   "DECLARE o bigint; c bigint; f bigint;\n"
                   "BEGIN\n"
                   "  IF TG_OP <> 'INSERT' THEN IF OLD.theDel = '否' THEN\n%1"
                   "    UPDATE UHouseFigure SET theCount = theCount - 1, theCenti = theCenti - c, theFee = theFee - f, "
                   "theOdd = theOdd - o WHERE %2;\n"
                   "    DELETE FROM UHouseFigure WHERE %2 AND theCount = 0 AND theCenti = 0 AND theFee = 0 AND theOdd = 0;\n"
                   "  END IF; END IF;\n"
                   "  IF TG_OP <> 'DELETE' THEN IF NEW.theDel = '否' THEN\n%3"
                   "    UPDATE UHouseFigure SET theCount = theCount + 1, theCenti = theCenti + c, theFee = theFee + f, "
                   "theOdd = theOdd + o WHERE %4;\n"
                   "    IF NOT FOUND THEN\n"
                   "      INSERT INTO UHouseFigure (AName, EndDate, theCount, theCenti, theFee, theOdd) VALUES (%5, 1, c, f, o);\n"
                   "    END IF;\n"
                   "  END IF; END IF;\n"
                   "  RETURN NULL;\n"
                   "END\n$$;\n"
                   "CREATE TRIGGER UHouse_figures_insert AFTER INSERT ON UHouse FOR EACH ROW "
                   "WHEN (NEW.theDel = '否') EXECUTE FUNCTION cy_house_figures();\n"
                   "CREATE TRIGGER UHouse_figures_update AFTER UPDATE OF AName, EndDate, theArea, thePrice, theDel ON UHouse "
                   "FOR EACH ROW WHEN ((OLD.theDel = '否' OR NEW.theDel = '否') AND (%6)) EXECUTE FUNCTION cy_house_figures();\n"
                   "CREATE TRIGGER UHouse_figures_delete AFTER DELETE ON UHouse FOR EACH ROW "
                   "WHEN (OLD.theDel = '否') EXECUTE FUNCTION cy_house_figures();\n")
            .arg(figures(QStringLiteral("OLD.")), groupOf(QStringLiteral("OLD.")), figures(QStringLiteral("NEW.")),
                 groupOf(QStringLiteral("NEW.")), keys(true, QStringLiteral("NEW.")), changed(true));
    }
    return QStringLiteral("CREATE TRIGGER IF NOT EXISTS UHouse_figures_insert AFTER INSERT ON UHouse FOR EACH ROW "
                          "WHEN NEW.theDel = '否' BEGIN\n%1END;\n"
                          "CREATE TRIGGER IF NOT EXISTS UHouse_figures_update AFTER UPDATE OF AName, EndDate, theArea, "
                          "thePrice, theDel ON UHouse FOR EACH ROW WHEN (OLD.theDel = '否' OR NEW.theDel = '否') AND (%2) "
                          "BEGIN\n%3%4END;\n"
                          "CREATE TRIGGER IF NOT EXISTS UHouse_figures_delete AFTER DELETE ON UHouse FOR EACH ROW "
                          "WHEN OLD.theDel = '否' BEGIN\n%5END;\n")
        .arg(fileIn(QStringLiteral("NEW."), QString()), changed(false),
             // The old figures go only where the house was live, the new only where it is.
             fileOut(QStringLiteral("OLD."), QStringLiteral("OLD.theDel = '否' AND ")),
             fileIn(QStringLiteral("NEW."), QStringLiteral("NEW.theDel = '否' AND ")), fileOut(QStringLiteral("OLD."), QString()));
}

QString recount(const Database &db)
{
    const bool server = db.isServer();
    return QStringLiteral("SELECT ") + keys(server) + QStringLiteral(", COUNT(*), SUM(") + centi(server)
        + QStringLiteral("), SUM(") + fee(server) + QStringLiteral("), SUM(") + odd(server)
        + QStringLiteral(") FROM UHouse WHERE (" LIVE_ROW ") GROUP BY ") + keys(server);
}

qint64 holdBackInserts(Database &db)
{
    db.exec(QStringLiteral("DROP TRIGGER IF EXISTS UHouse_figures_insert"));
    return db.scalar(QStringLiteral("SELECT COALESCE(MAX(ID), 0) FROM UHouse")).toLongLong();
}

void addNewer(Database &db, qint64 after)
{
    // Whether a house is odd is asked once (its rounding tests are the costly part), in a
    // subquery that LIMIT keeps from being merged into the grouping, which would ask it
    // again for each sum.
    const Rows groups = db.select(
        QStringLiteral("SELECT %1, COUNT(*), SUM(CASE WHEN o = 1 THEN 0 ELSE %2 END), "
                       "SUM(CASE WHEN o = 1 THEN 0 ELSE %2 * %3 END), SUM(o) FROM (SELECT AName, EndDate, theArea, "
                       "thePrice, %4 AS o FROM UHouse WHERE (" LIVE_ROW ") AND (ID > %5) LIMIT -1) batch GROUP BY %1")
            .arg(keys(false), hundredths(false, QStringLiteral("theArea")), hundredths(false, QStringLiteral("thePrice")),
                 odd(false))
            .arg(after));
    for (int r = 0; r < groups.rowCount(); ++r) {
        const QVariantList values{groups.at(r, 2).toLongLong(), groups.at(r, 3).toLongLong(),
                                  groups.at(r, 4).toLongLong(), groups.at(r, 5).toLongLong(), groups.at(r, 0),
                                  groups.at(r, 1)};
        BoundWrite::run(db, QStringLiteral("UPDATE UHouseFigure SET theCount = theCount + ?, theCenti = theCenti + ?, "
                                           "theFee = theFee + ?, theOdd = theOdd + ? WHERE (AName = ?) AND (EndDate = ?)"),
                        values);
        if (db.changes() == 0)
            BoundWrite::run(db, QStringLiteral("INSERT INTO UHouseFigure (theCount, theCenti, theFee, theOdd, AName, EndDate) "
                                               "VALUES (?, ?, ?, ?, ?, ?)"),
                            values);
    }
    db.exec(keepers(false)); // makes the missing one again
}

void rebuild(Database &db)
{
    db.exec(QStringLiteral("DELETE FROM UHouseFigure"));
    db.exec(QStringLiteral("INSERT INTO UHouseFigure (AName, EndDate, theCount, theCenti, theFee, theOdd) ") + recount(db));
}

QString firstDifference(Database &db)
{
    const Groups kept = read(db, QStringLiteral("SELECT AName, EndDate, theCount, theCenti, theFee, theOdd FROM UHouseFigure"));
    const Groups counted = read(db, recount(db));
    QString first;
    int differing = 0;
    auto shown = [](const QString &text) { return text.isEmpty() ? QStringLiteral("（空）") : text; };
    auto compare = [&](const Group &named, const Group &k, const Group &c) {
        if (k.count == c.count && k.centi == c.centi && k.fee == c.fee && k.odd == c.odd)
            return;
        if (++differing == 1)
            first = QStringLiteral("户汇总与房屋记录不符：%1 %2：户汇总为 %3，房屋记录为 %4")
                        .arg(shown(named.area), shown(named.date), described(k), described(c));
    };
    // Both in key order: walked side by side, each group once.
    KeptFigures::walkSideBySide(kept, counted, compare);
    if (differing > 1)
        first += QStringLiteral("（另有 %1 处不符）").arg(differing - 1);
    return first;
}

bool covers(const QString &conditions)
{
    // The paid-up date clause and the area criterion exactly as they are written; a value
    // holds no quote but doubled ones. An empty area is left to the houses: the groups keep
    // a missing one as "".
    static const QRegularExpression clause(QStringLiteral(
        "\\G(?:AND \\(EndDate < '(?:[^']|'')+'\\) |AND \\(AName = '(?:[^']|'')+'\\) )"));
    return KeptFigures::onlyClauses(conditions, clause);
}

} // namespace HouseFigures
