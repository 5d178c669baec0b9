// init, sql and capitals: the commands that need nothing but the data layer.
#include "tools/AdminCommand.h"
#include "data/Database.h"
#include "data/NumToChar.h"
#include "data/Numbers.h"
#include "data/PasswordHash.h"
#include "data/Schema.h"

namespace {

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
    Schema::createFile(a.dbPath(), op);
    out << "已创建数据库文件：" << a.dbPath() << "\n操作员：" << op << "，初始密码：" << Schema::InitialPassword << '\n';
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
    Database db;
    db.open(a.dbPath(), QString::fromUtf8(Schema::DatabaseKey));
    // Passwords an older program kept in clear are hashed before anything is shown.
    try {
        PasswordHash::hashClearPasswords(db);
    } catch (const AppError &) {
    }
    auto cursor = db.cursor(a.positional().first());
    bool header = false;
    while (cursor->next()) {
        if (!header) {
            out << cursor->columns().join(QLatin1Char('\t')) << '\n';
            header = true;
        }
        QStringList row;
        for (int i = 0; i < cursor->columnCount(); ++i)
            row << cursor->text(i);
        out << row.join(QLatin1Char('\t')) << '\n';
    }
    if (!header && cursor->columnCount() > 0)
        out << cursor->columns().join(QLatin1Char('\t')) << '\n';
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
    out << NumToChar(v) << '\n';
    return 0;
}

AdminCommandRegistrar r1({QStringLiteral("init"), QStringLiteral("--db PATH [--operator NAME]"),
                          QStringLiteral("新建数据库文件（含全部表、使用单位、收据标签和第一个操作员，初始密码 580913）；已有文件时拒绝并退出"),
                          runInit});
AdminCommandRegistrar r2({QStringLiteral("sql"), QStringLiteral("--db PATH STATEMENT"),
                          QStringLiteral("按程序的方式执行一条语句；结果以制表符分隔输出，首行为列名"), runSql});
AdminCommandRegistrar r3({QStringLiteral("capitals"), QStringLiteral("AMOUNT"),
                          QStringLiteral("输出金额的中文大写（0 输出空行）"), runCapitals});

} // namespace
