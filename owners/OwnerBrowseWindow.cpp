#include "owners/TfrmUH_Browse.h"
#include "owners/OwnerStatements.h"

#include <QCheckBox>
#include <QLineEdit>

BrowseSetup TfrmUH_Browse::ownerSetup(const QString &caption, bool excel)
{
    BrowseSetup s;
    s.caption = caption;
    s.criteria = OwnerStatements::criteria();
    s.excel = excel;
    s.widths = {{QStringLiteral("面积"), 60}, {QStringLiteral("单价"), 60}, {QStringLiteral("备注"), 120}};
    s.sums = {{QStringLiteral("面积"), QStringLiteral("面积：")}};
    return s;
}

TfrmUH_Browse::TfrmUH_Browse(const BrowseSetup &setup, QWidget *parent)
    : BrowseWindow(setup, parent)
{
    CheckBox1 = checkBox(1);
    CheckBox2 = checkBox(2);
    CheckBox3 = checkBox(3);
    CheckBox4 = checkBox(4);
    CheckBox5 = checkBox(5);
    CheckBox6 = checkBox(6);
    DBLookupComboBox1 = lookup(1);
    DBLookupComboBox2 = lookup(2);
    Edit1 = edit(1);
    Edit2 = edit(2);
    Edit3 = edit(3);
    Edit4 = edit(4);
}

void TfrmUH_Browse::DBLookupComboBox1Click() { CheckBox1->setChecked(true); }
void TfrmUH_Browse::Edit1Change() { CheckBox2->setChecked(true); }
void TfrmUH_Browse::DBLookupComboBox2Click() { CheckBox3->setChecked(true); }
void TfrmUH_Browse::Edit2Change() { CheckBox4->setChecked(true); }
void TfrmUH_Browse::Edit3Change() { CheckBox5->setChecked(true); }
void TfrmUH_Browse::Edit4Change() { CheckBox6->setChecked(true); }

QString TfrmUH_Browse::listSql() const
{
    return OwnerStatements::list(myWhere);
}

QString TfrmUH_Browse::totalsSql() const
{
    return OwnerStatements::totals(myWhere);
}

QVector<ListKey> TfrmUH_Browse::listOrder() const
{
    return OwnerStatements::order();
}

QString TfrmUH_Browse::countSql(const QString &) const
{
    return OwnerStatements::count(myWhere);
}
