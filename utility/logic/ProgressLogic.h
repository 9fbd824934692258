// The progress pop-up (dialog 147): a bar 0..100 that advances by 2 every
// 50 ms and wraps to 0 after 100, to show that the library is working.
// The main window's logic owns one and shows it around a settings read:
//
//   m_progress.Begin(View());   // position 0, shown modeless over the owner, input blocked
//   page->ReadFromHub(...);     // library work on the library thread
//   m_progress.End();           // from the read's continuation
//
// No caption; Escape and the close button do nothing; its timer runs only
// while it is shown.
#pragma once
#include "utility/logic/DialogLogic.h"

namespace vexal::utility {

class CProgressLogic final : public CDialogLogic {
public:
    static constexpr int kDialogId = 147;
    static constexpr int kBarId = 1053;
    static constexpr int kStep = 2;
    static constexpr int kTimerMs = 50;

    const SDialogDesc& Desc() const override;
    void OnInit() override;
    void OnTimer(int nTimerId) override;
    bool OnCloseRequest() override { return false; }

    // Shows the pop-up over owner (already shown: back to position 0).
    void Begin(IDialogView& owner);
    void End();
    bool IsShown() const { return m_pOwner != nullptr; }
    int Position() const { return m_nPosition; }

private:
    IDialogView* m_pOwner = nullptr;
    int m_nPosition = 0;
};

}  // namespace vexal::utility
