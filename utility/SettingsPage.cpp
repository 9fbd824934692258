#include "utility/SettingsPage.h"

namespace vexal::utility {

CSettingsPage::CSettingsPage(int nDialogId, const SPageContext& context, QWidget* pParent)
    : CDialogBase(nDialogId, context.services, pParent), m_context(context) {}

}  // namespace vexal::utility
