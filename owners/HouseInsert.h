#pragma once
#include "db/Database.h"
#include "owners/OwnerEntry.h"

// The one insert of a house into UHouse, for the entry window, the import and the demo
// data: compiled once, bound per house. Area and price go in as numbers when their text
// reads as one; any other text goes in as it is, so that the column refuses it in the
// operator's words ("面积 不是有效的数字") exactly as a typed value always was.
class HouseInsert {
public:
    explicit HouseInsert(Database &db);
    ~HouseInsert();
    HouseInsert(const HouseInsert &) = delete;
    HouseInsert &operator=(const HouseInsert &) = delete;

    // Stores a live house entered on date by user. A text holding a NUL is refused as the
    // data layer refuses it in a statement; a refusal names the statement as text().
    void run(const House &h, const QString &date, const QString &user);
    // The same with the values boundValues made ready (elsewhere, e.g. on another thread).
    void run(const QVariantList &values);
    // The values the insert binds for that house.
    static QVariantList boundValues(const House &h, const QString &date, const QString &user);

    // The insert as a statement text with these values (area and price unquoted where they
    // go in as numbers): what SqlText shows of the last house stored and what a refusal
    // names for support.
    static QString text(const House &h, const QString &date, const QString &user);

    // Refuses a house with a NUL in any text, as the data layer refuses such a statement.
    static void refuseNul(const House &h, const QString &date, const QString &user);

private:
    Statement m_insert;
};
