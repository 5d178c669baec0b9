#include "reference/BillingRulesDialog.h"
#include "data/DataModule.h"
#include "data/OfficeRules.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "widgets/Guard.h"
#include "widgets/Seams.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <initializer_list>
#include <utility>

namespace {

QLineEdit *box(QWidget *parent, int width)
{
    auto *e = new QLineEdit(parent);
    e->setFixedWidth(width);
    e->setMaxLength(10);
    return e;
}

double numberIn(const QLineEdit *e, const QString &what)
{
    const QString t = e->text().trimmed();
    if (!Numbers::isNumber(t))
        throw AppError(QStringLiteral("%1 “%2” 不是有效的数字").arg(what, t));
    return Numbers::toDouble(t);
}

} // namespace

BillingRulesDialog::BillingRulesDialog(QWidget *parent) : FixedDialog(parent, QStringLiteral("收费规则"), 560, 380)
{
    auto *group = new QGroupBox(QStringLiteral("收费规则（未勾选的规则不起作用）"), this);
    auto *grid = new QGridLayout(group);
    const auto row = [&](int r, QCheckBox *check, std::initializer_list<std::pair<const char *, QWidget *>> items) {
        grid->addWidget(check, r, 0);
        auto *line = new QHBoxLayout;
        for (const auto &[caption, widget] : items) {
            if (caption && *caption)
                line->addWidget(new QLabel(QString::fromUtf8(caption), group));
            if (widget)
                line->addWidget(widget);
        }
        line->addStretch();
        grid->addLayout(line, r, 1);
    };
    suspendCheck = new QCheckBox(QStringLiteral("报停"), group);
    suspendPercentEdit = box(group, 60);
    suspendDeadlineEdit = box(group, 70);
    refuseArrearsCheck = new QCheckBox(QStringLiteral("有欠费不予报停"), group);
    row(0, suspendCheck, {{"基本热费", suspendPercentEdit}, {"%，截止日期（月-日）", suspendDeadlineEdit}});
    grid->addWidget(refuseArrearsCheck, 1, 1);
    discountCheck = new QCheckBox(QStringLiteral("提前交费优惠"), group);
    discountPercentEdit = box(group, 60);
    discountFromEdit = box(group, 70);
    discountToEdit = box(group, 70);
    row(2, discountCheck, {{"优惠", discountPercentEdit}, {"%，自", discountFromEdit}, {"至", discountToEdit}});
    lateCheck = new QCheckBox(QStringLiteral("违约金"), group);
    latePermilleEdit = box(group, 60);
    lateFromEdit = box(group, 70);
    lateCapEdit = box(group, 60);
    row(3, lateCheck, {{"每日", latePermilleEdit}, {"‰，自", lateFromEdit}, {"起，上限", lateCapEdit}, {"%", nullptr}});
    grid->setVerticalSpacing(14);

    QHBoxLayout *buttons = saveQuitButtons(saveButton, closeButton);
    auto *v = new QVBoxLayout(this);
    v->addWidget(group, 1);
    v->addLayout(buttons);
    connect(saveButton, &QPushButton::clicked, this, &BillingRulesDialog::save);
}

void BillingRulesDialog::onFirstShow()
{
    guard(this, [&] {
        const OfficeRules::Settings s = OfficeRules::settings(dataModule().db());
        suspendCheck->setChecked(s.suspend);
        suspendPercentEdit->setText(Numbers::plain(s.suspendPercent));
        suspendDeadlineEdit->setText(s.suspendDeadline);
        refuseArrearsCheck->setChecked(s.refuseArrears);
        discountCheck->setChecked(s.discount);
        discountPercentEdit->setText(Numbers::plain(s.discountPercent));
        discountFromEdit->setText(s.discountFrom);
        discountToEdit->setText(s.discountTo);
        lateCheck->setChecked(s.late);
        latePermilleEdit->setText(Numbers::plain(s.latePermille));
        lateFromEdit->setText(s.lateFrom);
        lateCapEdit->setText(Numbers::plain(s.lateCap));
    });
}

void BillingRulesDialog::save()
{
    guard(this, [&] {
        OfficeRules::Settings s;
        s.suspend = suspendCheck->isChecked();
        s.suspendPercent = numberIn(suspendPercentEdit, QStringLiteral("基本热费比例"));
        s.suspendDeadline = suspendDeadlineEdit->text().trimmed();
        s.refuseArrears = refuseArrearsCheck->isChecked();
        s.discount = discountCheck->isChecked();
        s.discountPercent = numberIn(discountPercentEdit, QStringLiteral("优惠比例"));
        s.discountFrom = discountFromEdit->text().trimmed();
        s.discountTo = discountToEdit->text().trimmed();
        s.late = lateCheck->isChecked();
        s.latePermille = numberIn(latePermilleEdit, QStringLiteral("违约金每日千分比"));
        s.lateFrom = lateFromEdit->text().trimmed();
        s.lateCap = numberIn(lateCapEdit, QStringLiteral("违约金上限比例"));
        OfficeRules::storeSettings(s);
        showInfo(this, QStringLiteral("收费规则 保存成功！"));
        accept();
    });
}
