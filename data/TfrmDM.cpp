#include "data/TfrmDM.h"
#include "data/Schema.h"

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

TfrmDM &TfrmDM::instance()
{
    static TfrmDM dm;
    return dm;
}

TfrmDM::TfrmDM()
    : m_users(new LookupList(QStringLiteral("select theName from SUser"), this)),
      m_methods(new LookupList(QStringLiteral("select theName from SMType"), this)),
      m_prices(new LookupList(QStringLiteral("select theName from SPrice"), this)),
      m_areas(new LookupList(QStringLiteral("select theName from SArea"), this))
{
}

void TfrmDM::setConnection(const QString &path, const QString &key)
{
    m_db.close();
    m_path = path;
    m_key = key;
}

Database &TfrmDM::db()
{
    if (!m_db.isOpen()) {
        if (m_path.isEmpty())
            throw DbError(QStringLiteral("数据库连接未设置"), QString());
        m_db.open(m_path, m_key);
        try {
            // A file of an earlier version gains the tables it lacks before any screen uses it.
            Schema::upgrade(m_db);
        } catch (...) {
            m_db.close();
            throw;
        }
    }
    return m_db;
}

void TfrmDM::closeConnection()
{
    m_db.close();
}

int TfrmDM::myRetC(const QString &sql)
{
    return db().count(sql);
}

void TfrmDM::myESQL(const QString &sql)
{
    db().exec(sql);
}

Rows TfrmDM::query(const QString &sql)
{
    return db().select(sql);
}

LookupList *TfrmDM::refill(LookupList *list)
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

LookupList *TfrmDM::DBComSUser() { return refill(m_users); }
LookupList *TfrmDM::DBComSMType() { return refill(m_methods); }
LookupList *TfrmDM::DBComSPrice() { return refill(m_prices); }
LookupList *TfrmDM::DBComSArea() { return refill(m_areas); }
