// The client library's functions that the server engine uses, each loading the library on
// its first call and then calling the library's own. The program is not linked against the
// library, so its start does not load it; these definitions take the library's names.
#include "db/PgClientLoader.h"
#include "db/DbError.h"

#include <QString>
#include <dlfcn.h>
#include <libpq-fe.h>

namespace PgClientLoader {

namespace {

struct Library {
    void *handle = nullptr;
    QString error;
};

const Library &library()
{
    // Loaded once, by whichever thread first needs it (a static's set-up is thread-safe).
    static const Library lib = [] {
        Library l;
        l.handle = dlopen(libraryName(), RTLD_NOW | RTLD_LOCAL);
        if (!l.handle)
            l.error = QString::fromLocal8Bit(dlerror());
        return l;
    }();
    return lib;
}

DbError notAvailable(const QString &why)
{
    return DbError(QStringLiteral("无法使用数据库服务器：没有找到 PostgreSQL 客户端库 %1，请安装 libpq5")
                       .arg(QString::fromLatin1(libraryName())),
                   QString(), 0, why);
}

void *symbol(const char *name)
{
    const Library &lib = library();
    if (!lib.handle)
        throw notAvailable(lib.error);
    void *s = dlsym(lib.handle, name);
    if (!s)
        throw notAvailable(QString::fromLocal8Bit(dlerror()));
    return s;
}

template <class F>
F resolve(const char *name)
{
    return reinterpret_cast<F>(symbol(name));
}

} // namespace

const char *libraryName() { return "libpq.so.5"; }

bool isLoaded()
{
    void *h = dlopen(libraryName(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        dlclose(h);
    return h != nullptr;
}

} // namespace PgClientLoader

using PgClientLoader::resolve;

// The real function of the library, resolved once per function.
#define PG_REAL(name) static const auto real = resolve<decltype(&::name)>(#name)

extern "C" {

PGconn *PQconnectdbParams(const char *const *keywords, const char *const *values, int expand_dbname)
{
    PG_REAL(PQconnectdbParams);
    return real(keywords, values, expand_dbname);
}

void PQfinish(PGconn *conn)
{
    if (!conn)
        return;
    PG_REAL(PQfinish);
    real(conn);
}

void PQreset(PGconn *conn)
{
    PG_REAL(PQreset);
    real(conn);
}

ConnStatusType PQstatus(const PGconn *conn)
{
    PG_REAL(PQstatus);
    return real(conn);
}

PGTransactionStatusType PQtransactionStatus(const PGconn *conn)
{
    PG_REAL(PQtransactionStatus);
    return real(conn);
}

char *PQerrorMessage(const PGconn *conn)
{
    PG_REAL(PQerrorMessage);
    return real(conn);
}

PQnoticeReceiver PQsetNoticeReceiver(PGconn *conn, PQnoticeReceiver proc, void *arg)
{
    PG_REAL(PQsetNoticeReceiver);
    return real(conn, proc, arg);
}

PGcancel *PQgetCancel(PGconn *conn)
{
    PG_REAL(PQgetCancel);
    return real(conn);
}

void PQfreeCancel(PGcancel *cancel)
{
    if (!cancel)
        return;
    PG_REAL(PQfreeCancel);
    real(cancel);
}

int PQcancel(PGcancel *cancel, char *errbuf, int errbufsize)
{
    PG_REAL(PQcancel);
    return real(cancel, errbuf, errbufsize);
}

PGresult *PQexec(PGconn *conn, const char *query)
{
    PG_REAL(PQexec);
    return real(conn, query);
}

PGresult *PQexecParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                       const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                       int resultFormat)
{
    PG_REAL(PQexecParams);
    return real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat);
}

PGresult *PQprepare(PGconn *conn, const char *stmtName, const char *query, int nParams, const Oid *paramTypes)
{
    PG_REAL(PQprepare);
    return real(conn, stmtName, query, nParams, paramTypes);
}

PGresult *PQexecPrepared(PGconn *conn, const char *stmtName, int nParams, const char *const *paramValues,
                         const int *paramLengths, const int *paramFormats, int resultFormat)
{
    PG_REAL(PQexecPrepared);
    return real(conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat);
}

PGresult *PQgetResult(PGconn *conn)
{
    PG_REAL(PQgetResult);
    return real(conn);
}

int PQputCopyData(PGconn *conn, const char *buffer, int nbytes)
{
    PG_REAL(PQputCopyData);
    return real(conn, buffer, nbytes);
}

int PQputCopyEnd(PGconn *conn, const char *errormsg)
{
    PG_REAL(PQputCopyEnd);
    return real(conn, errormsg);
}

ExecStatusType PQresultStatus(const PGresult *res)
{
    PG_REAL(PQresultStatus);
    return real(res);
}

char *PQresultErrorMessage(const PGresult *res)
{
    PG_REAL(PQresultErrorMessage);
    return real(res);
}

char *PQresultErrorField(const PGresult *res, int fieldcode)
{
    PG_REAL(PQresultErrorField);
    return real(res, fieldcode);
}

int PQntuples(const PGresult *res)
{
    PG_REAL(PQntuples);
    return real(res);
}

int PQnfields(const PGresult *res)
{
    PG_REAL(PQnfields);
    return real(res);
}

char *PQfname(const PGresult *res, int field_num)
{
    PG_REAL(PQfname);
    return real(res, field_num);
}

Oid PQftype(const PGresult *res, int field_num)
{
    PG_REAL(PQftype);
    return real(res, field_num);
}

char *PQgetvalue(const PGresult *res, int tup_num, int field_num)
{
    PG_REAL(PQgetvalue);
    return real(res, tup_num, field_num);
}

int PQgetisnull(const PGresult *res, int tup_num, int field_num)
{
    PG_REAL(PQgetisnull);
    return real(res, tup_num, field_num);
}

int PQgetlength(const PGresult *res, int tup_num, int field_num)
{
    PG_REAL(PQgetlength);
    return real(res, tup_num, field_num);
}

char *PQcmdStatus(PGresult *res)
{
    PG_REAL(PQcmdStatus);
    return real(res);
}

char *PQcmdTuples(PGresult *res)
{
    PG_REAL(PQcmdTuples);
    return real(res);
}

void PQclear(PGresult *res)
{
    if (!res)
        return;
    PG_REAL(PQclear);
    real(res);
}

void PQfreemem(void *ptr)
{
    if (!ptr)
        return;
    PG_REAL(PQfreemem);
    real(ptr);
}

// Asynchronous sending, for the writers' lock waited for while the window answers and for
// a statement sent in one trip with its savepoint.
int PQsocket(const PGconn *conn)
{
    PG_REAL(PQsocket);
    return real(conn);
}

int PQsendQuery(PGconn *conn, const char *query)
{
    PG_REAL(PQsendQuery);
    return real(conn, query);
}

int PQsendQueryParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                      const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                      int resultFormat)
{
    PG_REAL(PQsendQueryParams);
    return real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat);
}

int PQsendQueryPrepared(PGconn *conn, const char *stmtName, int nParams, const char *const *paramValues,
                        const int *paramLengths, const int *paramFormats, int resultFormat)
{
    PG_REAL(PQsendQueryPrepared);
    return real(conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat);
}

int PQisBusy(PGconn *conn)
{
    PG_REAL(PQisBusy);
    return real(conn);
}

int PQconsumeInput(PGconn *conn)
{
    PG_REAL(PQconsumeInput);
    return real(conn);
}

int PQenterPipelineMode(PGconn *conn)
{
    PG_REAL(PQenterPipelineMode);
    return real(conn);
}

int PQexitPipelineMode(PGconn *conn)
{
    PG_REAL(PQexitPipelineMode);
    return real(conn);
}

int PQpipelineSync(PGconn *conn)
{
    PG_REAL(PQpipelineSync);
    return real(conn);
}

PGresult *PQmakeEmptyPGresult(PGconn *conn, ExecStatusType status)
{
    PG_REAL(PQmakeEmptyPGresult);
    return real(conn, status);
}

} // extern "C"
