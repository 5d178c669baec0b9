#pragma once
#include "data/Capitals.h"
#include "db/Database.h"

#include <QObject>
#include <QStringListModel>

#include <memory>

// The statement being built: every operation assigns it from scratch before it runs.
extern QString SqlText;

// The login state: filled by the login and the main window's first show, then fixed.
extern QString CurrentUserName;
extern QString CurrentUserId;
extern QString ChargeDate;
extern QString DefaultPaymentMethod;
extern QString DefaultHouseType;
extern QString DefaultAreaName;
extern QString UnitName;
extern QString PeriodBeginMonth;
extern QString PeriodBeginDay;
extern QString PeriodEndMonth;
extern QString PeriodEndDay;

// Empties the eleven values of the login state (start of a run, and between tests).
void resetLoginState();

// One of the four shared name lists. Every lookup box filled from the same table shows
// this one model, so a refill reaches every open box; each box keeps its own choice.
class LookupList : public QStringListModel {
    Q_OBJECT
public:
    LookupList(QString statement, QObject *parent = nullptr);
    const QString &statement() const { return m_statement; }

private:
    QString m_statement;
};

// The data module: the one database connection, the SQL helpers and the lookup lists.
inline constexpr int BooksCheckedAtStart = 1000;

class DataModule : public QObject {
    Q_OBJECT
public:
    static DataModule &instance();

    // The connection's place and key. Nothing is opened here: the first statement opens
    // the file, so a missing or wrongly keyed file is reported where it is first used.
    void setConnection(const QString &path, const QString &key);
    QString databasePath() const { return m_path; }
    // The open database, opening it on first use; throws DbError when it cannot open.
    Database &db();
    void closeConnection();
    bool isOpen() const { return m_db.isOpen(); }

    // The start-up check of the file (the engine's quick check), on a connection of its
    // own in the background: at district scale it takes longer than the start may wait,
    // and it is done long before the operator has typed the password. damageFound is
    // emitted when it finds the file damaged. It also verifies the newest records of the
    // books' chain, on the file and on a server (BooksCheckedAtStart of them), and emits
    // booksAltered when they were altered: the operator is warned, payments go on.
    // Nothing happens while no database is open.
    void startCheck();
    // Why payments are refused (the words for the operator, naming the backup to
    // restore), or "" while the file is whole. Waits for a running start-up check.
    QString refusesPayments();

    // Row count of a SELECT's whole result.
    int countRows(const QString &sql);
    // Executes an INSERT, UPDATE or DELETE.
    void execute(const QString &sql);
    // Runs a statement with a result, as a screen's query object does.
    Rows query(const QString &sql);

    // The lookup fillers: re-read the list and return the shared model for the box.
    LookupList *operatorList();
    LookupList *paymentMethodList();
    LookupList *purposeList();
    LookupList *areaList();

    static QString amountInCapitals(double amount) { return ::amountInCapitals(amount); }

signals:
    void damageFound(const QString &message);
    void booksAltered(const QString &message);

private:
    DataModule();
    void waitForCheck();
    LookupList *refill(LookupList *list);

    Database m_db;
    QString m_path;
    QString m_key;
    QString m_damage;
    class QThread *m_check = nullptr;
    // What the check found: the damage, then the books' alteration.
    std::shared_ptr<QStringList> m_checkOutcome;
    LookupList *m_users;
    LookupList *m_methods;
    LookupList *m_prices;
    LookupList *m_areas;
};

inline DataModule &dataModule() { return DataModule::instance(); }
