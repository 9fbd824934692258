// "Devices…" (dialog 150): the devices behind the connected hub, kept
// current while the window is open: each device's ID, USB identifiers and
// type, each printer's status in words, and the link. The watch (a
// CDeviceWatch lent the main window's session) starts and stops as jobs of
// the library thread; its events reach this logic through the UI queue.
// Nothing is edited here.
//
//   CDevicesLogic devices(jobs, std::make_shared<CDeviceWatch>(api, nSession, address));
//   View().RunModal(devices);   // Close (or Escape) stops the watch, then closes
#pragma once
#include "client/DeviceEvents.h"
#include "utility/logic/DeviceWatch.h"
#include "utility/logic/DialogLogic.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexal::utility {

namespace devices_ids {
inline constexpr int kLink = 1501, kList = 1502, kStatus = 1503, kClose = 1504;
}  // namespace devices_ids

// A printer's status in words: "Ready" for a record that names no reason,
// "No status yet" before a record came, else its reasons ("Off-line, Out of
// paper"). An empty roll is not also called low.
std::u16string PrinterStatusText(const std::optional<model::CStatusRecord>& record);
// A row of the list: ID, VID, PID ("-" when the hub did not tell), type (the
// custom type listing the pair, else the kind the hub keeps at the ID),
// status (printers 10-19 only).
std::vector<std::u16string> DeviceRowCells(const client::SDeviceInfo& device,
                                           const std::optional<model::CStatusRecord>& record);

class CDevicesLogic final : public CDialogLogic {
public:
    static constexpr int kDialogId = 150;

    // pWatch: shared with the jobs that start and stop it.
    CDevicesLogic(CLibraryJobs& jobs, std::shared_ptr<IDeviceWatch> pWatch);
    ~CDevicesLogic() override;

    enum class EState { Idle, Starting, Watching, Failed, Stopping, Stopped };
    EState State() const { return m_eState; }

    const SDialogDesc& Desc() const override;
    // Starts the watch.
    void OnInit() override;
    void OnClicked(int nId) override;
    // The watch is stopped first; the window closes once it has.
    bool OnCloseRequest() override;
    bool IsBusy() const override { return m_eState == EState::Starting || m_eState == EState::Stopping; }

    // An event of the watch, on the UI thread.
    void OnEvent(const client::SDeviceEvent& event);

private:
    void StopThenClose(int nResult);
    void ShowList();
    void ShowLink();

    CLibraryJobs& m_jobs;
    std::shared_ptr<IDeviceWatch> m_pWatch;
    EState m_eState = EState::Idle;
    std::optional<int> m_closeResult;  // a close asked for while the start ran
    client::ELinkState m_eLink = client::ELinkState::Online;
    std::map<int, client::SDeviceInfo> m_devices;
    std::map<int, std::optional<model::CStatusRecord>> m_printers;
    // The watch's events and the jobs' continuations hold it weakly: a late
    // one finds this logic gone and does nothing.
    std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
};

}  // namespace vexal::utility
