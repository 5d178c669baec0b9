#include "owners/ArrearsReminderWindow.h"
#include "data/DataModule.h"
#include "output/UiSheetOpener.h"
#include "owners/ArrearsNoticesPrint.h"
#include "owners/ArrearsStatements.h"
#include "widgets/DatePicker.h"
#include "widgets/Guard.h"
#include "browse/ListFigures.h"
#include "browse/QueryModel.h"

#include <QBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QLabel>
#include <QTableView>

namespace {

BrowseSetup arrearsSetup()
{
    BrowseSetup s = OwnerBrowseWindow::ownerSetup(QStringLiteral("欠费提醒"), true);
    s.widths << BrowseColumnWidth{QStringLiteral("欠费年数"), 60} << BrowseColumnWidth{QStringLiteral("欠费金额"), 80};
    s.sums << BrowseFooterSum{QStringLiteral("欠费金额"), QStringLiteral("欠费金额：")};
    return s;
}

} // namespace

ArrearsReminderWindow::ArrearsReminderWindow(QWidget *parent)
    : OwnerBrowseWindow(arrearsSetup(), parent)
{
    referencePicker = new DatePicker(this);
    referencePicker->setObjectName(QStringLiteral("referencePicker"));
    extrasLayout()->addWidget(new QLabel(QStringLiteral("到期日期："), this));
    extrasLayout()->addWidget(referencePicker);
    extrasLayout()->addStretch();
    // Several houses may be picked (Ctrl, Shift) for their notices alone.
    listGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    noticesButton = new QPushButton(QStringLiteral("催费通知单"), this);
    noticesButton->setObjectName(QStringLiteral("noticesButton"));
    noticesButton->setAutoDefault(false);
    noticesButton->setEnabled(false);
    extrasLayout()->addWidget(noticesButton);
    connect(noticesButton, &QPushButton::clicked, this, &ArrearsReminderWindow::printNotices);
    // In the buttons' Tab order beside "Excel", the other output of the list.
    setTabOrder(excelButton, noticesButton);
    setTabOrder(noticesButton, closeButton);
    connect(listModel, &QAbstractItemModel::modelReset, noticesButton, [this] { noticesButton->setEnabled(listModel->isOpen()); });
    // The reference date is a filter like the others: Enter in it runs "查询", and Tab
    // reaches it after the criteria, before the buttons.
    referencePicker->installEventFilter(this);
    setTabOrder(remarkEdit, referencePicker);
    // The check runs with the totals, off the window's thread, over the same houses.
    connect(figures(), &ListFigures::totalsReady, this, &ArrearsReminderWindow::refuseImpossibleAmounts);
    // Moving the picker recolours the rows at once; the figures wait for "查询".
    connect(referencePicker, &DatePicker::dateChanged, listGrid->viewport(), qOverload<>(&QWidget::update));

    // The end of the charging period in the year of the charging date. A period
    // end that is no date in that year still leaves a usable picker, and says so.
    const auto d = ArrearsStatements::defaultReference(ChargeDate, PeriodEndMonth, PeriodEndDay);
    referencePicker->setDateQuietly(d.date);
    if (!d.problem.isEmpty())
        showInfo(this, d.problem);
}

QDate ArrearsReminderWindow::reference() const { return referencePicker->date(); }

QString ArrearsReminderWindow::whereStart() const { return ArrearsStatements::dateClause(reference()); }
QString ArrearsReminderWindow::listSql() const
{
    m_listedReference = reference();
    return ArrearsStatements::list(m_listedReference, conditions);
}
QString ArrearsReminderWindow::totalsSql() const { return ArrearsStatements::totals(dataModule().db(), reference(), conditions); }

QColor ArrearsReminderWindow::rowTextColour(int row) const
{
    const int c = listModel->columnIndex(QStringLiteral("到期日期"));
    if (c < 0 || row < 0 || row >= listModel->rowCount())
        return {};
    return ArrearsStatements::isOverdue(listModel->text(row, c), reference()) ? QColor(255, 0, 0) : QColor();
}

void ArrearsReminderWindow::refuseImpossibleAmounts(const Rows &totals)
{
    guard(this, [&] {
        try {
            ArrearsStatements::checkAmounts(dataModule().db(), totals, m_listedReference, conditions);
        } catch (const AppError &) {
            listModel->close();
            excelButton->setEnabled(false);
            secondSumLabel->setText(QStringLiteral("欠费金额："));
            throw;
        }
    });
}

void ArrearsReminderWindow::exportToExcel() { exportBrowseList(this, ExportLayouts::arrears()); }

void ArrearsReminderWindow::printNotices() { ArrearsNoticesPrint::print(*this); }
