// The base of the seven settings dialogs.
//
// The main window makes a page through its factory (SettingsPages.h), then:
//   1. shows the progress pop-up (not for the custom device page),
//   2. calls ReadFromHub(),
//   3. hides the pop-up,
//   4. runs the page modally through IDialogServices only when the read
//      succeeded, and destroys it afterwards.
//
// A page reaches the hub only through the table and the worker it is given:
//
//   bool CLANConfiguration::ReadFromHub() {
//       std::array<uint8_t, 30> block{};
//       auto r = RunRead<int32_t>([this, &block] {
//           return Api().m_pfn_getLanInfo(Session(), block.data()); });
//       if (!r || *r != 0) { Message(tr("..."), EMsgIcon::Warning); return false; }
//       Fill(block);                                   // main thread again
//       return true;
//   }
//   void CLANConfiguration::OnSet() {                 // bound with OnClicked
//       const auto block = Collect();                 // widgets read here
//       auto r = RunWrite<int32_t>([this, block] { ... setLanInfo ... });
//       ...
//   }
//
// RunRead leaves input blocking to the pop-up the main window shows; RunWrite
// disables this page and shows the wait cursor while the job runs. Both give
// nullopt when another job is running (the click is then ignored).
#pragma once
#include "client/CfgApiTable.h"
#include "utility/DialogBase.h"
#include "utility/LibraryWorker.h"

#include <cstdint>
#include <functional>
#include <optional>

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

    // Reads the page's settings from the hub and fills the controls; false
    // when the read failed (the page has told the user, within the Part's
    // texts). The custom device page does its reading when shown and returns
    // true here.
    virtual bool ReadFromHub() = 0;

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

    template <class R>
    std::optional<R> RunRead(std::function<R()> fnJob) {
        return m_context.worker.Call<R>(std::move(fnJob));
    }
    template <class R>
    std::optional<R> RunWrite(std::function<R()> fnJob) {
        if (m_context.worker.IsBusy())
            return std::nullopt;
        CBusyGuard busy(this);
        return m_context.worker.Call<R>(std::move(fnJob));
    }

private:
    SPageContext m_context;
};

}  // namespace vexal::utility
