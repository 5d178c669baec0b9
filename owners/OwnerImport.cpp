#include "owners/OwnerImport.h"
#include "data/Roles.h"
#include "charging/ChargeLogic.h"
#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "db/Dates.h"
#include "data/HouseFigures.h"
#include "owners/HouseInsert.h"

#include <algorithm>
#include <array>
#include <future>
#include <optional>

namespace OwnerImport {

namespace {
// Houses of the area read at most to find a group's duplicates in one go: beyond this,
// looking up each of the group's rooms costs less.
constexpr int RangeReadLimit = 4000;

// The arrears list compares paid-up dates as text: a date in a usual form is stored in
// the program's form; any other text as given. True for such other text (not empty),
// which is counted for the operator.
bool paidUpForm(QString &text)
{
    const QDate paidUp = Dates::fromUsualForm(text);
    if (paidUp.isValid()) {
        text = Dates::format(paidUp);
        return false;
    }
    return !text.trimmed().isEmpty();
}

// The values every house of an import is stored with, cleaned.
struct GroupContext {
    QString area;
    QString date;
    QString user;
};

// A row of the sheet with a room number, read and made ready to be stored.
struct GroupRow {
    int r = 0;
    QString v[8];  // as read, 到期日期 in the stored form
    QString room;  // as stored
    bool notDate = false;
    // Refused before the database sees it: a NUL (which the data layer cannot store) or a
    // one-year fee beyond what a receipt can write.
    bool refused = false;
};

struct Group {
    QVector<GroupRow> rows;
    // The group's values, a list per column (room, the seven others as stored, refused
    // "t"/"f"), for the one statement that stores the group's new houses (groupStatement);
    // empty when a value of the group holds a NUL, which no list can carry.
    std::array<QStringList, 9> lists;
};

// The parts of a statement, after "WITH v AS (… room, … ord …), ", that give "fresh": the
// first row (ord) of each room number of v that is not yet a live house of the area.
// Sheets usually list an area's rooms in order, so that few of the area's houses lie
// between the group's first and last room number, and one reading of those is far cheaper
// than a look-up in the index per room. Where many lie there (a sheet in no order, into a
// large area) each room is looked up; OFFSET 0 keeps that a probe of the index per room
// whatever the server's figures on the area say. The area is bound twice, in that order.
QString freshHouses()
{
    return QStringLiteral(
               "e AS MATERIALIZED (SELECT h.theNum FROM UHouse h WHERE h.AName = ? AND h." LIVE_ROW " "
               "AND h.theNum BETWEEN (SELECT min(room) FROM v) AND (SELECT max(room) FROM v) LIMIT %1), "
               "fresh AS MATERIALIZED (SELECT min(v.ord) AS ord FROM v WHERE (SELECT count(*) FROM e) < %1 "
               "AND v.room NOT IN (SELECT theNum FROM e) GROUP BY v.room "
               "UNION ALL SELECT min(v.ord) FROM v WHERE (SELECT count(*) FROM e) >= %1 AND NOT EXISTS "
               "(SELECT 1 FROM UHouse h WHERE h.AName = ? AND h.theNum = v.room AND h." LIVE_ROW " OFFSET 0) "
               "GROUP BY v.room)")
        .arg(RangeReadLimit);
}

// The one statement that stores a group's new houses up to its first refused one and
// gives the positions (from 1) of the group's new houses. Its values: the group's nine
// lists, the area twice, then the area, date and operator the houses are stored with. The
// statement's parts all see the area as it was before the statement.
QString groupStatement()
{
    return QStringLiteral(
               "WITH v AS (SELECT * FROM unnest(?::citext[], ?::text[], ?::text[], ?::text[], ?::text[], ?::text[], "
               "?::text[], ?::text[], ?::boolean[]) WITH ORDINALITY AS u(room, c2, c3, c4, c5, c6, c7, c8, refused, ord)), ")
        + freshHouses()
        + QStringLiteral(
               ", stop AS (SELECT coalesce(min(v.ord), 9223372036854775807) AS ord FROM fresh JOIN v ON v.ord = fresh.ord "
               "WHERE v.refused), "
               "ins AS (INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, Remark, "
               "theDel, theDate, UName) SELECT ?, v.room, v.c2::double precision, v.c3, v.c4::double precision, v.c5, v.c6, "
               "v.c7, v.c8, '否', ?, ? FROM v JOIN fresh ON fresh.ord = v.ord WHERE v.ord < (SELECT ord FROM stop) "
               "ORDER BY v.ord) "
               "SELECT ord FROM fresh");
}

// Reads the group's rows and makes its lists; touches no database, so that it runs while
// the group before is being stored.
Group prepareGroup(const Sheet &sheet, const std::array<int, 8> &column, const QVector<int> &rows)
{
    Group g;
    g.rows.resize(rows.size());
    bool nul = false;
    std::array<QStringList, 9> lists;
    for (int k = 0; k < rows.size(); ++k) {
        GroupRow &w = g.rows[k];
        w.r = rows.at(k);
        for (int i = 0; i < 8; ++i) {
            w.v[i] = sheet.cell(w.r, column[size_t(i)]);
            if (w.v[i].contains(QChar(0)))
                w.refused = true;
        }
        nul = nul || w.refused;
        w.room = clean(w.v[0]);
        w.notDate = paidUpForm(w.v[4]);
        if (!w.refused) {
            try {
                ChargeLogic::checkYearFee(clean(w.v[1]), clean(w.v[3]));
            } catch (const AppError &) {
                w.refused = true;
            }
        }
        if (nul)
            continue;
        lists[0] << w.room;
        for (size_t i = 1; i < 8; ++i)
            lists[i] << clean(w.v[i]);
        lists[8] << QLatin1String(w.refused ? "t" : "f");
    }
    if (!nul)
        g.lists = std::move(lists);
    return g;
}

// Stores the group's new houses up to its first refused one in one statement and gives
// their positions in the group.
QVector<int> storeGroup(Statement &statement, const Group &g, const GroupContext &c)
{
    int p = 1;
    for (const QStringList &list : g.lists)
        statement.bind(p++, list);
    for (const QString &value : {c.area, c.area, c.area, c.date, c.user})
        statement.bind(p++, value);
    const Rows found = statement.rows();
    QVector<int> fresh;
    for (int i = 0; i < found.rowCount(); ++i)
        fresh << found.at(i, 0).toInt() - 1;
    return fresh;
}

// The group's new houses (positions in the group) by themselves, without storing them: for
// a group written house by house. A room number holding a NUL cannot be searched for; it
// counts as new and is refused when it is stored.
QVector<int> freshRows(Database &db, const Group &g, const GroupContext &c)
{
    QStringList rooms;
    QVector<int> searched;
    QVector<int> fresh;
    for (int i = 0; i < g.rows.size(); ++i) {
        if (g.rows.at(i).room.contains(QChar(0))) {
            fresh << i;
            continue;
        }
        rooms << g.rows.at(i).room;
        searched << i;
    }
    Statement find(db, QStringLiteral("WITH v AS (SELECT room, ord FROM unnest(?::citext[]) WITH ORDINALITY AS u(room, ord)), ")
                           + freshHouses() + QStringLiteral(" SELECT ord FROM fresh"));
    find.bind(1, rooms);
    find.bind(2, c.area);
    find.bind(3, c.area);
    const Rows found = find.rows();
    for (int i = 0; i < found.rowCount(); ++i)
        fresh << searched.at(found.at(i, 0).toInt() - 1);
    return fresh;
}

// A row of the sheet made ready for the file's insert of a house alone.
struct ReadyRow {
    int r = 0;
    QString v[8];          // as read, 到期日期 in the stored form
    House house;           // as stored
    QVariantList values;   // as the insert binds them
    bool notDate = false;
    bool nul = false;      // a text holding a NUL, refused before the engine sees it
    QString yearFeeRefusal; // why the one-year fee is refused, or empty
};

// The rows [from, to) of the sheet that have a room number, cleaned, checked and converted
// as the insert binds them; touches no database, so that it runs while the rows before
// are being written.
QVector<ReadyRow> prepareRows(const Sheet &sheet, const std::array<int, 8> &column, int from, int to,
                              const GroupContext &c)
{
    QVector<ReadyRow> ready;
    ready.reserve(to - from);
    const QChar nul(0);
    for (int r = from; r < to; ++r) {
        const QString &cell = sheet.cell(r, column[0]);
        if (cell.isEmpty())
            continue;
        // The room number as it will be stored; one that the cleaning empties is no room.
        House h{c.area, clean(cell), {}, {}, {}, {}, {}, {}, {}};
        if (h.room.isEmpty())
            continue;
        ReadyRow w;
        w.r = r;
        for (int i = 0; i < 8; ++i)
            w.v[i] = sheet.cell(r, column[size_t(i)]);
        w.notDate = paidUpForm(w.v[4]);
        h.floorArea = clean(w.v[1]);
        h.purpose = clean(w.v[2]);
        h.price = clean(w.v[3]);
        h.endDate = clean(w.v[4]);
        h.owner = clean(w.v[5]);
        h.phone = clean(w.v[6]);
        h.remark = clean(w.v[7]);
        for (const QString *t : std::initializer_list<const QString *>{&h.area, &h.room, &h.floorArea, &h.purpose, &h.price,
                                                                       &h.endDate, &h.owner, &h.phone, &h.remark, &c.date,
                                                                       &c.user})
            w.nul = w.nul || t->contains(nul);
        if (!w.nul) {
            try {
                ChargeLogic::checkYearFee(h.floorArea, h.price);
            } catch (const AppError &e) {
                w.yearFeeRefusal = e.message();
            }
            if (w.yearFeeRefusal.isEmpty())
                w.values = HouseInsert::boundValues(h, c.date, c.user);
        }
        w.house = std::move(h);
        ready.append(std::move(w));
    }
    return ready;
}
} // namespace

const QStringList &headings()
{
    static const QStringList h{QStringLiteral("房号"), QStringLiteral("面积"), QStringLiteral("房屋用途"),
                               QStringLiteral("单价"), QStringLiteral("到期日期"), QStringLiteral("业主名称"),
                               QStringLiteral("手机号码"), QStringLiteral("备注")};
    return h;
}

QString clean(const QString &text)
{
    QString s = text;
    s.replace(QLatin1Char('?'), QLatin1Char(' '));
    s.remove(QLatin1Char('"'));
    return s;
}

QString doneMessage(int added, int notDates, int passedOver)
{
    QString m = QStringLiteral("成功导入业主数据 %1 条！").arg(added);
    if (notDates > 0)
        m += QStringLiteral("其中 %1 条到期日期不是日期，欠费提醒无法判断这些业主是否欠费，请在业主管理中改正。").arg(notDates);
    if (passedOver > 0)
        m += QStringLiteral("另有 %1 条的房号在该小区已有业主，没有导入。").arg(passedOver);
    return m;
}

int run(const Sheet &sheet, const QString &area, const std::function<void(int stored)> &afterBatch, int *notDates,
        const QString &fileName, int *passedOver)
{
    Roles::require(Roles::Action::Owners);
    if (notDates)
        *notDates = 0;
    if (passedOver)
        *passedOver = 0;
    auto passOver = [passedOver](qsizetype rows) {
        if (passedOver)
            *passedOver += int(rows);
    };
    if (sheet.rows.isEmpty())
        return 0;
    std::array<int, 8> column{};
    for (int i = 0; i < 8; ++i) {
        column[size_t(i)] = sheet.columnOf(headings().at(i));
        if (column[size_t(i)] < 0)
            throw AppError(QStringLiteral("工作表中缺少标题为“%1”的列，没有导入任何数据").arg(headings().at(i)));
    }

    Database &db = dataModule().db();
    int added = 0;
    int committed = 0;
    int inBatch = 0;
    std::optional<Transaction> tx;
    // On the file the houses' figures are counted batch by batch (HouseFigures): the newest
    // house's ID when the batch began.
    const bool heldBack = !db.bindsLists();
    qint64 newestBefore = 0;
    // A batch that cannot begin or be stored (the file locked by another copy of the
    // program for too long, a full disk) ends the import with what was stored before it.
    auto storeFailed = [&](const DbError &e) {
        return DbError(QStringLiteral("导入中断，无法写入数据库：%1。此前已成功导入业主数据 %2 条").arg(e.message()).arg(committed),
                       e.statement(), e.code());
    };
    auto begin = [&] {
        try {
            tx.emplace(db);
            if (heldBack)
                newestBefore = HouseFigures::holdBackInserts(db);
        } catch (const DbError &e) {
            throw storeFailed(e);
        }
    };
    // Each batch carries its own record in its own transaction: what a batch stores is
    // never without its record, also when a later batch fails or the import is killed.
    // An import of up to BatchSize houses (the usual sheet) gives one record.
    auto recordBatch = [&] {
        if (heldBack)
            HouseFigures::addNewer(db, newestBefore);
        if (added == committed)
            return;
        QString what = QStringLiteral("文件 %1，小区 %2：导入业主 %3 条").arg(fileName, area).arg(added - committed);
        if (committed > 0 || added >= BatchSize)
            what += QStringLiteral("（本次导入的第 %1–%2 条）").arg(committed + 1).arg(added);
        ChangeLog::record({QString::fromUtf8(ChangeLog::HousesImported), QStringLiteral("UHouse"), {}, area, {}, what});
    };
    auto commit = [&] {
        try {
            recordBatch();
            tx->commit();
        } catch (const DbError &e) {
            tx.reset();
            throw storeFailed(e);
        }
        tx.reset();
        committed = added;
        inBatch = 0;
        if (afterBatch)
            afterBatch(committed);
    };

    // The area, date and operator as they are stored: the insert's cleaning reaches them too.
    const QString storedName = clean(area);
    const QString storedDate = clean(ChargeDate);
    const QString storedUser = clean(CurrentUserName);
    // The house a row stores: its values as the cleaning leaves them.
    auto houseOf = [&](const QString (&v)[8]) {
        return House{storedName, clean(v[0]), clean(v[1]), clean(v[2]), clean(v[3]),
                     clean(v[4]), clean(v[5]), clean(v[6]), clean(v[7])};
    };
    // The statement of the row as text: what SqlText holds for the last row and what an
    // error names.
    auto insertText = [&](const QString (&v)[8]) { return HouseInsert::text(houseOf(v), storedDate, storedUser); };
    // The insert of a house alone (and the file's duplicate check, below), compiled once
    // and bound per row: compiling the statement texts anew for every row took most of the
    // time of a large import.
    HouseInsert insert(db);
    QString last[8];
    bool any = false;

    // The row's bookkeeping once its house is stored (by itself or with its group).
    auto stored = [&](const QString (&v)[8], bool notDate) {
        if (notDate && notDates)
            ++*notDates;
        any = true;
        std::copy(std::begin(v), std::end(v), std::begin(last));
        ++added;
        ++inBatch;
    };
    // One house not yet in the area, with its values as read (到期日期 in the stored form),
    // written alone: what a refused row is told with and what earlier rows keep.
    auto storeOne = [&](int r, const QString (&v)[8], const QString &room, bool notDate, const ReadyRow *ready = nullptr) {
        if (!tx)
            begin();
        try {
            if (ready) {
                // Made ready on the preparing thread: the same checks in the same order.
                if (ready->nul)
                    HouseInsert::refuseNul(ready->house, storedDate, storedUser);
                if (!ready->yearFeeRefusal.isEmpty())
                    throw DbError(ready->yearFeeRefusal, insertText(v));
                insert.run(ready->values);
            } else {
                House h = houseOf(v);
                // A NUL is refused in the data layer's words before any other check.
                HouseInsert::refuseNul(h, storedDate, storedUser);
                try {
                    ChargeLogic::checkYearFee(h.floorArea, h.price);
                } catch (const AppError &e) {
                    // Told and kept like a value the database refuses.
                    throw DbError(e.message(), insertText(v));
                }
                h.room = room;
                insert.run(h, storedDate, storedUser);
            }
        } catch (const DbError &e) {
            SqlText = insertText(v);
            // The refused statement changed nothing; the rows before it are kept. Should
            // the engine have given up the whole transaction, only earlier batches stayed.
            int kept = added;
            try {
                recordBatch();
                tx->commit();
            } catch (const DbError &) {
                kept = committed;
            }
            QString why = e.message();
            why.remove(QStringLiteral("CHECK constraint failed: "));
            throw DbError(QStringLiteral("工作表第 %1 行（房号 %2）无法导入：%3。此前已成功导入业主数据 %4 条")
                              .arg(sheet.sheetRows.at(r))
                              .arg(v[0], why)
                              .arg(kept),
                          SqlText, e.code());
        }
        stored(v, notDate);
    };

    if (!db.bindsLists() || storedName.contains(QChar(0)) || storedUser.contains(QChar(0))) {
        Statement check(db, QStringLiteral("SELECT ID FROM UHouse WHERE (" LIVE_ROW ") AND (AName = ?) AND (theNum = ?)"));
        // The rows are made ready (cleaned, checked, converted) a batch ahead on another
        // thread while this one writes: the making took a third of the writing's time.
        const GroupContext context{storedName, storedDate, storedUser};
        const int rowCount = sheet.rowCount();
        auto ready = [&](int from) {
            return std::async(std::launch::async, [&sheet, &column, &context, from, rowCount] {
                return prepareRows(sheet, column, from, std::min(from + BatchSize, rowCount), context);
            });
        };
        std::future<QVector<ReadyRow>> next = ready(0);
        for (int from = 0; from < rowCount; from += BatchSize) {
            const QVector<ReadyRow> rows = next.get();
            if (from + BatchSize < rowCount)
                next = ready(from + BatchSize);
            for (const ReadyRow &w : rows) {
                if (!tx)
                    begin();
                // The room number is compared as it will be stored, so that importing the
                // same sheet again adds nothing.
                check.bind(1, storedName);
                check.bind(2, w.house.room);
                if (check.hasRow()) {
                    passOver(1);
                    continue;
                }
                storeOne(w.r, w.v, w.house.room, w.notDate, &w);
                if (inBatch == BatchSize)
                    commit();
            }
        }
    } else {
        // Where every statement is a round trip to a server, every house alone would be two.
        // The sheet goes in groups
        // of BatchSize rows, each one statement that finds the group's houses not yet in
        // the area and stores them; the next group is made ready meanwhile. A group holding
        // a NUL, or one the server refuses, is written again house by house, which names the
        // refused row and keeps those before it, as when every house goes alone. Each group
        // is a batch: committed with its record, and "取消" stops after it.
        const GroupContext context{storedName, storedDate, storedUser};
        QVector<QVector<int>> groups(1);
        for (int r = 0; r < sheet.rowCount(); ++r) {
            const QString &cell = sheet.cell(r, column[0]);
            if (cell.isEmpty() || clean(cell).isEmpty())
                continue;
            if (groups.last().size() == BatchSize)
                groups.append(QVector<int>());
            groups.last().append(r);
        }
        auto ready = [&](int g) {
            return std::async(std::launch::async, [&sheet, &column, rows = groups.at(g)] {
                return prepareGroup(sheet, column, rows);
            });
        };
        // Compiled once, bound per group.
        Statement groupStore(db, groupStatement());
        std::future<Group> next = ready(0);
        for (int g = 0; g < groups.size(); ++g) {
            Group group = next.get();
            if (g + 1 < groups.size())
                next = ready(g + 1);
            if (group.rows.isEmpty())
                continue;
            if (!tx)
                begin();
            QVector<int> fresh;
            bool whole = !group.lists[0].isEmpty();
            if (whole) {
                try {
                    fresh = storeGroup(groupStore, group, context);
                } catch (const DbError &) {
                    // Nothing of the group was written; house by house below.
                    whole = false;
                }
            }
            if (!whole)
                fresh = freshRows(db, group, context);
            std::sort(fresh.begin(), fresh.end());
            // The group's other rows name a house the area has, or one named earlier in
            // the sheet. A refused row ends the import before this matters.
            passOver(group.rows.size() - fresh.size());
            for (int i : std::as_const(fresh)) {
                const GroupRow &w = group.rows.at(i);
                // The one statement stored the rows before the first refused one.
                if (whole && !w.refused)
                    stored(w.v, w.notDate);
                else
                    storeOne(w.r, w.v, w.room, w.notDate);
            }
            commit();
        }
    }
    if (any)
        SqlText = insertText(last);
    if (tx)
        commit();
    return added;
}

} // namespace OwnerImport
