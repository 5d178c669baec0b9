#pragma once
#include "db/DatabaseEngine.h"
#include "db/PgDialect.h"

#include <QSet>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

class PgCursor;

// A PostgreSQL server through libpq. One connection per Database; the statements are
// made to mean what they mean on the file (PgDialect), results read back in the same
// plain text, and the server's refusals put into the same operator's words.
// A connection lost between two actions is opened again on the next one; one lost in the
// middle of a transaction is reported and the transaction is gone, never half-kept.
class PgEngine : public DatabaseEngine {
public:
    ~PgEngine() override;
    // Throws DbError naming the server (never the password): unreachable, login refused,
    // no password given, no such database; libpq's own words as the detail.
    static std::unique_ptr<PgEngine> connect(const QString &url);
    // A server URL as the program reads it. The password may hold any character as it was
    // typed ('@', '/', ':', '%'): the user's part ends at the last '@' before the host
    // (before a "?name=" that begins the parameters), and the user's name and password are
    // percent-decoded where they hold %XX. The client library gets the URL without the
    // password and the password on its own, so that none of its messages can repeat it.
    struct Address {
        QString user;        // decoded
        QString password;    // decoded; also from "?password="; empty when none
        QString forLibpq;    // the URL without any password
        QString shown;       // user@host:port/dbname, for messages and the status bar
        QStringList secrets; // every form of the password that a text could hold
    };
    static Address address(const QString &url);
    // user@host:port/dbname of a URL, without its password.
    static QString shownServer(const QString &url);
    // The text with every form of a password replaced by "***".
    static QString hidden(QString text, const QStringList &secrets);

    bool isServer() const override { return true; }
    void exec(const QString &sql) override;
    Rows select(const QString &sql) override;
    int countRows(const QString &sql) override;
    std::unique_ptr<CursorEngine> cursor(const QString &sql) override;
    std::unique_ptr<StatementEngine> prepare(const QString &sql) override;
    qint64 lastInsertId() override;
    int changes() const override { return m_changes; }
    void beginWrite() override;
    void commit() override;
    void rollback() override;
    void lockFor(const QString &key) override;
    int schemaVersion() override;
    void setSchemaVersion(int version) override;
    QStringList tables() override;
    void makeReadOnly() override;
    std::unique_ptr<BulkLoadEngine> bulkLoad(const QString &table, const QStringList &columns) override;
    void moveIdsPast(const QString &table, const QString &idColumn) override;
    void interrupt() override;
    bool isInterruption(const DbError &e) const override;
    bool nullsSortLow() const override { return false; }
    bool bindsLists() const override { return true; }
    // The number columns hold doubles: summed as numeric, without the binary noise that
    // adding doubles leaves (0.1 + 0.2).
    QString exactSum(const QString &expr) const override
    {
        return QStringLiteral("SUM(CAST((") + expr + QStringLiteral(") AS numeric))");
    }

    PGconn *handle() const { return m_conn; }
    // The code of a DbError for a statement the server cancelled (SQLSTATE 57014).
    static constexpr int QueryCanceled = 57014;
    const QString &shown() const { return m_shown; }

    // For the cursor and prepared statements of this connection.
    PGconn *usable(const QString &sql);
    // Runs a translated statement (with parameters when given) and returns its result,
    // or throws DbError in the program's words.
    PGresult *run(const PgDialect::Translated &t, const QString &sql, int nParams = 0,
                  const char *const *values = nullptr, const char *prepared = nullptr,
                  const QVector<QByteArray> *params = nullptr);
    [[noreturn]] void failWith(PGresult *res, const QString &sql, const PgDialect::Translated *t,
                               const QVector<QByteArray> *params = nullptr);
    void checkResult(PGresult *res, const QString &sql, const PgDialect::Translated &t,
                     const QVector<QByteArray> *params = nullptr);
    // Before a write outside a transaction: the transaction open only for cursors ends.
    void endCursorTransaction();
    void cursorOpened(PgCursor *c);
    void cursorClosed(PgCursor *c);
    bool inTransaction() const { return m_inTransaction || m_cursorTransaction; }
    int generation() const { return m_generation; }
    QString nextName(const char *prefix) { return QString::fromLatin1(prefix) + QString::number(++m_names); }
    void setChanges(PGresult *res);

private:
    PgEngine(PGconn *conn, const Address &address);
    // The server's notices are not for the operator; a FATAL one on the idle connection
    // ends the session (the server restarts, or an administrator ended it).
    static void receiveNotice(void *self, const PGresult *res);
    void setUpSession();
    void simple(const QString &sql);
    PGresult *runPipelined(const PgDialect::Translated &t, int nParams, const char *const *values, const char *prepared);
    PGresult *runGuardedText(const PgDialect::Translated &t);
    void waitForWriters();
    QString lostMessage() const;
    // The operator's words for an error class of the server that no statement causes (a
    // lock waited for in vain, a read-only or full server, no permission); empty for others.
    QString serverMessage(const QString &state) const;
    // The text without the password, for everything the server or libpq hands back.
    QString hide(const QString &text) const { return hidden(text, m_secrets); }
    // A look at the idle connection's socket, without a round trip: a server that was
    // restarted, or that ended this session, has said so there, and the connection is
    // then known to be lost before the next action sends anything on it.
    void noticeEndedSession();
    // Opens the connection again (its prepared statements and cursors are gone with it).
    void reconnect(const QString &sql);
    // Whether a failed result means that the connection has gone.
    bool lost(const PGresult *res) const;

    PGconn *m_conn;
    QString m_shown;
    QStringList m_secrets;
    // The server announced the end of this session (FATAL) on the idle connection.
    bool m_sessionEnded = false;
    bool m_inTransaction = false;
    bool m_cursorTransaction = false;
    bool m_lostInTransaction = false;
    bool m_readOnly = false;
    bool m_waiting = false;
    // Characters sent before the statement's own text (its savepoint).
    int m_positionShift = 0;
    QSet<PgCursor *> m_cursors;
    int m_changes = 0;
    int m_generation = 0;
    int m_names = 0;
    QString m_lastInsertTable;
};
