#include "data/PasswordHash.h"
#include "data/BoundWrite.h"
#include "db/CaseFold.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Sql.h"

#include <QByteArray>
#include <QStringList>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace PasswordHash {

namespace {

const QLatin1String Scheme("pbkdf2-sha256");
constexpr int SaltBytes = 16;
constexpr int HashBytes = 32;

QByteArray derive(const QString &typed, const QByteArray &salt, int iterations)
{
    // Folded as the database folds text, so that "Secret" and "SECRET" give one hash.
    const QByteArray text = CaseFold::folded(typed).toUtf8();
    QByteArray out(HashBytes, '\0');
    if (PKCS5_PBKDF2_HMAC(text.constData(), int(text.size()), reinterpret_cast<const unsigned char *>(salt.constData()),
                          int(salt.size()), iterations, EVP_sha256(), HashBytes,
                          reinterpret_cast<unsigned char *>(out.data()))
        != 1)
        throw AppError(QStringLiteral("无法计算密码的散列值（OpenSSL）"));
    return out;
}

struct Parsed {
    int iterations = 0;
    QByteArray salt;
    QByteArray hash;
};

bool parse(const QString &stored, Parsed *p)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts.at(0) != Scheme)
        return false;
    bool ok = false;
    p->iterations = parts.at(1).toInt(&ok);
    if (!ok || p->iterations < 1)
        return false;
    const auto salt = QByteArray::fromBase64Encoding(parts.at(2).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto hash = QByteArray::fromBase64Encoding(parts.at(3).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!salt || !hash || salt.decoded.isEmpty() || hash.decoded.size() != HashBytes)
        return false;
    p->salt = salt.decoded;
    p->hash = hash.decoded;
    return true;
}

} // namespace

QString make(const QString &typed, int iterations)
{
    QByteArray salt(SaltBytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(salt.data()), SaltBytes) != 1)
        throw AppError(QStringLiteral("无法取得随机数（OpenSSL）"));
    return Scheme + QLatin1Char('$') + QString::number(iterations) + QLatin1Char('$')
        + QString::fromLatin1(salt.toBase64()) + QLatin1Char('$')
        + QString::fromLatin1(derive(typed, salt, iterations).toBase64());
}

bool isHash(const QString &stored)
{
    Parsed p;
    return parse(stored, &p);
}

bool matches(const QString &stored, const QString &typed)
{
    Parsed p;
    if (!parse(stored, &p))
        return CaseFold::folded(stored) == CaseFold::folded(typed);
    const QByteArray h = derive(typed, p.salt, p.iterations);
    return CRYPTO_memcmp(h.constData(), p.hash.constData(), HashBytes) == 0;
}

int hashClearPasswords(Database &db)
{
    const Rows rows = db.select(QStringLiteral("SELECT ID, thePass FROM SUser"));
    int n = 0;
    for (int r = 0; r < rows.rowCount(); ++r) {
        const QString stored = rows.at(r, 1);
        if (isHash(stored))
            continue;
        // Only if it is still the same clear text: another copy may have just changed it.
        BoundWrite::run(db, QStringLiteral("UPDATE SUser SET thePass = ? WHERE (ID = ?) AND (thePass = ?)"),
                        {make(stored), rows.at(r, 0).toLongLong(), stored});
        n += db.changes();
    }
    return n;
}

} // namespace PasswordHash
