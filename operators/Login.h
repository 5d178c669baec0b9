#pragma once
#include <QDate>
#include <QString>

namespace Login {

// Checks name and password in SUser (the database compares, ignoring letter case).
// On exactly one matching row fills the login state and returns true.
// The charging dates a login may take: receipt numbers carry the date as "yymmdd", so a
// date of another century would repeat the numbers of this one.
QDate firstChargeDate();
QDate lastChargeDate();
// Empty when the date may be a charging date, otherwise the message that refuses it.
QString chargeDateRefusal(const QDate &date);

// Whether the operator of that name may log in under another charging date than today: a
// 管理员, or everyone where the office allows it (使用单位). True for a name no operator has.
bool mayChooseDate(const QString &name);

// Throws AppError, nobody logged in, when the operator may not take that charging date.
bool tryLogin(const QString &name, const QString &password, const QDate &chargeDate);

// Reads the using unit's row of SDept into the login state (unit name and period).
void readUnit();

} // namespace Login
