#include "data/DataModule.h"
#include "data/Books.h"
#include "data/Backup.h"
#include "data/PasswordHash.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

QString SqlText;
QString CurrentUserName;
QString CurrentUserId;
QString ChargeDate;
QString DefaultPaymentMethod;
QString DefaultHouseType;
QString DefaultAreaName;
QString UnitName;
QString PeriodBeginMonth;
QString PeriodBeginDay;
QString PeriodEndMonth;
QString PeriodEndDay;

void resetLoginState()
{
    for (QString *s : {&CurrentUserName, &CurrentUserId, &ChargeDate, &DefaultPaymentMethod,
                       &DefaultHouseType, &DefaultAreaName, &UnitName, &PeriodBeginMonth,
                       &PeriodBeginDay, &PeriodEndMonth, &PeriodEndDay})
        s->clear();
}

LookupList::LookupList(QString statement, QObject *parent)
    : QStringListModel(parent), m_statement(std::move(statement))
{
}

DataModule &DataModule::instance()
{
    static DataModule dm;
    return dm;
}

// The lists come in the same order on every engine and after every change, so that an
// operator who picks by place picks the same name: the operators by name (the order the
// file's index of names has always given them), the other lists in the order they were
// added. Without ORDER BY a server gives a row that was changed last.
DataModule::DataModule()
    : m_users(new LookupList(QStringLiteral("select theName from SUser order by theName, ID"), this)),
      m_methods(new LookupList(QStringLiteral("select theName from SMType order by ID"), this)),
      m_prices(new LookupList(QStringLiteral("select theName from SPrice order by ID"), this)),
      m_areas(new LookupList(QStringLiteral("select theName from SArea order by ID"), this))
{
}

void DataModule::setConnection(const QString &path, const QString &key)
{
    waitForCheck();
    m_db.close();
    m_path = path;
    m_key = key;
    m_damage.clear();
}

Database &DataModule::db()
{
    if (!m_db.isOpen()) {
        if (m_path.isEmpty())
            throw DbError(QStringLiteral("数据库连接未设置"), QString());
        m_db.open(m_path, m_key);
        // A file written by an older program may still hold passwords in clear; they are
        // hashed as soon as the file is opened. A file that cannot be written keeps them
        // until the operator's next login on a writable one.
        try {
            PasswordHash::hashClearPasswords(m_db);
        } catch (const AppError &) {
        }
    }
    return m_db;
}

namespace {

// The words for the operator about a damaged file: what is wrong and which copy to restore.
QString damageMessage(const QString &path, const Backup::CheckResult &r)
{
    const QString latest = Backup::latest(Backup::folderFor(path));
    const QString restoreWhat = latest.isEmpty()
        ? QStringLiteral("请维护人员用最近的备份恢复数据（Data/Backup 中没有备份）")
        : QStringLiteral("请用 文件 → 恢复数据 恢复最近的备份 %1").arg(QDir::toNativeSeparators(latest));
    return QStringLiteral("数据库文件 %1 已损坏%2。%3；在恢复之前可以查看列表，但不能收费")
        .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()),
             r.damagedTables.isEmpty() ? QString()
                                       : QStringLiteral("（损坏的表：%1）").arg(r.damagedTables.join(QStringLiteral("、"))),
             restoreWhat);
}

} // namespace

void DataModule::startCheck()
{
    waitForCheck();
    if (!m_db.isOpen())
        return;
    const QString path = m_path;
    const QString key = m_key;
    // A server checks its own storage; the books are checked on both.
    const bool server = Backup::isServerDatabase(m_path);
    auto outcome = std::make_shared<QStringList>(QStringList{QString(), QString()});
    m_checkOutcome = outcome;
    m_check = QThread::create([path, key, server, outcome] {
        try {
            Database db;
            db.open(path, key);
            if (!server) {
                const Backup::CheckResult r = Backup::check(db, true);
                if (!r.whole) {
                    (*outcome)[0] = damageMessage(path, r);
                    return;
                }
            }
            const QVector<Books::Fault> faults = Books::verifyRecent(db, BooksCheckedAtStart);
            if (!faults.isEmpty())
                (*outcome)[1] = QStringLiteral("警告：账目已在本程序之外被改动（%1）。请立即告知负责人，并用 chengyue-admin check 检查全部账目")
                                    .arg(faults.first().text());
        } catch (const AppError &e) {
            // A file that opened a moment ago and now does not is reported where it is used.
            Q_UNUSED(e);
        }
    });
    connect(m_check, &QThread::finished, this, &DataModule::waitForCheck);
    m_check->start();
}

void DataModule::waitForCheck()
{
    if (!m_check)
        return;
    m_check->wait();
    m_check->deleteLater();
    m_check = nullptr;
    const QStringList found = *m_checkOutcome;
    m_damage = found.at(0);
    m_checkOutcome.reset();
    if (!m_damage.isEmpty())
        emit damageFound(m_damage);
    if (!found.at(1).isEmpty())
        emit booksAltered(found.at(1));
}

QString DataModule::refusesPayments()
{
    waitForCheck();
    return m_damage;
}

void DataModule::closeConnection()
{
    waitForCheck();
    m_db.close();
}

int DataModule::countRows(const QString &sql)
{
    return db().count(sql);
}

void DataModule::execute(const QString &sql)
{
    db().exec(sql);
}

Rows DataModule::query(const QString &sql)
{
    return db().select(sql);
}

LookupList *DataModule::refill(LookupList *list)
{
    SqlText = list->statement();
    const Rows rows = query(SqlText);
    QStringList names;
    names.reserve(rows.rowCount());
    for (int r = 0; r < rows.rowCount(); ++r)
        names << rows.at(r, 0);
    list->setStringList(names);
    return list;
}

LookupList *DataModule::operatorList() { return refill(m_users); }
LookupList *DataModule::paymentMethodList() { return refill(m_methods); }
LookupList *DataModule::purposeList() { return refill(m_prices); }
LookupList *DataModule::areaList() { return refill(m_areas); }
