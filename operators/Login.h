#pragma once
#include <QDate>
#include <QString>

namespace Login {

// Checks name and password in SUser (the database compares, ignoring letter case).
// On exactly one matching row fills the login state and returns true.
bool tryLogin(const QString &name, const QString &password, const QDate &chargeDate);

// Reads the using unit's row of SDept into the login state (unit name and period).
void readUnit();

} // namespace Login
