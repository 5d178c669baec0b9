#include "tests/support/TestSupport.h"
#include "data/Schema.h"
#include "data/TfrmDM.h"
#include "operators/Login.h"

#include <QProcess>
#include <QTest>

TestDb::TestDb()
{
    m_path = m_dir.filePath(QStringLiteral("Data/db.edb"));
    Schema::createFile(m_path);
    resetLoginState();
    SqlText.clear();
    frmDM().setConnection(m_path, QString::fromUtf8(Schema::DatabaseKey));
}

TestDb::~TestDb()
{
    frmDM().closeConnection();
    resetLoginState();
}

void TestDb::exec(const QString &sql) { frmDM().db().exec(sql); }
QString TestDb::scalar(const QString &sql) { return frmDM().db().scalar(sql); }
int TestDb::count(const QString &sql) { return frmDM().db().count(sql); }

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
