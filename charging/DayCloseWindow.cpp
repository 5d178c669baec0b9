#include "charging/DayCloseWindow.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "db/Dates.h"
#include "charging/DayCloseReport.h"
#include "output/UiSheetOpener.h"
#include "report/ReportPresenter.h"
#include "widgets/DatePicker.h"
#include "widgets/DialogParent.h"
#include "widgets/Guard.h"
#include "widgets/RowsModel.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {
const QString AllOperators = QStringLiteral("全部");
}

DayCloseWindow::DayCloseWindow(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("收费日报"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    setFont(f);
    resize(1000, 560);

    QDate charging = Dates::tryParse(ChargeDate);
    if (!charging.isValid())
        charging = QDate::currentDate();
    fromPicker = new DatePicker(this);
    toPicker = new DatePicker(this);
    fromPicker->setDateQuietly(charging);
    toPicker->setDateQuietly(charging);
    operatorBox = new QComboBox(this);
    operatorBox->setMinimumWidth(130);
    operatorBox->addItem(AllOperators);
    guard(this, [&] {
        operatorBox->addItems(dataModule().operatorList()->stringList());
        // A cashier sees their own close only.
        if (!Roles::currentMay(Roles::Action::AnyDayClose)) {
            operatorBox->clear();
            operatorBox->addItem(CurrentUserName);
        }
    });

    queryButton = new QPushButton(QStringLiteral("查询"), this);
    printButton = new QPushButton(QStringLiteral("打印"), this);
    excelButton = new QPushButton(QStringLiteral("Excel"), this);
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    queryButton->setDefault(true);
    for (QPushButton *b : {queryButton, printButton, excelButton, closeButton}) {
        b->setMinimumSize(80, 30);
        b->setAutoDefault(false);
    }

    auto *top = new QHBoxLayout;
    auto *dateLabel = new QLabel(QStringLiteral("收费日期："), this);
    dateLabel->setBuddy(fromPicker);
    top->addWidget(dateLabel);
    top->addWidget(fromPicker);
    top->addWidget(new QLabel(QStringLiteral("至："), this));
    top->addWidget(toPicker);
    top->addSpacing(16);
    auto *operatorLabel = new QLabel(QStringLiteral("收费员："), this);
    operatorLabel->setBuddy(operatorBox);
    top->addWidget(operatorLabel);
    top->addWidget(operatorBox);
    top->addSpacing(16);
    for (QPushButton *b : {queryButton, printButton, excelButton, closeButton})
        top->addWidget(b);
    top->addStretch(1);

    rows = new RowsModel(this);
    grid = new QTableView(this);
    grid->setModel(rows);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(false);
    grid->verticalHeader()->setDefaultSectionSize(22);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(true);

    totalsLabel = new QLabel(this);
    wordsLabel = new QLabel(this);
    QFont bold = font();
    bold.setBold(true);
    wordsLabel->setFont(bold);

    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(6, 6, 6, 4);
    v->addLayout(top);
    v->addWidget(grid, 1);
    v->addWidget(totalsLabel);
    v->addWidget(wordsLabel);

    connect(queryButton, &QPushButton::clicked, this, &DayCloseWindow::runQuery);
    connect(printButton, &QPushButton::clicked, this, &DayCloseWindow::printReport);
    connect(excelButton, &QPushButton::clicked, this, &DayCloseWindow::exportToExcel);
    connect(closeButton, &QPushButton::clicked, this, &DayCloseWindow::closeWindow);
    // The keyboard reaches the buttons without the mouse, as it reaches every menu.
    queryButton->setShortcut(QKeySequence(Qt::Key_F5));
    printButton->setShortcut(QKeySequence(QKeySequence::Print));
    excelButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    queryButton->setToolTip(QStringLiteral("F5"));
    printButton->setToolTip(QStringLiteral("Ctrl+P"));
    excelButton->setToolTip(QStringLiteral("Ctrl+E"));

    // The window opens on the close of the charging date, for all operators.
    refresh();
}

DayClose::Criteria DayCloseWindow::criteria() const
{
    DayClose::Criteria c;
    c.from = fromPicker->date();
    c.to = toPicker->date();
    if (operatorBox->currentText() != AllOperators)
        c.operatorName = operatorBox->currentText();
    return c;
}

bool DayCloseWindow::refresh()
{
    return guard(this, [&] {
        m_report = DayClose::build(criteria());
        rows->setRows(DayClose::asRows(m_report));
        grid->resizeColumnsToContents();
        totalsLabel->setText(QStringLiteral("收款合计：%1 笔  %2 元        作废合计：%3 笔  %4 元        实收合计：%5 元")
                                 .arg(m_report.paymentCount)
                                 .arg(m_report.paymentTotal)
                                 .arg(m_report.voidCount)
                                 .arg(m_report.voidTotal, m_report.net));
        wordsLabel->setText(QStringLiteral("实收合计大写：") + m_report.netInWords);
    });
}

void DayCloseWindow::runQuery() { refresh(); }

void DayCloseWindow::printReport()
{
    // What prints is always the close of the dates and operator shown in the boxes.
    if (!refresh())
        return;
    guard(this, [&] {
        ReportPresenter *presenter = report::presenter();
        if (!presenter)
            throw AppError(QStringLiteral("打印预览不可用，无法打印收费日报"));
        const AskingWindow asking(this);
        presenter->presentPages(DayCloseReport::pages(m_report, UnitName, QDateTime::currentDateTime()));
    });
}

void DayCloseWindow::exportToExcel()
{
    if (!refresh())
        return;
    guard(this, [&] {
        Rows list = DayClose::asRows(m_report);
        RowsExportSource source(list);
        presentExport(DayCloseReport::layout(m_report), source, DayClose::totalsRow(m_report),
                      DayCloseReport::fileName(m_report), this);
    });
}

void DayCloseWindow::closeWindow()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}
