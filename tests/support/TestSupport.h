#pragma once
#include "widgets/Seams.h"

#include <QDate>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <QApplication>

class Database;

// A new database file in a temporary folder, made by the admin tool's init code and
// opened as the program's shared connection. The login state is emptied.
//
// When the tests run against a PostgreSQL server (CHENGYUE_TEST_SERVER_FILE names the file
// holding the server's maintenance URL), each TestDb is a new database on that server
// instead, and path() is its URL.
class TestDb {
public:
    TestDb();
    ~TestDb();
    // The maintenance URL of the test server, or empty when the tests use files.
    static QString server();
    static bool onServer() { return !server().isEmpty(); }
    // A new empty database on the test server; its URL. Dropped by dropServerDatabase.
    static QString newServerDatabase();
    static void dropServerDatabase(const QString &url);
    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }
    // Runs a statement on the shared connection.
    void exec(const QString &sql);
    QString scalar(const QString &sql);
    int count(const QString &sql);
    // Logs in as the first operator with the given charging date (fills the login state
    // and reads the unit's row as the main window does).
    void login(const QDate &chargeDate = QDate(2024, 10, 10), const QString &name = QStringLiteral("管理员"));

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// Skips a test about the server's own behaviour when the tests run on files.
#define SERVER_ONLY() \
    do { \
        if (!TestDb::onServer()) \
            QSKIP("a server's own behaviour"); \
    } while (0)

// Skips a test that is about the database file itself when the tests run on a server.
#define SKIP_ON_SERVER(why) \
    do { \
        if (TestDb::onServer()) \
            QSKIP(why); \
    } while (0)

// Records every box shown and answers questions from a script (default: the answer given).
class MessageRecorder : public MessageSink {
public:
    MessageRecorder();
    ~MessageRecorder() override;

    struct Entry {
        QString kind; // "info", "error", "question"
        QString caption;
        QString text;
        QString detail;
    };
    QList<Entry> entries;
    QList<bool> answers;      // consumed by questions, first to last
    bool defaultAnswer = true; // when answers is empty

    void information(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text, const QString &detail) override;
    bool question(QWidget *parent, const QString &caption, const QString &text, bool yesIsDefault) override;

    QStringList texts() const;
    QString last() const { return entries.isEmpty() ? QString() : entries.last().text; }
    int errors() const;
    void clear() { entries.clear(); }
};

class QuitRecorder : public QuitSink {
public:
    QuitRecorder();
    ~QuitRecorder() override;
    int count = 0;
    void quit() override { ++count; }
};

class WebRecorder : public WebSink {
public:
    WebRecorder();
    ~WebRecorder() override;
    QList<QUrl> opened;
    bool browser = true; // false: as on a computer without a browser
    bool open(const QUrl &url) override
    {
        opened << url;
        return browser;
    }
};

// The widget that has the focus inside window (the focus proxy is followed).
QWidget *focusIn(QWidget *window);

// Windows that the window system frames only after they are shown, or never (a desktop
// without a window manager, some window managers): the test program is run again on the
// headless platform with frames switched off, for one test function (and row, as
// "function:row"). withoutWindowFrames() is true inside that run. Returns the run's exit
// status, with its output.
bool withoutWindowFrames();
int runWithoutWindowFrames(const QString &testFunction, QString *output);

// Runs the admin tool; returns its exit status, with standard output and error.
int runAdmin(const QStringList &args, QString *out = nullptr, QString *err = nullptr, int timeoutMs = 60000);

// Types text into a box as the operator does: ASCII as key presses, anything else (Chinese)
// as committed input-method text. The box gets the focus first.
void typeText(QWidget *box, const QString &text);

// Drops the tables and indexes the schema versions after `version` added (those there),
// for a test that makes a database of an earlier form from a new one.
void dropAddedAfter(Database &db, int version);
// Takes the database back to the form of version 5: without what later versions added,
// the kept figures and their triggers.
void backToVersion5(Database &db);

// The rows of a statement on the data module's connection as text: a line per row, its
// cells separated by a space.
QString rowsAsText(const QString &sql);
