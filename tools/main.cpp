#include "tools/AdminCommand.h"
#include "data/BoundWrite.h"
#include "data/AppIdentity.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "data/Schema.h"
#include "data/DataModule.h"
#include "db/Sql.h"

#include <iostream>
#include <string>

#include <QCoreApplication>
#include <QFile>
#include <QApplication>
#include <unistd.h>
#include <QDir>
#include <cstdio>

QList<AdminCommand> &adminCommands()
{
    static QList<AdminCommand> commands;
    return commands;
}

AdminArgs::AdminArgs(const QStringList &args, const QStringList &valueOptions, const QStringList &flags)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a.startsWith(QLatin1String("--"))) {
            QString name = a.mid(2);
            QString val;
            const int eq = name.indexOf(QLatin1Char('='));
            if (eq >= 0) {
                val = name.mid(eq + 1);
                name = name.left(eq);
                m_values.insert(name, val);
                continue;
            }
            if (flags.contains(name)) {
                m_values.insert(name, QStringLiteral("1"));
            } else if (valueOptions.contains(name)) {
                if (i + 1 >= args.size()) {
                    m_error = QStringLiteral("选项 --%1 缺少取值").arg(name);
                    return;
                }
                m_values.insert(name, args.at(++i));
            } else {
                m_error = QStringLiteral("未知选项 --%1").arg(name);
                return;
            }
        } else {
            m_positional << a;
        }
    }
}

QString AdminArgs::dbPath() const
{
    return value(QStringLiteral("db"), Schema::locationBeside(QCoreApplication::applicationDirPath()));
}

void openProgramDatabase(const QString &path)
{
    dataModule().setConnection(path, QString::fromUtf8(Schema::DatabaseKey));
    dataModule().db();
}

bool actAsOperator(const QString &name, QTextStream &err)
{
    const Rows user = BoundWrite::select(dataModule().db(), QStringLiteral("SELECT ID, theName FROM SUser WHERE (theName = ?) ORDER BY ID"),
                                         {name});
    if (user.isEmpty()) {
        err << QStringLiteral("操作员 “%1” 不存在").arg(name) << '\n';
        return false;
    }
    CurrentUserName = user.value(QStringLiteral("theName"));
    CurrentUserId = user.value(QStringLiteral("ID"));
    return true;
}

bool readLine(QString &line)
{
    std::string s;
    if (!std::getline(std::cin, s))
        return false;
    if (!s.empty() && s.back() == '\r')
        s.pop_back();
    line = QString::fromStdString(s);
    return true;
}

// A failure's words without the password of any server URL the command was given (or
// takes from chengyue.ini), whatever put it there.
static QString withoutPasswords(QString text, const QStringList &args)
{
    QStringList locations{Schema::locationBeside(QCoreApplication::applicationDirPath())};
    for (const QString &a : args)
        locations << (a.startsWith(QLatin1String("--")) ? a.section(QLatin1Char('='), 1) : a);
    for (const QString &location : std::as_const(locations))
        text = Database::withoutPassword(text, location);
    return text;
}

static void printHelp(QTextStream &out)
{
    out << "chengyue-admin: " << QString::fromUtf8(AppTitle) << " 的管理工具\n\n";
    out << "用法: chengyue-admin <命令> [选项]\n";
    out << "--db PATH 默认为程序旁 chengyue.ini 中 [database] url= 指定的服务器，没有时为程序旁的 Data/db.edb；也可以是数据库服务器的地址 postgresql://用户@主机:端口/数据库。\n\n命令:\n";
    for (const AdminCommand &c : adminCommands()) {
        out << "  " << c.name << ' ' << c.usage << '\n';
        out << "      " << c.summary << '\n';
    }
}

int main(int argc, char *argv[])
{
    // A GUI application that never opens a window: the receipt command lays its text out
    // with the system's fonts, and the stats command draws its chart with Qt Charts (a
    // graphics-view widget), which need one, also where no display is available.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Outside a desktop session Qt warns about the missing runtime folder on standard
    // error, which scripts read for the tool's own messages; a private one silences it.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toUtf8() + "/chengyue-runtime-" + QByteArray::number(getuid());
        QDir().mkpath(QString::fromUtf8(dir));
        QFile::setPermissions(QString::fromUtf8(dir), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir);
    }
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")
        || args.first() == QLatin1String("help")) {
        printHelp(out);
        return args.isEmpty() ? 2 : 0;
    }
    const QString name = args.takeFirst();
    for (const AdminCommand &c : adminCommands()) {
        if (c.name != name)
            continue;
        if (args.contains(QStringLiteral("--help"))) {
            out << "chengyue-admin " << c.name << ' ' << c.usage << '\n' << c.summary << '\n';
            return 0;
        }
        try {
            const int rc = c.run(args, out, err);
            out.flush();
            err.flush();
            return rc;
        } catch (const AppError &e) {
            out.flush();
            err << withoutPasswords(e.message(), args) << '\n';
            return 1;
        } catch (const std::exception &e) {
            out.flush();
            err << withoutPasswords(QString::fromLocal8Bit(e.what()), args) << '\n';
            return 1;
        }
    }
    err << "未知命令：" << name << "（chengyue-admin --help 列出全部命令）\n";
    return 2;
}
