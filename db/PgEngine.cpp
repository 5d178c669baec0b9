#include "db/PgEngine.h"
#include "db/ServerColumns.h"
#include "db/Numbers.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QRegularExpression>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <libpq-fe.h>
#include <poll.h>

#include <utility>
#include <vector>

namespace {

// The writers' lock: every write transaction of every desk holds it, as every writer of
// the file holds the file's one write lock, so that a duplicate check and the insert after
// it see no other desk's write in between.
constexpr qint64 WritersLockKey = 0x6368656e67; // "cheng"
// The class of the locks taken for one key (a charging date) inside a transaction.
constexpr int KeyedLockClass = 2;

QString firstLine(const QString &text)
{
    return text.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
}

// A value as the file reads it back: numbers in plain form (2.5, 100), sums without
// binary noise, truth values as 1 and 0.
QString valueText(const PGresult *res, int row, int col)
{
    if (PQgetisnull(res, row, col))
        return {};
    const char *v = PQgetvalue(res, row, col);
    const int len = PQgetlength(res, row, col);
    switch (PQftype(res, col)) {
    case 701: // float8
        if (Numbers::isPlainForm(v, len))
            return QString::fromLatin1(v, len);
        return Numbers::plain(QByteArray::fromRawData(v, len).toDouble());
    case 700:  // float4
    case 1700: // numeric
        return Numbers::plain(QByteArray::fromRawData(v, len).toDouble());
    case 16: // bool
        return QLatin1String(v[0] == 't' ? "1" : "0");
    default:
        return QString::fromUtf8(v, len);
    }
}

// Sums are summed exactly as numeric, so a total can lie beyond what a double holds; it
// would read as 0. Such a result is refused, as the file refuses that total. (A total
// below the smallest double is no such case: it reads as the 0 it nearly is.)
bool sumBeyondDouble(const PGresult *res)
{
    const int rows = PQntuples(res);
    for (int c = 0, n = PQnfields(res); c < n; ++c) {
        if (PQftype(res, c) != 1700)
            continue;
        for (int r = 0; r < rows; ++r) {
            if (PQgetisnull(res, r, c))
                continue;
            const QByteArray text = QByteArray::fromRawData(PQgetvalue(res, r, c), PQgetlength(res, r, c));
            bool ok = false;
            const double v = text.toDouble(&ok);
            if ((!ok || !std::isfinite(v)) && !text.startsWith("0.") && !text.startsWith("-0."))
                return true;
        }
    }
    return false;
}

QStringList columnNames(const PGresult *res, const PgDialect::Translated &t)
{
    QStringList names;
    const int n = PQnfields(res);
    for (int i = 0; i < n; ++i)
        names << PgDialect::columnName(t, QString::fromUtf8(PQfname(res, i)));
    return names;
}

// A result read completely into memory, and freed.
Rows wholeResult(PGresult *res, const PgDialect::Translated &t)
{
    const int rows = PQntuples(res);
    const int cols = PQnfields(res);
    QVector<QStringList> data;
    data.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        QStringList row;
        row.reserve(cols);
        for (int c = 0; c < cols; ++c)
            row << valueText(res, r, c);
        data << row;
    }
    Rows result(columnNames(res, t), data);
    PQclear(res);
    return result;
}

// The server's message with a name it folded to lower case ("uhouse") as the statement
// wrote it ("UHouse").
QString namesAsWritten(QString message, const PgDialect::Translated *t)
{
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\""));
    auto it = quoted.globalMatch(message);
    while (it.hasNext()) {
        const QString name = it.next().captured(1);
        const QString spelled = t ? PgDialect::columnName(*t, name) : ServerColumns::spelled(name);
        if (spelled != name)
            message.replace(QLatin1Char('"') + name + QLatin1Char('"'), QLatin1Char('"') + spelled + QLatin1Char('"'));
    }
    return message;
}

// The table of a "relation ... does not exist" as the statement spelled it.
QString tableNamed(const QString &message, const PgDialect::Translated *t)
{
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\""));
    const QRegularExpressionMatch m = quoted.match(namesAsWritten(message, t));
    return m.hasMatch() ? m.captured(1) : message;
}

// A statement that reads and nothing else: a SELECT, VALUES or a WITH that changes no rows.
bool onlyReads(const PgDialect::Translated &t)
{
    if (!t.read)
        return false;
    static const QRegularExpression writes(QStringLiteral("\\b(INSERT|UPDATE|DELETE|MERGE|INTO|FOR\\s+UPDATE|FOR\\s+SHARE)\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return !writes.match(t.text).hasMatch();
}

PgDialect::Translated plainStatement(const QString &text)
{
    PgDialect::Translated t;
    t.text = text;
    return t;
}

} // namespace

// ---------------------------------------------------------------- PgCursor

// A list read as it is shown: a server cursor fetched in growing batches. A cursor lives
// in a transaction; where none is open the cursor opens one, which ends when its last
// cursor closes or before the connection writes.
class PgCursor : public CursorEngine {
public:
    PgCursor(PgEngine &engine, const QString &sql)
        : m_engine(&engine), m_sql(sql), m_translated(PgDialect::translate(sql))
    {
        // A page of a list (a statement ending in a small LIMIT) is read whole in one
        // round trip: a server cursor would cost four more for the same rows.
        const int limit = m_translated.read ? PgDialect::rowLimit(m_translated.text) : -1;
        if (!m_translated.read || (limit >= 0 && limit <= WholeReadLimit)) {
            // A statement that writes (the admin tool's sql command) runs at once; its
            // result, if it returns one, is read as a whole.
            if (!m_translated.read)
                engine.endCursorTransaction();
            PgDialect::Translated many = m_translated;
            m_batch = engine.run(many, sql);
            if (!m_translated.read)
                engine.setChanges(m_batch);
            m_columns = columnNames(m_batch, m_translated);
            m_exhausted = true;
            m_dead = true;
            m_engine = nullptr;
            return;
        }
        engine.usable(sql);
        m_generation = engine.generation();
        m_name = engine.nextName("cy_cursor");
        engine.cursorOpened(this);
        try {
            PgDialect::Translated declare = m_translated;
            declare.text = QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(m_name, m_translated.text);
            declare.read = false;
            PGresult *res = engine.run(declare, sql);
            PQclear(res);
            fetch(256);
            m_columns = columnNames(m_batch, m_translated);
        } catch (...) {
            m_dead = true;
            engine.cursorClosed(this);
            throw;
        }
    }

    ~PgCursor() override
    {
        if (m_batch)
            PQclear(m_batch);
        if (m_rest)
            PQclear(m_rest);
        if (m_engine) {
            if (!m_dead && !m_detached && m_engine->generation() == m_generation
                && PQstatus(m_engine->handle()) == CONNECTION_OK)
                PQclear(PQexec(m_engine->handle(), QStringLiteral("CLOSE %1").arg(m_name).toUtf8().constData()));
            m_engine->cursorClosed(this);
        }
    }

    const QStringList &columns() const override { return m_columns; }

    bool next() override
    {
        if (m_batch && ++m_row < PQntuples(m_batch))
            return true;
        if (!m_engine && m_exhausted)
            return false;
        if (m_rest) {
            PQclear(m_batch);
            m_batch = m_rest;
            m_rest = nullptr;
            m_row = 0;
            m_exhausted = true;
            return PQntuples(m_batch) > 0;
        }
        if (m_exhausted || m_detached)
            return false;
        fetch(qMin(m_size * 4, 8192));
        m_row = 0;
        return PQntuples(m_batch) > 0;
    }

    QString text(int column) const override { return valueText(m_batch, m_row, column); }
    void appendText(QByteArray &out, int column) const override
    {
        // The server sends text in UTF-8 already; numbers and truth values take their
        // plain form as in text().
        switch (PQftype(m_batch, column)) {
        case 701:
            if (!PQgetisnull(m_batch, m_row, column)
                && Numbers::isPlainForm(PQgetvalue(m_batch, m_row, column), PQgetlength(m_batch, m_row, column))) {
                out.append(PQgetvalue(m_batch, m_row, column), PQgetlength(m_batch, m_row, column));
                return;
            }
            out += valueText(m_batch, m_row, column).toUtf8();
            return;
        case 16: case 700: case 1700:
            out += valueText(m_batch, m_row, column).toUtf8();
            return;
        default:
            if (!PQgetisnull(m_batch, m_row, column))
                out.append(PQgetvalue(m_batch, m_row, column), PQgetlength(m_batch, m_row, column));
        }
    }
    bool isNull(int column) const override { return PQgetisnull(m_batch, m_row, column); }
    QVariant value(int column) const override
    {
        if (PQgetisnull(m_batch, m_row, column))
            return {};
        const QByteArray raw = QByteArray::fromRawData(PQgetvalue(m_batch, m_row, column), PQgetlength(m_batch, m_row, column));
        switch (PQftype(m_batch, column)) {
        case 20: // int8
        case 21: // int2
        case 23: // int4
            return QVariant(raw.toLongLong());
        case 700: // float4
        case 701: // float8
        case 1700: // numeric
            return QVariant(raw.toDouble());
        default:
            return QVariant(valueText(m_batch, m_row, column));
        }
    }

    // Reads what is left into memory and closes the server's cursor, so that the
    // connection can end the cursors' transaction before it writes.
    void detach()
    {
        if (m_detached || m_dead || m_exhausted)
            return;
        m_rest = m_engine->run(plainStatement(QStringLiteral("FETCH ALL FROM %1").arg(m_name)), m_sql);
        PQclear(m_engine->run(plainStatement(QStringLiteral("CLOSE %1").arg(m_name)), m_sql));
        m_detached = true;
    }

    void forgetEngine() { m_engine = nullptr; }

private:
    void fetch(int n)
    {
        if (!m_engine || m_engine->generation() != m_generation)
            throw DbError(QStringLiteral("与数据库服务器的连接已断开，列表没有读完，请重新查询"), m_sql);
        m_size = n;
        PGresult *res = m_engine->run(plainStatement(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(n).arg(m_name)), m_sql);
        if (m_batch)
            PQclear(m_batch);
        m_batch = res;
        m_row = -1;
        if (PQntuples(res) < n)
            m_exhausted = true;
    }

    static constexpr int WholeReadLimit = 8192;
    PgEngine *m_engine;
    QString m_sql;
    PgDialect::Translated m_translated;
    QString m_name;
    QStringList m_columns;
    PGresult *m_batch = nullptr;
    PGresult *m_rest = nullptr;
    int m_row = -1;
    int m_size = 256;
    int m_generation = 0;
    bool m_exhausted = false;
    bool m_detached = false;
    bool m_dead = false;
};

// ---------------------------------------------------------------- PgStatement

class PgStatement : public StatementEngine {
public:
    PgStatement(PgEngine &engine, const QString &sql)
        : m_engine(engine), m_sql(sql), m_translated(PgDialect::translate(sql))
    {
        m_values.resize(m_translated.parameters);
        m_null.fill(true, m_translated.parameters);
        m_name = engine.nextName("cy_statement");
        compile();
    }

    ~PgStatement() override
    {
        if (m_prepared == m_engine.generation() && PQstatus(m_engine.handle()) == CONNECTION_OK
            && PQtransactionStatus(m_engine.handle()) != PQTRANS_INERROR)
            PQclear(PQexec(m_engine.handle(), QStringLiteral("DEALLOCATE %1").arg(m_name).toUtf8().constData()));
    }

    void bind(int index, const QString &text) override { set(index, text.toUtf8()); }
    void bind(int index, double value) override { set(index, QByteArray::number(value, 'g', 17)); }
    void bind(int index, qint64 value) override { set(index, QByteArray::number(value)); }
    void bindNull(int index) override
    {
        if (index >= 1 && index <= m_values.size())
            m_null[index - 1] = true;
    }
    // The server's text form of an array: every element between double quotes, its
    // backslashes and double quotes escaped.
    void bind(int index, const QStringList &texts) override
    {
        QByteArray a;
        a.reserve(int(texts.size()) * 16 + 2);
        a += '{';
        for (qsizetype i = 0; i < texts.size(); ++i) {
            if (texts.at(i).contains(QChar(0)))
                refuseNul(m_sql);
            if (i)
                a += ',';
            a += '"';
            for (const char c : texts.at(i).toUtf8()) {
                if (c == '\\' || c == '"')
                    a += '\\';
                a += c;
            }
            a += '"';
        }
        a += '}';
        set(index, std::move(a));
    }

    void run() override { PQclear(execute()); }

    bool hasRow() override
    {
        PGresult *res = execute();
        const bool any = PQntuples(res) > 0;
        PQclear(res);
        return any;
    }

    Rows rows() override
    {
        return wholeResult(execute(), m_translated);
    }

private:
    void set(int index, QByteArray value)
    {
        if (index < 1 || index > m_values.size())
            throw DbError(QStringLiteral("参数序号 %1 超出范围").arg(index), m_sql);
        m_values[index - 1] = std::move(value);
        m_null[index - 1] = false;
    }

    void compile()
    {
        PGconn *c = m_engine.usable(m_sql);
        PGresult *res = PQprepare(c, m_name.toUtf8().constData(), m_translated.text.toUtf8().constData(),
                                  m_translated.parameters, nullptr);
        m_engine.checkResult(res, m_sql, m_translated);
        PQclear(res);
        m_prepared = m_engine.generation();
    }

    PGresult *execute()
    {
        if (!m_translated.read)
            m_engine.endCursorTransaction();
        m_engine.usable(m_sql);
        if (m_prepared != m_engine.generation())
            compile();
        std::vector<const char *> params(size_t(m_values.size()));
        for (int i = 0; i < m_values.size(); ++i)
            params[size_t(i)] = m_null.at(i) ? nullptr : m_values.at(i).constData();
        PGresult *res = nullptr;
        try {
            res = m_engine.run(m_translated, m_sql, int(m_values.size()), params.data(), m_name.toUtf8().constData(), &m_values);
        } catch (...) {
            m_null.fill(true);
            throw;
        }
        m_engine.setChanges(res);
        m_null.fill(true);
        return res;
    }

    PgEngine &m_engine;
    QString m_sql;
    PgDialect::Translated m_translated;
    QString m_name;
    QVector<QByteArray> m_values;
    QVector<bool> m_null;
    int m_prepared = -1;
};

// ---------------------------------------------------------------- PgBulkLoad

// Rows sent through COPY in its text form, a quarter of a megabyte at a time.
class PgBulkLoad : public BulkLoadEngine {
public:
    PgBulkLoad(PgEngine &engine, const QString &table, const QStringList &columns)
        : m_engine(engine), m_sql(QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, columns.join(QStringLiteral(", "))))
    {
        m_engine.endCursorTransaction();
        PGconn *c = m_engine.usable(m_sql);
        PGresult *res = PQexec(c, m_sql.toUtf8().constData());
        if (PQresultStatus(res) != PGRES_COPY_IN)
            m_engine.failWith(res, m_sql, nullptr);
        PQclear(res);
        m_open = true;
        m_buffer.reserve(Chunk + 4096);
    }

    ~PgBulkLoad() override
    {
        if (m_open && PQstatus(m_engine.handle()) == CONNECTION_OK) {
            PQputCopyEnd(m_engine.handle(), "abandoned");
            while (PGresult *res = PQgetResult(m_engine.handle()))
                PQclear(res);
        }
    }

    void add(const QStringList &values, const QVector<bool> &nulls) override
    {
        for (int i = 0; i < values.size(); ++i) {
            if (i)
                m_buffer += '\t';
            if (nulls.at(i)) {
                m_buffer += "\\N";
                continue;
            }
            const QByteArray v = values.at(i).toUtf8();
            for (const char ch : v) {
                switch (ch) {
                case '\\': m_buffer += "\\\\"; break;
                case '\n': m_buffer += "\\n"; break;
                case '\r': m_buffer += "\\r"; break;
                case '\t': m_buffer += "\\t"; break;
                default: m_buffer += ch;
                }
            }
        }
        m_buffer += '\n';
        if (m_buffer.size() >= Chunk)
            flush();
    }

    void finish() override
    {
        flush();
        m_open = false;
        if (PQputCopyEnd(m_engine.handle(), nullptr) != 1)
            m_engine.failWith(nullptr, m_sql, nullptr);
        PGresult *res = PQgetResult(m_engine.handle());
        m_engine.checkResult(res, m_sql, PgDialect::Translated{});
        PQclear(res);
        while (PGresult *more = PQgetResult(m_engine.handle()))
            PQclear(more);
    }

private:
    static constexpr int Chunk = 256 * 1024;
    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        if (PQputCopyData(m_engine.handle(), m_buffer.constData(), int(m_buffer.size())) != 1)
            m_engine.failWith(nullptr, m_sql, nullptr);
        m_buffer.clear();
    }

    PgEngine &m_engine;
    QString m_sql;
    QByteArray m_buffer;
    bool m_open = false;
};

// ---------------------------------------------------------------- PgEngine

PgEngine::PgEngine(PGconn *conn, const Address &address)
    : m_conn(conn), m_shown(address.shown), m_secrets(address.secrets)
{
    PQsetNoticeReceiver(m_conn, receiveNotice, this);
}

PgEngine::~PgEngine()
{
    for (PgCursor *c : std::as_const(m_cursors))
        c->forgetEngine();
    PQfinish(m_conn);
}

void PgEngine::receiveNotice(void *self, const PGresult *res)
{
    const char *severity = PQresultErrorField(res, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (severity && (qstrcmp(severity, "FATAL") == 0 || qstrcmp(severity, "PANIC") == 0))
        static_cast<PgEngine *>(self)->m_sessionEnded = true;
}

namespace {

// %XX read as the byte it stands for; a '%' not followed by two hexadecimal digits is
// kept as it is (a password typed as it is).
QString percentDecoded(const QString &text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) == '%' && i + 2 < in.size() && isxdigit(uchar(in.at(i + 1))) && isxdigit(uchar(in.at(i + 2)))) {
            out += char(QByteArray::fromHex(in.mid(i + 1, 2)).at(0));
            i += 2;
        } else {
            out += in.at(i);
        }
    }
    return QString::fromUtf8(out);
}

} // namespace

PgEngine::Address PgEngine::address(const QString &url)
{
    Address a;
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    const QString scheme = schemeEnd < 0 ? QStringLiteral("postgresql") : url.left(schemeEnd);
    const QString tail = schemeEnd < 0 ? url : url.mid(schemeEnd + 3);
    // The parameters begin at the first "?name=": a '?' in a typed password is no such
    // beginning, and an '@' among the parameters ends no user's part.
    static const QRegularExpression parameters(QStringLiteral("\\?[A-Za-z_]+="));
    const QRegularExpressionMatch p = parameters.match(tail);
    const qsizetype queryStart = p.hasMatch() ? p.capturedStart() : tail.size();
    const qsizetype at = tail.lastIndexOf(QLatin1Char('@'), queryStart - 1);
    QString rawPassword;
    bool hasUser = false;
    if (at >= 0) {
        const QString userInfo = tail.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        a.user = percentDecoded(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0)
            rawPassword = userInfo.mid(colon + 1);
        hasUser = !a.user.isEmpty();
    }
    const QString rest = tail.mid(at + 1, queryStart - at - 1);
    QStringList kept;
    QString queryUser;
    if (queryStart < tail.size()) {
        for (const QString &item : tail.mid(queryStart + 1).split(QLatin1Char('&'))) {
            const QString name = item.section(QLatin1Char('='), 0, 0);
            if (name == QLatin1String("password")) {
                rawPassword = item.section(QLatin1Char('='), 1);
                continue;
            }
            if (name == QLatin1String("user"))
                queryUser = percentDecoded(item.section(QLatin1Char('='), 1));
            kept << item;
        }
    }
    a.password = percentDecoded(rawPassword);
    a.forLibpq = scheme + QLatin1String("://")
        + (hasUser ? QString::fromLatin1(QUrl::toPercentEncoding(a.user)) + QLatin1Char('@') : QString()) + rest
        + (kept.isEmpty() ? QString() : QLatin1Char('?') + kept.join(QLatin1Char('&')));

    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    QString host = percentDecoded(slash < 0 ? rest : rest.left(slash));
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    const QString user = queryUser.isEmpty() ? a.user : queryUser;
    a.shown = (user.isEmpty() ? QString() : user + QLatin1Char('@')) + host + QLatin1Char('/')
        + percentDecoded(slash < 0 ? QString() : rest.mid(slash + 1));

    for (const QString &form : {a.password, rawPassword, QString::fromLatin1(QUrl::toPercentEncoding(a.password))})
        if (!form.isEmpty() && !a.secrets.contains(form))
            a.secrets << form;
    // The longest first, so that no part of a longer form is left behind.
    std::sort(a.secrets.begin(), a.secrets.end(), [](const QString &x, const QString &y) { return x.size() > y.size(); });
    return a;
}

QString PgEngine::shownServer(const QString &url)
{
    return address(url).shown;
}

QString PgEngine::hidden(QString text, const QStringList &secrets)
{
    for (const QString &secret : secrets)
        text.replace(secret, QStringLiteral("***"));
    return text;
}

namespace {

// A connection the server or the network refused, in the operator's words; libpq's
// (which has no error code for these) as the detail.
DbError connectFailure(const QString &shown, const QStringList &secrets, const QString &libpq)
{
    const QString detail = PgEngine::hidden(libpq.trimmed(), secrets);
    const auto says = [&](const char *words) { return detail.contains(QLatin1String(words)); };
    QString message;
    if (says("database \"") && says("does not exist"))
        message = QStringLiteral("数据库服务器 %1 上没有这个数据库（请先建好数据库并执行 chengyue-admin init）");
    else if (says("no password supplied"))
        message = QStringLiteral("数据库服务器 %1 要求密码，但没有提供密码（请把密码写在这台电脑的 ~/.pgpass 中，或写在 chengyue.ini 的地址中）");
    else if (says("authentication failed") || (says("role \"") && says("does not exist")) || says("pg_hba.conf"))
        message = QStringLiteral("数据库服务器 %1 拒绝登录（用户名或密码不对，或这台电脑未获准连接）");
    else if (says("the database system is starting up") || says("the database system is shutting down")
             || says("not currently accepting connections"))
        message = QStringLiteral("数据库服务器 %1 暂时不接受连接（服务器正在启动或停止，或维护人员暂停了连接），请稍后重试");
    else
        message = QStringLiteral("无法连接数据库服务器 %1（服务器未启动、地址或端口不对，或网络不通）");
    return DbError(message.arg(shown), QString(), 0, detail);
}

} // namespace

std::unique_ptr<PgEngine> PgEngine::connect(const QString &url)
{
    const Address a = address(url);
    const QByteArray u = a.forLibpq.toUtf8();
    const QByteArray password = a.password.toUtf8();
    // Later entries override earlier ones: the URL may set its own timeout and name; the
    // password, given apart from the URL, comes last.
    const char *const keys[] = {"connect_timeout", "application_name", "dbname", "client_encoding", "password", nullptr};
    const char *const values[] = {"10", "chengyue", u.constData(), "UTF8",
                                  password.isEmpty() ? nullptr : password.constData(), nullptr};
    PGconn *c = PQconnectdbParams(keys, values, 1);
    if (!c || PQstatus(c) != CONNECTION_OK) {
        const DbError e = connectFailure(a.shown, a.secrets, c ? QString::fromUtf8(PQerrorMessage(c)) : QStringLiteral("out of memory"));
        PQfinish(c);
        throw e;
    }
    std::unique_ptr<PgEngine> engine(new PgEngine(c, a));
    engine->setUpSession();
    return engine;
}

void PgEngine::setUpSession()
{
    // A writer waits for another desk as long as a writer of the file would; the server's
    // notices (an object that already exists) are not for the operator. Every cursor of the
    // program is read to its end (a list's pages are read whole, each with its LIMIT): the
    // server plans cursors for all their rows, not for the first ones.
    simple(QStringLiteral("SET lock_timeout = '%1ms'; SET client_min_messages = warning; "
                          "SET standard_conforming_strings = on; SET DateStyle = ISO; SET cursor_tuple_fraction = 1")
               .arg(Database::BusyTimeoutMs));
    if (m_readOnly)
        simple(QStringLiteral("SET default_transaction_read_only = on"));
}

QString PgEngine::lostMessage() const
{
    return QStringLiteral("与数据库服务器 %1 的连接已断开，本次操作没有完成（下一次操作时程序会重新连接）").arg(m_shown);
}

PGconn *PgEngine::usable(const QString &sql)
{
    // The waiting window lets the window's events run while this connection waits for the
    // writers' lock; a statement from one of them cannot go in between.
    if (m_waiting)
        throw DbError(QStringLiteral("正在等待另一台电脑上的程序保存完毕，请稍后再试"), sql);
    // Before an action: a connection the server has ended since the last one is opened
    // again now, rather than failing the action once. Inside a transaction a lost
    // connection is reported instead (the transaction is gone with it).
    if (!inTransaction())
        noticeEndedSession();
    if (PQstatus(m_conn) == CONNECTION_OK && !m_sessionEnded)
        return m_conn;
    if (m_lostInTransaction || m_inTransaction) {
        // Cleared when the transaction is rolled back: until then nothing of it may go on,
        // also not on a new connection.
        m_lostInTransaction = true;
        m_inTransaction = false;
        throw DbError(lostMessage(), sql, 0, hide(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed()));
    }
    reconnect(sql);
    return m_conn;
}

void PgEngine::noticeEndedSession()
{
    if (PQstatus(m_conn) != CONNECTION_OK)
        return;
    const int socket = PQsocket(m_conn);
    // What the server sent while the desk was idle: the session's end (a FATAL notice, then
    // the socket's end). Read without waiting; a connection with nothing to say is left be.
    for (int round = 0; socket >= 0 && round < 16 && !m_sessionEnded; ++round) {
        pollfd ready{socket, POLLIN, 0};
        if (::poll(&ready, 1, 0) <= 0)
            break;
        if (PQconsumeInput(m_conn) != 1 || PQstatus(m_conn) != CONNECTION_OK)
            return;
        PQisBusy(m_conn); // hands a notice that came to the notice receiver
    }
}

void PgEngine::reconnect(const QString &sql)
{
    PQreset(m_conn);
    ++m_generation;
    m_sessionEnded = false;
    m_inTransaction = false;
    m_cursorTransaction = false;
    m_lostInTransaction = false;
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const DbError e = connectFailure(m_shown, m_secrets, QString::fromUtf8(PQerrorMessage(m_conn)));
        throw DbError(e.message(), sql, 0, e.detail());
    }
    setUpSession();
}

bool PgEngine::lost(const PGresult *res) const
{
    return !res || PQstatus(m_conn) != CONNECTION_OK;
}

void PgEngine::simple(const QString &sql)
{
    PGresult *res = PQexec(m_conn, sql.toUtf8().constData());
    checkResult(res, sql, plainStatement(sql));
    PQclear(res);
}

void PgEngine::checkResult(PGresult *res, const QString &sql, const PgDialect::Translated &t, const QVector<QByteArray> *params)
{
    const ExecStatusType s = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_EMPTY_QUERY)
        return;
    failWith(res, sql, &t, params);
}

void PgEngine::failWith(PGresult *res, const QString &sql, const PgDialect::Translated *t, const QVector<QByteArray> *params)
{
    if (!res || PQstatus(m_conn) != CONNECTION_OK) {
        const QString why = hide(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
        if (res)
            PQclear(res);
        // A write transaction is gone with the connection: reported until it is rolled
        // back. The transaction that only kept cursors open held nothing to lose.
        m_lostInTransaction = m_inTransaction;
        m_inTransaction = false;
        m_cursorTransaction = false;
        throw DbError(lostMessage(), hide(sql), 0, why);
    }
    const int shift = std::exchange(m_positionShift, 0);
    const QString state = QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE));
    QString primary = QString::fromUtf8(PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY));
    if (primary.isEmpty())
        primary = firstLine(QString::fromUtf8(PQresultErrorMessage(res)));
    // What the server says goes to the operator or support without the password; our own
    // words (the server's address among them) never held it.
    const QString said = hide(primary);
    QString message = said;
    // A refused number is told in the operator's words alone; the server's stay in the detail.
    QString detail;
    if ((state == QLatin1String("22P02") || state == QLatin1String("22003")) && t) {
        // A text that is no number, or a number beyond double precision, for a number
        // column: the file's number check names the column in the operator's words.
        // The server names the column where it knows it.
        QString column = QString::fromUtf8(PQresultErrorField(res, PG_DIAG_COLUMN_NAME));
        // A bound value is refused as the parameter it was bound to ("... parameter $3" in
        // the context); which column that parameter fills only the statement says.
        if (column.isEmpty() && params) {
            static const QRegularExpression parameter(QStringLiteral("parameter \\$(\\d+)"));
            const QRegularExpressionMatch m =
                parameter.match(QString::fromUtf8(PQresultErrorField(res, PG_DIAG_CONTEXT)));
            if (m.hasMatch())
                column = PgDialect::columnOfParameter(t->text, m.captured(1).toInt());
        }
        // A value written into the statement's text is refused at its place, without a
        // column: the column is the one the statement writes it to.
        if (column.isEmpty())
            if (const char *pos = PQresultErrorField(res, PG_DIAG_STATEMENT_POSITION))
                column = PgDialect::columnAtPosition(t->text, QByteArray(pos).toInt() - shift);
        // A server that gives no parameter context: the parameter whose value it quotes.
        if (column.isEmpty() && params) {
            for (int i = 0; i < params->size() && column.isEmpty(); ++i)
                if (primary.contains(QLatin1Char('"') + QString::fromUtf8(params->at(i)) + QLatin1Char('"')))
                    column = PgDialect::columnOfParameter(t->text, i + 1);
        }
        // A number written into the statement beyond double precision is refused when it
        // is stored, with neither a position nor a column: the column is the one that
        // number is written for.
        if (column.isEmpty() && state == QLatin1String("22003"))
            column = PgDialect::columnOfOverflowingNumber(t->text);
        const QString label = ServerColumns::numberLabel(column);
        if (!label.isEmpty()) {
            message = QStringLiteral("%1 不是有效的数字").arg(label);
            detail = said;
        } else if (state == QLatin1String("22003")) {
            // A computation whose result no double holds (a product of two huge numbers).
            message = QStringLiteral("数值超出范围，无法计算");
            detail = said;
        }
    } else if (state == QLatin1String("23514")) {
        const QString constraint = QString::fromUtf8(PQresultErrorField(res, PG_DIAG_CONSTRAINT_NAME));
        const QString label = ServerColumns::numberLabel(constraint.section(QLatin1Char('_'), 0, 0));
        if (constraint.endsWith(QLatin1String("_number")) && !label.isEmpty()) {
            message = QStringLiteral("%1 不是有效的数字").arg(label);
            detail = said;
        }
    } else if (state == QLatin1String("57014")) {
        PQclear(res);
        throw DbError(QStringLiteral("查询已取消"), hide(sql), QueryCanceled, said);
    } else if (const QString plain = serverMessage(state); !plain.isEmpty()) {
        // What went wrong on the server, in the operator's words; its own as the detail.
        message = plain;
        detail = said;
    } else if (state == QLatin1String("42P01")) {
        message = QStringLiteral("数据库 %1 中没有表 %2（数据库是否已用 chengyue-admin init 建好？）")
                      .arg(m_shown, tableNamed(said, t)); // the statement that named it as the detail
    } else if (state == QLatin1String("42703")) {
        message = namesAsWritten(said, t);
    }
    PQclear(res);
    throw DbError(message, hide(sql), 0, detail);
}

QString PgEngine::serverMessage(const QString &state) const
{
    const QString notDone = QStringLiteral("，本次操作没有完成，什么也没有保存");
    // Another desk's lock waited for in vain, a deadlock or a conflict with another desk.
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01") || state == QLatin1String("40001"))
        return QStringLiteral("数据库正被另一台电脑上的程序长时间占用，本次操作没有完成，请稍后重试");
    if (state == QLatin1String("25006")) // a read-only transaction: the server only lets read
        return QStringLiteral("数据库服务器 %1 上的数据库现在只能读取，不能写入").arg(m_shown) + notDone
            + QStringLiteral("（请维护人员检查服务器）");
    if (state == QLatin1String("53100"))
        return QStringLiteral("数据库服务器的磁盘空间不足") + notDone;
    if (state == QLatin1String("53200"))
        return QStringLiteral("数据库服务器内存不足") + notDone;
    if (state == QLatin1String("53300"))
        return QStringLiteral("数据库服务器的连接数已满") + notDone + QStringLiteral("，请稍后重试");
    if (state.startsWith(QLatin1String("53")) || state.startsWith(QLatin1String("58")) || state.startsWith(QLatin1String("XX")))
        return QStringLiteral("数据库服务器 %1 出错（资源不足、读写磁盘出错或内部错误）").arg(m_shown) + notDone;
    if (state == QLatin1String("42501"))
        return QStringLiteral("没有访问数据库服务器 %1 上这些表的权限").arg(m_shown) + notDone;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")))
        return lostMessage();
    return {};
}

PGresult *PgEngine::run(const PgDialect::Translated &t, const QString &sql, int nParams, const char *const *values,
                        const char *prepared, const QVector<QByteArray> *params)
{
    for (int attempt = 0;; ++attempt) {
        PGconn *c = usable(sql);
        refuseNul(sql);
        m_positionShift = 0;
        // Inside a transaction a failed statement would end the whole transaction on the
        // server, where the file refuses only that statement and keeps the rest (an import
        // keeps the rows before a refused one; an open list keeps reading): each statement
        // runs under a savepoint of its own.
        const bool guarded = inTransaction() && !t.text.startsWith(QLatin1String("FETCH "))
            && !t.text.startsWith(QLatin1String("CLOSE "));
        PGresult *res;
        if (!guarded) {
            if (prepared)
                res = PQexecPrepared(c, prepared, nParams, values, nullptr, nullptr, 0);
            else if (nParams > 0 || t.read)
                res = PQexecParams(c, t.text.toUtf8().constData(), nParams, nullptr, values, nullptr, nullptr, 0);
            else
                res = PQexec(c, t.text.toUtf8().constData());
        } else if (prepared || nParams > 0 || t.read) {
            res = runPipelined(t, nParams, values, prepared);
        } else {
            res = runGuardedText(t);
        }
        const ExecStatusType s = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
        if (s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_EMPTY_QUERY) {
            m_positionShift = 0;
            if (s == PGRES_TUPLES_OK && sumBeyondDouble(res)) {
                PQclear(res);
                throw DbError(QStringLiteral("合计超出范围"), sql);
            }
            return res;
        }
        // A connection the server dropped without a word on the idle socket (it went away
        // with its machine) shows only now. A statement that only reads, outside any
        // transaction, changed nothing: it runs once more on a new connection. A write is
        // never sent twice: it may have been stored before the connection went.
        if (attempt == 0 && !guarded && !prepared && onlyReads(t) && lost(res)) {
            PQclear(res);
            continue;
        }
        if (guarded && PQstatus(m_conn) == CONNECTION_OK)
            PQclear(PQexec(m_conn, "ROLLBACK TO SAVEPOINT cy_statement; RELEASE SAVEPOINT cy_statement"));
        failWith(res, sql, &t, params);
    }
}

namespace {
bool failed(const PGresult *res)
{
    const ExecStatusType s = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    return s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK && s != PGRES_EMPTY_QUERY;
}
} // namespace

// The savepoint, the statement and its release sent together, so that the guard costs
// no round trip of its own. Returns the statement's result, or the first failure.
PGresult *PgEngine::runPipelined(const PgDialect::Translated &t, int nParams, const char *const *values, const char *prepared)
{
    PGconn *c = m_conn;
    if (PQenterPipelineMode(c) != 1)
        return nullptr;
    bool sent = PQsendQueryParams(c, "SAVEPOINT cy_statement", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    if (sent)
        sent = prepared ? PQsendQueryPrepared(c, prepared, nParams, values, nullptr, nullptr, 0) == 1
                        : PQsendQueryParams(c, t.text.toUtf8().constData(), nParams, nullptr, values, nullptr, nullptr, 0) == 1;
    if (sent)
        sent = PQsendQueryParams(c, "RELEASE SAVEPOINT cy_statement", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    if (sent)
        sent = PQpipelineSync(c) == 1;
    PGresult *results[3] = {nullptr, nullptr, nullptr};
    bool synced = false;
    if (sent) {
        for (PGresult *&r : results) {
            r = PQgetResult(c);
            if (!r)
                break;
            // Each query's results end with a null.
            while (PGresult *more = PQgetResult(c))
                PQclear(more);
        }
        if (results[2]) {
            PGresult *sync = PQgetResult(c);
            synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
            PQclear(sync);
        }
    }
    if (!synced || PQexitPipelineMode(c) != 1) {
        // The connection broke on the way: the transaction is gone with it.
        for (PGresult *r : results)
            PQclear(r);
        return nullptr;
    }
    PGresult *answer = failed(results[0]) ? results[0] : results[1];
    for (PGresult *r : results)
        if (r != answer)
            PQclear(r);
    return answer;
}

// A text of one or more statements through the simple protocol, between a savepoint and
// its release. Returns the last statement's result, or the failure.
PGresult *PgEngine::runGuardedText(const PgDialect::Translated &t)
{
    // A line comment at the end of the text must not swallow the release. The server
    // counts an error's position from the start of what it was sent.
    static const QByteArray before = "SAVEPOINT cy_statement;\n";
    m_positionShift = int(before.size());
    const QByteArray text = before + t.text.toUtf8() + "\n;RELEASE SAVEPOINT cy_statement";
    if (PQsendQuery(m_conn, text.constData()) != 1)
        return nullptr;
    PGresult *previous = nullptr;
    PGresult *last = nullptr;
    PGresult *failure = nullptr;
    while (PGresult *r = PQgetResult(m_conn)) {
        if (failed(r) && !failure) {
            failure = r;
            continue;
        }
        // An empty statement (the text's own closing ";") answers nothing to keep.
        if (PQresultStatus(r) == PGRES_EMPTY_QUERY) {
            PQclear(r);
            continue;
        }
        PQclear(previous);
        previous = last;
        last = r;
    }
    if (failure) {
        PQclear(previous);
        PQclear(last);
        return failure;
    }
    // The last result is the release; the one before it the statement's.
    PQclear(last);
    return previous;
}

void PgEngine::setChanges(PGresult *res)
{
    m_changes = QByteArray(PQcmdTuples(res)).toInt();
}

void PgEngine::cursorOpened(PgCursor *c)
{
    if (!inTransaction()) {
        simple(QStringLiteral("BEGIN"));
        m_cursorTransaction = true;
    }
    m_cursors.insert(c);
}

void PgEngine::cursorClosed(PgCursor *c)
{
    m_cursors.remove(c);
    if (m_cursors.isEmpty() && m_cursorTransaction) {
        m_cursorTransaction = false;
        if (PQstatus(m_conn) == CONNECTION_OK)
            PQclear(PQexec(m_conn, "COMMIT"));
    }
}

void PgEngine::endCursorTransaction()
{
    if (!m_cursorTransaction)
        return;
    for (PgCursor *c : std::as_const(m_cursors))
        c->detach();
    m_cursorTransaction = false;
    simple(QStringLiteral("COMMIT"));
}

namespace {

enum class TxWord { None, Begin, BeginWrite, Commit, Rollback };

TxWord transactionWord(const QString &sql)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(BEGIN(\\s+(DEFERRED|IMMEDIATE|EXCLUSIVE))?(\\s+TRANSACTION)?|COMMIT(\\s+TRANSACTION)?|END(\\s+TRANSACTION)?|ROLLBACK(\\s+TRANSACTION)?)\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(sql);
    if (!m.hasMatch())
        return TxWord::None;
    const QString w = m.captured(1).toUpper();
    if (w.startsWith(QLatin1String("BEGIN")))
        return w.contains(QLatin1String("IMMEDIATE")) || w.contains(QLatin1String("EXCLUSIVE")) ? TxWord::BeginWrite : TxWord::Begin;
    if (w.startsWith(QLatin1String("ROLLBACK")))
        return TxWord::Rollback;
    return TxWord::Commit;
}

} // namespace

void PgEngine::exec(const QString &sql)
{
    switch (transactionWord(sql)) {
    case TxWord::BeginWrite:
        beginWrite();
        return;
    case TxWord::Begin:
        endCursorTransaction();
        usable(sql);
        simple(QStringLiteral("BEGIN"));
        m_inTransaction = true;
        return;
    case TxWord::Commit:
        commit();
        return;
    case TxWord::Rollback:
        rollback();
        return;
    case TxWord::None:
        break;
    }
    const PgDialect::Translated t = PgDialect::translate(sql);
    if (!t.read)
        endCursorTransaction();
    // Several statements in one text run through the simple protocol, one after another.
    PgDialect::Translated many = t;
    many.read = false;
    PGresult *res = run(many, sql);
    setChanges(res);
    PQclear(res);
}

Rows PgEngine::select(const QString &sql)
{
    PgDialect::Translated t = PgDialect::translate(sql);
    if (!t.read)
        endCursorTransaction();
    t.read = true; // one statement, through the extended protocol
    PGresult *res = run(t, sql);
    setChanges(res);
    return wholeResult(res, t);
}

int PgEngine::countRows(const QString &sql)
{
    return select(sql).rowCount();
}

std::unique_ptr<CursorEngine> PgEngine::cursor(const QString &sql)
{
    return std::make_unique<PgCursor>(*this, sql);
}

std::unique_ptr<StatementEngine> PgEngine::prepare(const QString &sql)
{
    return std::make_unique<PgStatement>(*this, sql);
}

qint64 PgEngine::lastInsertId()
{
    if (PQstatus(m_conn) != CONNECTION_OK)
        return 0;
    // lastval() fails before the first generated ID of the session; inside a transaction
    // that failure must not end the transaction.
    const bool inside = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    if (inside)
        PQclear(PQexec(m_conn, "SAVEPOINT cy_lastval"));
    PGresult *res = PQexec(m_conn, "SELECT lastval()");
    qint64 id = 0;
    if (PQresultStatus(res) == PGRES_TUPLES_OK && PQntuples(res) == 1)
        id = QByteArray(PQgetvalue(res, 0, 0)).toLongLong();
    PQclear(res);
    if (inside)
        PQclear(PQexec(m_conn, id ? "RELEASE SAVEPOINT cy_lastval" : "ROLLBACK TO SAVEPOINT cy_lastval; RELEASE SAVEPOINT cy_lastval"));
    return id;
}

void PgEngine::beginWrite()
{
    endCursorTransaction();
    // Taken at once when no other desk writes; else waited for below, where the waiting
    // can be watched and given up.
    const QString sql = QStringLiteral("BEGIN; SELECT pg_try_advisory_xact_lock(%1)").arg(WritersLockKey);
    PGresult *res = nullptr;
    for (int attempt = 0;; ++attempt) {
        usable(QStringLiteral("BEGIN"));
        res = PQexec(m_conn, sql.toUtf8().constData());
        if (res && PQresultStatus(res) == PGRES_TUPLES_OK)
            break;
        // Nothing is written yet: a connection found lost only now is opened again once.
        if (attempt == 0 && lost(res)) {
            PQclear(res);
            continue;
        }
        if (PQstatus(m_conn) == CONNECTION_OK)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        failWith(res, sql, nullptr);
    }
    const bool taken = PQgetvalue(res, 0, 0)[0] == 't';
    PQclear(res);
    if (!taken)
        waitForWriters();
    m_inTransaction = true;
}

// Another desk holds the writers' lock: the wait runs on the server while this desk
// looks at its socket every millisecond and tells the lock-wait observer how long it has
// waited, as the file's engine does between its tries. Given up, the server is asked to
// cancel the wait and the transaction is rolled back; the server's lock timeout ends a
// wait nobody gives up.
void PgEngine::waitForWriters()
{
    const QString sql = QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(WritersLockKey);
    auto abandon = [&](PGresult *res, bool gaveUp) {
        const bool cancelled = gaveUp && PQstatus(m_conn) == CONNECTION_OK;
        while (PGresult *more = PQgetResult(m_conn))
            PQclear(more);
        if (PQstatus(m_conn) == CONNECTION_OK)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        if (cancelled) {
            PQclear(res);
            throw DbError(QStringLiteral("数据库正被另一台电脑上的程序占用，已放弃等待，本次操作没有完成"), sql);
        }
        failWith(res, sql, nullptr);
    };
    if (PQsendQuery(m_conn, sql.toUtf8().constData()) != 1)
        abandon(nullptr, false);
    QElapsedTimer waited;
    waited.start();
    bool gaveUp = false;
    m_waiting = true;
    while (PQconsumeInput(m_conn) == 1 && PQisBusy(m_conn)) {
        if (!gaveUp) {
            bool keep = true;
            try {
                keep = Database::keepWaiting(int(waited.elapsed()));
            } catch (...) {
                keep = false;
            }
            if (!keep) {
                gaveUp = true;
                interrupt();
            }
        }
        pollfd socket{PQsocket(m_conn), POLLIN, 0};
        ::poll(&socket, 1, 1);
    }
    m_waiting = false;
    PGresult *res = PQgetResult(m_conn);
    // A lock granted just as the operator gave up is given back: nothing is written.
    if (gaveUp && res && PQresultStatus(res) == PGRES_TUPLES_OK) {
        PQclear(res);
        res = PQmakeEmptyPGresult(m_conn, PGRES_FATAL_ERROR);
    }
    if (!res || PQresultStatus(res) != PGRES_TUPLES_OK)
        abandon(res, gaveUp);
    PQclear(res);
    while (PGresult *more = PQgetResult(m_conn))
        PQclear(more);
}

void PgEngine::commit()
{
    if (m_lostInTransaction || PQstatus(m_conn) != CONNECTION_OK) {
        const QString why = hide(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
        m_lostInTransaction = false;
        m_inTransaction = false;
        throw DbError(lostMessage(), QStringLiteral("COMMIT"), 0, why);
    }
    PGresult *res = PQexec(m_conn, "COMMIT");
    const ExecStatusType s = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (s != PGRES_COMMAND_OK) {
        // A failed COMMIT ends the transaction on the server, nothing of it kept; one whose
        // answer never came may have been kept or not.
        m_inTransaction = false;
        if (lost(res)) {
            const QString why = hide(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
            PQclear(res);
            throw DbError(QStringLiteral("与数据库服务器 %1 的连接在保存时断开，无法确定本次操作是否已保存，请查看后再继续")
                              .arg(m_shown),
                          QStringLiteral("COMMIT"), 0, why);
        }
        const QString state = QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE));
        const QString primary = QString::fromUtf8(PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY));
        PQclear(res);
        QString message = serverMessage(state);
        if (message.isEmpty())
            message = QStringLiteral("数据库服务器没能保存本次操作（提交时出错），本次操作没有完成，什么也没有保存");
        throw DbError(message, QStringLiteral("COMMIT"), 0, hide(primary));
    }
    // A transaction in which a statement failed is rolled back by the server at COMMIT.
    const bool rolledBack = qstrcmp(PQcmdStatus(res), "ROLLBACK") == 0;
    PQclear(res);
    m_inTransaction = false;
    if (rolledBack)
        throw DbError(QStringLiteral("数据库服务器撤销了本次操作（其中一条语句出错），什么也没有保存"), QStringLiteral("COMMIT"));
}

void PgEngine::rollback()
{
    m_inTransaction = false;
    if (m_lostInTransaction || PQstatus(m_conn) != CONNECTION_OK) {
        // The server has dropped the transaction with the connection.
        m_lostInTransaction = false;
        return;
    }
    PQclear(PQexec(m_conn, "ROLLBACK"));
}

void PgEngine::lockFor(const QString &key)
{
    if (!m_inTransaction)
        return;
    const QString sql = QStringLiteral("SELECT pg_advisory_xact_lock(%1, hashtext(%2))")
                            .arg(KeyedLockClass)
                            .arg(QLatin1Char('\'') + QString(key).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\''));
    PQclear(run(plainStatement(sql), sql));
}

int PgEngine::schemaVersion()
{
    if (!tables().contains(QStringLiteral("cy_schema")))
        return 0;
    return select(QStringLiteral("SELECT version FROM cy_schema")).at(0, 0).toInt();
}

void PgEngine::setSchemaVersion(int version)
{
    exec(QStringLiteral("UPDATE cy_schema SET version = %1").arg(version));
}

QStringList PgEngine::tables()
{
    const Rows r = select(QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = current_schema() ORDER BY tablename"));
    QStringList names;
    for (int i = 0; i < r.rowCount(); ++i)
        names << r.at(i, 0);
    return names;
}

std::unique_ptr<BulkLoadEngine> PgEngine::bulkLoad(const QString &table, const QStringList &columns)
{
    return std::make_unique<PgBulkLoad>(*this, table, columns);
}

void PgEngine::moveIdsPast(const QString &table, const QString &idColumn)
{
    const QString t = table.toLower();
    const QString c = idColumn.toLower();
    // Only identity columns have a sequence; the next ID comes after the largest stored.
    exec(QStringLiteral("SELECT setval(s, COALESCE((SELECT MAX(%2) FROM %1), 0) + 1, false) "
                        "FROM pg_get_serial_sequence('%1', '%2') AS s WHERE s IS NOT NULL").arg(t, c));
}

void PgEngine::makeReadOnly()
{
    m_readOnly = true;
    simple(QStringLiteral("SET default_transaction_read_only = on"));
}

void PgEngine::interrupt()
{
    // The server is asked over a connection of its own to stop what this one runs.
    if (!m_conn)
        return;
    if (PGcancel *cancel = PQgetCancel(m_conn)) {
        char error[256];
        PQcancel(cancel, error, int(sizeof error));
        PQfreeCancel(cancel);
    }
}

bool PgEngine::isInterruption(const DbError &e) const
{
    return e.code() == QueryCanceled;
}
