#include "owners/TfrmUH_M1.h"
#include "data/Dates.h"
#include "data/DbError.h"
#include "widgets/BrowseWindow.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"
#include "widgets/Guard.h"

TfrmUH_M1::TfrmUH_M1(QWidget *parent)
    : TfrmUH_Edit(QStringLiteral("业主修改"), QStringLiteral("元/平方米"), parent)
{
}

void TfrmUH_M1::load(const QString &houseId)
{
    const House h = OwnerEntry::load(houseId);
    HouseId = houseId;
    m_asOpened = h;
    DBLookupComboBox1->setKeyValue(h.area);
    DBLookupComboBox2->setKeyValue(h.purpose);
    Edit1->setText(h.room);
    Edit2->setText(h.floorArea);
    Edit3->setText(h.price);
    // A paid-up date that is no date (a spreadsheet can bring one) must not lock the
    // house against the very dialog that corrects it: the picker keeps its default.
    const QDate end = Dates::tryParse(h.endDate);
    if (end.isValid())
        DateTimePicker1->setDateQuietly(end);
    else
        showInfo(this, QStringLiteral("到期日期“%1”不是有效的日期，请重新选择。").arg(h.endDate));
    Edit4->setText(h.owner);
    Edit5->setText(h.phone);
    Edit6->setText(h.remark);
}

void TfrmUH_M1::BitBtn1Click()
{
    bool saved = false;
    guard(this, [&] {
        if (!checkRequired())
            return;
        if (!m_asOpened)
            throw AppError(QStringLiteral("没有要修改的业主"));
        OwnerEntry::update(HouseId, house(), *m_asOpened);
        saved = true;
    });
    if (!saved)
        return;
    showInfo(this, QStringLiteral("业主信息 保存成功！"));
    if (Opener)
        Opener->myRef();
    accept();
}
