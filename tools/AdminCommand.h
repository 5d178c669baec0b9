#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

// The admin tool's commands register themselves here, one file per command group.
struct AdminCommand {
    QString name;
    QString usage;   // one line: arguments
    QString summary; // what it does
    // Returns the exit status. args excludes the command name.
    std::function<int(const QStringList &args, QTextStream &out, QTextStream &err)> run;
};

QList<AdminCommand> &adminCommands();

struct AdminCommandRegistrar {
    explicit AdminCommandRegistrar(AdminCommand c) { adminCommands().append(std::move(c)); }
};

// Option parsing shared by the commands: "--name value" pairs and plain arguments.
class AdminArgs {
public:
    AdminArgs(const QStringList &args, const QStringList &valueOptions, const QStringList &flags = {});
    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    QString value(const QString &option, const QString &fallback = {}) const { return m_values.value(option, fallback); }
    bool has(const QString &option) const { return m_values.contains(option); }
    const QStringList &positional() const { return m_positional; }
    // --db (a file path or a server URL), defaulting to the database of the installation
    // the admin tool belongs to (chengyue.ini beside it, else Data/db.edb).
    QString dbPath() const;

private:
    QHash<QString, QString> m_values;
    QStringList m_positional;
    QString m_error;
};

// Opens the program's shared connection on the file (as the program does) for commands
// that run screen logic.
void openProgramDatabase(const QString &path);

// Logs the named operator in for the command (name and ID of the login state), so that the
// logic obeys their role. False, told on err, when no operator has that name.
bool actAsOperator(const QString &name, QTextStream &err);

// One line from standard input (a password), without its line end; false at the end of input.
bool readLine(QString &line);
