#include "owners/TfrmUH_Q.h"

TfrmUH_Q::TfrmUH_Q(QWidget *parent)
    : TfrmUH_Browse(ownerSetup(QStringLiteral("业主查询"), true), parent)
{
}
