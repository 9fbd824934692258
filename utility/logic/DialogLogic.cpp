#include "utility/logic/DialogLogic.h"

namespace vexal::utility {

CDialogLogic::CDialogLogic() : m_pAlive(std::make_shared<int>(0)) {}
CDialogLogic::~CDialogLogic() = default;

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
