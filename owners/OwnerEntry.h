#pragma once
#include <QDate>
#include <QString>

// One house with its owner as the entry and modify windows write it to UHouse. Every
// value is the text of its box, taken exactly as typed.
struct House {
    QString area;      // AName
    QString room;      // theNum
    QString floorArea; // theArea
    QString purpose;   // HType
    QString price;     // thePrice
    QString endDate;   // EndDate, "yyyy-mm-dd"
    QString owner;     // theName
    QString phone;     // thePhone
    QString remark;    // Remark
};

namespace OwnerEntry {

// The required boxes in screen order.
enum Field { AreaField, RoomField, FloorAreaField, PurposeField, PriceField, OwnerField, NoField = -1 };

// The first required box that is empty (length 0, nothing trimmed), or NoField.
Field firstEmpty(const House &house);
// "小区名称 不能为空！" ... "业主名称 不能为空！"; the purpose is named "房屋类别".
QString emptyMessage(Field field);

// The default paid-up date: UnitSettings::periodEnd, with a message naming where the
// period is set when it had to be fitted.
struct PeriodEnd {
    QDate date;
    QString problem;
};
PeriodEnd periodEnd(const QString &chargeDate, const QString &endMonth, const QString &endDay);

// The current unit price of a purpose; empty when no purpose has that name.
QString priceOf(const QString &purpose);

// True when a live house of the area already has the room number.
bool roomTaken(const QString &area, const QString &room);

// Adds a new house, stamped with the login's charging date and operator, unless a live
// house of the area already has its room number (then false, nothing written). The check
// and the insert hold the write lock together, so a second copy of the program cannot add
// the same room in between.
bool add(const House &house);

// House houseId as it is stored now (numbers in plain form). Throws AppError when no
// live house has that ID.
House load(const QString &houseId);

// Writes the boxes of the modify dialog back to house houseId. Floor area and price go
// in as number literals; a text that is no number is refused before anything is written.
// asOpened is the house as load gave it when the dialog opened: when anyone changed or
// deleted the house since (a payment moves its paid-up date), the change is refused with
// a message naming what changed, so that an old copy never undoes a payment. The check
// and the update hold the write lock together.
void update(const QString &houseId, const House &house, const House &asOpened);

// Marks house id deleted.
void markDeleted(const QString &id);

} // namespace OwnerEntry
