#include "owners/OwnerDialog.h"
#include "data/DataModule.h"
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

OwnerDialog::OwnerDialog(const QString &caption, const QString &priceUnit, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setWindowTitle(caption);
    setFixedSize(760, 230);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    setFont(f);

    ownerGroup = new QGroupBox(QStringLiteral("业主信息"), this);
    areaBox = new LookupCombo(ownerGroup);
    roomEdit = new GbkLineEdit(ownerGroup);
    roomEdit->setByteLimit(12);
    floorAreaEdit = new GbkLineEdit(ownerGroup);
    floorAreaEdit->setByteLimit(8);
    floorAreaEdit->setAllowedChars(GbkLineEdit::DigitsPoint);
    purposeBox = new LookupCombo(ownerGroup);
    priceEdit = new GbkLineEdit(ownerGroup);
    priceEdit->setByteLimit(6);
    priceEdit->setAllowedChars(GbkLineEdit::DigitsPoint);
    paidUpPicker = new DatePicker(ownerGroup);
    ownerEdit = new GbkLineEdit(ownerGroup);
    ownerEdit->setByteLimit(20);
    phoneEdit = new GbkLineEdit(ownerGroup);
    phoneEdit->setByteLimit(12);
    phoneEdit->setAllowedChars(GbkLineEdit::Digits);
    remarkEdit = new GbkLineEdit(ownerGroup);
    remarkEdit->setByteLimit(50);
    priceUnitLabel = new QLabel(priceUnit, ownerGroup);

    struct Cell {
        const char *label;
        QWidget *box;
        QWidget *unit;
    };
    const Cell cells[] = {
        {"小区名称：", areaBox, nullptr},
        {"房       号：", roomEdit, nullptr},
        {"面       积：", floorAreaEdit, new QLabel(QStringLiteral("平方米"), ownerGroup)},
        {"房屋用途：", purposeBox, nullptr},
        {"单       价：", priceEdit, priceUnitLabel},
        {"到期日期：", paidUpPicker, nullptr},
        {"业主名称：", ownerEdit, nullptr},
        {"手机号码：", phoneEdit, nullptr},
        {"备       注：", remarkEdit, nullptr},
    };
    auto *grid = new QGridLayout(ownerGroup);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(10);
    QWidget *previous = nullptr;
    for (int i = 0; i < 9; ++i) {
        const Cell &c = cells[i];
        auto *label = new QLabel(QString::fromUtf8(c.label), ownerGroup);
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

    saveButton = new QPushButton(QStringLiteral("保存"), this);
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    for (QPushButton *b : {saveButton, closeButton}) {
        b->setAutoDefault(false);
        b->setMinimumSize(80, 30);
    }
    auto *buttons = new QHBoxLayout;
    m_buttons = buttons;
    buttons->addStretch();
    buttons->addWidget(saveButton);
    buttons->addWidget(closeButton);
    setTabOrder(previous, saveButton);
    setTabOrder(saveButton, closeButton);

    auto *v = new QVBoxLayout(this);
    v->addWidget(ownerGroup);
    v->addLayout(buttons);

    connect(purposeBox, &LookupCombo::picked, this, &OwnerDialog::lookUpPrice);
    connect(saveButton, &QPushButton::clicked, this, &OwnerDialog::save);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    loadLists();
}

void OwnerDialog::loadLists()
{
    m_periodEnd = OwnerEntry::periodEnd(ChargeDate, PeriodEndMonth, PeriodEndDay);
    paidUpPicker->setDateQuietly(m_periodEnd.date);
    guard(this, [&] {
        areaBox->bind(dataModule().areaList());
        purposeBox->bind(dataModule().purposeList());
    });
}

void OwnerDialog::lookUpPrice()
{
    guard(this, [&] { priceEdit->setText(OwnerEntry::priceOf(purposeBox->text())); });
}

House OwnerDialog::house() const
{
    House h;
    h.area = areaBox->text();
    h.room = roomEdit->text();
    h.floorArea = floorAreaEdit->text();
    h.purpose = purposeBox->text();
    h.price = priceEdit->text();
    h.endDate = paidUpPicker->text();
    h.owner = ownerEdit->text();
    h.phone = phoneEdit->text();
    h.remark = remarkEdit->text();
    return h;
}

QWidget *OwnerDialog::boxOf(OwnerEntry::Field field) const
{
    switch (field) {
    case OwnerEntry::AreaField:
        return areaBox;
    case OwnerEntry::RoomField:
        return roomEdit;
    case OwnerEntry::FloorAreaField:
        return floorAreaEdit;
    case OwnerEntry::PurposeField:
        return purposeBox;
    case OwnerEntry::PriceField:
        return priceEdit;
    case OwnerEntry::OwnerField:
        return ownerEdit;
    case OwnerEntry::NoField:
        break;
    }
    return nullptr;
}

bool OwnerDialog::checkRequired()
{
    const OwnerEntry::Field empty = OwnerEntry::firstEmpty(house());
    if (empty == OwnerEntry::NoField)
        return true;
    showInfo(this, OwnerEntry::emptyMessage(empty));
    boxOf(empty)->setFocus();
    return false;
}
