#include "charging/TfrmUCharge_Browse.h"
#include "charging/ChargeStatements.h"
#include "data/Dates.h"
#include "data/TfrmDM.h"
#include "widgets/DatePicker.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

BrowseSetup chargeSetup(const QString &caption, bool excel)
{
    BrowseSetup s;
    s.caption = caption;
    s.criteria = ChargeStatements::criteria();
    s.excel = excel;
    s.widths = {{QStringLiteral("面积"), 60},     {QStringLiteral("单价"), 60},
                {QStringLiteral("收费年数"), 60}, {QStringLiteral("收款金额"), 80},
                {QStringLiteral("备注"), 120}};
    s.sums = {{QStringLiteral("收款金额"), QStringLiteral("收款金额：")}};
    return s;
}

} // namespace

TfrmUCharge_Browse::TfrmUCharge_Browse(const QString &caption, bool excel, QWidget *parent)
    : BrowseWindow(chargeSetup(caption, excel), parent)
{
    CheckBox1 = checkBox(1);
    CheckBox2 = checkBox(2);
    CheckBox3 = checkBox(3);
    CheckBox4 = checkBox(4);
    CheckBox5 = checkBox(5);
    CheckBox6 = checkBox(6);
    CheckBox7 = checkBox(7);
    CheckBox8 = checkBox(8);
    Edit1 = edit(1);
    Edit2 = edit(2);
    Edit3 = edit(3);
    Edit4 = edit(4);
    DateTimePicker1 = datePicker(1);
    DateTimePicker2 = datePicker(2);
    DBLookupComboBox1 = lookup(1);
    DBLookupComboBox2 = lookup(2);
    DBLookupComboBox3 = lookup(3);

    // FormCreate: the default range, one calendar month back from the charging date up to
    // it; setting it ticks nothing.
    QDate charging = Dates::tryParse(ChargeDate);
    if (!charging.isValid())
        charging = QDate::currentDate();
    DateTimePicker1->setDateQuietly(ChargeStatements::defaultFrom(charging));
    DateTimePicker2->setDateQuietly(charging);
}

void TfrmUCharge_Browse::Edit1Change() { CheckBox1->setChecked(true); }
void TfrmUCharge_Browse::DateTimePicker1Change() { CheckBox2->setChecked(true); }
void TfrmUCharge_Browse::DateTimePicker2Change() { CheckBox2->setChecked(true); }
void TfrmUCharge_Browse::DBLookupComboBox1Click() { CheckBox3->setChecked(true); }
void TfrmUCharge_Browse::Edit2Change() { CheckBox4->setChecked(true); }
void TfrmUCharge_Browse::Edit3Change() { CheckBox5->setChecked(true); }
void TfrmUCharge_Browse::DBLookupComboBox2Click() { CheckBox6->setChecked(true); }
void TfrmUCharge_Browse::DBLookupComboBox3Click() { CheckBox7->setChecked(true); }
void TfrmUCharge_Browse::Edit4Change() { CheckBox8->setChecked(true); }

QString TfrmUCharge_Browse::listSql() const { return ChargeStatements::list(myWhere); }
QString TfrmUCharge_Browse::totalsSql() const { return ChargeStatements::totals(myWhere); }
QVector<ListKey> TfrmUCharge_Browse::listOrder() const { return ChargeStatements::order(); }
QString TfrmUCharge_Browse::countSql(const QString &) const { return ChargeStatements::count(myWhere); }
