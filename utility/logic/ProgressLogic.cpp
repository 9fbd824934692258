#include "utility/logic/ProgressLogic.h"

namespace vexal::utility {

namespace {
constexpr int kTimerId = 1;
}

const SDialogSpec& CProgressLogic::Spec() const {
    static const SDialogSpec s_spec = [] {
        SDialogSpec spec;
        spec.nId = kDialogId;
        spec.bNoCaption = true;
        spec.bEscapeCloses = false;
        SControlSpec bar = Ctl(EControl::Progress, kBarId, u"Progress", 0, 0);
        bar.nWidthChars = 40;
        spec.controls.push_back(bar);
        return spec;
    }();
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
    m_nPosition = m_nPosition + kStep > 100 ? 0 : m_nPosition + kStep;
    View().SetProgress(kBarId, m_nPosition, 100);
}

void CProgressLogic::Begin(IDialogView& owner) {
    if (m_pOwner != nullptr && HasView()) {
        m_nPosition = 0;
        View().SetProgress(kBarId, 0, 100);
        return;
    }
    m_pOwner = &owner;
    owner.ShowModeless(*this);
}

void CProgressLogic::End() {
    if (m_pOwner == nullptr)
        return;
    IDialogView* pOwner = m_pOwner;
    m_pOwner = nullptr;
    pOwner->HideModeless(*this);
}

}  // namespace vexal::utility
