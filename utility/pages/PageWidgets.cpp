#include "utility/pages/PageWidgets.h"

#include <QHBoxLayout>
#include <QRadioButton>

#include "utility/DialogBase.h"

namespace vexal::utility {

void SetRadioPair(CDialogBase& dlg, int nFirst, int nSecond, int nWhich) {
    auto* pFirst = dlg.ControlAs<QRadioButton>(nFirst);
    auto* pSecond = dlg.ControlAs<QRadioButton>(nSecond);
    if (pFirst == nullptr || pSecond == nullptr)
        return;
    pFirst->setAutoExclusive(false);
    pSecond->setAutoExclusive(false);
    pFirst->setChecked(nWhich == 0);
    pSecond->setChecked(nWhich == 1);
    pFirst->setAutoExclusive(true);
    pSecond->setAutoExclusive(true);
}

QWidget* MakeRadioRow(CDialogBase& dlg, int nFirst, int nSecond) {
    auto* pRow = new QWidget(&dlg);
    auto* pLayout = new QHBoxLayout(pRow);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(dlg.Control(nFirst));
    pLayout->addWidget(dlg.Control(nSecond));
    pLayout->addStretch(1);
    return pRow;
}

}  // namespace vexal::utility
