#include "data/ReceiptNumbers.h"
#include "data/BoundWrite.h"
#include "data/ChangeLog.h"
#include "db/Database.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Sql.h"

#include <algorithm>

namespace ReceiptNumbers {

namespace {

// Adds a "date, number" result to counts, keeping the larger of two readings. False when
// the statement could not be read.
bool takeLarger(Database &db, const QString &sql, QMap<QString, qint64> &counts)
{
    try {
        const Rows rows = db.select(sql);
        for (int i = 0; i < rows.rowCount(); ++i) {
            qint64 &n = counts[rows.at(i, 0)];
            n = std::max(n, rows.at(i, 1).toLongLong());
        }
        return true;
    } catch (const DbError &) {
        return false;
    }
}

QMap<QString, qint64> skips(Database &db)
{
    QMap<QString, qint64> s;
    takeLarger(db, QStringLiteral("SELECT theDate, theSkip FROM UNumSkip"), s);
    return s;
}

QMap<QString, qint64> paymentsByDate(Database &db)
{
    QMap<QString, qint64> counts;
    const Rows rows = db.select(QStringLiteral("SELECT theDate, COUNT(*) FROM UCharge GROUP BY theDate"));
    for (int i = 0; i < rows.rowCount(); ++i)
        counts.insert(rows.at(i, 0), rows.at(i, 1).toLongLong());
    return counts;
}

} // namespace

qint64 skipped(Database &db, const QString &chargingDate)
{
    return BoundWrite::scalar(db, QStringLiteral("SELECT theSkip FROM UNumSkip WHERE (theDate = ?)"), {chargingDate}).toLongLong();
}

Issued issued(Database &db)
{
    QMap<QString, qint64> payments;
    bool read = false;
    if (db.isServer()) {
        read = takeLarger(db, QStringLiteral("SELECT theDate, COUNT(*) FROM UCharge GROUP BY theDate"), payments);
    } else {
        // A damaged page may lie in the table or in its index of charging dates; each
        // reading goes through one of them only.
        read = takeLarger(db, QStringLiteral("SELECT theDate, COUNT(*) FROM UCharge NOT INDEXED GROUP BY theDate"), payments);
        read = takeLarger(db, QStringLiteral("SELECT theDate, COUNT(*) FROM UCharge INDEXED BY UCharge_theDate GROUP BY theDate"),
                          payments)
            || read;
    }
    // Every payment stored is also in the record of changes, under its charging date.
    takeLarger(db,
               QStringLiteral("SELECT theDate, COUNT(*) FROM ULog WHERE (theTable = 'UCharge') AND (theAction = %1) GROUP BY theDate")
                   .arg(Sql::quote(QString::fromUtf8(ChangeLog::PaymentStored))),
               payments);
    Issued r;
    r.whole = read;
    r.last = payments;
    const QMap<QString, qint64> skip = skips(db);
    for (auto it = skip.begin(); it != skip.end(); ++it)
        r.last[it.key()] += it.value();
    return r;
}

void carryOver(Database &restored, const Issued &before)
{
    Transaction tx(restored);
    const QMap<QString, qint64> payments = paymentsByDate(restored);
    const QMap<QString, qint64> skip = skips(restored);
    for (auto it = before.last.begin(); it != before.last.end(); ++it) {
        const qint64 needed = it.value() - payments.value(it.key());
        if (needed <= skip.value(it.key()))
            continue;
        BoundWrite::run(restored, QStringLiteral("DELETE FROM UNumSkip WHERE (theDate = ?)"), {it.key()});
        BoundWrite::run(restored, QStringLiteral("INSERT INTO UNumSkip (theDate, theSkip) VALUES (?, ?)"), {it.key(), needed});
    }
    tx.commit();
}

QStringList beyondNumbering(Database &db)
{
    QMap<QString, qint64> last = paymentsByDate(db);
    const QMap<QString, qint64> skip = skips(db);
    for (auto it = skip.begin(); it != skip.end(); ++it)
        last[it.key()] += it.value();
    QStringList found;
    auto rows = db.cursor(QStringLiteral("SELECT theDate, theNum FROM UCharge ORDER BY ID"));
    while (rows->next()) {
        const QString chargingDate = rows->text(0);
        const QString number = rows->text(1);
        const QDate date = Dates::tryParse(chargingDate);
        if (!date.isValid())
            continue;
        // Numbers as the numbering writes them: yymmdd and at least four digits.
        const QString prefix = date.toString(QStringLiteral("yyMMdd"));
        if (number.size() < prefix.size() + 4 || !number.startsWith(prefix))
            continue;
        bool ok = false;
        const qint64 place = number.mid(prefix.size()).toLongLong(&ok);
        if (!ok || place <= last.value(chargingDate))
            continue;
        found << QStringLiteral("收费日期 %1 的收据号 %2 超出了该日期已发出的编号（%3 张），该日期以后的收费会重复使用已有的收据号")
                     .arg(chargingDate, number)
                     .arg(last.value(chargingDate));
    }
    return found;
}

} // namespace ReceiptNumbers
