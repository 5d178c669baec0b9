#pragma once
#include "reference/RefLists.h"

#include <QString>

// Operator accounts, their passwords and their default items, all in SUser.
namespace Accounts {

// Every new operator starts with this password.
inline const char InitialPassword[] = "580913";

// The operator list as a name list: added with the initial password, refused by name.
const RefLists::ListConfig &users();

// True when the operator's password is this one, without regard to letter case.
bool passwordMatches(const QString &name, const QString &password);
// Sets the password of the operator of that name (stored as a salted hash).
void setPassword(const QString &name, const QString &password);

// Gives the operator of that name a role (管理员, 收费员, 查询员), recorded in the change
// record. Refused (AppError, nothing changed) for an unknown operator or role, and for the
// last 管理员 taking another role.
void setRole(const QString &name, const QString &role);
QString unknownRoleMessage(const QString &role);

// Stores the three default items of the operator with that ID (the ID of the login state).
void saveDefaults(const QString &userId, const QString &paymentMethod, const QString &houseType,
                  const QString &areaName);

} // namespace Accounts
