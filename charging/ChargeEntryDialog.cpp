#include "charging/ChargeEntryDialog.h"
#include "charging/ChargeDesk.h"
#include "charging/ChargeLogic.h"
#include "charging/HousePickDialog.h"
#include "db/CaseFold.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "db/Dates.h"
#include "output/PrintModule.h"
#include "widgets/DatePicker.h"
#include "widgets/DialogParent.h"
#include "widgets/DialogRunner.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QColor>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <utility>

namespace {
// A period picker without a date shows this instead of its minimum date.
const QString NoDate = QStringLiteral("未设置");
} // namespace

ChargeEntryDialog::ChargeEntryDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setWindowTitle(QStringLiteral("收费录入"));
    setFixedSize(760, 640);

    const auto label = [](const QString &text, QWidget *parent, QWidget *buddy = nullptr) {
        auto *l = new QLabel(text, parent);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (buddy)
            l->setBuddy(buddy);
        return l;
    };
    const auto unit = [](const QString &text, QWidget *parent) { return new QLabel(text, parent); };

    // 收费信息
    chargeGroup = new QGroupBox(QStringLiteral("收费信息"), this);
    chargeDatePicker = new DatePicker(chargeGroup);
    areaBox = new LookupCombo(chargeGroup);
    roomEdit = new GbkLineEdit(chargeGroup);
    roomHint = new QLabel(QStringLiteral("录入房号后按回车键..."), chargeGroup);
    roomHint->setStyleSheet(QStringLiteral("color: #b22222;"));
    auto *g1 = new QGridLayout(chargeGroup);
    g1->addWidget(label(QStringLiteral("收费日期："), chargeGroup, chargeDatePicker), 0, 0);
    g1->addWidget(chargeDatePicker, 0, 1);
    g1->addWidget(label(QStringLiteral("小区名称："), chargeGroup, areaBox), 0, 2);
    g1->addWidget(areaBox, 0, 3);
    g1->addWidget(label(QStringLiteral("房       号："), chargeGroup, roomEdit), 0, 4);
    g1->addWidget(roomEdit, 0, 5);
    g1->addWidget(roomHint, 0, 6);
    findEdit = new GbkLineEdit(chargeGroup);
    findEdit->setByteLimit(50);
    findEdit->setPlaceholderText(QStringLiteral("业主名称、联系电话或房号的一部分，按回车键或F3查找"));
    findButton = new QPushButton(QStringLiteral("查找(F3)"), chargeGroup);
    g1->addWidget(label(QStringLiteral("查       找："), chargeGroup, findEdit), 1, 2);
    g1->addWidget(findEdit, 1, 3, 1, 3);
    g1->addWidget(findButton, 1, 6);
    g1->setColumnStretch(1, 1);
    g1->setColumnStretch(3, 1);
    g1->setColumnStretch(5, 1);

    // 业主信息: shows the looked-up house only.
    houseGroup = new QGroupBox(QStringLiteral("业主信息"), this);
    GbkLineEdit **houseBoxes[] = {&houseAreaEdit, &houseRoomEdit, &floorAreaEdit, &purposeEdit, &unitPriceEdit, &paidUpEdit, &ownerEdit, &phoneEdit, &houseRemarkEdit};
    const char *houseLabels[] = {"小区名称：", "房       号：", "面       积：", "房屋用途：", "单       价：",
                                 "到期日期：", "业主名称：", "手机号码：", "备       注："};
    const char *houseUnits[] = {"", "", "平方米", "", "元/年平方米", "", "", "", ""};
    auto *g2 = new QGridLayout(houseGroup);
    for (int i = 0; i < 9; ++i) {
        *houseBoxes[i] = new GbkLineEdit(houseGroup);
        const int row = i / 3, col = (i % 3) * 3;
        g2->addWidget(label(QString::fromUtf8(houseLabels[i]), houseGroup, *houseBoxes[i]), row, col);
        g2->addWidget(*houseBoxes[i], row, col + 1);
        if (*houseUnits[i])
            g2->addWidget(unit(QString::fromUtf8(houseUnits[i]), houseGroup), row, col + 2);
    }
    for (int c : {1, 4, 7})
        g2->setColumnStretch(c, 1);
    g2->setVerticalSpacing(10);
    houseGroup->setEnabled(false);

    // 金额信息
    amountGroup = new QGroupBox(QStringLiteral("金额信息"), this);
    yearsEdit = new GbkLineEdit(amountGroup);
    yearsEdit->setByteLimit(2);
    yearsEdit->setAllowedChars(GbkLineEdit::DigitsMinus);
    startDatePicker = new DatePicker(amountGroup);
    endDatePicker = new DatePicker(amountGroup);
    amountEdit = new GbkLineEdit(amountGroup);
    amountEdit->setByteLimit(8);
    amountEdit->setAllowedChars(GbkLineEdit::DigitsPoint);
    paymentMethodBox = new LookupCombo(amountGroup);
    payeeBox = new LookupCombo(amountGroup);
    remarkEdit = new GbkLineEdit(amountGroup);
    remarkEdit->setByteLimit(50);
    roundButton = new QPushButton(QStringLiteral("收款金额取整"), amountGroup);
    for (DatePicker *p : {startDatePicker, endDatePicker}) {
        p->setSpecialValueText(NoDate);
        p->calendarWidget()->installEventFilter(this);
    }
    auto *g3 = new QGridLayout(amountGroup);
    g3->addWidget(label(QStringLiteral("收费年数："), amountGroup, yearsEdit), 0, 0);
    g3->addWidget(yearsEdit, 0, 1);
    g3->addWidget(unit(QStringLiteral("年"), amountGroup), 0, 2);
    g3->addWidget(label(QStringLiteral("起始日期："), amountGroup, startDatePicker), 0, 3);
    g3->addWidget(startDatePicker, 0, 4);
    g3->addWidget(label(QStringLiteral("截至日期："), amountGroup, endDatePicker), 0, 6);
    g3->addWidget(endDatePicker, 0, 7);
    g3->addWidget(label(QStringLiteral("收款金额："), amountGroup, amountEdit), 1, 0);
    g3->addWidget(amountEdit, 1, 1);
    g3->addWidget(unit(QStringLiteral("元"), amountGroup), 1, 2);
    g3->addWidget(label(QStringLiteral("收款方式："), amountGroup, paymentMethodBox), 1, 3);
    g3->addWidget(paymentMethodBox, 1, 4);
    g3->addWidget(label(QStringLiteral("收  款  人："), amountGroup, payeeBox), 1, 6);
    g3->addWidget(payeeBox, 1, 7);
    g3->addWidget(label(QStringLiteral("备       注："), amountGroup, remarkEdit), 2, 0);
    g3->addWidget(remarkEdit, 2, 1, 1, 4);
    g3->addWidget(roundButton, 2, 6, 1, 2);
    partsLabel = new QLabel(amountGroup);
    partsLabel->setTextFormat(Qt::PlainText);
    partsLabel->hide();
    waiveCheck = new QCheckBox(QStringLiteral("免收违约金"), amountGroup);
    waiveReasonEdit = new GbkLineEdit(amountGroup);
    waiveReasonEdit->setByteLimit(50);
    waiveReasonEdit->setPlaceholderText(QStringLiteral("免收原因"));
    waiveCheck->hide();
    waiveReasonEdit->hide();
    g3->addWidget(partsLabel, 3, 1, 1, 7);
    g3->addWidget(waiveCheck, 4, 1);
    g3->addWidget(waiveReasonEdit, 4, 3, 1, 5);
    for (int c : {1, 4, 7})
        g3->setColumnStretch(c, 1);
    g3->setColumnMinimumWidth(5, 12);
    g3->setVerticalSpacing(10);

    continuousEntryCheck = new QCheckBox(QStringLiteral("连续新增"), this);
    continuousEntryCheck->setChecked(true);
    saveButton = new QPushButton(QStringLiteral("保存"), this);
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    // Enter belongs to the room number look-up: no button takes it.
    for (QPushButton *b : {saveButton, closeButton, roundButton, findButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    saveButton->setMinimumWidth(90);
    closeButton->setMinimumWidth(90);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(continuousEntryCheck);
    buttons->addSpacing(20);
    buttons->addWidget(saveButton);
    buttons->addWidget(closeButton);

    // 交费记录: what the house paid before, for the owner's questions at the window.
    historyGroup = new QGroupBox(QStringLiteral("交费记录"), this);
    historyGrid = new QTableWidget(0, 10, historyGroup);
    historyGrid->setHorizontalHeaderLabels({QStringLiteral("单号"), QStringLiteral("收费日期"), QStringLiteral("起始日期"),
                                            QStringLiteral("截至日期"), QStringLiteral("年数"), QStringLiteral("金额"),
                                            QStringLiteral("收款方式"), QStringLiteral("收款人"), QStringLiteral("作废"),
                                            QStringLiteral("补打次数")});
    historyGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    historyGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    historyGrid->setFocusPolicy(Qt::NoFocus);
    historyGrid->verticalHeader()->hide();
    historyGrid->horizontalHeader()->setStretchLastSection(true);
    auto *hv = new QVBoxLayout(historyGroup);
    hv->addWidget(historyGrid);

    auto *v = new QVBoxLayout(this);
    v->setSpacing(12);
    v->addWidget(chargeGroup);
    v->addWidget(houseGroup);
    v->addWidget(amountGroup);
    v->addWidget(historyGroup, 1);
    v->addLayout(buttons);

    QWidget *order[] = {chargeDatePicker, areaBox, roomEdit, yearsEdit, startDatePicker, endDatePicker,
                        amountEdit, paymentMethodBox, payeeBox, remarkEdit, continuousEntryCheck, saveButton, closeButton, roundButton,
                        findEdit, findButton};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(roomEdit, &QLineEdit::returnPressed, this, [this] { lookUpHouse(13); });
    connect(findEdit, &QLineEdit::returnPressed, this, &ChargeEntryDialog::findHouse);
    connect(findButton, &QPushButton::clicked, this, &ChargeEntryDialog::findHouse);
    roomEdit->installEventFilter(this);
    findEdit->installEventFilter(this);
    connect(yearsEdit, &QLineEdit::textChanged, this, &ChargeEntryDialog::proposeForYears);
    connect(roundButton, &QPushButton::clicked, this, &ChargeEntryDialog::roundAmount);
    connect(waiveCheck, &QCheckBox::toggled, this, [this](bool on) {
        waiveReasonEdit->setEnabled(on);
        proposeForYears();
    });
    connect(saveButton, &QPushButton::clicked, this, &ChargeEntryDialog::save);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    loadLists();
}

void ChargeEntryDialog::loadLists()
{
    const QDate chargeDate = Dates::tryParse(ChargeDate);
    if (chargeDate.isValid())
        chargeDatePicker->setDateQuietly(chargeDate);
    guard(this, [&] {
        areaBox->bind(dataModule().areaList());
        paymentMethodBox->bind(dataModule().paymentMethodList());
        payeeBox->bind(dataModule().operatorList());
    });
}

void ChargeEntryDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        showDefaults();
        if (!m_pendingRoom.isEmpty())
            loadHouse(std::exchange(m_pendingArea, {}), std::exchange(m_pendingRoom, {}));
    }
}

void ChargeEntryDialog::showDefaults()
{
    areaBox->setKeyValue(DefaultAreaName);
    paymentMethodBox->setKeyValue(DefaultPaymentMethod);
    payeeBox->setKeyValue(CurrentUserName);
    roomEdit->setFocus();
}

bool ChargeEntryDialog::eventFilter(QObject *watched, QEvent *event)
{
    // F3 in the room box takes what was typed there to the search; in the search box it
    // opens the pick list as Enter does.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F3
        && (watched == roomEdit || watched == findEdit)) {
        if (watched == roomEdit && !roomEdit->text().isEmpty())
            findEdit->setText(roomEdit->text());
        findHouse();
        return true;
    }
    // A picker without a date would open its calendar at its minimum date; it opens at
    // the charging date's month instead.
    if (event->type() == QEvent::Show) {
        for (DatePicker *p : {startDatePicker, endDatePicker}) {
            if (watched == p->calendarWidget() && periodUnset(p)) {
                const QDate d = Dates::tryParse(ChargeDate).isValid() ? Dates::tryParse(ChargeDate) : QDate::currentDate();
                p->calendarWidget()->setCurrentPage(d.year(), d.month());
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool ChargeEntryDialog::periodUnset(const DatePicker *picker) const
{
    return picker->date() == picker->minimumDate();
}

void ChargeEntryDialog::clearPeriod()
{
    startDatePicker->setDateQuietly(startDatePicker->minimumDate());
    endDatePicker->setDateQuietly(endDatePicker->minimumDate());
}

void ChargeEntryDialog::lookUpHouse(int key)
{
    if (key != 13)
        return;
    guard(this, [&] {
        if (areaBox->text().isEmpty()) {
            showInfo(this, QStringLiteral("小区名称 不能为空！"));
            areaBox->setFocus();
            return;
        }
        house = ChargeLogic::lookUpHouse(areaBox->text(), roomEdit->text());
        if (house.rowCount() != 1) {
            showInfo(this, QStringLiteral("业主信息 不存在，请重新录入房号！"));
            clearForNext();
            roomEdit->setFocus();
            return;
        }
        const ChargeLogic::House h = ChargeLogic::houseAt(house);
        houseId = h.id;
        houseAreaEdit->setText(h.area);
        houseRoomEdit->setText(h.room);
        floorAreaEdit->setText(h.floorArea);
        purposeEdit->setText(h.purpose);
        unitPriceEdit->setText(h.unitPrice);
        paidUpEdit->setText(h.paidUp);
        ownerEdit->setText(h.owner);
        phoneEdit->setText(h.phone);
        houseRemarkEdit->setText(h.remark);
        showHistory(h.id, h.area + QLatin1Char(' ') + h.room);

        const QDate paidUp = ChargeLogic::paidUpDate(h.paidUp);
        if (paidUp.isValid()) {
            startDatePicker->setDateQuietly(paidUp.addDays(1));
            endDatePicker->setDateQuietly(paidUp.addYears(1));
        } else {
            // No period can be worked out, and the dates of an earlier house are none of
            // this one's: the pickers show no date until the operator sets them.
            clearPeriod();
        }
        // The computation runs for one year also when the box already shows "1".
        if (yearsEdit->text() == QLatin1String("1"))
            proposeForYears();
        else
            yearsEdit->setText(QStringLiteral("1"));

        if (paidUp.isValid()) {
            yearsEdit->setFocus();
        } else {
            showInfo(this, QStringLiteral("该业主的到期日期为空或不是有效的日期，请手工选择起始日期和截至日期！"));
            startDatePicker->setFocus();
        }
    });
}

void ChargeEntryDialog::proposeForYears()
{
    guard(this, [&] {
        const ChargeLogic::Proposal p = ChargeLogic::propose(yearsEdit->text(), floorAreaEdit->text(), unitPriceEdit->text(), paidUpEdit->text());
        amountEdit->setText(p.amount);
        if (p.hasPeriod) {
            startDatePicker->setDateQuietly(p.start);
            endDatePicker->setDateQuietly(p.end);
        }
        showParts(p);
    });
}

void ChargeEntryDialog::showParts(const ChargeLogic::Proposal &p)
{
    BillingRules::Bill bill;
    if (p.hasPeriod && !houseId.isEmpty())
        bill = ChargeLogic::billFor(houseId, purposeEdit->text(), floorAreaEdit->text(), unitPriceEdit->text(), p.start,
                                    yearsEdit->text(), chargeDatePicker->date());
    bool late = false;
    for (const BillingRules::Part &part : bill.parts)
        late = late || part.kind == QString::fromUtf8(BillingRules::LateCharge);
    waiveCheck->setVisible(late);
    waiveReasonEdit->setVisible(late);
    waiveCheck->setEnabled(Roles::currentMay(Roles::Action::WaiveLateCharge));
    waiveReasonEdit->setEnabled(waiveCheck->isEnabled() && waiveCheck->isChecked());
    if (!late)
        waiveCheck->setChecked(false);
    if (bill.plain) {
        partsLabel->clear();
        partsLabel->hide();
        return;
    }
    const BillingRules::Bill charged = late && waiveCheck->isChecked() ? ChargeLogic::withoutLateCharge(bill) : bill;
    amountEdit->setText(charged.amount());
    QStringList lines = BillingRules::partLines(charged);
    for (QString &line : lines)
        line.replace(QLatin1Char('\t'), QStringLiteral("  "));
    partsLabel->setText(lines.join(QLatin1Char('\n')));
    partsLabel->show();
}

void ChargeEntryDialog::roundAmount()
{
    guard(this, [&] { amountEdit->setText(ChargeLogic::roundToYuan(amountEdit->text())); });
}

QString ChargeEntryDialog::nextReceiptNumber()
{
    return ChargeLogic::nextReceiptNumber();
}

void ChargeEntryDialog::save()
{
    guard(this, [&] {
        if (houseId.isEmpty()) {
            showInfo(this, QStringLiteral("业主信息 不能为空，请重新选择！"));
            roomEdit->setFocus();
            return;
        }
        if (areaBox->text().isEmpty()) {
            showInfo(this, QStringLiteral("小区名称 不能为空，请重新选择！"));
            areaBox->setFocus();
            return;
        }
        if (yearsEdit->text().isEmpty()) {
            showInfo(this, QStringLiteral("收费年数 不能为空，请重新录入！"));
            yearsEdit->setFocus();
            return;
        }
        if (periodUnset(startDatePicker)) {
            showInfo(this, QStringLiteral("起始日期 不能为空，请重新选择！"));
            startDatePicker->setFocus();
            return;
        }
        if (periodUnset(endDatePicker)) {
            showInfo(this, QStringLiteral("截至日期 不能为空，请重新选择！"));
            endDatePicker->setFocus();
            return;
        }
        if (const QString refusal = ChargeLogic::methodRefusal(paymentMethodBox->text()); !refusal.isEmpty()) {
            showInfo(this, refusal);
            paymentMethodBox->setFocus();
            return;
        }

        ChargeLogic::Payment p;
        p.houseId = houseId;
        p.chargingDate = chargeDatePicker->text();
        p.area = houseAreaEdit->text();
        p.room = houseRoomEdit->text();
        p.floorArea = floorAreaEdit->text();
        p.unitPrice = unitPriceEdit->text();
        p.owner = ownerEdit->text();
        p.years = yearsEdit->text();
        p.startDate = startDatePicker->text();
        p.endDate = endDatePicker->text();
        p.amount = amountEdit->text();
        p.paymentMethod = paymentMethodBox->text();
        p.payee = payeeBox->text();
        p.remark = remarkEdit->text();
        p.lookedUpPaidUp = paidUpEdit->text();
        p.waiveLateCharge = !waiveCheck->isHidden() && waiveCheck->isChecked();
        p.waiveReason = waiveReasonEdit->text();
        const QString number = ChargeLogic::save(p);
        ++savedPayments;
        const QString savedHouse = houseId, savedCaption = p.area + QLatin1Char(' ') + p.room;

        // The payment is stored: a printing failure is shown and the window carries on as
        // after a successful save, so that "保存" cannot store the same payment twice. The
        // receipt can be printed again from charge management. The preview belongs to this
        // window, whatever else came and went while the payment waited to be stored.
        guard(this, [&] {
            const AskingWindow asking(this);
            printModule().printReceipt(number);
        });

        if (continuousEntryCheck->isChecked()) {
            clearForNext();
            // The payment just taken heads the house's history until the next house.
            showHistory(savedHouse, savedCaption);
            roomEdit->setFocus();
        } else {
            showInfo(this, QStringLiteral("收费信息 保存成功！"));
            accept();
        }
    });
}

void ChargeEntryDialog::clearForNext()
{
    houseId.clear();
    for (GbkLineEdit *e : {roomEdit, houseAreaEdit, houseRoomEdit, floorAreaEdit, purposeEdit, unitPriceEdit, paidUpEdit, ownerEdit, phoneEdit, houseRemarkEdit, yearsEdit, amountEdit, remarkEdit})
        e->clear();
    waiveCheck->setChecked(false);
    waiveReasonEdit->clear();
    showHistory({});
}

void ChargeEntryDialog::findHouse()
{
    QPointer<HousePickDialog> pick;
    if (!guard(this, [&] { pick = new HousePickDialog(this, findEdit->text().trimmed(), chargeDatePicker->date()); }))
        return;
    const bool picked = runModal(pick) == QDialog::Accepted && pick && !pick->pickedRoom.isEmpty();
    const QString area = pick ? pick->pickedArea : QString(), room = pick ? pick->pickedRoom : QString();
    if (pick)
        pick->deleteLater();
    if (picked)
        loadHouse(area, room);
}

void ChargeEntryDialog::loadHouse(const QString &area, const QString &room)
{
    if (!m_shown) {
        m_pendingArea = area;
        m_pendingRoom = room;
        return;
    }
    // The area box lists the names as the area list spells them; a house may spell its
    // area in another letter case.
    areaBox->setKeyValue(area);
    if (areaBox->text().isEmpty()) {
        const QString folded = CaseFold::folded(area);
        for (int i = 0; i < areaBox->count(); ++i)
            if (CaseFold::folded(areaBox->itemText(i)) == folded) {
                areaBox->setKeyValue(areaBox->itemText(i));
                break;
            }
    }
    roomEdit->setText(room);
    lookUpHouse(13);
}

void ChargeEntryDialog::showHistory(const QString &id, const QString &caption)
{
    historyGrid->setRowCount(0);
    historyGroup->setTitle(caption.isEmpty() ? QStringLiteral("交费记录") : QStringLiteral("交费记录：") + caption);
    if (id.isEmpty())
        return;
    guard(this, [&] {
        const QList<ChargeDesk::PastPayment> past = ChargeDesk::history(id);
        historyGrid->setRowCount(int(past.size()));
        for (int r = 0; r < past.size(); ++r) {
            const ChargeDesk::PastPayment &p = past.at(r);
            const QString cells[] = {p.receipt, p.chargingDate, p.start, p.end, p.years, p.amount, p.method, p.payee,
                                     ChargeDesk::voidWords(p), QString::number(p.reprints)};
            for (int c = 0; c < 10; ++c) {
                auto *item = new QTableWidgetItem(cells[c]);
                if (c == 4 || c == 5 || c == 9)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                if (p.voided)
                    item->setForeground(QColor(255, 0, 0));
                historyGrid->setItem(r, c, item);
            }
        }
        historyGrid->resizeColumnsToContents();
    });
}
