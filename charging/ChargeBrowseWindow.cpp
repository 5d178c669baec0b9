#include "charging/ChargeBrowseWindow.h"
#include "charging/ChargeStatements.h"
#include "data/DataModule.h"
#include "db/Dates.h"
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

ChargeBrowseWindow::ChargeBrowseWindow(const QString &caption, bool excel, QWidget *parent)
    : BrowseWindow(chargeSetup(caption, excel), parent)
{
    receiptNumberCheck = checkBox(1);
    chargeDateCheck = checkBox(2);
    areaCheck = checkBox(3);
    roomCheck = checkBox(4);
    ownerCheck = checkBox(5);
    paymentMethodCheck = checkBox(6);
    payeeCheck = checkBox(7);
    remarkCheck = checkBox(8);
    receiptNumberEdit = edit(1);
    roomEdit = edit(2);
    ownerEdit = edit(3);
    remarkEdit = edit(4);
    fromPicker = datePicker(1);
    toPicker = datePicker(2);
    areaBox = lookup(1);
    paymentMethodBox = lookup(2);
    payeeBox = lookup(3);

    // The default range, one calendar month back from the charging date up to
    // it; setting it ticks nothing.
    QDate charging = Dates::tryParse(ChargeDate);
    if (!charging.isValid())
        charging = QDate::currentDate();
    fromPicker->setDateQuietly(ChargeStatements::defaultFrom(charging));
    toPicker->setDateQuietly(charging);
}

QString ChargeBrowseWindow::listSql() const { return ChargeStatements::list(conditions); }
QString ChargeBrowseWindow::totalsSql() const { return ChargeStatements::totals(dataModule().db(), conditions); }
QVector<ListKey> ChargeBrowseWindow::listOrder() const { return ChargeStatements::order(); }
QString ChargeBrowseWindow::countSql(const QString &) const { return ChargeStatements::count(conditions); }
