// The base of the seven settings dialogs.
//
// The main window makes a page through its factory (SettingsPages.h), then:
//   1. shows the progress pop-up (not for the custom device page),
//   2. calls ReadFromHub(fnDone) and returns to the event loop,
//   3. once fnDone tells the outcome: hides the pop-up and runs the page
//      modally through IDialogServices only when the read succeeded, and
//      destroys it afterwards.
//
// A page reaches the hub only through the table and the worker it is given,
// and never waits for a call: the result comes back to a continuation.
//
//   void CLANConfiguration::ReadFromHub(std::function<void(bool)> fnDone) {
//       const auto& api = Api();
//       const int32_t nSession = Session();
//       StartJob<SRead>([&api, nSession] { SRead r; r.nResult = api.m_pfn_getLanInfo(nSession, r.block.data()); return r; },
//                       [this, fnDone](SRead r) {                      // main thread again
//                           if (r.nResult != 0) { Message(tr("..."), EMsgIcon::Warning); fnDone(false); return; }
//                           Fill(r.block);
//                           fnDone(true);
//                       }, fnDone);
//   }
//   void CLANConfiguration::OnSet() {                 // bound with OnClicked
//       const auto block = Collect();                 // widgets read here
//       StartJob<int32_t>([...block] { ... setLanInfo ... }, [this](int32_t r) { ...messages... });
//   }
//
// While a job of a shown page runs, the page takes no input and shows the
// wait cursor (before the page is shown the pop-up blocks the input). A job
// asked for while another runs is not started (the click is then ignored).
#pragma once
#include "client/CfgApiTable.h"
#include "utility/DialogBase.h"
#include "utility/LibraryWorker.h"

#include <cstdint>
#include <functional>
#include <memory>

class QGridLayout;

namespace vexal::utility {

// What every page is handed.
struct SPageContext {
    client::CfgApiTable& api;
    CLibraryWorker& worker;
    IDialogServices& services;
};

class CSettingsPage : public CDialogBase {
    Q_OBJECT
public:
    CSettingsPage(int nDialogId, const SPageContext& context, QWidget* pParent = nullptr);

    // Starts reading the page's settings from the hub and filling the
    // controls; fnDone(bool) follows on the main thread, once: false when the
    // read failed (the page has told the user) or could not start. The
    // custom device page reads when shown and reports true at once.
    virtual void ReadFromHub(std::function<void(bool)> fnDone) = 0;

    bool IsBusy() const override { return m_context.worker.IsBusy(); }

protected:
    // The hub's inactivity time (0..65535 s) as a hidden row of the grid: the
    // pages keep the field but never show it.
    void AddHiddenInactivityRow(QGridLayout* pGrid, int& nRow, int nId);
    // Lays the page out as its grid over the button row GET, SET, Default
    // Setting, Close; GET and Default Setting stay hidden, as the hub needs neither.
    void LayOutWithButtons(QGridLayout* pGrid, int nGet, int nSet, int nDefault, int nClose);

    client::CfgApiTable& Api() const { return m_context.api; }
    int32_t Session() const { return m_context.api.m_nHandle; }
    CLibraryWorker& Worker() const { return m_context.worker; }

    // fnWork on the worker, then fnDone here with its result (dropped when
    // the page is gone by then). False when another job runs; fnRefused is
    // then called, so that a chain that reports its end always does.
    template <class R>
    bool StartJob(std::function<R()> fnWork, std::function<void(R)> fnDone,
                  const std::function<void(bool)>& fnRefused = {}) {
        return StartWindowJob<R>(m_context.worker, this, std::move(fnWork), std::move(fnDone), [fnRefused] {
            if (fnRefused)
                fnRefused(false);
        });
    }

private:
    SPageContext m_context;
};

}  // namespace vexal::utility
