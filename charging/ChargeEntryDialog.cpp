#include "charging/TfrmUCharge_In.h"
#include "charging/ChargeLogic.h"
#include "data/Dates.h"
#include "data/TfrmDM.h"
#include "output/TfrmDMP.h"
#include "widgets/DatePicker.h"
#include "widgets/DialogParent.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// A period picker without a date shows this instead of its minimum date.
const QString NoDate = QStringLiteral("未设置");
} // namespace

TfrmUCharge_In::TfrmUCharge_In(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setWindowTitle(QStringLiteral("收费录入"));
    setFixedSize(760, 450);

    const auto label = [](const QString &text, QWidget *parent, QWidget *buddy = nullptr) {
        auto *l = new QLabel(text, parent);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (buddy)
            l->setBuddy(buddy);
        return l;
    };
    const auto unit = [](const QString &text, QWidget *parent) { return new QLabel(text, parent); };

    // 收费信息
    GroupBox1 = new QGroupBox(QStringLiteral("收费信息"), this);
    DateTimePicker1 = new DatePicker(GroupBox1);
    DBLookupComboBox1 = new LookupCombo(GroupBox1);
    Edit1 = new GbkLineEdit(GroupBox1);
    Label4 = new QLabel(QStringLiteral("录入房号后按回车键..."), GroupBox1);
    Label4->setStyleSheet(QStringLiteral("color: #b22222;"));
    auto *g1 = new QGridLayout(GroupBox1);
    g1->addWidget(label(QStringLiteral("收费日期："), GroupBox1, DateTimePicker1), 0, 0);
    g1->addWidget(DateTimePicker1, 0, 1);
    g1->addWidget(label(QStringLiteral("小区名称："), GroupBox1, DBLookupComboBox1), 0, 2);
    g1->addWidget(DBLookupComboBox1, 0, 3);
    g1->addWidget(label(QStringLiteral("房       号："), GroupBox1, Edit1), 0, 4);
    g1->addWidget(Edit1, 0, 5);
    g1->addWidget(Label4, 0, 6);
    g1->setColumnStretch(1, 1);
    g1->setColumnStretch(3, 1);
    g1->setColumnStretch(5, 1);

    // 业主信息: shows the looked-up house only.
    GroupBox2 = new QGroupBox(QStringLiteral("业主信息"), this);
    GbkLineEdit **houseBoxes[] = {&Edit2, &Edit3, &Edit4, &Edit5, &Edit6, &Edit7, &Edit8, &Edit9, &Edit10};
    const char *houseLabels[] = {"小区名称：", "房       号：", "面       积：", "房屋用途：", "单       价：",
                                 "到期日期：", "业主名称：", "手机号码：", "备       注："};
    const char *houseUnits[] = {"", "", "平方米", "", "元/年平方米", "", "", "", ""};
    auto *g2 = new QGridLayout(GroupBox2);
    for (int i = 0; i < 9; ++i) {
        *houseBoxes[i] = new GbkLineEdit(GroupBox2);
        const int row = i / 3, col = (i % 3) * 3;
        g2->addWidget(label(QString::fromUtf8(houseLabels[i]), GroupBox2, *houseBoxes[i]), row, col);
        g2->addWidget(*houseBoxes[i], row, col + 1);
        if (*houseUnits[i])
            g2->addWidget(unit(QString::fromUtf8(houseUnits[i]), GroupBox2), row, col + 2);
    }
    for (int c : {1, 4, 7})
        g2->setColumnStretch(c, 1);
    g2->setVerticalSpacing(10);
    GroupBox2->setEnabled(false);

    // 金额信息
    GroupBox3 = new QGroupBox(QStringLiteral("金额信息"), this);
    Edit11 = new GbkLineEdit(GroupBox3);
    Edit11->setByteLimit(2);
    Edit11->setAllowedChars(GbkLineEdit::DigitsMinus); // Edit11KeyPress
    DateTimePicker2 = new DatePicker(GroupBox3);
    DateTimePicker3 = new DatePicker(GroupBox3);
    Edit12 = new GbkLineEdit(GroupBox3);
    Edit12->setByteLimit(8);
    Edit12->setAllowedChars(GbkLineEdit::DigitsPoint); // Edit12KeyPress
    DBLookupComboBox2 = new LookupCombo(GroupBox3);
    DBLookupComboBox3 = new LookupCombo(GroupBox3);
    Edit13 = new GbkLineEdit(GroupBox3);
    Edit13->setByteLimit(50);
    Button1 = new QPushButton(QStringLiteral("收款金额取整"), GroupBox3);
    for (DatePicker *p : {DateTimePicker2, DateTimePicker3}) {
        p->setSpecialValueText(NoDate);
        p->calendarWidget()->installEventFilter(this);
    }
    auto *g3 = new QGridLayout(GroupBox3);
    g3->addWidget(label(QStringLiteral("收费年数："), GroupBox3, Edit11), 0, 0);
    g3->addWidget(Edit11, 0, 1);
    g3->addWidget(unit(QStringLiteral("年"), GroupBox3), 0, 2);
    g3->addWidget(label(QStringLiteral("起始日期："), GroupBox3, DateTimePicker2), 0, 3);
    g3->addWidget(DateTimePicker2, 0, 4);
    g3->addWidget(label(QStringLiteral("截至日期："), GroupBox3, DateTimePicker3), 0, 6);
    g3->addWidget(DateTimePicker3, 0, 7);
    g3->addWidget(label(QStringLiteral("收款金额："), GroupBox3, Edit12), 1, 0);
    g3->addWidget(Edit12, 1, 1);
    g3->addWidget(unit(QStringLiteral("元"), GroupBox3), 1, 2);
    g3->addWidget(label(QStringLiteral("收款方式："), GroupBox3, DBLookupComboBox2), 1, 3);
    g3->addWidget(DBLookupComboBox2, 1, 4);
    g3->addWidget(label(QStringLiteral("收  款  人："), GroupBox3, DBLookupComboBox3), 1, 6);
    g3->addWidget(DBLookupComboBox3, 1, 7);
    g3->addWidget(label(QStringLiteral("备       注："), GroupBox3, Edit13), 2, 0);
    g3->addWidget(Edit13, 2, 1, 1, 4);
    g3->addWidget(Button1, 2, 6, 1, 2);
    for (int c : {1, 4, 7})
        g3->setColumnStretch(c, 1);
    g3->setColumnMinimumWidth(5, 12);
    g3->setVerticalSpacing(10);

    CheckBox1 = new QCheckBox(QStringLiteral("连续新增"), this);
    CheckBox1->setChecked(true);
    BitBtn1 = new QPushButton(QStringLiteral("保存"), this);
    BitBtn2 = new QPushButton(QStringLiteral("退出"), this);
    // Enter belongs to the room number look-up: no button takes it.
    for (QPushButton *b : {BitBtn1, BitBtn2, Button1}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    BitBtn1->setMinimumWidth(90);
    BitBtn2->setMinimumWidth(90);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CheckBox1);
    buttons->addSpacing(20);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto *v = new QVBoxLayout(this);
    v->setSpacing(12);
    v->addWidget(GroupBox1);
    v->addWidget(GroupBox2);
    v->addWidget(GroupBox3);
    v->addStretch();
    v->addLayout(buttons);

    QWidget *order[] = {DateTimePicker1, DBLookupComboBox1, Edit1, Edit11, DateTimePicker2, DateTimePicker3,
                        Edit12, DBLookupComboBox2, DBLookupComboBox3, Edit13, CheckBox1, BitBtn1, BitBtn2, Button1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(Edit1, &QLineEdit::returnPressed, this, [this] { Edit1KeyPress(13); });
    connect(Edit11, &QLineEdit::textChanged, this, &TfrmUCharge_In::Edit11Change);
    connect(Button1, &QPushButton::clicked, this, &TfrmUCharge_In::Button1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmUCharge_In::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QWidget::close);

    FormCreate();
}

void TfrmUCharge_In::FormCreate()
{
    const QDate chargeDate = Dates::tryParse(ChargeDate);
    if (chargeDate.isValid())
        DateTimePicker1->setDateQuietly(chargeDate);
    guard(this, [&] {
        DBLookupComboBox1->bind(frmDM().DBComSArea());
        DBLookupComboBox2->bind(frmDM().DBComSMType());
        DBLookupComboBox3->bind(frmDM().DBComSUser());
    });
}

void TfrmUCharge_In::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmUCharge_In::FormShow()
{
    DBLookupComboBox1->setKeyValue(DefaultAreaName);
    DBLookupComboBox2->setKeyValue(DefaultPaymentMethod);
    DBLookupComboBox3->setKeyValue(CurrentUserName);
    Edit1->setFocus();
}

bool TfrmUCharge_In::eventFilter(QObject *watched, QEvent *event)
{
    // A picker without a date would open its calendar at its minimum date; it opens at
    // the charging date's month instead.
    if (event->type() == QEvent::Show) {
        for (DatePicker *p : {DateTimePicker2, DateTimePicker3}) {
            if (watched == p->calendarWidget() && periodUnset(p)) {
                const QDate d = Dates::tryParse(ChargeDate).isValid() ? Dates::tryParse(ChargeDate) : QDate::currentDate();
                p->calendarWidget()->setCurrentPage(d.year(), d.month());
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TfrmUCharge_In::periodUnset(const DatePicker *picker) const
{
    return picker->date() == picker->minimumDate();
}

void TfrmUCharge_In::clearPeriod()
{
    DateTimePicker2->setDateQuietly(DateTimePicker2->minimumDate());
    DateTimePicker3->setDateQuietly(DateTimePicker3->minimumDate());
}

void TfrmUCharge_In::Edit1KeyPress(int key)
{
    if (key != 13)
        return;
    guard(this, [&] {
        if (DBLookupComboBox1->text().isEmpty()) {
            showInfo(this, QStringLiteral("小区名称 不能为空！"));
            DBLookupComboBox1->setFocus();
            return;
        }
        ADOQuery1 = ChargeLogic::lookUpHouse(DBLookupComboBox1->text(), Edit1->text());
        if (ADOQuery1.rowCount() != 1) {
            showInfo(this, QStringLiteral("业主信息 不存在，请重新录入房号！"));
            myNew();
            Edit1->setFocus();
            return;
        }
        const ChargeLogic::House h = ChargeLogic::houseAt(ADOQuery1);
        HouseId = h.id;
        Edit2->setText(h.area);
        Edit3->setText(h.room);
        Edit4->setText(h.floorArea);
        Edit5->setText(h.purpose);
        Edit6->setText(h.unitPrice);
        Edit7->setText(h.paidUp);
        Edit8->setText(h.owner);
        Edit9->setText(h.phone);
        Edit10->setText(h.remark);

        const QDate paidUp = ChargeLogic::paidUpDate(h.paidUp);
        if (paidUp.isValid()) {
            DateTimePicker2->setDateQuietly(paidUp.addDays(1));
            DateTimePicker3->setDateQuietly(paidUp.addYears(1));
        } else {
            // No period can be worked out, and the dates of an earlier house are none of
            // this one's: the pickers show no date until the operator sets them.
            clearPeriod();
        }
        // The computation runs for one year also when the box already shows "1".
        if (Edit11->text() == QLatin1String("1"))
            Edit11Change();
        else
            Edit11->setText(QStringLiteral("1"));

        if (paidUp.isValid()) {
            Edit11->setFocus();
        } else {
            showInfo(this, QStringLiteral("该业主的到期日期为空或不是有效的日期，请手工选择起始日期和截至日期！"));
            DateTimePicker2->setFocus();
        }
    });
}

void TfrmUCharge_In::Edit11Change()
{
    guard(this, [&] {
        const ChargeLogic::Proposal p = ChargeLogic::propose(Edit11->text(), Edit4->text(), Edit6->text(), Edit7->text());
        Edit12->setText(p.amount);
        if (p.hasPeriod) {
            DateTimePicker2->setDateQuietly(p.start);
            DateTimePicker3->setDateQuietly(p.end);
        }
    });
}

void TfrmUCharge_In::Button1Click()
{
    guard(this, [&] { Edit12->setText(ChargeLogic::roundToYuan(Edit12->text())); });
}

QString TfrmUCharge_In::myNum()
{
    return ChargeLogic::myNum();
}

void TfrmUCharge_In::BitBtn1Click()
{
    guard(this, [&] {
        if (HouseId.isEmpty()) {
            showInfo(this, QStringLiteral("业主信息 不能为空，请重新选择！"));
            Edit1->setFocus();
            return;
        }
        if (DBLookupComboBox1->text().isEmpty()) {
            showInfo(this, QStringLiteral("小区名称 不能为空，请重新选择！"));
            DBLookupComboBox1->setFocus();
            return;
        }
        if (Edit11->text().isEmpty()) {
            showInfo(this, QStringLiteral("收费年数 不能为空，请重新录入！"));
            Edit11->setFocus();
            return;
        }
        if (periodUnset(DateTimePicker2)) {
            showInfo(this, QStringLiteral("起始日期 不能为空，请重新选择！"));
            DateTimePicker2->setFocus();
            return;
        }
        if (periodUnset(DateTimePicker3)) {
            showInfo(this, QStringLiteral("截至日期 不能为空，请重新选择！"));
            DateTimePicker3->setFocus();
            return;
        }
        if (const QString refusal = ChargeLogic::methodRefusal(DBLookupComboBox2->text()); !refusal.isEmpty()) {
            showInfo(this, refusal);
            DBLookupComboBox2->setFocus();
            return;
        }

        ChargeLogic::Payment p;
        p.houseId = HouseId;
        p.chargingDate = DateTimePicker1->text();
        p.area = Edit2->text();
        p.room = Edit3->text();
        p.floorArea = Edit4->text();
        p.unitPrice = Edit6->text();
        p.owner = Edit8->text();
        p.years = Edit11->text();
        p.startDate = DateTimePicker2->text();
        p.endDate = DateTimePicker3->text();
        p.amount = Edit12->text();
        p.paymentMethod = DBLookupComboBox2->text();
        p.payee = DBLookupComboBox3->text();
        p.remark = Edit13->text();
        p.lookedUpPaidUp = Edit7->text();
        const QString number = ChargeLogic::save(p);

        // The payment is stored: a printing failure is shown and the window carries on as
        // after a successful save, so that "保存" cannot store the same payment twice. The
        // receipt can be printed again from charge management. The preview belongs to this
        // window, whatever else came and went while the payment waited to be stored.
        guard(this, [&] {
            const AskingWindow asking(this);
            frmDMP().PrintCNF(number);
        });

        if (CheckBox1->isChecked()) {
            myNew();
            Edit1->setFocus();
        } else {
            showInfo(this, QStringLiteral("收费信息 保存成功！"));
            accept();
        }
    });
}

void TfrmUCharge_In::myNew()
{
    HouseId.clear();
    for (GbkLineEdit *e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11, Edit12, Edit13})
        e->clear();
}
