#include "utility/SettingsPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexal::utility {

CSettingsPage::CSettingsPage(std::unique_ptr<CPageLogic> pLogic, const SQtPageContext& context, QWidget* pParent)
    : CDialogBase(*pLogic, context.services, pParent), m_context(context), m_pLogic(std::move(pLogic)) {}

CSettingsPage::CSettingsPage(int nDialogId, const SQtPageContext& context, QWidget* pParent)
    : CDialogBase(nDialogId, context.services, pParent), m_context(context) {}

// The logic goes before the window: it must not see a view half gone.
CSettingsPage::~CSettingsPage() { DetachLogic(); }

void CSettingsPage::ReadFromHub(std::function<void(bool)> fnDone) {
    if (m_pLogic != nullptr)
        m_pLogic->ReadFromHub(std::move(fnDone));
    else if (fnDone)
        fnDone(false);
}

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
