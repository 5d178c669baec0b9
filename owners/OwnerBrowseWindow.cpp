#include "owners/OwnerBrowseWindow.h"
#include "owners/OwnerStatements.h"
#include "data/DataModule.h"

#include <QCheckBox>
#include <QLineEdit>

BrowseSetup OwnerBrowseWindow::ownerSetup(const QString &caption, bool excel)
{
    BrowseSetup s;
    s.caption = caption;
    s.criteria = OwnerStatements::criteria();
    s.excel = excel;
    s.widths = {{QStringLiteral("面积"), 60}, {QStringLiteral("单价"), 60}, {QStringLiteral("备注"), 120}};
    s.sums = {{QStringLiteral("面积"), QStringLiteral("面积：")}};
    return s;
}

OwnerBrowseWindow::OwnerBrowseWindow(const BrowseSetup &setup, QWidget *parent)
    : BrowseWindow(setup, parent)
{
    areaCheck = checkBox(1);
    roomCheck = checkBox(2);
    purposeCheck = checkBox(3);
    ownerCheck = checkBox(4);
    phoneCheck = checkBox(5);
    remarkCheck = checkBox(6);
    areaBox = lookup(1);
    purposeBox = lookup(2);
    roomEdit = edit(1);
    ownerEdit = edit(2);
    phoneEdit = edit(3);
    remarkEdit = edit(4);
}

QString OwnerBrowseWindow::listSql() const
{
    return OwnerStatements::list(conditions);
}

QString OwnerBrowseWindow::totalsSql() const
{
    return OwnerStatements::totals(dataModule().db(), conditions);
}

QVector<ListKey> OwnerBrowseWindow::listOrder() const
{
    return OwnerStatements::order();
}

QString OwnerBrowseWindow::countSql(const QString &) const
{
    return OwnerStatements::count(conditions);
}
