#include "owners/OwnerModifyDialog.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "widgets/BrowseWindow.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"
#include "widgets/Guard.h"

OwnerModifyDialog::OwnerModifyDialog(QWidget *parent)
    : OwnerDialog(QStringLiteral("业主修改"), QStringLiteral("元/平方米"), parent)
{
}

void OwnerModifyDialog::load(const QString &houseId)
{
    const House h = OwnerEntry::load(houseId);
    editedHouseId = houseId;
    m_asOpened = h;
    areaBox->setKeyValue(h.area);
    purposeBox->setKeyValue(h.purpose);
    roomEdit->setText(h.room);
    floorAreaEdit->setText(h.floorArea);
    priceEdit->setText(h.price);
    // A paid-up date that is no date (a spreadsheet can bring one) must not lock the
    // house against the very dialog that corrects it: the picker keeps its default.
    const QDate end = Dates::tryParse(h.endDate);
    if (end.isValid())
        paidUpPicker->setDateQuietly(end);
    else
        showInfo(this, QStringLiteral("到期日期“%1”不是有效的日期，请重新选择。").arg(h.endDate));
    ownerEdit->setText(h.owner);
    phoneEdit->setText(h.phone);
    remarkEdit->setText(h.remark);
}

void OwnerModifyDialog::save()
{
    bool saved = false;
    guard(this, [&] {
        if (!checkRequired())
            return;
        if (!m_asOpened)
            throw AppError(QStringLiteral("没有要修改的业主"));
        OwnerEntry::update(editedHouseId, house(), *m_asOpened);
        saved = true;
    });
    if (!saved)
        return;
    showInfo(this, QStringLiteral("业主信息 保存成功！"));
    if (opener)
        opener->requery();
    accept();
}
