// init, sql and capitals: the commands that need nothing but the data layer.
#include "tools/AdminCommand.h"
#include "db/Database.h"
#include "data/Capitals.h"
#include "db/Numbers.h"
#include "data/PasswordHash.h"
#include "data/Schema.h"

#include <QRegularExpression>
#include <optional>

namespace {

// Column names, then one line per row, tab-separated; the names also for no rows.
template <typename Line>
void printRows(Cursor &cursor, Line line)
{
    line(cursor.columns().join(QLatin1Char('\t')));
    while (cursor.next()) {
        QStringList row;
        for (int i = 0; i < cursor.columnCount(); ++i)
            row << cursor.text(i);
        line(row.join(QLatin1Char('\t')));
    }
}

// The words that begin or end a transaction or a part of one, on either engine. The
// statements of one call run in one transaction of the tool's own; one of these among them
// would store part of them and leave the rest to run outside it.
QString transactionControl(const QString &statement)
{
    static const QRegularExpression leading(QStringLiteral("^(\\s+|--[^\\n]*(\\n|$)|/\\*.*?\\*/)*"),
                                            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression control(
        QStringLiteral("^(BEGIN|COMMIT|END|ROLLBACK|ABORT|SAVEPOINT|RELEASE|START\\s+TRANSACTION|PREPARE\\s+TRANSACTION)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = statement.mid(leading.match(statement).capturedLength());
    const QRegularExpressionMatch m = control.match(text);
    return m.hasMatch() ? m.captured(1).simplified().toUpper() : QString();
}

int runInit(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("operator")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    const QString op = a.value(QStringLiteral("operator"), QString::fromUtf8(Schema::DefaultOperator));
    if (op.isEmpty()) {
        err << "操作员名称 不能为空！\n";
        return 2;
    }
    Schema::create(a.dbPath(), op);
    if (Database::isServerUrl(a.dbPath()))
        out << "已在数据库服务器上建好全部表：" << Database::shownLocation(a.dbPath());
    else
        out << "已创建数据库文件：" << a.dbPath();
    out << "\n操作员：" << op << "，初始密码：" << Schema::InitialPassword << '\n';
    return 0;
}

int runSql(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (a.positional().size() != 1) {
        err << "用法: chengyue-admin sql --db PATH STATEMENT\n";
        return 2;
    }
    const QStringList statements = Database::splitStatements(a.positional().first());
    if (statements.isEmpty()) {
        err << "没有要执行的语句\n";
        return 2;
    }
    // Refused before anything runs: the tool itself makes the statements one change.
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const QString word = transactionControl(statements.at(i));
        if (!word.isEmpty()) {
            err << QStringLiteral("第 %1 条语句 %2 是事务控制语句：sql 命令自己把全部语句放在一个事务中，全部执行或全部不执行，"
                                  "语句中不能有 BEGIN、COMMIT、ROLLBACK、SAVEPOINT、RELEASE 等。没有执行任何语句")
                       .arg(i + 1)
                       .arg(word)
                << '\n';
            return 2;
        }
    }
    Database db;
    db.open(a.dbPath(), QString::fromUtf8(Schema::DatabaseKey));
    // Passwords an older program kept in clear are hashed before anything is shown.
    try {
        PasswordHash::hashClearPasswords(db);
    } catch (const AppError &) {
    }
    // Several statements are one change: all of them or none.
    std::optional<Transaction> tx;
    if (statements.size() > 1)
        tx.emplace(db);
    // The rows of the last statement that returns any; the very last is printed as it is read.
    QStringList lines;
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const bool last = i + 1 == statements.size();
        try {
            auto cursor = db.cursor(statements.at(i));
            if (cursor->columnCount() == 0) {
                while (cursor->next()) {
                }
                continue;
            }
            lines.clear();
            if (last && !tx) {
                printRows(*cursor, [&](const QString &line) { out << line << '\n'; });
                return 0;
            }
            printRows(*cursor, [&](const QString &line) { lines << line; });
        } catch (const AppError &e) {
            if (statements.size() == 1)
                throw;
            throw AppError(QStringLiteral("第 %1 条语句出错，全部语句都没有执行：%2\n%3")
                               .arg(i + 1)
                               .arg(e.message(), statements.at(i)));
        }
    }
    if (tx)
        tx->commit();
    for (const QString &line : lines)
        out << line << '\n';
    return 0;
}

int runCapitals(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.size() != 1) {
        err << "用法: chengyue-admin capitals AMOUNT\n";
        return 2;
    }
    const double v = Numbers::toDouble(args.first());
    if (v < 0 || v >= 1e13) {
        err << "金额须在 0 到 9999999999999.99 之间\n";
        return 2;
    }
    out << amountInCapitals(v) << '\n';
    return 0;
}

AdminCommandRegistrar r1({QStringLiteral("init"), QStringLiteral("--db PATH|URL [--operator NAME]"),
                          QStringLiteral("新建数据库文件，或在服务器上一个空的数据库里建表（含全部表、使用单位、收据标签和第一个操作员，初始密码 580913）；已有文件或已有表时拒绝并退出"),
                          runInit});
AdminCommandRegistrar r2({QStringLiteral("sql"), QStringLiteral("--db PATH STATEMENT"),
                          QStringLiteral("按程序的方式执行语句；多条语句（以分号隔开）在一个事务中全部执行或全部不执行；"
                                         "输出最后一条有结果的语句的结果，以制表符分隔，首行为列名"), runSql});
AdminCommandRegistrar r3({QStringLiteral("capitals"), QStringLiteral("AMOUNT"),
                          QStringLiteral("输出金额的中文大写（0 输出空行）"), runCapitals});

} // namespace
