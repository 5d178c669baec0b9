#include "charging/ChargeDesk.h"
#include "browse/BrowseCriteria.h"
#include "charging/ChargeStatements.h"
#include "data/BoundWrite.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "db/Dates.h"
#include "db/CaseFold.h"
#include "db/Database.h"

#include <algorithm>

namespace ChargeDesk {

namespace {

// A text that matches itself anywhere in a column: the wildcards and the escape character
// are escaped, so that "5%" or "a_b" are found as typed.
QString containsPattern(const QString &text)
{
    const QChar esc = QLatin1Char(Browse::LikeEscape);
    QString p;
    p.reserve(text.size() + 8);
    p += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == esc || c == QLatin1Char('%') || c == QLatin1Char('_'))
            p += esc;
        p += c;
    }
    p += QLatin1Char('%');
    return p;
}

QString yearsBehind(const QString &paidUpText, const QDate &chargingDate)
{
    const QDate paidUp = Dates::tryParse(paidUpText);
    if (!paidUp.isValid() || !chargingDate.isValid())
        return {};
    return QString::number(paidUp < chargingDate ? chargingDate.year() - paidUp.year() : 0);
}

bool caselessChar(char32_t c)
{
    const QChar::Category k = QChar::category(c);
    return !(k == QChar::Letter_Lowercase || k == QChar::Letter_Uppercase || k == QChar::Letter_Titlecase
             || CaseFold::fold(c) != c || QChar::toUpper(c) != c || QChar::toLower(c) != c);
}

} // namespace

bool caseless(const QString &text)
{
    const QList<uint> ucs4 = text.toUcs4();
    return std::all_of(ucs4.cbegin(), ucs4.cend(), [](uint c) { return caselessChar(c); });
}

QString caselessRun(const QString &text)
{
    const QList<uint> ucs4 = text.toUcs4();
    qsizetype best = 0, bestAt = 0;
    for (qsizetype i = 0; i < ucs4.size();) {
        qsizetype j = i;
        while (j < ucs4.size() && caselessChar(ucs4.at(j)))
            ++j;
        if (j - i > best) {
            best = j - i;
            bestAt = i;
        }
        i = j + 1;
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(ucs4.constData() + bestAt), best);
}

QString findStatement(const QString &text)
{
    // A text without letter case (Chinese, digits, signs: what is typed at the desk nearly
    // always) compares the columns as plain text: the server then does not fold every
    // house's columns for each find, which takes most of its time. The file folds in its
    // LIKE either way.
    // A text with letters ("5号楼x") still holds its longest run without letter case as it
    // is typed in every house it finds (no character folds to one without case): a plain
    // comparison with that run passes over nearly every house before the folded one runs.
    const QString trimmed = text.trimmed();
    const bool plain = caseless(trimmed);
    const bool narrowed = !plain && !caselessRun(trimmed).isEmpty();
    const QString like = QStringLiteral(" LIKE ? ESCAPE '") + QLatin1Char(Browse::LikeEscape) + QStringLiteral("')");
    const auto column = [&](const char *name) {
        const QString n = QLatin1String(name);
        if (plain)
            return QStringLiteral("(CAST(%1 AS TEXT)").arg(n) + like;
        if (narrowed)
            return QStringLiteral("((CAST(%1 AS TEXT)").arg(n) + like + QStringLiteral(" AND (") + n + like
                + QLatin1Char(')');
        return QStringLiteral("(") + n + like;
    };
    // No ORDER BY: ordered by area and room, the engine would walk the houses' index and
    // fetch every row from it, several times slower than reading the table through when
    // nothing matches. The few rows found are put in order here instead.
    return QStringLiteral("SELECT AName, theNum, theName, thePhone, EndDate, ID FROM UHouse WHERE (" LIVE_ROW ") AND (")
        + column("theName") + QStringLiteral(" OR ") + column("thePhone") + QStringLiteral(" OR ") + column("theNum")
        + QStringLiteral(") LIMIT ") + QString::number(PickRows + 1);
}

QVariantList findValues(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QString p = containsPattern(trimmed);
    const QString run = caseless(trimmed) ? QString() : caselessRun(trimmed);
    if (run.isEmpty())
        return {p, p, p};
    const QString r = containsPattern(run);
    return {r, p, r, p, r, p};
}

QString tooManyMessage()
{
    return QStringLiteral("匹配超过%1户，请输入更多内容").arg(PickRows);
}

QString noneMessage()
{
    return QStringLiteral("没有匹配的业主，请重新输入");
}

Found find(const QString &text, const QDate &chargingDate)
{
    Found found;
    if (text.trimmed().isEmpty())
        return found;
    const QString sql = findStatement(text);
    const QVariantList values = findValues(text);
    SqlText = BoundWrite::shown(sql, values);
    const Rows rows = BoundWrite::select(dataModule().db(), sql, values);
    found.more = rows.rowCount() > PickRows;
    // By area and room as the stored text compares, the house entered first before its
    // double.
    struct Key {
        QByteArray area, room;
        qint64 id;
        int row;
    };
    QList<Key> keys;
    for (int r = 0; r < rows.rowCount() && r < PickRows; ++r)
        keys << Key{rows.at(r, 0).toUtf8(), rows.at(r, 1).toUtf8(), rows.at(r, 5).toLongLong(), r};
    const auto compare = [](const QByteArray &a, const QByteArray &b) {
        return CaseFold::compareUtf8(a.constData(), int(a.size()), b.constData(), int(b.size()));
    };
    std::sort(keys.begin(), keys.end(), [&](const Key &a, const Key &b) {
        if (const int c = compare(a.area, b.area))
            return c < 0;
        if (const int c = compare(a.room, b.room))
            return c < 0;
        return a.id < b.id;
    });
    for (const Key &k : keys)
        found.houses << Match{rows.at(k.row, 0), rows.at(k.row, 1), rows.at(k.row, 2), rows.at(k.row, 3),
                              rows.at(k.row, 4), yearsBehind(rows.at(k.row, 4), chargingDate)};
    return found;
}

QList<PastPayment> history(const QString &houseId)
{
    bool ok = false;
    const qint64 id = houseId.toLongLong(&ok);
    if (!ok)
        return {};
    // The reprints are counted as charge management counts them, from the change record.
    const QString sql =
        QStringLiteral("SELECT c.ID, c.theNum, c.myDate, c.QSDate, c.JZDate, c.theCount, c.theMoney, c.MType, c.theSKR, "
                       "c.theDel, (SELECT v.Reason FROM UVoid v WHERE (v.CID = c.ID) ORDER BY v.ID DESC LIMIT 1), ")
        + ChargeStatements::reprintCount(QStringLiteral("c.ID"))
        + QStringLiteral(" FROM UCharge c WHERE (c.HID = ?) ORDER BY c.ID DESC");
    const QVariantList values{id};
    SqlText = BoundWrite::shown(sql, values);
    const Rows rows = BoundWrite::select(dataModule().db(), sql, values);
    QList<PastPayment> out;
    out.reserve(rows.rowCount());
    for (int r = 0; r < rows.rowCount(); ++r) {
        PastPayment p;
        p.id = rows.at(r, 0);
        p.receipt = rows.at(r, 1);
        p.chargingDate = rows.at(r, 2);
        p.start = rows.at(r, 3);
        p.end = rows.at(r, 4);
        p.years = rows.at(r, 5);
        p.amount = rows.at(r, 6);
        p.method = rows.at(r, 7);
        p.payee = rows.at(r, 8);
        p.voided = rows.at(r, 9) == QStringLiteral("是");
        p.voidReason = rows.at(r, 10);
        p.reprints = rows.at(r, 11).toInt();
        out << p;
    }
    return out;
}

QString voidWords(const PastPayment &p)
{
    if (!p.voided)
        return {};
    return p.voidReason.isEmpty() ? QStringLiteral("作废") : QStringLiteral("作废：") + p.voidReason;
}

} // namespace ChargeDesk
