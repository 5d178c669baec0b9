#include "charging/VoidDialog.h"
#include "data/DataModule.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/RowsModel.h"
#include "widgets/Seams.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {
const char *const Captions[12] = {"单       号：", "收费日期：", "小区名称：", "房       号：", "业主名称：", "收费年数：",
                                  "起始日期：",   "截止日期：", "收款金额：", "收款方式：", "收  款  人：", "到期日期："};
}

VoidDialog::VoidDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setWindowTitle(QStringLiteral("收费作废"));
    resize(820, 440);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    setFont(f);

    // Left: the receipt number and the charging date's payments to pick from.
    auto *findBox = new QGroupBox(QStringLiteral("收据"), this);
    auto *numberLabel = new QLabel(QStringLiteral("收据单号："), findBox);
    numberEdit = new QLineEdit(findBox);
    numberLabel->setBuddy(numberEdit);
    auto *hint = new QLabel(QStringLiteral("录入单号后按回车键，或在下表中选择本收费日期（%1）的收费").arg(ChargeDate), findBox);
    hint->setWordWrap(true);
    todayRows = new RowsModel(this);
    todayGrid = new QTableView(findBox);
    todayGrid->setModel(todayRows);
    todayGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    todayGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    todayGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    todayGrid->setTabKeyNavigation(false);
    todayGrid->verticalHeader()->setDefaultSectionSize(20);
    todayGrid->verticalHeader()->hide();
    auto *numberRow = new QHBoxLayout;
    numberRow->addWidget(numberLabel);
    numberRow->addWidget(numberEdit, 1);
    auto *left = new QVBoxLayout(findBox);
    left->addLayout(numberRow);
    left->addWidget(hint);
    left->addWidget(todayGrid, 1);

    // Right: the payment and what the void does.
    auto *paymentBox = new QGroupBox(QStringLiteral("收费信息"), this);
    auto *grid = new QGridLayout(paymentBox);
    for (int i = 0; i < 12; ++i) {
        auto *caption = new QLabel(QString::fromUtf8(Captions[i]), paymentBox);
        paymentLabels[i] = new QLabel(paymentBox);
        paymentLabels[i]->setMinimumWidth(120);
        paymentLabels[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(caption, i / 2, (i % 2) * 2);
        grid->addWidget(paymentLabels[i], i / 2, (i % 2) * 2 + 1);
    }
    refusalLabel = new QLabel(paymentBox);
    refusalLabel->setWordWrap(true);
    refusalLabel->setStyleSheet(QStringLiteral("color: #c00000;"));
    grid->addWidget(refusalLabel, 6, 0, 1, 4);
    auto *reasonLabel = new QLabel(QStringLiteral("作废原因："), paymentBox);
    reasonEdit = new GbkLineEdit(paymentBox);
    reasonEdit->setByteLimit(100);
    reasonEdit->setPlaceholderText(QStringLiteral("必填，例如：收费年数录错"));
    reasonLabel->setBuddy(reasonEdit);
    grid->addWidget(reasonLabel, 7, 0);
    grid->addWidget(reasonEdit, 7, 1, 1, 3);
    auto *required = new QLabel(QStringLiteral("作废原因必须填写；作废后收据单号不再使用，该户到期日期退回到本次收费起始日期的前一天。"),
                                paymentBox);
    required->setWordWrap(true);
    grid->addWidget(required, 8, 0, 1, 4);
    // Another 管理员 approves where the void needs it, typing their own password.
    approverBox = new QComboBox(paymentBox);
    approverPasswordEdit = new GbkLineEdit(paymentBox);
    approverPasswordEdit->setByteLimit(12);
    approverPasswordEdit->setPasswordMode();
    approverBox->setEnabled(false);
    approverPasswordEdit->setEnabled(false);
    auto *approverLabel = new QLabel(QStringLiteral("批准人："), paymentBox);
    approverLabel->setBuddy(approverBox);
    auto *passwordLabel = new QLabel(QStringLiteral("批准人密码："), paymentBox);
    passwordLabel->setBuddy(approverPasswordEdit);
    grid->addWidget(approverLabel, 9, 0);
    grid->addWidget(approverBox, 9, 1);
    grid->addWidget(passwordLabel, 9, 2);
    grid->addWidget(approverPasswordEdit, 9, 3);
    grid->setRowStretch(10, 1);

    voidButton = new QPushButton(QStringLiteral("作废"), this);
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    for (QPushButton *b : {voidButton, closeButton}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(75);
    }
    voidButton->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(voidButton);
    buttons->addWidget(closeButton);

    auto *body = new QHBoxLayout;
    body->addWidget(findBox, 2);
    body->addWidget(paymentBox, 3);
    auto *main = new QVBoxLayout(this);
    main->addLayout(body, 1);
    main->addLayout(buttons);

    connect(voidButton, &QPushButton::clicked, this, &VoidDialog::voidPayment);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(todayGrid, &QTableView::activated, this, &VoidDialog::pickFromList);
    connect(todayGrid, &QTableView::clicked, this, &VoidDialog::pickFromList);
    numberEdit->installEventFilter(this);

    if (parent)
        move(parent->geometry().center() - rect().center());
    clearPayment();
    refreshList();
    numberEdit->setFocus();
}

bool VoidDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == numberEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            findPayment();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void VoidDialog::refreshList()
{
    guard(this, [&] {
        todayRows->setRows(PaymentVoid::paymentsOf(ChargeDate));
        todayGrid->resizeColumnsToContents();
    });
}

void VoidDialog::clearPayment()
{
    m_payment = PaymentVoid::Payment();
    m_paidUpAfter.clear();
    for (QLabel *l : paymentLabels)
        l->clear();
    refusalLabel->clear();
    voidButton->setEnabled(false);
    approverBox->clear();
    approverPasswordEdit->clear();
    approverBox->setEnabled(false);
    approverPasswordEdit->setEnabled(false);
}

void VoidDialog::showPayment(const PaymentVoid::Payment &p, const QString &paidUpAfter, const QString &refusal)
{
    m_payment = p;
    m_paidUpAfter = paidUpAfter;
    const QString values[12] = {p.number, p.paymentDate, p.area, p.room, p.owner, p.years, p.startDate, p.endDate,
                                p.amount + QStringLiteral(" 元"), p.method, p.payee,
                                paidUpAfter.isEmpty() ? QString() : p.endDate + QStringLiteral(" → ") + paidUpAfter};
    for (int i = 0; i < 12; ++i)
        paymentLabels[i]->setText(values[i]);
    refusalLabel->setText(refusal);
    voidButton->setEnabled(refusal.isEmpty());
    const bool approval = refusal.isEmpty() && PaymentVoid::needsApproval(p);
    approverBox->clear();
    if (approval)
        approverBox->addItems(PaymentVoid::approvers());
    approverBox->setEnabled(approval);
    approverPasswordEdit->setEnabled(approval);
}

void VoidDialog::findPayment()
{
    clearPayment();
    guard(this, [&] {
        const PaymentVoid::Payment p = PaymentVoid::find(numberEdit->text());
        // The payment is shown also when it cannot be voided, with the reason beside it.
        try {
            const PaymentVoid::Result r = PaymentVoid::check(p.number);
            showPayment(p, r.paidUpAfter, {});
            reasonEdit->setFocus();
        } catch (const AppError &e) {
            showPayment(p, {}, withFullStop(e.message()));
        }
    });
}

void VoidDialog::pickFromList()
{
    const QModelIndex i = todayGrid->currentIndex();
    if (!i.isValid())
        return;
    numberEdit->setText(todayRows->rows().at(i.row(), 0));
    findPayment();
}

void VoidDialog::voidPayment()
{
    guard(this, [&] {
        if (m_payment.number.isEmpty()) {
            showInfo(this, QStringLiteral("收据单号 不能为空，请重新录入！"));
            numberEdit->setFocus();
            return;
        }
        if (reasonEdit->text().trimmed().isEmpty()) {
            showInfo(this, QStringLiteral("作废原因 不能为空！"));
            reasonEdit->setFocus();
            return;
        }
        const QString question = QStringLiteral("确认要作废收据 %1 吗？\n%2 %3 %4，金额 %5 元；该户到期日期将由 %6 退回到 %7。\n作废后不可恢复！")
                                     .arg(m_payment.number, m_payment.area, m_payment.room, m_payment.owner,
                                          m_payment.amount, m_payment.endDate, m_paidUpAfter);
        if (!messages().question(this, QStringLiteral("作废"), question, false))
            return;
        const PaymentVoid::Approval approval = approverBox->isEnabled()
            ? PaymentVoid::Approval{approverBox->currentText(), approverPasswordEdit->text()}
            : PaymentVoid::Approval{};
        const PaymentVoid::Result r = PaymentVoid::run(m_payment.number, reasonEdit->text(), approval);
        showInfo(this, QStringLiteral("收据 %1 已作废，该户到期日期已退回到 %2！").arg(r.payment.number, r.paidUpAfter));
        numberEdit->clear();
        reasonEdit->clear();
        clearPayment();
        refreshList();
        numberEdit->setFocus();
    });
}
