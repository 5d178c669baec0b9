#include "owners/SuspendDialog.h"
#include "data/DataModule.h"
#include "data/OfficeRules.h"
#include "data/Seasons.h"
#include "db/Dates.h"
#include "db/Numbers.h"
#include "widgets/Guard.h"
#include "widgets/Seams.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The login's charging date; today outside a login.
QDate chargingDate()
{
    const QDate d = Dates::tryParse(ChargeDate);
    return d.isValid() ? d : QDate::currentDate();
}

} // namespace

SuspendDialog::SuspendDialog(QWidget *parent) : FixedDialog(parent, QStringLiteral("报停"), 460, 240)
{
    houseLabel = new QLabel(this);
    suspendedLabel = new QLabel(this);
    seasonSpin = new QSpinBox(this);
    seasonSpin->setRange(1900, 9998);
    reasonEdit = new QLineEdit(this);
    reasonEdit->setMaxLength(50);
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("房屋："), this), 0, 0);
    grid->addWidget(houseLabel, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("已报停："), this), 1, 0);
    grid->addWidget(suspendedLabel, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("采暖季（开始年份）："), this), 2, 0);
    grid->addWidget(seasonSpin, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("原因："), this), 3, 0);
    grid->addWidget(reasonEdit, 3, 1);

    suspendButton = new QPushButton(QStringLiteral("报停"), this);
    cancelButton = new QPushButton(QStringLiteral("取消报停"), this);
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {suspendButton, cancelButton, closeButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    auto *v = new QVBoxLayout(this);
    v->addLayout(grid, 1);
    v->addLayout(buttons);
    connect(suspendButton, &QPushButton::clicked, this, &SuspendDialog::suspend);
    connect(cancelButton, &QPushButton::clicked, this, &SuspendDialog::cancelSuspension);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void SuspendDialog::load(const QString &houseId)
{
    m_houseId = houseId;
    const OfficeRules::HouseState h = OfficeRules::houseState(dataModule().db(), houseId);
    houseLabel->setText(QStringLiteral("%1 %2（到期日期 %3）").arg(h.area, h.room, h.paidUp));
    // The season that has not begun yet: the one an application is for.
    const Seasons::Period period = OfficeRules::storedPeriod(dataModule().db());
    Seasons::Season next = Seasons::seasonHolding(chargingDate(), period);
    if (next.begin <= chargingDate())
        next = Seasons::seasonOf(next.year + 1, period);
    seasonSpin->setValue(next.year);
    showSuspended();
}

void SuspendDialog::showSuspended()
{
    const QMap<int, double> now = OfficeRules::suspendedSeasons(dataModule().db(), m_houseId);
    QStringList seasons;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        seasons << QStringLiteral("%1（%2%）").arg(it.key()).arg(Numbers::plain(it.value()));
    suspendedLabel->setText(seasons.isEmpty() ? QStringLiteral("无") : seasons.join(QStringLiteral("，")));
}

void SuspendDialog::suspend()
{
    if (guard(this, [&] {
            OfficeRules::suspend(m_houseId, seasonSpin->value(), reasonEdit->text().trimmed(), chargingDate());
        })) {
        showSuspended();
        showInfo(this, QStringLiteral("报停 保存成功！"));
    }
}

void SuspendDialog::cancelSuspension()
{
    if (guard(this, [&] {
            OfficeRules::cancelSuspension(m_houseId, seasonSpin->value(), chargingDate());
        })) {
        showSuspended();
        showInfo(this, QStringLiteral("取消报停 保存成功！"));
    }
}
