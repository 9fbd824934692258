// One print job through a hub: opens a watch on the hub, waits while the
// printer cannot print (paper out, cover open, an error, the link down),
// writes the job's bytes to the device in frames, in order, and tells CUPS
// on standard error what happens (STATE:, INFO:, ERROR: lines). The bytes
// go in pieces of whole frames, so a wait between two pieces never cuts a
// frame and nothing is sent twice.
//
// Ends: kBackendOk when every byte went and no write alarm came, or when the
// job was cancelled (CUPS asked for it); kBackendRetry when the hub cannot be
// reached or the device is not there and nothing was sent (the job stays
// queued); kBackendFailed for a write alarm, a print file that cannot be
// read, and a link lost part-way (sending it all again would print it twice).
#pragma once
#include "client/CfgLibrary.h"
#include "client/HubDevices.h"
#include "client/PortApiTable.h"
#include "cups/BackendArgs.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vexal::cups {

// Where the job's bytes come from.
struct SJobInput {
    // Up to nSize bytes; 0 at the end; nullopt with strError when reading failed.
    std::function<std::optional<size_t>(uint8_t* pBuffer, size_t nSize, std::string& strError)> fnRead;
    // Back to the first byte for the next copy; empty when the input cannot
    // (standard input: one copy only).
    std::function<bool(std::string& strError)> fnRewind;
};

struct SJobTimes {
    uint32_t nSettleMs = 2000;     // the printer's first status record
    uint32_t nPresentMs = 2000;    // the device to show in the hub's presence report
    uint32_t nLinkWaitMs = 60000;  // a link off-line before the job gives up
    uint32_t nAlarmWaitMs = 500;   // a write alarm after the last byte
    uint32_t nSliceMs = 100;       // waits are cut into slices to look at the cancel flag
};

class CBackendJob {
public:
    // fnLine writes one line (without its line feed) to standard error; the
    // tables are bound and outlive the job; pCancel is set by SIGTERM.
    CBackendJob(const client::CCfgLibrary& cfg, const client::CPortApiTable& port,
                std::function<void(const std::string&)> fnLine, const std::atomic<bool>& bCancel, SJobTimes times = {});

    int Run(const SDeviceUri& uri, const SJobArgs& args, SJobInput& input);

private:
    bool Cancelled() const { return m_bCancel.load(); }
    void Line(const std::string& strLine) { m_fnLine(strLine); }
    // Takes the events that came, at most nWaitMs for the first one.
    void Pump(uint32_t nWaitMs);
    void Apply(const client::SDeviceEvent& event);
    // The printer's and the link's reasons to CUPS, when they changed.
    void Publish();
    bool Holds() const;
    // Waits until the printer can print: false when the job must end (nExit).
    bool WaitReady(int& nExit);
    int SendAll(SJobInput& input, int nCopies);
    int EndAfterLoss(const std::string& strWhy);

    const client::CCfgLibrary& m_cfg;
    const client::CPortApiTable& m_portApi;
    std::function<void(const std::string&)> m_fnLine;
    const std::atomic<bool>& m_bCancel;
    SJobTimes m_times;

    std::unique_ptr<client::CHubDevices> m_pHub;
    std::shared_ptr<client::CDeviceEventQueue> m_pEvents;
    std::string m_strHub;
    int m_nDevice = 0;
    std::vector<std::string> m_vecReasons;  // the printer's latest record, as model reasons
    bool m_bLinkOffline = false;
    uint32_t m_nAlarm = 0;                 // a write alarm for the device, once one came
    std::set<std::string> m_setPublished;  // what CUPS was told
    std::string m_strPublishedText;
    size_t m_nSent = 0;  // of the job, all copies
};

}  // namespace vexal::cups
