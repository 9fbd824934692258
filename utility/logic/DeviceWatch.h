// The watch behind the "Devices" window, without its window: a CHubDevices
// lent the main window's open session, sharing its port, and a thread of its
// own that hands each event on as it comes. Start and Stop are library calls
// (they open and close the watch's use of the session and port): they run on
// the library thread, in jobs. The events come on the relay thread; the
// window passes them to the UI thread through its UI queue.
//
// The session is lent, not shared: while the watch runs, its session thread
// makes the liveness exchanges on it, so nothing else may call into that
// session (the main window takes no input while the Devices window is up).
// Stop leaves the session open and working for the main window.
#pragma once
#include "client/CfgLibrary.h"
#include "client/DeviceEvents.h"
#include "client/HubDevices.h"
#include "client/PortApiTable.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vexal::utility {

class IDeviceWatch {
public:
    using EventFn = std::function<void(client::SDeviceEvent)>;
    virtual ~IDeviceWatch() = default;
    // Library thread. Starts watching; the present picture comes first as
    // events (the link, each device as added, each printer's latest record),
    // then every change, each passed to fnEvent on another thread. False with
    // strError when the watch could not start (nothing is left running).
    virtual bool Start(EventFn fnEvent, std::string& strError) = 0;
    // Library thread. Ends the watch: no fnEvent call follows its return.
    // Idempotent.
    virtual void Stop() = 0;
};

class CDeviceWatch final : public IDeviceWatch {
public:
    // cfg: the bound configuration library; it outlives this.
    CDeviceWatch(const client::CCfgLibrary& cfg, int32_t nSession, client::SHubAddress address);
    ~CDeviceWatch() override;  // Stop()
    CDeviceWatch(const CDeviceWatch&) = delete;
    CDeviceWatch& operator=(const CDeviceWatch&) = delete;

    bool Start(EventFn fnEvent, std::string& strError) override;
    void Stop() override;

private:
    const client::CCfgLibrary& m_cfg;
    int32_t m_nSession;
    client::SHubAddress m_address;
    client::CPortApiTable m_port;  // the port library beside the configuration library
    std::unique_ptr<client::CHubDevices> m_pDevices;
    std::thread m_relay;
};

}  // namespace vexal::utility
