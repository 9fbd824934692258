// "Load settings…" (dialog 149): what writing a backup to the connected hub
// would change, group by group (the restore plan), with the clone option
// that keeps this hub's addresses and Bluetooth name. Nothing is written
// until "Write to hub"; then each group that differs is written and read
// back, and the list shows what came of each.
#pragma once
#include "client/HubSession.h"
#include "model/Backup.h"
#include "model/RestorePlan.h"
#include "utility/logic/BackupRestore.h"
#include "utility/logic/DialogLogic.h"

#include <optional>
#include <string>
#include <vector>

namespace vexal::utility {

namespace restore_ids {
inline constexpr int kSource = 1491, kClone = 1492, kList = 1493, kNote = 1494, kWrite = 1495, kClose = 1496;
}  // namespace restore_ids

class CRestoreLogic final : public CDialogLogic {
public:
    static constexpr int kDialogId = 149;

    // strFile: the file as the window names it. hub: the settings read from
    // the connected hub just before; the plan is made against them.
    // strConnectedAddress: the address this session reaches the hub at
    // (empty when not over Ethernet).
    CRestoreLogic(client::CHubSession& session, CLibraryJobs& jobs, std::u16string strFile, model::SBackup backup,
                  model::SHubSettings hub, std::string strConnectedAddress);

    const SDialogDesc& Desc() const override;
    void OnInit() override;
    void OnClicked(int nId) override;
    bool OnCloseRequest() override;
    bool IsBusy() const override { return m_bJob; }

    const std::vector<model::SGroupPlan>& Plans() const { return m_plans; }
    // Whether "Write to hub" has run (whatever came of it).
    bool Written() const { return !m_applied.empty(); }

private:
    void MakePlan();
    void ShowPlan();
    void OnWrite();
    // Closes now, or once the groups under way are written.
    void CloseWhenIdle(int nResult);

    client::CHubSession& m_session;  // the main window's, connected
    CLibraryJobs& m_jobs;
    std::u16string m_strFile;
    model::SBackup m_backup;
    model::SHubSettings m_hub;
    std::string m_strConnectedAddress;
    std::vector<model::SGroupPlan> m_plans;
    std::vector<SApplied> m_applied;
    bool m_bClone = false;
    bool m_bJob = false;
    std::optional<int> m_closeResult;
};

}  // namespace vexal::utility
