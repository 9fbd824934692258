// The base of the seven settings pages' logic, and their factories.
//
// The main window's logic makes a page through its factory, then:
//   1. shows the progress pop-up (not for the custom device page),
//   2. calls ReadFromHub(fnDone) and returns to the event loop,
//   3. once fnDone tells the outcome: hides the pop-up and runs the page
//      modally (IDialogView::RunModal) only when the read succeeded, and
//      destroys it afterwards.
// A page reaches the hub only through the session it is given (Session(),
// or its hub client Hub()) in the jobs it is given, and never waits for a
// call: the result comes back to a continuation.
#pragma once
#include "client/HubClient.h"
#include "client/HubSession.h"
#include "utility/logic/DialogLogic.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace vexal::utility {

// What every page is handed; both outlive the page. The session is the
// main window's connected one, used on the library thread only (in jobs).
struct SPageContext {
    client::CHubSession& session;
    CLibraryJobs& jobs;
};

// Identifiers of the button row every page has (GET and Default Setting
// stay hidden: the hub needs neither) and the hidden inactivity field.
namespace page_ids {
inline constexpr int kGet = 1036, kSet = 1037, kDefault = 1042, kClose = 1033;
}

class CPageLogic : public CDialogLogic {
public:
    explicit CPageLogic(const SPageContext& context) : m_context(context) {}

    // Starts reading the page's settings from the hub and filling the
    // controls (the view is attached, the window not shown yet); fnDone(bool)
    // follows on the UI thread, once: false when the read failed (the page has
    // told the user) or could not start. The custom device page reads when
    // shown and reports true at once.
    virtual void ReadFromHub(std::function<void(bool)> fnDone) = 0;

    bool IsBusy() const override { return m_context.jobs.IsBusy(); }

protected:
    // The main window's session and its hub client, for a job's work (which
    // runs on the library thread).
    client::CHubSession& Session() const { return m_context.session; }
    client::CHubClient Hub() const { return m_context.session.Client(); }
    CLibraryJobs& Jobs() const { return m_context.jobs; }

    // A read's fnDone as StartJob's fnNotDone: false when the job did not
    // start or its work threw.
    static std::function<void()> NotDone(std::function<void(bool)> fnDone) {
        return [fn = std::move(fnDone)] {
            if (fn) fn(false);
        };
    }

    // Adds the page's button row (GET, SET, Default Setting, Close; GET and
    // Default Setting hidden) and the hidden inactivity row (0..65535 s) at
    // nRow to a page table.
    static void AddPageButtons(SDialogDesc& desc);
    static void AddHiddenInactivityRow(SDialogDesc& desc, int nRow, int nId);

private:
    SPageContext m_context;
};

using PageFactory = std::function<std::unique_ptr<CPageLogic>(const SPageContext&)>;

std::unique_ptr<CPageLogic> MakeBluetoothPage(const SPageContext& context);       // 136
std::unique_ptr<CPageLogic> MakeWlanPage(const SPageContext& context);            // 137
std::unique_ptr<CPageLogic> MakeUsbToSerialPage(const SPageContext& context);     // 141
std::unique_ptr<CPageLogic> MakeCustomDevicePage(const SPageContext& context);    // 143
std::unique_ptr<CPageLogic> MakeLanPage(const SPageContext& context);             // 144
std::unique_ptr<CPageLogic> MakeNetProtocolPage(const SPageContext& context);     // 145
std::unique_ptr<CPageLogic> MakeInterfaceUsagePage(const SPageContext& context);  // 146

}  // namespace vexal::utility
