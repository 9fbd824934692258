// The behaviour of one window, free of any toolkit: what it reads, checks,
// sends, enables and which message it shows. A renderer builds the window
// from Desc(), attaches itself as the view, calls OnInit() before the
// window is first shown, and forwards each user action by identifier.
//
// Handlers are called for user actions only (a click, a pick of another
// entry than the one shown, an edit typed or pasted, a row chosen); filling a
// control from the logic never calls them.
//
//   class CLanLogic final : public CPageLogic {
//       const SDialogDesc& Desc() const override { return kDesc; }   // the table
//       void OnClicked(int nId) override { if (nId == kIdSet) OnSet(); ... }
//       void OnSet() { if (GetIpv4(kIdIp)[0] == 0) { Message(u"...", EMsgIcon::Warning); return; } ... }
//   };
#pragma once
#include "utility/logic/LibraryJobs.h"
#include "utility/logic/DialogDesc.h"
#include "utility/logic/DialogView.h"

#include <functional>
#include <memory>
#include <string>

namespace vexal::utility {

// What the user is told when a library job's work threw.
std::u16string JobFailureText(const std::string& strWhy);

class CDialogLogic {
public:
    CDialogLogic();
    virtual ~CDialogLogic();
    CDialogLogic(const CDialogLogic&) = delete;
    CDialogLogic& operator=(const CDialogLogic&) = delete;

    virtual const SDialogDesc& Desc() const = 0;
    int DialogId() const { return Desc().nId; }

    // The renderer attaches its view before OnInit and detaches it (nullptr)
    // when the window goes; the logic may outlive its window.
    void Attach(IDialogView* pView) { m_pView = pView; }
    bool HasView() const { return m_pView != nullptr; }

    // ---- Called by the renderer ----
    virtual void OnInit() {}
    virtual void OnClicked(int /*nId*/) {}
    virtual void OnActivated(int /*nId*/, int /*nIndex*/) {}
    virtual void OnTextEdited(int /*nId*/, const std::u16string& /*strText*/) {}
    virtual void OnRowSelected(int /*nId*/, int /*nRow*/) {}   // -1: none; whoever changed it
    virtual void OnRowActivated(int /*nId*/, int /*nRow*/) {}  // double click, Enter
    // A click on a row of a list view, also on the row already selected.
    virtual void OnRowClicked(int /*nId*/, int /*nRow*/) {}
    virtual void OnTimer(int /*nTimerId*/) {}
    // The user asked to close (Escape, the close button): true lets the
    // window close with kRejected now. A window that is busy answers false and
    // closes itself later.
    virtual bool OnCloseRequest() { return true; }
    // True while a library job this window waits on has not ended.
    virtual bool IsBusy() const { return false; }

protected:
    // The window, or while there is none (never made, or gone) a stand-in
    // that does nothing and gives empty values: a late continuation never
    // writes through a missing view.
    IDialogView& View() const;

    // Short forms of the view's calls, so logic reads like the dialog table.
    std::u16string GetText(int nId) const { return View().GetText(nId); }
    void SetText(int nId, const std::u16string& s) { View().SetText(nId, s); }
    bool IsChecked(int nId) const { return View().IsChecked(nId); }
    void SetCheck(int nId, bool b) { View().SetCheck(nId, b); }
    void Enable(int nId, bool b) { View().Enable(nId, b); }
    bool IsEnabled(int nId) const { return View().IsEnabled(nId); }
    void Show(int nId, bool b) { View().Show(nId, b); }
    Ipv4Octets GetIpv4(int nId) const { return View().GetIpv4(nId); }
    void SetIpv4(int nId, const Ipv4Octets& o) { View().SetIpv4(nId, o); }
    EMsgResult Message(const std::u16string& strText, EMsgIcon eIcon, EMsgButtons eButtons = EMsgButtons::Ok) {
        return View().Message(strText, eIcon, eButtons);
    }
    void Close(int nResult) { View().Close(nResult); }
    // Sets a radio pair from a value: 0 checks the first, 1 the second,
    // anything else neither.
    void SetRadioPair(int nFirst, int nSecond, int nWhich);

    // fnWork on the library thread, then fnDone here with its result; fnDone
    // is dropped when this logic is gone by then. While the job runs a shown
    // window is busy (no input, wait cursor), and its input is back before
    // fnDone runs. A work that throws ends the job as well: the user is told
    // why and fnNotDone follows instead of fnDone. False when another job
    // runs; fnNotDone is then called at once. Either way a chain that reports
    // its end always does.
    template <class R>
    bool StartJob(CLibraryJobs& jobs, std::function<R()> fnWork, std::function<void(R)> fnDone,
                  const std::function<void()>& fnNotDone = {}) {
        if (jobs.IsBusy()) {
            if (fnNotDone) fnNotDone();
            return false;
        }
        const bool bBusy = m_pView != nullptr && m_pView->IsVisible();
        if (bBusy) m_pView->SetBusy(true);
        const std::weak_ptr<int> pAlive = m_pAlive;
        const bool bStarted = jobs.Start<R>(
            std::move(fnWork),
            [this, pAlive, bBusy, fn = std::move(fnDone)](R result) {
                if (pAlive.expired()) return;
                if (bBusy && m_pView != nullptr) m_pView->SetBusy(false);
                fn(std::move(result));
            },
            [this, pAlive, bBusy, fnNotDone](const std::string& strWhy) {
                if (pAlive.expired()) return;
                if (bBusy && m_pView != nullptr) m_pView->SetBusy(false);
                if (HasView()) Message(JobFailureText(strWhy), EMsgIcon::Warning);
                if (fnNotDone) fnNotDone();
            });
        if (!bStarted) {
            if (bBusy) m_pView->SetBusy(false);
            if (fnNotDone) fnNotDone();
        }
        return bStarted;
    }

private:
    IDialogView* m_pView = nullptr;
    std::shared_ptr<int> m_pAlive;  // continuations hold it weakly
};

}  // namespace vexal::utility
