#include "utility/logic/DialogLogic.h"

#include "utility/logic/Text.h"

namespace vexal::utility {

std::u16string JobFailureText(const std::string& strWhy) {
    return Arg(u"The request could not be completed: %1.", Utf8ToU16(strWhy));
}

CDialogLogic::CDialogLogic() : m_pAlive(std::make_shared<int>(0)) {}
CDialogLogic::~CDialogLogic() = default;

IDialogView& CDialogLogic::View() const {
    static CNoView s_detached;  // stateless: shared by every logic without a window
    if (m_pView != nullptr) return *m_pView;
    return s_detached;
}

void CDialogLogic::SetRadioPair(int nFirst, int nSecond, int nWhich) {
    // Both are cleared first: an exclusive pair may ignore un-checking, so a
    // re-read would otherwise keep a stale choice.
    SetCheck(nFirst, false);
    SetCheck(nSecond, false);
    if (nWhich == 0)
        SetCheck(nFirst, true);
    else if (nWhich == 1)
        SetCheck(nSecond, true);
}

const SControlDesc* FindControl(const SDialogDesc& desc, int nId) {
    for (const auto& c : desc.controls)
        if (c.nId == nId && nId != 0) return &c;
    return nullptr;
}

}  // namespace vexal::utility
