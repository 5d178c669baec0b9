#include "db/ServerColumns.h"

namespace {

ServerColumns &current()
{
    static ServerColumns columns;
    return columns;
}

} // namespace

void ServerColumns::set(ServerColumns columns)
{
    current() = std::move(columns);
}

QString ServerColumns::spelled(const QString &lower)
{
    return current().spelling.value(lower, lower);
}

QString ServerColumns::numberLabel(const QString &column)
{
    return current().numberLabels.value(column.toLower());
}
