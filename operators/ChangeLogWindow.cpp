#include "operators/ChangeLogWindow.h"
#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "output/UiSheetOpener.h"
#include "widgets/DatePicker.h"
#include "widgets/DialogRunner.h"
#include "widgets/Guard.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

BrowseSetup logSetup()
{
    BrowseSetup s;
    s.caption = QStringLiteral("操作记录");
    s.criteria = {
        // The date part of the record's time.
        {BrowseCriterion::DateRange, QStringLiteral("日       期"), QStringLiteral("SUBSTR(theTime, 1, 10)"), nullptr, 0},
        {BrowseCriterion::Lookup, QStringLiteral("操  作  员"), QStringLiteral("UName"), &DataModule::operatorList, 0},
        {BrowseCriterion::Text, QStringLiteral("操       作"), QStringLiteral("theAction"), nullptr, 1},
        {BrowseCriterion::Text, QStringLiteral("房       号"), QStringLiteral("HNum"), nullptr, 1},
    };
    s.excel = true;
    s.widths = {{QStringLiteral("时间"), 130}, {QStringLiteral("变更内容"), 420}};
    s.fillColumn = QStringLiteral("变更内容");
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
    connect(listGrid, &QAbstractItemView::doubleClicked, this, &ChangeLogWindow::showRecord);
}

void ChangeLogWindow::keyPressEvent(QKeyEvent *event)
{
    // The grid passes Enter on.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier
        && focusWidget() == listGrid) {
        showRecord();
        return;
    }
    BrowseWindow::keyPressEvent(event);
}

void ChangeLogWindow::showRecord()
{
    guard(this, [&] {
        if (currentRow() < 0)
            return;
        QList<QPair<QString, QString>> fields;
        for (const char *caption : {"时间", "操作员", "收费日期", "操作", "小区名称", "房号", "记录号"})
            fields << qMakePair(QString::fromUtf8(caption), currentValue(QString::fromUtf8(caption)));
        ChangeRecordDialog dialog(this, fields, currentValue(QStringLiteral("变更内容")));
        runModal(&dialog);
    });
}

ChangeRecordDialog::ChangeRecordDialog(QWidget *parent, const QList<QPair<QString, QString>> &fields,
                                       const QString &change)
    : FixedDialog(parent, QStringLiteral("操作记录"), 560, 420)
{
    auto *form = new QFormLayout;
    for (const auto &f : fields) {
        auto *value = new QLabel(f.second, this);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(f.first + QStringLiteral("："), value);
    }
    changeText = new QPlainTextEdit(change, this);
    changeText->setObjectName(QStringLiteral("changeText"));
    changeText->setReadOnly(true);
    changeText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    form->addRow(QStringLiteral("变更内容："), changeText);
    closeButton = new QPushButton(QStringLiteral("关闭"), this);
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(closeButton);
    buttons->addStretch();
    auto *v = new QVBoxLayout(this);
    v->addLayout(form, 1);
    v->addLayout(buttons);
    changeText->setFocus();
}

QString ChangeLogWindow::listSql() const { return ChangeLog::list(conditions); }
QString ChangeLogWindow::countSql(const QString &) const { return ChangeLog::count(conditions); }

void ChangeLogWindow::exportToExcel() { exportBrowseList(this, changeLogLayout()); }

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
