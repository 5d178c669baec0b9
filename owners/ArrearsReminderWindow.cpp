#include "owners/TfrmUH_TX.h"
#include "data/TfrmDM.h"
#include "output/UiSheetOpener.h"
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
    BrowseSetup s = TfrmUH_Browse::ownerSetup(QStringLiteral("欠费提醒"), true);
    s.widths << BrowseColumnWidth{QStringLiteral("欠费年数"), 60} << BrowseColumnWidth{QStringLiteral("欠费金额"), 80};
    s.sums << BrowseFooterSum{QStringLiteral("欠费金额"), QStringLiteral("欠费金额：")};
    return s;
}

} // namespace

TfrmUH_TX::TfrmUH_TX(QWidget *parent)
    : TfrmUH_Browse(arrearsSetup(), parent)
{
    DateTimePicker1 = new DatePicker(this);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    extrasLayout()->addWidget(new QLabel(QStringLiteral("到期日期："), this));
    extrasLayout()->addWidget(DateTimePicker1);
    extrasLayout()->addStretch();
    // The reference date is a filter like the others: Enter in it runs "查询", and Tab
    // reaches it after the criteria, before the buttons.
    DateTimePicker1->installEventFilter(this);
    setTabOrder(Edit4, DateTimePicker1);
    // The check runs with the totals, off the window's thread, over the same houses.
    connect(figures(), &ListFigures::totalsReady, this, &TfrmUH_TX::refuseImpossibleAmounts);
    // Moving the picker recolours the rows at once; the figures wait for "查询".
    connect(DateTimePicker1, &DatePicker::dateChanged, DBGrid1->viewport(), qOverload<>(&QWidget::update));

    // FormCreate: the end of the charging period in the year of the charging date. A period
    // end that is no date in that year still leaves a usable picker, and says so.
    const auto d = ArrearsStatements::defaultReference(ChargeDate, PeriodEndMonth, PeriodEndDay);
    DateTimePicker1->setDateQuietly(d.date);
    if (!d.problem.isEmpty())
        showInfo(this, d.problem);
}

QDate TfrmUH_TX::reference() const { return DateTimePicker1->date(); }

QString TfrmUH_TX::whereStart() const { return ArrearsStatements::dateClause(reference()); }
QString TfrmUH_TX::listSql() const
{
    m_listedReference = reference();
    return ArrearsStatements::list(m_listedReference, myWhere);
}
QString TfrmUH_TX::totalsSql() const { return ArrearsStatements::totals(reference(), myWhere); }

QColor TfrmUH_TX::rowTextColour(int row) const
{
    const int c = ADOQuery1->columnIndex(QStringLiteral("到期日期"));
    if (c < 0 || row < 0 || row >= ADOQuery1->rowCount())
        return {};
    return ArrearsStatements::isOverdue(ADOQuery1->text(row, c), reference()) ? QColor(255, 0, 0) : QColor();
}

void TfrmUH_TX::refuseImpossibleAmounts(const Rows &totals)
{
    guard(this, [&] {
        try {
            ArrearsStatements::checkAmounts(frmDM().db(), totals, m_listedReference, myWhere);
        } catch (const AppError &) {
            ADOQuery1->close();
            BitBtn3->setEnabled(false);
            Label3->setText(QStringLiteral("欠费金额："));
            throw;
        }
    });
}

void TfrmUH_TX::BitBtn3Click() { exportBrowseList(this, ExportLayouts::arrears()); }
