#include "utility/logic/ProgressLogic.h"

#include <algorithm>

namespace vexal::utility {

namespace {
constexpr int kTimerId = 1;

SDialogDesc MakeDesc() {
    SDialogDesc desc;
    desc.nId = CProgressLogic::kDialogId;
    desc.strTitle = u"Working";
    desc.bNoCaption = true;
    desc.bEscapeCloses = false;
    SControlDesc bar = Ctl(EControl::Progress, CProgressLogic::kBarId, u"Progress", 0, 0);
    bar.nWidthChars = 58;  // about 232 dialog units
    desc.controls.push_back(std::move(bar));
    return desc;
}
}  // namespace

const SDialogDesc& CProgressLogic::Desc() const {
    static const SDialogDesc s_desc = MakeDesc();
    return s_desc;
}

void CProgressLogic::OnInit() {
    m_nPosition = 0;
    View().SetProgress(kBarId, 0, 100);
    View().StartTimer(kTimerId, kTimerMs);
}

void CProgressLogic::OnTimer(int nTimerId) {
    if (nTimerId != kTimerId) return;
    // From what the bar shows, so the bar and the position never disagree.
    const int nShown = View().ProgressValue(kBarId);
    m_nPosition = nShown >= 100 ? 0 : std::min(100, std::max(nShown, 0) + kStep);
    View().SetProgress(kBarId, m_nPosition, 100);
}

void CProgressLogic::Begin(IDialogView& owner) {
    if (m_pOwner != nullptr && m_pOwner != &owner) End();
    m_pOwner = &owner;
    m_nPosition = 0;
    if (HasView()) View().SetProgress(kBarId, 0, 100);
    owner.ShowModeless(*this);
}

void CProgressLogic::End() {
    IDialogView* pOwner = m_pOwner;
    m_pOwner = nullptr;
    if (pOwner != nullptr) pOwner->HideModeless(*this);
}

}  // namespace vexal::utility
