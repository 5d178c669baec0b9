#include "db/Database.h"
#include "db/DatabaseEngine.h"
#include "db/PgEngine.h"
#include "db/SqliteEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <sqlite3.h>

// ---------------------------------------------------------------- Rows

Rows::Rows(QStringList columns, QVector<QStringList> rows)
    : m_columns(std::move(columns)), m_rows(std::move(rows))
{
}

int Rows::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString Rows::value(const QString &name) const
{
    return at(m_current, name);
}

QString Rows::at(int row, const QString &name) const
{
    const int c = columnIndex(name);
    if (c < 0)
        throw AppError(QStringLiteral("找不到字段“%1”").arg(name));
    if (row < 0 || row >= m_rows.size())
        throw AppError(QStringLiteral("没有当前记录"));
    return m_rows.at(row).at(c);
}

// ---------------------------------------------------------------- Cursor

Cursor::Cursor(std::unique_ptr<CursorEngine> impl)
    : m_impl(std::move(impl))
{
}

Cursor::~Cursor() = default;

const QStringList &Cursor::columns() const
{
    return m_impl->columns();
}

bool Cursor::next()
{
    return m_impl->next();
}

QString Cursor::text(int column) const
{
    return m_impl->text(column);
}

void Cursor::appendText(QByteArray &out, int column) const
{
    m_impl->appendText(out, column);
}

bool Cursor::isNull(int column) const
{
    return m_impl->isNull(column);
}

// ---------------------------------------------------------------- NUL characters

// The engines read a statement only up to a NUL character: a value holding one (pasted,
// or from a file) would cut the statement short inside its quotes.
void refuseNul(const QString &sql)
{
    if (sql.contains(QChar(0))) {
        QString shown = sql;
        shown.replace(QChar(0), QStringLiteral("\\0"));
        throw DbError(QStringLiteral("文字中含有空字符（NUL），数据库不能保存或查找它，请删除该字符后重试"), shown);
    }
}

QVariant Cursor::value(int column) const
{
    return m_impl->value(column);
}

// ---------------------------------------------------------------- Database

Database::Database() = default;

Database::~Database()
{
    close();
}

bool Database::isServerUrl(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString Database::shownLocation(const QString &location)
{
    return isServerUrl(location) ? PgEngine::shownServer(location) : location;
}

QString Database::withoutPassword(const QString &text, const QString &location)
{
    return isServerUrl(location) ? PgEngine::hidden(text, PgEngine::address(location).secrets) : text;
}

void Database::close()
{
    m_engine.reset();
}

bool Database::isServer() const
{
    return m_engine && m_engine->isServer();
}

namespace {
Database::UpgradeStep &upgradeStepHook()
{
    static Database::UpgradeStep step = nullptr;
    return step;
}
bool upgradeStep(Database &db)
{
    const Database::UpgradeStep step = upgradeStepHook();
    return step && step(db);
}
} // namespace

void Database::setUpgradeStep(UpgradeStep step)
{
    upgradeStepHook() = step;
}

void Database::open(const QString &location, const QString &key)
{
    close();
    if (isServerUrl(location)) {
        m_engine = PgEngine::connect(location);
        m_path = location;
        m_key = key;
        // A server database of an earlier program takes the current form on this same
        // connection; the refusals are already in the operator's words.
        try {
            while (upgradeStep(*this)) {
            }
        } catch (...) {
            close();
            throw;
        }
        return;
    }
    const QString path = QFileInfo(location).absoluteFilePath();
    m_engine = SqliteEngine::open(path, key);
    m_path = path;
    m_key = key;
    // A file of an earlier program takes the current form before anything reads it;
    // after each step the connection reads the new form afresh.
    try {
        while (upgradeStep(*this)) {
            m_engine.reset();
            m_engine = SqliteEngine::open(path, key);
        }
    } catch (const DbError &e) {
        close();
        if (e.code() == 0)
            throw; // already in the operator's words (a newer program's file)
        throw DbError(QStringLiteral("无法升级数据库文件 %1（文件保持原样）：%2").arg(QDir::toNativeSeparators(path), e.message()),
                      e.statement(), e.code());
    }
}

void Database::openReadOnly(const QString &path, const QString &key)
{
    close();
    m_path = QFileInfo(path).absoluteFilePath();
    m_engine = SqliteEngine::openReadOnly(m_path, key);
    m_key = key;
}

void Database::create(const QString &location, const QString &key, int mode)
{
    close();
    if (isServerUrl(location)) {
        m_engine = PgEngine::connect(location);
        m_path = location;
    } else {
        m_path = QFileInfo(location).absoluteFilePath();
        m_engine = SqliteEngine::create(m_path, key, mode);
    }
    m_key = key;
}

std::unique_ptr<Database> Database::openReader() const
{
    if (!m_engine)
        throw DbError(QStringLiteral("数据库未连接"), QString());
    auto db = std::make_unique<Database>();
    db->open(m_path, m_key);
    db->m_engine->makeReadOnly();
    return db;
}

DatabaseEngine &Database::engineOrFail(const QString &sql) const
{
    if (!m_engine)
        throw DbError(QStringLiteral("数据库未连接"), sql);
    const void *lentTo = m_lentTo.load();
    if (lentTo && lentTo != QThread::currentThread())
        throw DbError(QStringLiteral("数据库正在导入数据，请等导入完成后再试"), sql);
    return *m_engine;
}

Database::Loan::Loan(Database &db)
    : m_db(db)
{
    m_db.m_lentTo.store(QThread::currentThread());
}

Database::Loan::~Loan()
{
    m_db.m_lentTo.store(nullptr);
}

void Database::exec(const QString &sql)
{
    engineOrFail(sql).exec(sql);
}

namespace {
// True when the text holds more than blanks, comments and semicolons.
bool holdsStatement(const QByteArray &s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char c = s.at(i);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == ';')
            continue;
        if (c == '-' && i + 1 < s.size() && s.at(i + 1) == '-') {
            while (i < s.size() && s.at(i) != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s.at(i + 1) == '*') {
            const qsizetype end = s.indexOf("*/", i + 2);
            if (end < 0)
                return false;
            i = end + 1;
            continue;
        }
        return true;
    }
    return false;
}
} // namespace

QStringList Database::splitStatements(const QString &sql)
{
    QStringList out;
    const QByteArray s = sql.toUtf8();
    qsizetype start = 0;
    auto add = [&](qsizetype end) {
        const QByteArray piece = s.mid(start, end - start);
        if (holdsStatement(piece))
            out << QString::fromUtf8(piece).trimmed();
        start = end;
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        // A ";" inside quotes, a comment or a trigger's body ends nothing.
        if (s.at(i) == ';' && sqlite3_complete(s.mid(start, i + 1 - start).constData()))
            add(i + 1);
    }
    add(s.size());
    return out;
}

Rows Database::select(const QString &sql)
{
    return engineOrFail(sql).select(sql);
}

std::unique_ptr<Cursor> Database::cursor(const QString &sql)
{
    return std::make_unique<Cursor>(engineOrFail(sql).cursor(sql));
}

int Database::count(const QString &sql)
{
    return engineOrFail(sql).countRows(sql);
}

QString Database::scalar(const QString &sql)
{
    const Rows r = select(sql);
    return r.rowCount() > 0 && !r.columns().isEmpty() ? r.at(0, 0) : QString();
}

namespace {
Database::LockWaitObserver &lockWaitObserver()
{
    static Database::LockWaitObserver observer;
    return observer;
}
} // namespace

void Database::setLockWaitObserver(LockWaitObserver observer)
{
    lockWaitObserver() = std::move(observer);
}

bool Database::keepWaiting(int waitedMs)
{
    const LockWaitObserver &observer = lockWaitObserver();
    return !observer || observer(waitedMs);
}

void Database::interrupt()
{
    if (m_engine)
        m_engine->interrupt();
}

bool Database::isInterruption(const DbError &e) const
{
    return m_engine ? m_engine->isInterruption(e) : false;
}

bool Database::plusHidesIndex() const
{
    return m_engine ? m_engine->plusHidesIndex() : false;
}

bool Database::nullsSortLow() const
{
    return m_engine ? m_engine->nullsSortLow() : true;
}

bool Database::bindsLists() const
{
    return m_engine && m_engine->bindsLists();
}

QString Database::exactSum(const QString &expr) const
{
    return m_engine ? m_engine->exactSum(expr) : QStringLiteral("SUM(") + expr + QLatin1Char(')');
}

qint64 Database::lastInsertId() const
{
    return m_engine ? m_engine->lastInsertId() : 0;
}

int Database::changes() const
{
    return m_engine ? m_engine->changes() : 0;
}

void Database::lockFor(const QString &key)
{
    engineOrFail(QString()).lockFor(key);
}

int Database::schemaVersion()
{
    return engineOrFail(QString()).schemaVersion();
}

void Database::setSchemaVersion(int version)
{
    engineOrFail(QString()).setSchemaVersion(version);
}

QStringList Database::tables()
{
    return engineOrFail(QString()).tables();
}

void Database::moveIdsPast(const QString &table, const QString &idColumn)
{
    engineOrFail(QString()).moveIdsPast(table, idColumn);
}

sqlite3 *Database::handle() const
{
    const auto *file = dynamic_cast<const SqliteEngine *>(m_engine.get());
    return file ? file->handle() : nullptr;
}

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(Database &db)
    : m_db(db)
{
    m_db.engineOrFail(QStringLiteral("BEGIN")).beginWrite();
}

Transaction::~Transaction()
{
    if (!m_done && m_db.m_engine) {
        try {
            m_db.m_engine->rollback();
        } catch (...) {
        }
    }
}

void Transaction::commit()
{
    m_db.engineOrFail(QStringLiteral("COMMIT")).commit();
    m_done = true;
}

// ---------------------------------------------------------------- Statement

Statement::Statement(Database &db, const QString &sql)
    : m_impl(db.engineOrFail(sql).prepare(sql))
{
}

Statement::~Statement() = default;

void Statement::bind(int index, const QString &text) { m_impl->bind(index, text); }
void Statement::bind(int index, double value) { m_impl->bind(index, value); }
void Statement::bind(int index, qint64 value) { m_impl->bind(index, value); }
void Statement::bindNull(int index) { m_impl->bindNull(index); }
void Statement::bind(int index, const QStringList &texts) { m_impl->bind(index, texts); }
void Statement::run() { m_impl->run(); }
bool Statement::hasRow() { return m_impl->hasRow(); }
Rows Statement::rows() { return m_impl->rows(); }

// ---------------------------------------------------------------- BulkLoad

BulkLoad::BulkLoad(Database &db, const QString &table, const QStringList &columns)
    : m_impl(db.engineOrFail(table).bulkLoad(table, columns))
{
}

BulkLoad::~BulkLoad() = default;

void BulkLoad::add(const QStringList &values, const QVector<bool> &nulls) { m_impl->add(values, nulls); }
void BulkLoad::finish() { m_impl->finish(); }
