#include "owners/TfrmUH_M1.h"
#include "widgets/BrowseWindow.h"
#include "widgets/Guard.h"

TfrmUH_M1::TfrmUH_M1(QWidget *parent)
    : TfrmUH_Edit(QStringLiteral("业主修改"), QStringLiteral("元/平方米"), parent)
{
}

void TfrmUH_M1::BitBtn1Click()
{
    bool saved = false;
    guard(this, [&] {
        if (!checkRequired())
            return;
        OwnerEntry::update(HouseId, house());
        saved = true;
    });
    if (!saved)
        return;
    showInfo(this, QStringLiteral("业主信息 保存成功！"));
    if (Opener)
        Opener->myRef();
    accept();
}
