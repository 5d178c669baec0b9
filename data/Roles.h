#pragma once
#include <QString>
#include <QStringList>

// What an operator may do, by their role (SUser.theRole). The one place the rules live:
// the menus ask `may` to offer an entry, the logic of every guarded action calls `require`,
// so the admin tool and the windows refuse alike.
namespace Roles {

inline const char Admin[] = "管理员";   // everything
inline const char Cashier[] = "收费员"; // charges, reprints, lists and queries, own day close, own password
inline const char Viewer[] = "查询员";  // lists, queries and statistics only

// The three roles, 管理员 first (the choices of the operators dialog).
QStringList names();
// True for one of the three names.
bool isRole(const QString &role);

enum class Action {
    Browse,        // lists, queries, statistics, the change record
    Charge,        // store a payment
    Reprint,       // print a receipt again
    Void,          // void a payment (a 收费员's void needs a 管理员's approval)
    ApproveVoid,   // approve another operator's void
    OwnDayClose,   // the day close of one's own payments
    AnyDayClose,   // the day close of another cashier or of all
    OwnPassword,   // change one's own password
    Owners,        // houses and owners: add, modify, delete, import
    ReferenceLists, // areas, payment methods, house purposes and prices
    Defaults,      // the default items
    Operators,     // operators, their roles and passwords
    UnitSettings,  // 使用单位: the unit's name, period and office settings
    Backup,        // backup and restore
    WaiveLateCharge, // leave a payment's late charge (违约金) out
};

// The words of an action in a refusal: "作废收费".
QString actionWords(Action action);

bool may(const QString &role, Action action);

// The role of the operator of that name; empty when no operator has it. An operator
// without a stored role (a row written by hand) counts as 管理员, as before roles.
QString roleOf(const QString &operatorName);

// The role of the logged-in operator (CurrentUserName). With no operator logged in (the
// admin tool acting as itself) the role is 管理员. Throws AppError when the operator no
// longer exists.
QString current();

// The refusal's words: "当前操作员（收费员）无权作废收费".
QString refusal(const QString &role, Action action);

// Throws AppError with the refusal when the logged-in operator may not do this.
void require(Action action);

// True when the logged-in operator may do this (false also when they no longer exist).
bool currentMay(Action action);

// How many operators are 管理员.
int adminCount();

} // namespace Roles
