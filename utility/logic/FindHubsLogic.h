// "Find hubs…" (dialog 148): searches address ranges for hubs on the main
// window's TCP port, lists each address that answers with its model and
// firmware as it is learned, and hands the chosen hub's address back. The
// probe runs on threads of its own (CHubSearch), each identification as a
// job of the library thread; a timer shows the progress. "Stop" ends the
// search; a close while an identification runs waits for it.
//
//   CFindHubsLogic find(api, jobs, u"192.168.0.0/24", wPort);
//   if (View().RunModal(find) == kAccepted && find.Chosen()) ... // the address, host order
#pragma once
#include "client/CfgLibrary.h"
#include "utility/logic/HubSearch.h"
#include "utility/logic/DialogLogic.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vexal::utility {

namespace find_ids {
inline constexpr int kRange = 1481, kSearch = 1482, kStop = 1483, kProgress = 1484, kStatus = 1485;
inline constexpr int kList = 1486, kUse = 1487, kClose = 1488;
}  // namespace find_ids

class CFindHubsLogic final : public CDialogLogic {
public:
    static constexpr int kDialogId = 148;
    static constexpr int kPollMs = 50;
    static constexpr int kPollTimer = 1;

    // strRanges: what the range field starts with.
    CFindHubsLogic(client::CCfgLibrary& api, CLibraryJobs& jobs, std::u16string strRanges, uint16_t wPort);
    ~CFindHubsLogic() override;

    // The address chosen with "Use this hub" (the window then closes as
    // accepted).
    std::optional<uint32_t> Chosen() const { return m_chosen; }
    CHubSearch::EState SearchState() { return m_search.State(); }

    const SDialogDesc& Desc() const override;
    void OnInit() override;
    void OnClicked(int nId) override;
    void OnRowSelected(int nId, int nRow) override;
    void OnRowActivated(int nId, int nRow) override;
    void OnTimer(int nTimerId) override;
    bool OnCloseRequest() override;
    // A search or its last identification is still under way.
    bool IsBusy() const override { return m_bJob || m_bPolling; }

private:
    void OnSearch();
    void OnStop();
    void OnUse();
    void OnPoll();
    void ShowState();
    // Closes now, or once the identification under way has ended.
    void CloseWhenIdle(int nResult);

    client::CCfgLibrary& m_api;
    CLibraryJobs& m_jobs;
    std::u16string m_strRanges;
    uint16_t m_wPort;
    CHubSearch m_search;
    size_t m_nRowsShown = 0;
    bool m_bPolling = false;           // the poll timer runs
    bool m_bJob = false;               // an identification runs on the library thread
    std::optional<int> m_closeResult;  // a close asked for while busy
    std::optional<uint32_t> m_chosen;
    // The window stays usable while an address is asked ("Stop"), so the
    // identification is no CDialogLogic::StartJob; its continuation holds
    // this weakly instead.
    std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
};

}  // namespace vexal::utility
