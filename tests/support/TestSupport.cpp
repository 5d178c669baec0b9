#include "tests/support/TestSupport.h"
#include "data/DataModule.h"
#include "data/Schema.h"
#include "data/SchemaTables.h"
#include "db/Database.h"
#include "operators/Login.h"

#include <QCoreApplication>
#include <QFile>
#include <QInputMethodEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <QTest>

QString TestDb::server()
{
    static const QString url = [] {
        const QString file = qEnvironmentVariable("CHENGYUE_TEST_SERVER_FILE");
        if (file.isEmpty())
            return QString();
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            qFatal("the test server's URL file %s cannot be read: the server did not start", qPrintable(file));
        const QString u = QString::fromUtf8(f.readAll()).trimmed();
        if (u.isEmpty())
            qFatal("the test server's URL file %s is empty", qPrintable(file));
        return u;
    }();
    return url;
}

QString TestDb::newServerDatabase()
{
    static int made = 0;
    const QString name = QStringLiteral("cy_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    Database admin;
    admin.open(server(), QString());
    admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
    admin.exec(QStringLiteral("CREATE DATABASE %1").arg(name));
    QUrl url(server());
    url.setPath(QLatin1Char('/') + name);
    return url.toString();
}

void TestDb::dropServerDatabase(const QString &url)
{
    try {
        Database admin;
        admin.open(server(), QString());
        admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(QUrl(url).path().mid(1)));
    } catch (const DbError &e) {
        qWarning("test database not dropped: %s", qPrintable(e.message()));
    }
}

TestDb::TestDb()
{
    if (onServer()) {
        m_path = newServerDatabase();
        Schema::createServer(m_path);
        // The few functions of the file's engine that the tests (not the program) use to
        // seed and compare tables.
        Database db;
        db.open(m_path, QString());
        db.exec(QStringLiteral(
            "CREATE FUNCTION cy_concat_step(a text, b text) RETURNS text LANGUAGE sql IMMUTABLE AS "
            "$$ SELECT CASE WHEN a IS NULL THEN b WHEN b IS NULL THEN a ELSE a || ',' || b END $$; "
            "CREATE AGGREGATE group_concat(text) (SFUNC = cy_concat_step, STYPE = text); "
            "CREATE FUNCTION cy_concat_step(a text, b text, s text) RETURNS text LANGUAGE sql IMMUTABLE AS "
            "$$ SELECT CASE WHEN a IS NULL THEN b WHEN b IS NULL THEN a ELSE a || s || b END $$; "
            "CREATE AGGREGATE group_concat(text, text) (SFUNC = cy_concat_step, STYPE = text); "
            "CREATE FUNCTION printf(f text, v bigint) RETURNS text LANGUAGE sql IMMUTABLE AS "
            "$$ SELECT substring(f from '^(.*)%0') || lpad(v::text, substring(f from '%0(\\d+)d')::int, '0') $$; "
            "CREATE FUNCTION typeof(v double precision) RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT 'real' $$; "
            "CREATE FUNCTION typeof(v bigint) RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT 'integer' $$; "
            "CREATE FUNCTION typeof(v text) RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT 'text' $$"));
    } else {
        m_path = m_dir.filePath(QStringLiteral("Data/db.edb"));
        Schema::createFile(m_path);
    }
    resetLoginState();
    SqlText.clear();
    dataModule().setConnection(m_path, QString::fromUtf8(Schema::DatabaseKey));
}

TestDb::~TestDb()
{
    dataModule().closeConnection();
    resetLoginState();
    if (onServer())
        dropServerDatabase(m_path);
}

void TestDb::exec(const QString &sql) { dataModule().db().exec(sql); }
QString TestDb::scalar(const QString &sql) { return dataModule().db().scalar(sql); }
int TestDb::count(const QString &sql) { return dataModule().db().count(sql); }

void TestDb::login(const QDate &chargeDate, const QString &name)
{
    if (!Login::tryLogin(name, QString::fromUtf8(Schema::InitialPassword), chargeDate))
        qFatal("test login failed");
    Login::readUnit();
}

MessageRecorder::MessageRecorder() { setMessageSink(this); }
MessageRecorder::~MessageRecorder() { setMessageSink(nullptr); }

void MessageRecorder::information(QWidget *, const QString &text)
{
    entries << Entry{QStringLiteral("info"), appTitle(), text, {}};
}

void MessageRecorder::error(QWidget *, const QString &text, const QString &detail)
{
    entries << Entry{QStringLiteral("error"), appTitle(), text, detail};
}

bool MessageRecorder::question(QWidget *, const QString &caption, const QString &text, bool)
{
    entries << Entry{QStringLiteral("question"), caption, text, {}};
    return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
}

QStringList MessageRecorder::texts() const
{
    QStringList t;
    for (const Entry &e : entries)
        t << e.text;
    return t;
}

int MessageRecorder::errors() const
{
    int n = 0;
    for (const Entry &e : entries)
        n += e.kind == QLatin1String("error");
    return n;
}

QuitRecorder::QuitRecorder() { setQuitSink(this); }
QuitRecorder::~QuitRecorder() { setQuitSink(nullptr); }
WebRecorder::WebRecorder() { setWebSink(this); }
WebRecorder::~WebRecorder() { setWebSink(nullptr); }

QWidget *focusIn(QWidget *window)
{
    QWidget *w = window->focusWidget();
    return w;
}

bool withoutWindowFrames()
{
    return qEnvironmentVariableIsSet("CHENGYUE_TEST_NO_FRAMES");
}

int runWithoutWindowFrames(const QString &testFunction, QString *output)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"),
               QStringLiteral("offscreen:configfile=" TEST_FIXTURES_DIR "/offscreen/no-frames.json"));
    env.insert(QStringLiteral("CHENGYUE_TEST_NO_FRAMES"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QCoreApplication::applicationFilePath(), {testFunction});
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int runAdmin(const QStringList &args, QString *out, QString *err, int timeoutMs)
{
    QProcess p;
    p.start(QStringLiteral(ADMIN_TOOL_PATH), args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void typeText(QWidget *box, const QString &text)
{
    box->setFocus();
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(box, char(c.unicode()));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(box, &commit);
        }
    }
}

void dropAddedAfter(Database &db, int version)
{
    const auto engine = db.isServer() ? SchemaTables::Engine::Server : SchemaTables::Engine::File;
    static const QRegularExpression index(QStringLiteral("CREATE (?:UNIQUE )?INDEX (?:IF NOT EXISTS )?(\\w+)"));
    for (int v = Schema::Version; v > version; --v) {
        auto it = index.globalMatch(SchemaTables::indexesAddedIn(engine, v));
        while (it.hasNext())
            db.exec(QStringLiteral("DROP INDEX IF EXISTS ") + it.next().captured(1));
        const QStringList before = SchemaTables::namesOf(v - 1);
        for (const QString &table : SchemaTables::namesOf(v))
            if (!before.contains(table))
                db.exec(QStringLiteral("DROP TABLE IF EXISTS ") + table);
    }
}

void backToVersion5(Database &db)
{
    dropAddedAfter(db, 6);
    if (db.isServer())
        db.exec(QStringLiteral("DROP TRIGGER UCharge_figures_insert ON UCharge; DROP TRIGGER UCharge_figures_void ON UCharge; "
                               "DROP FUNCTION cy_day_figures(); DROP TABLE UDayFigure; "
                               "DROP TRIGGER UHouse_figures_insert ON UHouse; DROP TRIGGER UHouse_figures_update ON UHouse; "
                               "DROP TRIGGER UHouse_figures_delete ON UHouse; DROP FUNCTION cy_house_figures(); DROP TABLE UHouseFigure"));
    else
        db.exec(QStringLiteral("DROP TRIGGER UCharge_figures_insert; DROP TRIGGER UCharge_figures_void; DROP TABLE UDayFigure; "
                               "DROP TRIGGER UHouse_figures_insert; DROP TRIGGER UHouse_figures_update; "
                               "DROP TRIGGER UHouse_figures_delete; DROP TABLE UHouseFigure"));
    db.setSchemaVersion(5);
}

QString rowsAsText(const QString &sql)
{
    const Rows rows = dataModule().query(sql);
    QString out;
    for (int r = 0; r < rows.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < rows.columns().size(); ++c)
            cells << rows.at(r, c);
        out += cells.join(QLatin1Char(' ')) + QLatin1Char('\n');
    }
    return out;
}
