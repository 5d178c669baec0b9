#include "owners/OwnerImport.h"
#include "charging/ChargeLogic.h"
#include "data/ChangeLog.h"
#include "data/Dates.h"
#include "data/Sql.h"
#include "data/TfrmDM.h"

#include <algorithm>
#include <array>
#include <optional>

namespace OwnerImport {

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

QString doneMessage(int added, int notDates)
{
    QString m = QStringLiteral("成功导入业主数据 %1 条！").arg(added);
    if (notDates > 0)
        m += QStringLiteral("其中 %1 条到期日期不是日期，欠费提醒无法判断这些业主是否欠费，请在业主管理中改正。").arg(notDates);
    return m;
}

int run(const Sheet &sheet, const QString &area, const std::function<void(int stored)> &afterBatch, int *notDates,
        const QString &fileName)
{
    if (notDates)
        *notDates = 0;
    if (sheet.rows.isEmpty())
        return 0;
    std::array<int, 8> column{};
    for (int i = 0; i < 8; ++i) {
        column[size_t(i)] = sheet.columnOf(headings().at(i));
        if (column[size_t(i)] < 0)
            throw AppError(QStringLiteral("工作表中缺少标题为“%1”的列，没有导入任何数据").arg(headings().at(i)));
    }

    Database &db = frmDM().db();
    // The area as it is stored: the insert's cleaning reaches it too.
    const QString storedArea = Sql::esc(clean(area));
    int added = 0;
    int committed = 0;
    int inBatch = 0;
    std::optional<Transaction> tx;
    // A batch that cannot begin or be stored (the file locked by another copy of the
    // program for too long, a full disk) ends the import with what was stored before it.
    auto storeFailed = [&](const DbError &e) {
        return DbError(QStringLiteral("导入中断，无法写入数据库：%1。此前已成功导入业主数据 %2 条").arg(e.message()).arg(committed),
                       e.statement(), e.code());
    };
    auto begin = [&] {
        try {
            tx.emplace(db);
        } catch (const DbError &e) {
            throw storeFailed(e);
        }
    };
    // Each batch carries its own record in its own transaction: what a batch stores is
    // never without its record, also when a later batch fails or the import is killed.
    // An import of up to BatchSize houses (the usual sheet) gives one record.
    auto recordBatch = [&] {
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

    // The statement of entering a house by hand, as text: what SqlText holds for the last
    // row and what an error names.
    auto insertText = [&](const QString (&v)[8]) {
        QString t = QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, ") + QStringLiteral("HType, thePrice, EndDate, ")
            + QStringLiteral("theName, thePhone, Remark, ") + QStringLiteral("theDel, theDate, UName) VALUES ('")
            + Sql::esc(area) + QStringLiteral("', '") + Sql::esc(v[0]) + QStringLiteral("', '") + Sql::esc(v[1])
            + QStringLiteral("', '") + Sql::esc(v[2]) + QStringLiteral("', '") + Sql::esc(v[3]) + QStringLiteral("', '")
            + Sql::esc(v[4]) + QStringLiteral("', '") + Sql::esc(v[5]) + QStringLiteral("', '") + Sql::esc(v[6])
            + QStringLiteral("', '") + Sql::esc(v[7]) + QStringLiteral("', '否', '") + Sql::esc(ChargeDate)
            + QStringLiteral("', '") + Sql::esc(CurrentUserName) + QStringLiteral("')");
        return clean(t);
    };
    // The duplicate check and the insert, compiled once and bound per row: compiling the
    // two statement texts anew for every row took most of the time of a large import. The
    // values are those the cleaned text stores, so the rows are the same.
    Statement check(db, QStringLiteral("SELECT ID FROM UHouse WHERE (theDel = '否') AND (AName = ?) AND (theNum = ?)"));
    Statement insert(db, QStringLiteral(
        "INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, Remark, "
        "theDel, theDate, UName) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, '否', ?, ?)"));
    const QString storedName = clean(area);
    const QString storedDate = clean(ChargeDate);
    const QString storedUser = clean(CurrentUserName);
    QString v[8], last[8];
    bool any = false;

    for (int r = 0; r < sheet.rowCount(); ++r) {
        for (int i = 0; i < 8; ++i)
            v[i] = sheet.cell(r, column[size_t(i)]);
        if (v[0].isEmpty())
            continue;
        // The room number is compared as it will be stored, so that importing the same
        // sheet again adds nothing. One that the cleaning empties is no room number.
        const QString room = clean(v[0]);
        if (room.isEmpty())
            continue;
        if (!tx)
            begin();
        check.bind(1, storedName);
        check.bind(2, room);
        if (check.hasRow())
            continue;
        // The arrears list compares paid-up dates as text: a date in a usual form is stored
        // in the program's form; any other text as given, and counted for the operator.
        const QDate paidUp = Dates::fromUsualForm(v[4]);
        if (paidUp.isValid())
            v[4] = Dates::format(paidUp);
        else if (!v[4].trimmed().isEmpty() && notDates)
            ++*notDates;
        try {
            bool nul = storedArea.contains(QChar(0)) || storedUser.contains(QChar(0));
            for (int i = 0; i < 8 && !nul; ++i)
                nul = v[i].contains(QChar(0));
            if (nul) {
                // The data layer refuses a statement holding a NUL, with its own message.
                SqlText = insertText(v);
                frmDM().myESQL(SqlText);
            }
            try {
                ChargeLogic::checkYearFee(clean(v[1]), clean(v[3]));
            } catch (const AppError &e) {
                // Told and kept like a value the database refuses.
                throw DbError(e.message(), insertText(v));
            }
            insert.bind(1, storedName);
            insert.bind(2, room);
            for (int i = 1; i < 8; ++i)
                insert.bind(i + 2, clean(v[i]));
            insert.bind(10, storedDate);
            insert.bind(11, storedUser);
            insert.run();
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
        any = true;
        std::copy(std::begin(v), std::end(v), std::begin(last));
        ++added;
        if (++inBatch == BatchSize)
            commit();
    }
    if (any)
        SqlText = insertText(last);
    if (tx)
        commit();
    return added;
}

} // namespace OwnerImport
