#include "utility/SettingsPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexal::utility {

CSettingsPage::CSettingsPage(int nDialogId, const SPageContext& context, QWidget* pParent)
    : CDialogBase(nDialogId, context.services, pParent), m_context(context) {}

void CSettingsPage::AddHiddenInactivityRow(QGridLayout* pGrid, int& nRow, int nId) {
    auto* pInactivity = MakeEdit(nId, tr("Inactivity Time (sec)"));
    pInactivity->setValidator(new QIntValidator(0, 65535, pInactivity));
    auto* pLabel = MakeLabel(tr("Inactivity Time (sec) :"), pInactivity);
    auto* pHint = new QLabel(tr("sec (Default : 0)"), this);
    pGrid->addWidget(pLabel, nRow, 0);
    pGrid->addWidget(pInactivity, nRow, 1);
    pGrid->addWidget(pHint, nRow++, 2);
    pLabel->hide();
    pHint->hide();
    Show(nId, false);
}

void CSettingsPage::LayOutWithButtons(QGridLayout* pGrid, int nGet, int nSet, int nDefault, int nClose) {
    auto* pButtons = new QHBoxLayout;
    pButtons->addWidget(MakeButton(nGet, tr("GET")));
    pButtons->addWidget(MakeButton(nSet, tr("SET")));
    pButtons->addWidget(MakeButton(nDefault, tr("Default Setting")));
    pButtons->addStretch(1);
    pButtons->addWidget(MakeButton(nClose, tr("Close")));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pGrid);
    pLayout->addLayout(pButtons);
    Show(nGet, false);
    Show(nDefault, false);
}

}  // namespace vexal::utility
