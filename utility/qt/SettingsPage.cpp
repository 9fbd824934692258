#include "utility/qt/SettingsPage.h"

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

}  // namespace vexal::utility
