#include "owners/TfrmUH_Edit.h"
#include "data/TfrmDM.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmUH_Edit::TfrmUH_Edit(const QString &caption, const QString &priceUnit, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setWindowTitle(caption);
    setFixedSize(760, 230);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    setFont(f);

    GroupBox1 = new QGroupBox(QStringLiteral("业主信息"), this);
    DBLookupComboBox1 = new LookupCombo(GroupBox1);
    Edit1 = new GbkLineEdit(GroupBox1);
    Edit1->setByteLimit(12);
    Edit2 = new GbkLineEdit(GroupBox1);
    Edit2->setByteLimit(8);
    Edit2->setAllowedChars(GbkLineEdit::DigitsPoint);
    DBLookupComboBox2 = new LookupCombo(GroupBox1);
    Edit3 = new GbkLineEdit(GroupBox1);
    Edit3->setByteLimit(6);
    Edit3->setAllowedChars(GbkLineEdit::DigitsPoint);
    DateTimePicker1 = new DatePicker(GroupBox1);
    Edit4 = new GbkLineEdit(GroupBox1);
    Edit4->setByteLimit(20);
    Edit5 = new GbkLineEdit(GroupBox1);
    Edit5->setByteLimit(12);
    Edit5->setAllowedChars(GbkLineEdit::Digits);
    Edit6 = new GbkLineEdit(GroupBox1);
    Edit6->setByteLimit(50);
    PriceUnit = new QLabel(priceUnit, GroupBox1);

    struct Cell {
        const char *label;
        QWidget *box;
        QWidget *unit;
    };
    const Cell cells[] = {
        {"小区名称：", DBLookupComboBox1, nullptr},
        {"房       号：", Edit1, nullptr},
        {"面       积：", Edit2, new QLabel(QStringLiteral("平方米"), GroupBox1)},
        {"房屋用途：", DBLookupComboBox2, nullptr},
        {"单       价：", Edit3, PriceUnit},
        {"到期日期：", DateTimePicker1, nullptr},
        {"业主名称：", Edit4, nullptr},
        {"手机号码：", Edit5, nullptr},
        {"备       注：", Edit6, nullptr},
    };
    auto *grid = new QGridLayout(GroupBox1);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(10);
    QWidget *previous = nullptr;
    for (int i = 0; i < 9; ++i) {
        const Cell &c = cells[i];
        auto *label = new QLabel(QString::fromUtf8(c.label), GroupBox1);
        label->setBuddy(c.box);
        c.box->setFixedWidth(i == 8 ? 150 : 120);
        const int row = i / 3;
        const int col = (i % 3) * 3;
        grid->addWidget(label, row, col);
        grid->addWidget(c.box, row, col + 1);
        if (c.unit)
            grid->addWidget(c.unit, row, col + 2);
        if (previous)
            setTabOrder(previous, c.box);
        previous = c.box;
    }
    grid->setColumnMinimumWidth(2, 12);
    grid->setColumnMinimumWidth(5, 76);
    grid->setColumnStretch(9, 1);

    BitBtn1 = new QPushButton(QStringLiteral("保存"), this);
    BitBtn2 = new QPushButton(QStringLiteral("退出"), this);
    for (QPushButton *b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
        b->setMinimumSize(80, 30);
    }
    auto *buttons = new QHBoxLayout;
    m_buttons = buttons;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    setTabOrder(previous, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    auto *v = new QVBoxLayout(this);
    v->addWidget(GroupBox1);
    v->addLayout(buttons);

    connect(DBLookupComboBox2, &LookupCombo::picked, this, &TfrmUH_Edit::DBLookupComboBox2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmUH_Edit::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
}

void TfrmUH_Edit::FormCreate()
{
    m_periodEnd = OwnerEntry::periodEnd(ChargeDate, PeriodEndMonth, PeriodEndDay);
    DateTimePicker1->setDateQuietly(m_periodEnd.date);
    guard(this, [&] {
        DBLookupComboBox1->bind(frmDM().DBComSArea());
        DBLookupComboBox2->bind(frmDM().DBComSPrice());
    });
}

void TfrmUH_Edit::DBLookupComboBox2Click()
{
    guard(this, [&] { Edit3->setText(OwnerEntry::priceOf(DBLookupComboBox2->text())); });
}

House TfrmUH_Edit::house() const
{
    House h;
    h.area = DBLookupComboBox1->text();
    h.room = Edit1->text();
    h.floorArea = Edit2->text();
    h.purpose = DBLookupComboBox2->text();
    h.price = Edit3->text();
    h.endDate = DateTimePicker1->text();
    h.owner = Edit4->text();
    h.phone = Edit5->text();
    h.remark = Edit6->text();
    return h;
}

QWidget *TfrmUH_Edit::boxOf(OwnerEntry::Field field) const
{
    switch (field) {
    case OwnerEntry::AreaField:
        return DBLookupComboBox1;
    case OwnerEntry::RoomField:
        return Edit1;
    case OwnerEntry::FloorAreaField:
        return Edit2;
    case OwnerEntry::PurposeField:
        return DBLookupComboBox2;
    case OwnerEntry::PriceField:
        return Edit3;
    case OwnerEntry::OwnerField:
        return Edit4;
    case OwnerEntry::NoField:
        break;
    }
    return nullptr;
}

bool TfrmUH_Edit::checkRequired()
{
    const OwnerEntry::Field empty = OwnerEntry::firstEmpty(house());
    if (empty == OwnerEntry::NoField)
        return true;
    showInfo(this, OwnerEntry::emptyMessage(empty));
    boxOf(empty)->setFocus();
    return false;
}
