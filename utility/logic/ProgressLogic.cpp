#include "utility/logic/ProgressLogic.h"

#include <algorithm>

namespace vexal::utility {

namespace {
constexpr int kTimerId = 1;

SDialogSpec MakeSpec() {
    SDialogSpec spec;
    spec.nId = CProgressLogic::kDialogId;
    spec.strTitle = u"Working";
    spec.bNoCaption = true;
    spec.bEscapeCloses = false;
    SControlSpec bar = Ctl(EControl::Progress, CProgressLogic::kBarId, u"Progress", 0, 0);
    bar.nWidthChars = 58;  // about 232 dialog units
    spec.controls.push_back(std::move(bar));
    return spec;
}
}  // namespace

const SDialogSpec& CProgressLogic::Spec() const {
    static const SDialogSpec s_spec = MakeSpec();
    return s_spec;
}

void CProgressLogic::OnInit() {
    m_nPosition = 0;
    View().SetProgress(kBarId, 0, 100);
    View().StartTimer(kTimerId, kTimerMs);
}

void CProgressLogic::OnTimer(int nTimerId) {
    if (nTimerId != kTimerId)
        return;
    // From what the bar shows, so the bar and the position never disagree.
    const int nShown = View().ProgressValue(kBarId);
    m_nPosition = nShown >= 100 ? 0 : std::min(100, std::max(nShown, 0) + kStep);
    View().SetProgress(kBarId, m_nPosition, 100);
}

void CProgressLogic::Begin(IDialogView& owner) {
    if (m_pOwner != nullptr && m_pOwner != &owner)
        End();
    m_pOwner = &owner;
    m_nPosition = 0;
    if (HasView())
        View().SetProgress(kBarId, 0, 100);
    owner.ShowModeless(*this);
}

void CProgressLogic::End() {
    IDialogView* pOwner = m_pOwner;
    m_pOwner = nullptr;
    if (pOwner != nullptr)
        pOwner->HideModeless(*this);
}

}  // namespace vexal::utility
