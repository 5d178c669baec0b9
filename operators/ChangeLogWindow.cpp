#include "operators/ChangeLogWindow.h"
#include "data/ChangeLog.h"
#include "data/Dates.h"
#include "data/TfrmDM.h"
#include "output/UiSheetOpener.h"
#include "widgets/DatePicker.h"

namespace {

BrowseSetup logSetup()
{
    BrowseSetup s;
    s.caption = QStringLiteral("操作记录");
    s.criteria = {
        // The date part of the record's time.
        {BrowseCriterion::DateRange, QStringLiteral("日       期"), QStringLiteral("SUBSTR(theTime, 1, 10)"), nullptr, 0},
        {BrowseCriterion::Lookup, QStringLiteral("操  作  员"), QStringLiteral("UName"), &TfrmDM::DBComSUser, 0},
        {BrowseCriterion::Text, QStringLiteral("操       作"), QStringLiteral("theAction"), nullptr, 1},
        {BrowseCriterion::Text, QStringLiteral("房       号"), QStringLiteral("HNum"), nullptr, 1},
    };
    s.excel = true;
    s.widths = {{QStringLiteral("时间"), 130}, {QStringLiteral("变更内容"), 420}};
    s.hiddenColumns = {QStringLiteral("ID"), QStringLiteral("数据表")};
    return s;
}

} // namespace

ChangeLogWindow::ChangeLogWindow(QWidget *parent)
    : BrowseWindow(logSetup(), parent)
{
    QDate today = Dates::tryParse(ChargeDate);
    if (!today.isValid())
        today = QDate::currentDate();
    datePicker(1)->setDateQuietly(today.addMonths(-1));
    datePicker(2)->setDateQuietly(QDate::currentDate() > today ? QDate::currentDate() : today);
}

QString ChangeLogWindow::listSql() const { return ChangeLog::list(myWhere); }
QString ChangeLogWindow::countSql(const QString &) const { return ChangeLog::count(myWhere); }

void ChangeLogWindow::BitBtn3Click() { exportBrowseList(this, changeLogLayout()); }

ExportLayout changeLogLayout()
{
    auto col = [](const char *heading, ExportCell cell = ExportCell::Typed) {
        return ExportColumn{QString::fromUtf8(heading), cell, QString()};
    };
    return {QStringLiteral("操作记录"),
            {col("序号", ExportCell::Sequence), col("时间", ExportCell::Text), col("操作员"), col("收费日期", ExportCell::Text),
             col("操作"), col("小区名称"), col("房号", ExportCell::Text), col("变更内容"), col("数据表"),
             col("记录号")}};
}
