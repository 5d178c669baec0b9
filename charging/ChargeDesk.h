#pragma once
#include <QDate>
#include <QList>
#include <QString>
#include <QVariantList>

// The cashier's desk beside the exact look-up: finding a house from what the owner says
// (part of the name, the phone number or the room number, in any area) and the house's
// past payments. Used by charge entry and by the admin tool, on the data module's
// connection.
namespace ChargeDesk {

// The pick list shows at most this many houses; more matches ask for a longer text.
inline constexpr int PickRows = 20;

// One house of the pick list.
struct Match {
    QString area, room, owner, phone, paidUp;
    // Calendar years from the paid-up date to the charging date, as the arrears reminder
    // counts them: 0 for a house paid up to that date or later, empty when the paid-up
    // date is empty or no date.
    QString yearsBehind;
};
struct Found {
    // By area and room, at most PickRows. When more houses match, which of them are
    // listed is the engine's choice: the operator is asked for a longer text.
    QList<Match> houses;
    bool more = false;   // more houses match than the list shows
};

// The live houses whose owner's name, phone or room number contains text (trimmed),
// compared as the lists' criteria compare (letter case folded, full-width letters too);
// every character of text matches itself, "%" and "_" among them. An empty text finds
// nothing.
Found find(const QString &text, const QDate &chargingDate);
// The statement find() runs for text and its values: one row more than PickRows tells
// that there are more.
QString findStatement(const QString &text);
QVariantList findValues(const QString &text);
// True when no character of text has another letter case (nor folds to one): a plain
// comparison finds exactly what the folded one finds.
bool caseless(const QString &text);
// The longest run of text's characters without letter case ("5号楼" of "5号楼x"); empty
// when every character has a case.
QString caselessRun(const QString &text);
// What the pick list says when more houses match than it shows.
QString tooManyMessage();
// What it says when none matches.
QString noneMessage();

// One payment of a house, as the desk's history shows it.
struct PastPayment {
    QString id, receipt, chargingDate, start, end, years, amount, method, payee;
    bool voided = false;
    QString voidReason;  // the reason of the void, when voided
    int reprints = 0;    // how often the receipt was printed again (the change record's 补打收据)
};
// The payments of the house with that ID, voided ones included, newest first.
QList<PastPayment> history(const QString &houseId);
// The 作废 column's words: "作废：<reason>" for a voided payment, empty otherwise.
QString voidWords(const PastPayment &p);

} // namespace ChargeDesk
