// backup, restore, check and passwd: keeping the file whole and letting operators back in.
#include "tools/AdminCommand.h"
#include "data/BoundWrite.h"
#include "data/Backup.h"
#include "data/Books.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "db/Dates.h"
#include "db/Database.h"
#include "data/PasswordHash.h"
#include "data/Schema.h"
#include "db/Sql.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

QString native(const QString &path) { return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()); }

void printContents(QTextStream &out, const Backup::Contents &c)
{
    out << "备份时间：" << c.taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << '\n'
        << "业主：" << c.houses << " 户，收费：" << c.payments << " 笔，最后收据号："
        << (c.lastReceipt.isEmpty() ? QStringLiteral("（无）") : c.lastReceipt) << '\n';
}

// The arguments of backup and restore, which work on the database file: --db and the
// command's own option. A server database is sent to the server's own tools: the command
// has done nothing and says so (exit 1); an error in the arguments or a missing option
// ends with exit 2.
struct FileCommandArgs {
    AdminArgs args;
    int exitNow = -1; // 0 or more: the command ends here with this status
};

FileCommandArgs fileCommandArgs(const QStringList &args, const QString &option, const char *usage, QTextStream &err)
{
    FileCommandArgs r{AdminArgs(args, {QStringLiteral("db"), option, QStringLiteral("operator")})};
    if (!r.args.ok()) {
        err << r.args.error() << '\n';
        r.exitNow = 2;
    } else if (Backup::isServerDatabase(r.args.dbPath())) {
        err << Backup::serverDatabaseMessage() << "。\n";
        r.exitNow = 1;
    } else if (!r.args.has(option)) {
        err << usage << '\n';
        r.exitNow = 2;
    }
    return r;
}

// With --operator the command acts as that operator, who must be allowed backups; the
// connection is closed again before the file is copied or replaced.
int refusedOperator(const AdminArgs &a, QTextStream &err)
{
    if (!a.has(QStringLiteral("operator")))
        return 0;
    openProgramDatabase(a.dbPath());
    const auto closed = qScopeGuard([] {
        CurrentUserName.clear();
        CurrentUserId.clear();
        dataModule().closeConnection();
    });
    if (!actAsOperator(a.value(QStringLiteral("operator")), err))
        return 1;
    Roles::require(Roles::Action::Backup);
    return 0;
}

int runBackup(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const FileCommandArgs f = fileCommandArgs(args, QStringLiteral("out"), "用法: chengyue-admin backup --db PATH --out FILE", err);
    if (f.exitNow >= 0)
        return f.exitNow;
    const AdminArgs &a = f.args;
    if (const int rc = refusedOperator(a, err))
        return rc;
    const QString target = a.value(QStringLiteral("out"));
    const Backup::Contents c = Backup::copy(a.dbPath(), target);
    out << "已备份到 " << native(target) << "（已检查：完整，行数与数据库一致）\n";
    printContents(out, c);
    return 0;
}

int runRestore(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const FileCommandArgs f = fileCommandArgs(args, QStringLiteral("from"), "用法: chengyue-admin restore --db PATH --from FILE", err);
    if (f.exitNow >= 0)
        return f.exitNow;
    const AdminArgs &a = f.args;
    if (const int rc = refusedOperator(a, err))
        return rc;
    const QString from = a.value(QStringLiteral("from"));
    const Backup::Contents c = Backup::inspect(from);
    // What the restore takes out of the database, told as it was before.
    Backup::Control control;
    const Backup::Loss lost = QFileInfo::exists(a.dbPath()) ? Backup::loss(a.dbPath(), from, control) : Backup::Loss{};
    const QString kept = Backup::restore(a.dbPath(), from);
    out << "已从 " << native(from) << " 恢复 " << native(a.dbPath()) << '\n';
    printContents(out, c);
    if (lost.known)
        out << "恢复前的最后收据号：" << (lost.lastReceipt.isEmpty() ? QStringLiteral("（无）") : lost.lastReceipt) << '\n';
    out << Backup::lossText(lost) << '\n';
    if (!kept.isEmpty())
        out << "原数据库文件保存为 " << native(kept) << '\n';
    return 0;
}

// The faults the program's own checks found, at most twenty lines of them.
void printFaults(QTextStream &err, const QStringList &faults)
{
    for (const QString &f : faults.mid(0, 20))
        err << "  " << f << '\n';
    if (faults.size() > 20)
        err << "  ……共 " << faults.size() << " 处\n";
}

// check --date D --code C: whether the books still give a signed day close's 校验码. The
// code is read off the change record's chain; the chain and the day's payments and voids
// are verified with it, since a code read off altered books proves nothing.
int checkDayCode(Database &db, const QString &shown, const QString &date, const QString &code, QTextStream &out,
                 QTextStream &err)
{
    const QStringList faults = Backup::checkAccounts(db);
    const QString own = Books::dayCode(db, date, date);
    if (!faults.isEmpty()) {
        err << shown << "：账目已被改动或不一致，" << date << " 的校验码不能作准（现为 " << own << "）\n";
        printFaults(err, faults);
        return 1;
    }
    if (!Books::sameCode(code, own)) {
        err << shown << "：" << date << " 的校验码不符：日报上是 " << code.trimmed().toUpper() << "，账目现在给出 " << own
            << "（该日的收费、作废或补打与打印日报时不同）\n";
        return 1;
    }
    out << shown << "：" << date << " 的校验码 " << own << " 相符，账目完整\n";
    return 0;
}

int runCheck(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("date"), QStringLiteral("code")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    const bool dayCode = a.has(QStringLiteral("date")) || a.has(QStringLiteral("code"));
    const QDate date = Dates::tryParse(a.value(QStringLiteral("date")));
    if (dayCode && (!date.isValid() || a.value(QStringLiteral("code")).trimmed().isEmpty())) {
        err << "用法: chengyue-admin check --db PATH [--date YYYY-MM-DD --code 校验码]\n";
        return 2;
    }
    const QString key = QString::fromUtf8(Schema::DatabaseKey);
    if (dayCode) {
        Database db;
        if (Backup::isServerDatabase(a.dbPath()))
            db.open(a.dbPath(), key);
        else
            db.openReadOnly(a.dbPath(), key);
        if (db.schemaVersion() < 5) {
            err << native(a.dbPath()) << "：数据库是较早版本的，还没有校验码（请先用本程序打开一次以升级）\n";
            return 1;
        }
        const QString shown = db.isServer() ? Database::shownLocation(a.dbPath()) : native(a.dbPath());
        return checkDayCode(db, shown, Dates::format(date), a.value(QStringLiteral("code")), out, err);
    }
    if (Backup::isServerDatabase(a.dbPath())) {
        // The server keeps its pages whole itself; the program's accounts are checked here.
        const QString shown = Database::shownLocation(a.dbPath());
        Database db;
        db.open(a.dbPath(), key);
        const QStringList faults = Backup::checkAccounts(db);
        if (!faults.isEmpty()) {
            err << shown << "：账目不一致（或被改动）\n";
            printFaults(err, faults);
            return 1;
        }
        out << shown << "：本程序的检查通过（表、收据号、作废记录）。" << Backup::serverCheckMessage() << "。\n";
        return 0;
    }
    // Read only and in the form it has: a backup is checked as it lies, also on a
    // write-protected medium, and is never changed by it.
    Database db;
    db.openReadOnly(a.dbPath(), key);
    const Backup::CheckResult r = Backup::check(db, false);
    if (r.whole) {
        const QStringList faults = Backup::checkAccounts(db);
        if (!faults.isEmpty()) {
            err << native(a.dbPath()) << "：文件完整，但账目不一致（或被改动）\n";
            printFaults(err, faults);
            return 1;
        }
        out << native(a.dbPath()) << "：完整\n";
        return 0;
    }
    err << native(a.dbPath()) << "：已损坏\n";
    if (!r.damagedTables.isEmpty())
        err << "损坏的表：" << r.damagedTables.join(QStringLiteral("、")) << '\n';
    for (const QString &p : r.problems.mid(0, 20))
        err << "  " << p << '\n';
    const QString latest = Backup::latest(Backup::folderFor(a.dbPath()));
    if (!latest.isEmpty())
        err << "最近的备份：" << native(latest) << "（chengyue-admin restore --db " << native(a.dbPath()) << " --from "
            << native(latest) << "）\n";
    return 1;
}

// The byte count the password box of the login window limits (GBK: two for a Chinese
// character).
int gbkBytes(const QString &text)
{
    int n = 0;
    for (const QChar c : text)
        n += c.unicode() < 0x80 ? 1 : 2;
    return n;
}

int runPasswd(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("operator")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    const QString name = a.value(QStringLiteral("operator"));
    if (name.isEmpty()) {
        err << "用法: chengyue-admin passwd --db PATH --operator NAME（新密码从标准输入读一行）\n";
        return 2;
    }
    Database db;
    db.open(a.dbPath(), QString::fromUtf8(Schema::DatabaseKey));
    if (BoundWrite::count(db, QStringLiteral("SELECT ID FROM SUser WHERE (theName = ?)"), {name}) == 0) {
        err << "操作员 " << name << " 不存在\n";
        return 1;
    }
    std::string line;
    if (!std::getline(std::cin, line)) {
        err << "没有从标准输入读到新密码\n";
        return 2;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const QString password = QString::fromStdString(line);
    if (gbkBytes(password) > 12) {
        err << "新密码 超过 12 个字节（登录窗口的密码框最多输入 12 个字节）\n";
        return 2;
    }
    BoundWrite::run(db, QStringLiteral("UPDATE SUser SET thePass = ? WHERE (theName = ?)"),
                    {PasswordHash::make(password), name});
    out << "操作员 " << name << " 的密码已修改\n";
    return 0;
}

AdminCommandRegistrar r1({QStringLiteral("backup"), QStringLiteral("--db PATH --out FILE [--operator NAME]"),
                          QStringLiteral("在程序使用中也能做的一致备份（加密同原文件），做完后检查备份；服务器数据库请用 pg_dump"),
                          runBackup});
AdminCommandRegistrar r2({QStringLiteral("restore"), QStringLiteral("--db PATH --from FILE [--operator NAME]"),
                          QStringLiteral("用备份恢复数据库（先检查备份，损坏的或别的程序的文件拒绝；原文件另存在旁边）；请先关闭所有收费程序"),
                          runRestore});
AdminCommandRegistrar r3({QStringLiteral("check"), QStringLiteral("--db PATH [--date YYYY-MM-DD --code 校验码]"),
                          QStringLiteral("完整性检查和账目检查（表、操作记录的校验链、每笔收费和作废与其操作记录、收据号、作废记录；"
                                         "只读，备份文件也可以检查）；完整时退出码为 0，被改动时说出第一处被改动的记录，"
                                         "损坏时说出损坏的表和最近的备份；服务器上的数据库只做账目检查。"
                                         "加 --date 和 --code：该日账目是否仍给出收费日报上的校验码"),
                          runCheck});
AdminCommandRegistrar r4({QStringLiteral("passwd"), QStringLiteral("--db PATH --operator NAME"),
                          QStringLiteral("设置操作员的密码（从标准输入读一行），用于忘记密码的操作员"), runPasswd});

} // namespace
