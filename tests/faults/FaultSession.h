// A configuration session through libZamoCfg's exports (bound by name, as
// the utility binds them) against vexal-hubsim on one of the three links,
// and what every fault test checks around a fault: the code and the time of
// a call, the session's threads after closeService, and the data the hub
// sends once the link is back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "HubSimFixture.h"
#include "client/CfgLibrary.h"

namespace faults_test {

enum class ELink { Tcp, Pty, Usb };

// The library's reply time-out of the USB-list query (0x44), the call most
// faults are shown with.
inline constexpr int kQueryTimeoutMs = 1500;
// How long past its time-out a failing call may take at most: five refused
// write attempts, a USB reopen on the caller's thread, and a slow
// (sanitizer) build on a loaded machine.
inline constexpr int kLateSlackMs = 4000;

class CFaultSession {
public:
    // Starts the hub for the link, with an echo device at 10 and its
    // settings in a state file, so a restarted hub is the same hub. A USB
    // link is the simulated bus, or libusb to an emulated usbfs device when
    // the process runs under usbfs_emulator.
    explicit CFaultSession(ELink eLink);
    // Closes a session a failed test left open, so no thread outlives it.
    ~CFaultSession();
    CFaultSession(const CFaultSession&) = delete;
    CFaultSession& operator=(const CFaultSession&) = delete;

    ELink Link() const { return m_eLink; }
    CHubSimFixture& Hub() { return *m_pHub; }
    const vexal::client::CCfgLibrary& Api() const { return m_api; }
    int32_t Handle() const { return m_nHandle; }

    // A control command that must be answered "OK ..."; returns the rest.
    std::string Control(const std::string& strLine);

    // selectInterface and openService (device 10). The process's thread
    // count before the first open is what closing must come back to.
    void Open();
    // closeService gives 0 within its bound and every thread the session
    // started ends (waiting a little for those that end on their own).
    void CloseAndExpectNoThreadsLeft();

    // Runs the call and expects nCode from it within [nMinMs, nMaxMs].
    void ExpectCode(int32_t nCode, int nMinMs, int nMaxMs, const std::function<int32_t()>& fnCall,
                    const std::string& strWhat);
    // The USB-list query (one request, one reply of 17 bytes); a list it
    // reports must be the hub's.
    int32_t QueryUsbList();
    // The query is refused with "no reply in time" after its full time-out.
    void ExpectQueryTimesOut(const std::string& strWhat);
    // After a drop: asks until the hub answers again; every attempt before
    // that fails with 1011 in its bounds. False when nLimitMs pass first.
    bool WaitUntilAnswered(int nLimitMs);
    // Under usbfs_emulator: waits until libusb lists the hub at its default
    // place on the emulated bus (1-1), or no longer does.
    bool WaitForEmulatedHub(bool bPresent);
    // USB: waits until the hub has accepted its nth connection.
    bool WaitForUsbConnections(int nCount, int nLimitMs);

    // What the hub sends once the link is back arrives whole and in order: a
    // WLAN block (592 bytes, changed just before) equal to the hub's, and
    // nEchoBytes of directIO data coming back through the data callback.
    void ExpectDataIntact(size_t nEchoBytes = 1500);
    // Sends bytes to the echo device and expects them back as text.
    void ExpectEcho(const std::string& strData, int nLimitMs);

private:
    ELink m_eLink;
    std::filesystem::path m_dir;
    std::unique_ptr<CHubSimFixture> m_pHub;
    vexal::client::CCfgLibrary m_api;
    int32_t m_nHandle = 0;
    bool m_bOpen = false;
    size_t m_nThreadsBefore = 0;
    int m_nDataRound = 0;
    std::u16string m_strUsbList;  // "vid&pid," of each attached device, as the hub lists them
};

}  // namespace faults_test
