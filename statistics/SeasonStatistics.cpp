#include "statistics/SeasonStatistics.h"
#include "data/LiveRow.h"
#include "data/OfficeRules.h"
#include "db/Database.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "db/Sql.h"
#include "owners/ArrearsStatements.h"

#include <QHash>
#include <QMap>
#include <algorithm>
#include <cmath>

namespace SeasonStatistics {

namespace {

// A paid-up date that the arrears reminder can judge: "yyyy-mm-dd", ten characters with
// the dashes in their places and ASCII digits everywhere else (with the digits taken out,
// only the two dashes are left). The file says so with one pattern, a fraction of the time
// of ten replacements for every house; the server with functions it has.
QString judgeableDate(const Database &db, const QString &column)
{
    if (!db.isServer())
        return QStringLiteral("(%1 GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]')").arg(column);
    QString rest = column;
    for (char d = '0'; d <= '9'; ++d)
        rest = QStringLiteral("replace(") + rest + QStringLiteral(", '") + QLatin1Char(d) + QStringLiteral("', '')");
    return QStringLiteral("(length(%1) = 10 AND substr(%1, 5, 1) = '-' AND substr(%1, 8, 1) = '-' AND %2 = '--')")
        .arg(column, rest);
}

// `only` narrows the houses: "" or "AND (...) ".
QString housesByArea(const Database &db, const Season &s, const QString &only = {})
{
    const QString e = Sql::quote(Dates::format(s.end));
    // Season prices and suspensions in the amount owed, where the office has any.
    const QString seasons = ArrearsStatements::seasonsPart(db, QStringLiteral("DateDiff('yyyy', EndDate, %1)").arg(e));
    const QString paid = QStringLiteral("(EndDate >= %1 AND %2)").arg(e, judgeableDate(db, QStringLiteral("EndDate")));
    const QString behind = QStringLiteral("(EndDate < %1)").arg(e);
    return QStringLiteral("SELECT AName, COUNT(*) AS houses, ") + db.exactSum(QStringLiteral("theArea"))
        + QStringLiteral(" AS floorArea, ")
        + QStringLiteral("SUM(CASE WHEN %1 THEN 1 ELSE 0 END) AS paid, ").arg(paid)
        + db.exactSum(QStringLiteral("CASE WHEN %1 THEN theArea END").arg(paid)) + QStringLiteral(" AS paidArea, ")
        + QStringLiteral("SUM(CASE WHEN %1 THEN 1 ELSE 0 END) AS behind, ").arg(behind)
        + db.exactSum(QStringLiteral("CASE WHEN %1 THEN theArea END").arg(behind)) + QStringLiteral(" AS behindArea, ")
        // The arrears reminder's amount: calendar years owed times area times unit price.
        + db.exactSum(QStringLiteral("CASE WHEN %1 THEN DateDiff('yyyy', EndDate, %2) * theArea * thePrice%3 END")
                          .arg(behind, e, seasons.isEmpty() ? QString() : QStringLiteral(" + ") + seasons))
        + QStringLiteral(" AS owed ")
        + QStringLiteral("FROM UHouse WHERE (" LIVE_ROW ") ") + only + QStringLiteral("GROUP BY AName");
}

// The same figures from the houses' groups kept by area and paid-up date (HouseFigures):
// areas in hundredths of a square metre, fees in ten-thousandths of a yuan, and the number
// of houses that do not fit them, which send their area back to the houses.
QString housesFromFigures(const Database &db, const Season &s)
{
    const QString e = Sql::quote(Dates::format(s.end));
    const QString paid = QStringLiteral("(EndDate >= %1 AND %2)").arg(e, judgeableDate(db, QStringLiteral("EndDate")));
    const QString behind = QStringLiteral("(EndDate < %1)").arg(e);
    return QStringLiteral("SELECT AName, SUM(theCount), SUM(theCenti), "
                          "SUM(CASE WHEN %1 THEN theCount ELSE 0 END), SUM(CASE WHEN %1 THEN theCenti END), "
                          "SUM(CASE WHEN %2 THEN theCount ELSE 0 END), SUM(CASE WHEN %2 THEN theCenti END), "
                          "SUM(CASE WHEN %2 THEN DateDiff('yyyy', EndDate, %3) * theFee END), SUM(theOdd) "
                          "FROM UHouseFigure GROUP BY AName")
        .arg(paid, behind, e);
}

// One area's houses, however its name is spelled; a missing name is the empty one.
QString onlyArea(const QString &area)
{
    return area.isEmpty() ? QStringLiteral("AND (COALESCE(AName, '') = '') ")
                          : QStringLiteral("AND (AName = %1) ").arg(Sql::quote(area));
}

// One row per day, area and payment method: the season's payments are read once, and
// the area, day and method figures are all gathered from these rows.
QString paymentsByDayAreaMethod(const Database &db, const Season &s)
{
    return QStringLiteral("SELECT myDate, AName, MType, COUNT(*) AS payments, ") + db.exactSum(QStringLiteral("theMoney"))
        + QStringLiteral(" AS taken FROM UCharge "
                         "WHERE (" LIVE_ROW ") AND (myDate >= %1) AND (myDate <= %2) "
                         "GROUP BY myDate, AName, MType")
              .arg(Sql::quote(Dates::format(s.begin)), Sql::quote(Dates::format(s.end)));
}

// The same groups from the figures kept beside the payments (DayFigures): amounts in whole
// fen, and the payments whose amount is none, which send the statistics back to the payments.
QString figuresByDayAreaMethod(const Season &s)
{
    return QStringLiteral("SELECT myDate, AName, MType, theCount, theFen, theOdd FROM UDayFigure "
                          "WHERE (myDate >= %1) AND (myDate <= %2)")
        .arg(Sql::quote(Dates::format(s.begin)), Sql::quote(Dates::format(s.end)));
}

QString areaList() { return QStringLiteral("SELECT theName FROM SArea"); }

QString arrearsTotals(const Database &db, const Season &s, Houses houses = Houses::Kept)
{
    return houses == Houses::Kept ? ArrearsStatements::totals(db, s.end, ArrearsStatements::dateClause(s.end))
                                  : ArrearsStatements::totalsOfHouses(db, s.end, ArrearsStatements::dateClause(s.end));
}

// Sums and counts read back from the engine: a plain number, or empty for no rows.
double number(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

// Sums many two-decimal amounts without the drift of binary fractions.
struct Sum {
    long double sum = 0;
    long double comp = 0;
    void add(double v)
    {
        const long double t = sum + v;
        comp += std::fabs(double(sum)) >= std::fabs(v) ? (sum - t) + v : (v - t) + sum;
        sum = t;
    }
    double value() const { return double(sum + comp); }
};

} // namespace

double AreaFigures::houseRate() const
{
    return houses > 0 ? 100.0 * paidHouses / houses : -1.0;
}

double AreaFigures::areaRate() const
{
    return floorArea > 0 ? 100.0 * paidArea / floorArea : -1.0;
}

QStringList statements(const Database &db, const Season &season)
{
    return {areaList(), housesFromFigures(db, season), arrearsTotals(db, season), figuresByDayAreaMethod(season)};
}

Figures compute(Database &db, const Season &season, Payments payments, Houses houses)
{
    // The kept figures know the houses' prices, not the seasons' nor the suspensions.
    if (!ArrearsStatements::seasonsPart(db, QStringLiteral("0")).isEmpty())
        houses = Houses::Recounted;
    // The office's arrears are the arrears reminder's own total at the season's end, read
    // first: an amount owed that no receipt could write is refused as the reminder refuses
    // it, before the sums below fail on it or mean nothing.
    const Rows arrears = db.select(arrearsTotals(db, season, houses));
    ArrearsStatements::checkAmounts(db, arrears, season.end, ArrearsStatements::dateClause(season.end));
    Figures f;
    f.season = season;

    // Areas by name without letter case, as the database groups them.
    QMap<QString, AreaFigures> areas;
    auto areaOf = [&areas](const QString &name) -> AreaFigures & {
        const QString key = name.toCaseFolded();
        auto it = areas.find(key);
        if (it == areas.end()) {
            it = areas.insert(key, AreaFigures{});
            it->area = name;
        }
        return *it;
    };

    const Rows listed = db.select(areaList());
    for (int r = 0; r < listed.rowCount(); ++r)
        areaOf(listed.at(r, 0));

    Sum floorArea, paidArea, behindArea, owed;
    // One area's row, its areas and amount owed read in the given units.
    // A missing area and the empty one are two rows of the houses but one area: their
    // figures add up.
    auto addArea = [&](const Rows &rows, int r, double areaUnit, double moneyUnit) {
        AreaFigures &a = areaOf(rows.at(r, 0));
        const int count = rows.at(r, 1).toInt(), paid = rows.at(r, 3).toInt(), behind = rows.at(r, 5).toInt();
        const double floor = number(rows.at(r, 2)) / areaUnit, paidFloor = number(rows.at(r, 4)) / areaUnit,
                     behindFloor = number(rows.at(r, 6)) / areaUnit;
        a.houses += count;
        a.floorArea += floor;
        a.paidHouses += paid;
        a.paidArea += paidFloor;
        a.behindHouses += behind;
        a.behindArea += behindFloor;
        a.owed += number(rows.at(r, 7)) / moneyUnit;
        a.undatedHouses += count - paid - behind;
        f.office.houses += count;
        f.office.paidHouses += paid;
        f.office.behindHouses += behind;
        f.office.undatedHouses += count - paid - behind;
        floorArea.add(floor);
        paidArea.add(paidFloor);
        behindArea.add(behindFloor);
    };
    auto addHouses = [&](const Rows &rows) {
        for (int r = 0; r < rows.rowCount(); ++r)
            addArea(rows, r, 1.0, 1.0);
    };
    if (houses == Houses::Kept) {
        const Rows kept = db.select(housesFromFigures(db, season));
        for (int r = 0; r < kept.rowCount(); ++r) {
            if (kept.at(r, 8).toLongLong() != 0)
                addHouses(db.select(housesByArea(db, season, onlyArea(kept.at(r, 0)))));
            else
                addArea(kept, r, 100.0, 10000.0);
        }
    } else {
        addHouses(db.select(housesByArea(db, season)));
    }
    f.office.floorArea = floorArea.value();
    f.office.paidArea = paidArea.value();
    f.office.behindArea = behindArea.value();
    f.office.owed = arrears.rowCount() > 0 ? number(arrears.at(0, QStringLiteral("欠费金额"))) : 0.0;

    // Tens of thousands of rows at district scale: each area, method and day is looked up
    // by the row's own text, and a day's text is read as a date once.
    QMap<QDate, QPair<Sum, int>> days;
    QHash<QString, QPair<AreaFigures *, Sum>> areaRows;
    QHash<QString, int> methodIndex;
    QVector<QPair<Sum, MethodTaking>> methods;
    Sum taken;
    QString lastDayText;
    QPair<Sum, int> *day = nullptr;
    // One row of a day, area and method: its payments and their amount.
    auto add = [&](const QString &dayText, const QString &areaText, const QString &method, int count, double amount) {
        if (dayText != lastDayText || !day) {
            lastDayText = dayText;
            const QDate d = Dates::tryParse(dayText);
            day = d.isValid() ? &days[d] : nullptr;
            if (!day)
                lastDayText.clear();
        }
        auto a = areaRows.find(areaText);
        if (a == areaRows.end())
            a = areaRows.insert(areaText, {&areaOf(areaText), Sum{}});
        a->first->payments += count;
        a->second.add(amount);
        f.office.payments += count;
        taken.add(amount);
        if (day) {
            day->first.add(amount);
            day->second += count;
        }
        auto it = methodIndex.find(method);
        if (it == methodIndex.end()) {
            // Methods that differ only in letter case are one, as the database compares them.
            int found = -1;
            for (int i = 0; i < methods.size(); ++i)
                if (methods.at(i).second.method.compare(method, Qt::CaseInsensitive) == 0)
                    found = i;
            if (found < 0) {
                found = int(methods.size());
                methods.append({Sum{}, MethodTaking{method, 0, 0}});
            }
            it = methodIndex.insert(method, found);
        }
        methods[*it].first.add(amount);
        methods[*it].second.payments += count;
    };
    struct Group {
        QString day, area, method;
        int count;
        qint64 fen;
    };
    std::vector<Group> kept;
    bool whole = payments == Payments::Kept;
    if (whole) {
        auto figures = db.cursor(figuresByDayAreaMethod(season));
        while (whole && figures->next()) {
            if (figures->text(5).toLongLong() != 0)
                whole = false;
            else
                kept.push_back({figures->text(0), figures->text(1), figures->text(2), figures->text(3).toInt(),
                                figures->text(4).toLongLong()});
        }
    }
    if (whole) {
        for (const Group &g : kept)
            add(g.day, g.area, g.method, g.count, double(g.fen) / 100.0);
    } else {
        auto cursor = db.cursor(paymentsByDayAreaMethod(db, season));
        while (cursor->next())
            add(cursor->text(0), cursor->text(1), cursor->text(2), cursor->text(3).toInt(), number(cursor->text(4)));
    }
    f.office.taken = taken.value();
    f.office.area = QStringLiteral("合计");

    // Several spellings of one area (letter case) add up in the same figures.
    QHash<AreaFigures *, Sum> areaTaken;
    for (auto it = areaRows.begin(); it != areaRows.end(); ++it)
        areaTaken[it->first].add(it->second.value());
    for (auto it = areas.begin(); it != areas.end(); ++it) {
        it->taken = areaTaken.value(&*it).value();
        f.areas.append(*it);
    }
    // In the order of the program's other lists (ORDER BY AName), whatever the machine's locale.
    std::sort(f.areas.begin(), f.areas.end(), [](const AreaFigures &a, const AreaFigures &b) {
        return a.area.compare(b.area, Qt::CaseInsensitive) < 0;
    });
    for (auto it = days.begin(); it != days.end(); ++it)
        f.days.append(DayTaking{it.key(), it->first.value(), it->second});
    for (auto &m : methods) {
        m.second.amount = m.first.value();
        f.methods.append(m.second);
    }
    std::stable_sort(f.methods.begin(), f.methods.end(),
                     [](const MethodTaking &a, const MethodTaking &b) { return a.amount > b.amount; });
    // The season's suspended houses (报停), apart: they pay the base fee only.
    if (OfficeRules::anySuspensions(db))
        f.suspended = OfficeRules::suspendedIn(db, season.year);
    return f;
}

QString formatRate(double rate)
{
    if (rate < 0)
        return QStringLiteral("—");
    return QString::number(rate, 'f', 1) + QLatin1Char('%');
}

QString formatMoney(double amount)
{
    return QString::number(Numbers::roundTo(amount, 2), 'f', 2);
}

QStringList tableHeadings()
{
    return {QStringLiteral("小区名称"), QStringLiteral("户数"),       QStringLiteral("面积"),
            QStringLiteral("已交户数"), QStringLiteral("已交面积"),   QStringLiteral("欠费户数"),
            QStringLiteral("欠费面积"), QStringLiteral("欠费金额"),   QStringLiteral("收款金额"),
            QStringLiteral("收款笔数"), QStringLiteral("户数收费率"), QStringLiteral("面积收费率")};
}

QStringList tableCells(const AreaFigures &a)
{
    return {a.area,
            QString::number(a.houses),
            Numbers::plain(Numbers::roundTo(a.floorArea, 2)),
            QString::number(a.paidHouses),
            Numbers::plain(Numbers::roundTo(a.paidArea, 2)),
            QString::number(a.behindHouses),
            Numbers::plain(Numbers::roundTo(a.behindArea, 2)),
            formatMoney(a.owed),
            formatMoney(a.taken),
            QString::number(a.payments),
            formatRate(a.houseRate()),
            formatRate(a.areaRate())};
}

QString tableText(const Figures &figures)
{
    QString out = tableHeadings().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const AreaFigures &a : figures.areas)
        out += tableCells(a).join(QLatin1Char('\t')) + QLatin1Char('\n');
    out += tableCells(figures.office).join(QLatin1Char('\t')) + QLatin1Char('\n');
    if (!figures.suspended.isEmpty()) {
        out += QStringLiteral("报停\t户数\t面积\n");
        for (const OfficeRules::SuspendedArea &a : figures.suspended)
            out += QStringLiteral("%1\t%2\t%3\n").arg(a.area).arg(a.houses).arg(Numbers::plain(a.floorArea));
    }
    return out;
}

} // namespace SeasonStatistics
