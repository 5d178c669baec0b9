#include "charging/VoidQueryWindow.h"
#include "charging/ChargeStatements.h"
#include "charging/PaymentVoid.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "output/UiSheetOpener.h"
#include "widgets/DatePicker.h"

namespace {

BrowseSetup voidSetup()
{
    BrowseSetup s;
    s.caption = QStringLiteral("作废查询");
    s.criteria = {
        {BrowseCriterion::Text, QStringLiteral("单       号"), QStringLiteral("theNum"), nullptr, 0},
        {BrowseCriterion::DateRange, QStringLiteral("作废日期"), QStringLiteral("theDate"), nullptr, 0},
        {BrowseCriterion::Lookup, QStringLiteral("作  废  人"), QStringLiteral("UName"), &DataModule::operatorList, 1},
    };
    s.excel = true;
    s.widths = {{QStringLiteral("收款金额"), 80}, {QStringLiteral("作废原因"), 160}};
    s.sums = {{QStringLiteral("作废金额"), QStringLiteral("作废金额：")}};
    return s;
}

} // namespace

VoidQueryWindow::VoidQueryWindow(QWidget *parent)
    : BrowseWindow(voidSetup(), parent)
{
    // The same default range as the charge lists: a month back from the charging date.
    QDate charging = Dates::tryParse(ChargeDate);
    if (!charging.isValid())
        charging = QDate::currentDate();
    datePicker(1)->setDateQuietly(ChargeStatements::defaultFrom(charging));
    datePicker(2)->setDateQuietly(charging);
}

QString VoidQueryWindow::listSql() const { return PaymentVoid::list(conditions); }
QString VoidQueryWindow::totalsSql() const { return PaymentVoid::totals(dataModule().db(), conditions); }
QString VoidQueryWindow::countSql(const QString &) const { return PaymentVoid::count(conditions); }

void VoidQueryWindow::exportToExcel() { exportBrowseList(this, voidQueryLayout()); }

ExportLayout voidQueryLayout()
{
    auto col = [](const char *heading, ExportCell cell = ExportCell::Typed, const char *total = nullptr) {
        return ExportColumn{QString::fromUtf8(heading), cell, total ? QString::fromUtf8(total) : QString()};
    };
    return {QStringLiteral("作废报表"),
            {col("序号", ExportCell::Sequence), col("单号", ExportCell::Text), col("作废时间", ExportCell::Text),
             col("作废人"), col("作废原因"), col("收费日期", ExportCell::Text), col("小区名称"), col("房号", ExportCell::Text),
             col("业主名称"), col("收款金额", ExportCell::Typed, "作废金额"), col("收款方式"), col("收款人"),
             col("原到期日期", ExportCell::Date), col("退回到期日期", ExportCell::Date)}};
}
