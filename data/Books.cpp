#include "data/Books.h"
#include "data/BoundWrite.h"
#include "data/ChangeLog.h"
#include "db/Database.h"
#include "db/Numbers.h"
#include "db/Sql.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace Books {

namespace {

// The columns a link covers, in their order; theHash is read after them.
const char kFields[] = "ID, theTime, UName, theDate, theAction, theTable, RowID, AName, HNum, theChange";
constexpr int FieldCount = 10;

QStringList fieldsOf(const Cursor &c)
{
    QStringList fields;
    for (int k = 0; k < FieldCount; ++k)
        fields << (c.isNull(k) ? QString() : c.text(k));
    return fields;
}

// What a payment's or void's record states: "单号 2410100001，金额 120.5，…".
struct Stated {
    qint64 recordId = 0;
    QString number;
    QString amount;
};

bool parseStated(const QString &change, Stated &out)
{
    static const QRegularExpression form(QStringLiteral("^单号 ([^，]*)，金额 ([-+0-9.eE]+)"));
    const QRegularExpressionMatch m = form.match(change);
    if (!m.hasMatch())
        return false;
    out.number = m.captured(1);
    out.amount = m.captured(2);
    return true;
}

qint64 cents(const QString &amount)
{
    return qRound64(Numbers::toDouble(amount.isEmpty() ? QStringLiteral("0") : amount) * 100.0);
}

QString shownAmount(const QString &amount)
{
    return Numbers::plain(Numbers::roundTo(Numbers::toDouble(amount.isEmpty() ? QStringLiteral("0") : amount), 2));
}

// The newest record stating each payment (收费) and each void (作废收费), by the payment's ID.
struct Statements {
    QHash<qint64, Stated> paid;
    QHash<qint64, Stated> voided;
};

Statements statementsOf(Database &db)
{
    Statements s;
    auto c = db.cursor(QStringLiteral("SELECT ID, theAction, RowID, theChange FROM ULog WHERE (theTable = 'UCharge') "
                                      "AND (theAction IN (%1, %2)) AND (RowID IS NOT NULL) ORDER BY ID")
                           .arg(Sql::quote(QString::fromUtf8(ChangeLog::PaymentStored)),
                                Sql::quote(QString::fromUtf8(ChangeLog::PaymentVoided))));
    while (c->next()) {
        Stated st;
        if (!parseStated(c->text(3), st))
            continue;
        st.recordId = c->text(0).toLongLong();
        const bool payment = c->text(1) == QString::fromUtf8(ChangeLog::PaymentStored);
        (payment ? s.paid : s.voided).insert(c->text(2).toLongLong(), st);
    }
    return s;
}

void insertRecord(Statement &s, const QString &now, const QString &date, const char *action, qint64 paymentId,
                  const QString &area, const QString &room, const QString &number, const QString &amount)
{
    s.bind(1, now);
    s.bind(2, QString::fromUtf8(UpgradeOperator));
    s.bind(3, date);
    s.bind(4, QString::fromUtf8(action));
    s.bind(5, paymentId);
    s.bind(6, area);
    s.bind(7, room);
    s.bind(8, QStringLiteral("单号 %1，金额 %2（升级时补记，此前版本未记录）").arg(number, shownAmount(amount)));
    s.run();
}

// The links of the rows a cursor over kFields and theHash yields, after `previous`.
void checkLinks(Cursor &c, QString previous, QVector<Fault> &faults)
{
    while (c.next()) {
        const QStringList fields = fieldsOf(c);
        const QString stored = c.text(FieldCount);
        if (stored != link(previous, fields)) {
            Stated st;
            const QString receipt = parseStated(fields.at(9), st) ? st.number : QString();
            faults << Fault{QStringLiteral("ULog"), fields.at(0), receipt,
                            stored.isEmpty() ? QStringLiteral("没有链值（记录不是本程序写入的）")
                                             : QStringLiteral("与链不符：这条记录或它前面的一条被改动、删除或插入过")};
        }
        previous = stored;
    }
}

} // namespace

QString Fault::text() const
{
    const QString name = table == QLatin1String("ULog") ? QStringLiteral("操作记录")
        : table == QLatin1String("UCharge")             ? QStringLiteral("收费记录")
        : table == QLatin1String("UVoid")               ? QStringLiteral("作废记录")
                                                        : table;
    QString t = QStringLiteral("%1（%2）ID %3").arg(name, table, id);
    if (!receipt.isEmpty())
        t += QStringLiteral("，收据号 ") + receipt;
    return t + QStringLiteral("：") + what;
}

QString link(const QString &previous, const QStringList &fields)
{
    QByteArray bytes = previous.toUtf8();
    for (const QString &f : fields) {
        if (f.isNull()) {
            bytes += "N;";
            continue;
        }
        const QByteArray value = f.toUtf8();
        bytes += QByteArray::number(value.size()) + ':' + value + ';';
    }
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

void linkRecord(Database &db, qint64 id)
{
    const QString previous
        = db.scalar(QStringLiteral("SELECT theHash FROM ULog WHERE (ID < %1) ORDER BY ID DESC LIMIT 1").arg(id));
    auto c = db.cursor(QStringLiteral("SELECT %1 FROM ULog WHERE (ID = %2)").arg(QLatin1String(kFields)).arg(id));
    if (!c->next())
        return;
    const QString value = link(previous, fieldsOf(*c));
    c.reset();
    BoundWrite::run(db, QStringLiteral("UPDATE ULog SET theHash = ? WHERE (ID = ?)"), {value, id});
}

RecordWriter::RecordWriter(Database &db)
    : m_db(db),
      m_insert(std::make_unique<Statement>(db,
                                           QStringLiteral(
                                               "INSERT INTO ULog (theTime, UName, theDate, theAction, theTable, "
                                               "RowID, AName, HNum, theChange) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")))
{
}

RecordWriter::~RecordWriter() = default;

void RecordWriter::add(const QString &time, const QString &user, const QString &date, const QString &action,
                       const QString &table, qint64 rowId, const QString &area, const QString &room,
                       const QString &change)
{
    const QStringList values{time, user, date, action, table};
    for (int i = 0; i < values.size(); ++i)
        m_insert->bind(i + 1, values.at(i));
    m_insert->bind(6, rowId);
    m_insert->bind(7, area);
    m_insert->bind(8, room);
    m_insert->bind(9, change);
    m_insert->run();
    // Linked as stored, read back: the link is over the values the engine keeps.
    linkRecord(m_db, m_db.lastInsertId());
}

void seal(Database &db)
{
    const Statements stated = statementsOf(db);
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    Statement add(db,
                  QStringLiteral("INSERT INTO ULog (theTime, UName, theDate, theAction, theTable, RowID, AName, HNum, "
                                 "theChange) VALUES (?, ?, ?, ?, 'UCharge', ?, ?, ?, ?)"));
    {
        // Payments, then voids, in the order they were made.
        const Rows payments
            = db.select(QStringLiteral("SELECT ID, theDate, AName, HNum, theNum, theMoney FROM UCharge ORDER BY ID"));
        for (int i = 0; i < payments.rowCount(); ++i) {
            const qint64 id = payments.at(i, 0).toLongLong();
            if (!stated.paid.contains(id))
                insertRecord(add, now, payments.at(i, 1), ChangeLog::PaymentStored, id, payments.at(i, 2),
                             payments.at(i, 3), payments.at(i, 4), payments.at(i, 5));
        }
    }
    QSet<qint64> voided;
    for (auto it = stated.voided.begin(); it != stated.voided.end(); ++it)
        voided.insert(it.key());
    const Rows voids
        = db.select(QStringLiteral("SELECT CID, theDate, AName, HNum, theNum, theMoney FROM UVoid ORDER BY ID"));
    for (int i = 0; i < voids.rowCount(); ++i) {
        const qint64 id = voids.at(i, 0).toLongLong();
        if (voided.contains(id))
            continue;
        insertRecord(add, now, voids.at(i, 1), ChangeLog::PaymentVoided, id, voids.at(i, 2), voids.at(i, 3),
                     voids.at(i, 4), voids.at(i, 5));
        voided.insert(id);
    }
    // Payments voided by a version that kept no voids.
    const Rows bare = db.select(QStringLiteral("SELECT ID, theDate, AName, HNum, theNum, theMoney FROM UCharge "
                                               "WHERE (theDel = '是') ORDER BY ID"));
    for (int i = 0; i < bare.rowCount(); ++i) {
        const qint64 id = bare.at(i, 0).toLongLong();
        if (!voided.contains(id))
            insertRecord(add, now, bare.at(i, 1), ChangeLog::PaymentVoided, id, bare.at(i, 2), bare.at(i, 3),
                         bare.at(i, 4), bare.at(i, 5));
    }

    // The links, read first and written after: a cursor stays off the table it writes.
    QVector<QPair<qint64, QString>> links;
    {
        auto c = db.cursor(QStringLiteral("SELECT %1 FROM ULog ORDER BY ID").arg(QLatin1String(kFields)));
        QString previous;
        while (c->next()) {
            previous = link(previous, fieldsOf(*c));
            links.append({c->text(0).toLongLong(), previous});
        }
    }
    Statement store(db, QStringLiteral("UPDATE ULog SET theHash = ? WHERE (ID = ?)"));
    for (const auto &l : links) {
        store.bind(1, l.second);
        store.bind(2, l.first);
        store.run();
    }
}

QVector<Fault> verify(Database &db)
{
    QVector<Fault> faults;
    {
        auto c = db.cursor(QStringLiteral("SELECT %1, theHash FROM ULog ORDER BY ID").arg(QLatin1String(kFields)));
        checkLinks(*c, QString(), faults);
    }

    const Statements stated = statementsOf(db);
    QSet<qint64> payments;
    {
        auto c = db.cursor(QStringLiteral("SELECT ID, theNum, theMoney, theDel FROM UCharge ORDER BY ID"));
        while (c->next()) {
            const qint64 id = c->text(0).toLongLong();
            const QString number = c->text(1);
            payments.insert(id);
            const auto fault = [&](const QString &what) {
                faults << Fault{QStringLiteral("UCharge"), c->text(0), number, what};
            };
            const auto paid = stated.paid.constFind(id);
            if (paid == stated.paid.cend()) {
                fault(QStringLiteral("没有收费的操作记录（不是本程序收的费，或它的记录被删除）"));
            } else if (paid->number != number) {
                fault(QStringLiteral("收据号与操作记录 ID %1 所记的 %2 不符").arg(paid->recordId).arg(paid->number));
            } else if (cents(paid->amount) != cents(c->text(2))) {
                fault(QStringLiteral("金额 %1 与操作记录 ID %2 所记的 %3 不符")
                          .arg(shownAmount(c->text(2)))
                          .arg(paid->recordId)
                          .arg(shownAmount(paid->amount)));
            }
            const bool isVoided = c->text(3) == QStringLiteral("是");
            if (isVoided && !stated.voided.contains(id))
                fault(QStringLiteral("已作废，但没有作废的操作记录"));
            else if (!isVoided && stated.voided.contains(id))
                fault(QStringLiteral("操作记录 ID %1 记有它的作废，但它没有作废").arg(stated.voided.value(id).recordId));
        }
    }
    for (auto it = stated.paid.begin(); it != stated.paid.end(); ++it)
        if (!payments.contains(it.key()))
            faults << Fault{QStringLiteral("ULog"), QString::number(it->recordId), it->number,
                            QStringLiteral("所记的收费（ID %1）已不存在").arg(it.key())};

    auto c = db.cursor(QStringLiteral("SELECT ID, CID, theNum, theMoney FROM UVoid ORDER BY ID"));
    while (c->next()) {
        const auto fault = [&](const QString &what) {
            faults << Fault{QStringLiteral("UVoid"), c->text(0), c->text(2), what};
        };
        const auto rec = stated.voided.constFind(c->text(1).toLongLong());
        if (rec == stated.voided.cend())
            fault(QStringLiteral("没有作废的操作记录"));
        else if (rec->number != c->text(2))
            fault(QStringLiteral("收据号与操作记录 ID %1 所记的 %2 不符").arg(rec->recordId).arg(rec->number));
        else if (cents(rec->amount) != cents(c->text(3)))
            fault(QStringLiteral("金额 %1 与操作记录 ID %2 所记的 %3 不符")
                      .arg(shownAmount(c->text(3)))
                      .arg(rec->recordId)
                      .arg(shownAmount(rec->amount)));
    }
    return faults;
}

QVector<Fault> verifyRecent(Database &db, int records)
{
    QVector<Fault> faults;
    // The record before the newest ones gives the first link to check against; with no
    // more records than that, the chain is checked from its start.
    const QString before
        = db.scalar(QStringLiteral("SELECT ID FROM ULog ORDER BY ID DESC LIMIT 1 OFFSET %1").arg(records));
    const QString from = before.isEmpty() ? QStringLiteral("0") : Sql::id(before);
    const QString previous
        = before.isEmpty() ? QString() : db.scalar(QStringLiteral("SELECT theHash FROM ULog WHERE (ID = %1)").arg(from));
    auto c = db.cursor(
        QStringLiteral("SELECT %1, theHash FROM ULog WHERE (ID > %2) ORDER BY ID").arg(QLatin1String(kFields), from));
    checkLinks(*c, previous, faults);
    return faults;
}

QString dayCode(Database &db, const QString &from, const QString &to)
{
    QByteArray links;
    auto c = db.cursor(
        QStringLiteral("SELECT theHash FROM ULog WHERE (theTable = 'UCharge') AND (theDate BETWEEN %1 AND %2) "
                       "ORDER BY ID")
            .arg(Sql::quote(from), Sql::quote(to)));
    while (c->next())
        links += c->text(0).toLatin1() + '\n';
    const QString hex
        = QString::fromLatin1(QCryptographicHash::hash(links, QCryptographicHash::Sha256).toHex().left(16)).toUpper();
    return QStringList{hex.mid(0, 4), hex.mid(4, 4), hex.mid(8, 4), hex.mid(12, 4)}.join(QLatin1Char('-'));
}

bool sameCode(const QString &typed, const QString &code)
{
    QString bare = typed;
    bare.remove(QRegularExpression(QStringLiteral("[\\s\\-]")));
    QString own = code;
    own.remove(QLatin1Char('-'));
    return bare.compare(own, Qt::CaseInsensitive) == 0;
}

} // namespace Books
