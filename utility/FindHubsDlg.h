// "Find hubs…" (dialog 148): searches address ranges for hubs on the main
// window's TCP port, lists each address that answers with its model and
// firmware as it is learned, and hands the chosen hub's address back. The
// probe runs on threads of its own, each identification as a job of the
// library thread; a timer shows the progress. "Stop" ends the search; a
// close while an identification runs waits for it.
#pragma once
#include "client/CfgApiTable.h"
#include "utility/DialogBase.h"
#include "utility/HubSearch.h"
#include "utility/LibraryWorker.h"

#include <QTimer>

#include <cstdint>
#include <optional>

namespace vexal::utility {

namespace find_ids {
inline constexpr int kRange = 1481, kSearch = 1482, kStop = 1483, kProgress = 1484, kStatus = 1485;
inline constexpr int kList = 1486, kUse = 1487, kClose = 1488;
}  // namespace find_ids

class CFindHubsDlg final : public CDialogBase {
    Q_OBJECT
public:
    static constexpr int kDialogId = 148;
    static constexpr int kPollMs = 50;

    // strRanges: what the range field starts with.
    CFindHubsDlg(client::CfgApiTable& api, CLibraryWorker& worker, IDialogServices& services, const QString& strRanges,
                 uint16_t wPort, QWidget* pParent = nullptr);
    ~CFindHubsDlg() override;

    // The address chosen with "Use this hub" (the dialog is then accepted).
    std::optional<uint32_t> Chosen() const { return m_chosen; }
    // A search or its last identification is still under way.
    bool IsBusy() const override;
    CHubSearch::EState SearchState() { return m_search.State(); }

    void done(int nResult) override;

private:
    void OnSearch();
    void OnStop();
    void OnUse();
    void OnPoll();
    void ShowState();

    client::CfgApiTable& m_api;
    CLibraryWorker& m_worker;
    uint16_t m_wPort;
    CHubSearch m_search;
    QTimer m_timer;
    size_t m_nRowsShown = 0;
    bool m_bJob = false;
    std::optional<int> m_closeResult;  // a close asked for while busy
    std::optional<uint32_t> m_chosen;
};

}  // namespace vexal::utility
