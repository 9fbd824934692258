#include "utility/qt/SettingsPage.h"

namespace vexal::utility {

CSettingsPage::CSettingsPage(std::unique_ptr<CPageLogic> pLogic, const SQtPageContext& context, QWidget* pParent)
    : CDialogBase(*pLogic, context.services, pParent), m_context(context), m_pLogic(std::move(pLogic)) {}

// The logic goes before the window: it must not see a view half gone.
CSettingsPage::~CSettingsPage() { DetachLogic(); }

void CSettingsPage::ReadFromHub(std::function<void(bool)> fnDone) { m_pLogic->ReadFromHub(std::move(fnDone)); }

std::unique_ptr<CSettingsPage> RenderPage(const PageFactory& fnMake, const SQtPageContext& context, QWidget* pParent) {
    std::unique_ptr<CPageLogic> pLogic = fnMake ? fnMake(context.Logic()) : nullptr;
    if (pLogic == nullptr) return nullptr;
    return std::make_unique<CSettingsPage>(std::move(pLogic), context, pParent);
}

}  // namespace vexal::utility
