// copy: a whole database from the file to a server, or back, or between two of either.
#include "tools/AdminCommand.h"
#include "db/Database.h"
#include "data/DayFigures.h"
#include "data/HouseFigures.h"
#include "data/OutputFile.h"
#include "data/Schema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace {

struct CopiedTable {
    const char *name;
    const char *id;   // the key the rows are read in the order of
    bool ids = true;  // whether the key is a number the target hands out
};
// Every table of the program, parents before the rows that name them.
const CopiedTable kCopied[] = {{"SUser", "ID"}, {"SArea", "ID"}, {"SMType", "ID"}, {"SPrice", "ID"},
                               {"SDept", "ID"}, {"SZD", "theID"}, {"UHouse", "ID"}, {"UCharge", "ID"},
                               {"UVoid", "ID"}, {"ULog", "ID"}, {"UNumSkip", "theDate", false},
                               {"SSeasonPrice", "ID"}, {"SRule", "theName", false}, {"USuspend", "ID"},
                               {"UChargeItem", "ID"}};

// A target holds data once anything beyond what init stores is in it.
QString heldData(Database &db)
{
    for (const char *t : {"UHouse", "UCharge", "SArea", "SMType", "SPrice", "UVoid", "ULog", "UNumSkip", "SSeasonPrice",
                          "SRule", "USuspend", "UChargeItem"}) {
        const QString n = db.scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(t)));
        if (n != QLatin1String("0"))
            return QStringLiteral("%1 中有 %2 行").arg(QLatin1String(t), n);
    }
    const QString users = db.scalar(QStringLiteral("SELECT COUNT(*) FROM SUser"));
    if (users.toInt() > 1)
        return QStringLiteral("SUser 中有 %1 个操作员").arg(users);
    return {};
}

// The target's indexes of the copied tables (not their primary keys), as the statements
// that make them again. Dropped before the rows go in and made again after them, in the
// same transaction: an index built once over sorted rows takes a fraction of the time of
// one kept up row by row over a million payments.
QStringList dropIndexes(Database &db)
{
    const Rows indexes = db.isServer()
        ? db.select(QStringLiteral("SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = current_schema() "
                                   "AND indexname NOT IN (SELECT conname FROM pg_constraint)"))
        : db.select(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"));
    QStringList remake;
    for (int i = 0; i < indexes.rowCount(); ++i) {
        QString name = indexes.at(i, 0);
        name.replace(QLatin1Char('"'), QLatin1String("\"\""));
        db.exec(QStringLiteral("DROP INDEX \"%1\"").arg(name));
        remake << indexes.at(i, 1);
    }
    return remake;
}

// The rows of one table read on a thread of their own while the target stores the rows
// read before them: reading the source (a server's cursor, or the file's decryption) and
// storing into the target (COPY, or the file's inserts) take about as long as each other.
class TableReader {
public:
    struct Batch {
        QVector<QStringList> values;
        QVector<QVector<bool>> nulls;
    };

    explicit TableReader(Cursor &rows)
        : m_thread([this, &rows] { read(rows); })
    {
    }
    ~TableReader()
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // The next rows in order; false at the end. Rethrows what the reading failed with.
    bool next(Batch &batch)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        m_changed.wait(hold, [this] { return !m_ready.empty() || m_done; });
        if (m_ready.empty()) {
            if (m_error)
                std::rethrow_exception(m_error);
            return false;
        }
        batch = std::move(m_ready.front());
        m_ready.pop_front();
        m_changed.notify_all();
        return true;
    }

private:
    static constexpr int BatchRows = 2048;
    static constexpr size_t MaxBatches = 8;

    void read(Cursor &rows)
    {
        try {
            const int columns = rows.columnCount();
            Batch batch;
            bool more = true;
            while (more) {
                more = rows.next();
                if (more) {
                    QStringList values;
                    QVector<bool> nulls(columns);
                    values.reserve(columns);
                    for (int c = 0; c < columns; ++c) {
                        nulls[c] = rows.isNull(c);
                        values << rows.text(c);
                    }
                    batch.values << values;
                    batch.nulls << nulls;
                }
                if (batch.values.size() == BatchRows || (!more && !batch.values.isEmpty())) {
                    std::unique_lock<std::mutex> hold(m_lock);
                    m_changed.wait(hold, [this] { return m_ready.size() < MaxBatches || m_stop; });
                    if (m_stop)
                        return;
                    m_ready.push_back(std::move(batch));
                    batch = Batch();
                    m_changed.notify_all();
                }
            }
        } catch (...) {
            std::lock_guard<std::mutex> hold(m_lock);
            m_error = std::current_exception();
        }
        std::lock_guard<std::mutex> hold(m_lock);
        m_done = true;
        m_changed.notify_all();
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Batch> m_ready;
    bool m_done = false;
    bool m_stop = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

int runCopy(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("from"), QStringLiteral("to")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    const QString from = a.value(QStringLiteral("from"));
    const QString to = a.value(QStringLiteral("to"));
    if (from.isEmpty() || to.isEmpty() || !a.positional().isEmpty()) {
        err << "用法: chengyue-admin copy --from FILE-OR-URL --to FILE-OR-URL\n";
        return 2;
    }
    const QString key = QString::fromUtf8(Schema::DatabaseKey);
    const bool toFile = !Database::isServerUrl(to);
    if (!Database::isServerUrl(from) && toFile && QFileInfo(from).absoluteFilePath() == QFileInfo(to).absoluteFilePath()) {
        err << "来源和目标是同一个数据库\n";
        return 2;
    }

    Database source;
    source.open(from, key);
    // A new file is written under a working name in its folder and takes its name only
    // when complete: a copy killed part-way leaves no file at the target that could pass
    // for the database (removed again should the copy fail). A server's database must
    // exist and be empty, or hold only what init stores.
    const QFileInfo toInfo(to);
    const bool madeFile = toFile && !toInfo.exists() && !toInfo.isSymLink();
    const QString written = madeFile ? QDir(toInfo.absolutePath())
                                           .filePath(QStringLiteral(".%1.copy-%2")
                                                         .arg(toInfo.fileName())
                                                         .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0')))
                                     : to;
    if (madeFile)
        Schema::createFile(written);
    Database target;
    QElapsedTimer clock;
    clock.start();
    qint64 copied = 0;
    try {
        target.open(written, key);
        Transaction tx(target);
        if (target.tables().isEmpty()) {
            Schema::createTables(target);
        } else {
            const QString held = heldData(target);
            if (!held.isEmpty())
                throw AppError(QStringLiteral("目标数据库 %1 中已有数据（%2），不会覆盖；请用一个空的数据库")
                                   .arg(Database::shownLocation(to), held));
        }
        // The rows init stored make way for the source's own.
        for (const char *t : {"SUser", "SDept", "SZD"})
            target.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
        // Room to sort an index in memory when it is made again.
        target.exec(target.isServer() ? QStringLiteral("SET LOCAL maintenance_work_mem = '256MB'")
                                      : QStringLiteral("PRAGMA cache_size = -262144"));
        const QStringList indexes = dropIndexes(target);
        // The payments' and the houses' figures are counted once over the copied rows, not
        // row by row as they go in.
        target.exec(target.isServer() ? QStringLiteral("ALTER TABLE UCharge DISABLE TRIGGER UCharge_figures_insert; "
                                                       "ALTER TABLE UHouse DISABLE TRIGGER UHouse_figures_insert")
                                      : QStringLiteral("DROP TRIGGER UCharge_figures_insert; DROP TRIGGER UHouse_figures_insert"));

        for (const CopiedTable &t : kCopied) {
            const QString table = QLatin1String(t.name);
            const qint64 total = source.scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toLongLong();
            auto rows = source.cursor(QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(table, QLatin1String(t.id)));
            const QStringList columns = rows->columns();
            BulkLoad load(target, table, columns);
            qint64 n = 0;
            {
                TableReader reader(*rows);
                TableReader::Batch batch;
                while (reader.next(batch)) {
                    for (int r = 0; r < batch.values.size(); ++r) {
                        load.add(batch.values.at(r), batch.nulls.at(r));
                        if (++n % 100000 == 0)
                            err << table << "：" << n << " / " << total << " 行\n" << Qt::flush;
                    }
                }
            }
            load.finish();
            if (t.ids)
                target.moveIdsPast(table, QLatin1String(t.id));
            if (total >= 100000)
                err << table << "：" << n << " / " << total << " 行\n" << Qt::flush;
            out << table << '\t' << n << '\n';
            copied += n;
        }
        if (!indexes.isEmpty())
            err << "正在重建索引……\n" << Qt::flush;
        for (const QString &index : indexes)
            target.exec(index);
        if (target.isServer()) {
            target.exec(QStringLiteral("ALTER TABLE UCharge ENABLE TRIGGER UCharge_figures_insert; "
                                       "ALTER TABLE UHouse ENABLE TRIGGER UHouse_figures_insert"));
        } else {
            // Makes the missing ones again.
            target.exec(DayFigures::keepers(false));
            target.exec(HouseFigures::keepers(false));
        }
        DayFigures::rebuild(target);
        HouseFigures::rebuild(target);
        tx.commit();
        target.close();
        if (madeFile)
            OutputFile::placeNew(written, to);
    } catch (...) {
        target.close();
        if (madeFile) {
            QFile::remove(written);
            QFile::remove(written + QStringLiteral("-wal"));
            QFile::remove(written + QStringLiteral("-shm"));
        }
        throw;
    }
    out << "已复制 " << copied << " 行，用时 " << QString::number(clock.elapsed() / 1000.0, 'f', 1) << " 秒："
        << Database::shownLocation(from) << " → " << Database::shownLocation(to) << '\n';
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("copy"), QStringLiteral("--from FILE-OR-URL --to FILE-OR-URL"),
                         QStringLiteral("把整个数据库（全部表，编号不变）复制到一个新文件或服务器上一个空的数据库，在目标上一次完成；"
                                        "目标已有数据时拒绝。大量数据的进度写到标准错误"),
                         runCopy});

} // namespace
