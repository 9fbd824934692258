// The devices behind one hub: seen, watched and reached. A CHubDevices holds
// a configuration session (its own, or one it is lent) for what the
// configuration library tells (model, firmware, each device's USB
// identifiers, the custom device table) and shares that session's port
// through the port library (CDevicePort) for what only the port knows:
// which devices are present, the printers' status records, the hub's write
// alarms, and the bytes to and from a device.
//
//   CCfgLibrary cfg;  cfg.Load();            // the configuration library
//   CPortApiTable port;  port.Load(cfg);     // the port library beside it
//   CHubDevices hub(cfg, port);
//   if (!hub.Open({ZAMO_IF_ETHERNET, "10.0.0.5:9100", "10.0.0.5:9100"}, 0, {})) ... hub.Error()
//   hub.WaitSettled(2000);                   // every printer's first record
//   SHubStatus s = hub.Snapshot();
//   auto events = hub.Subscribe(true);       // then events->Wait(ms) ...
//   SSendControl control;  control.pCancel = &g_bStop;   // a signal handler may set it
//   SSendResult r;  hub.Send(10, data, n, control, 500, r);   // r.nPayloadWritten
//
// Ownership. The tables are the caller's and outlive the object; so does a
// control's cancel flag during its Send. What Snapshot and the queues hand
// out are copies; a subscriber's queue is shared with the caller and may
// outlive the object (it is closed then). Nothing here unloads a library.
//
// Threads. Open and Close run on the caller's thread (not inside a
// callback); everything else may be called from any thread at once. Two
// threads of its own run between them: the session thread makes every
// configuration-library call after the open (the identification reads, a
// liveness exchange every SHubDevicesOptions::nLivenessMs, what a newly
// found device needs) under CfgLibraryGate() shared and the port's wire
// lock; the poll thread reads the port every nPollMs (status records,
// presence every nPresenceMs; alarms wake it at once) and fills the
// subscribers' queues. A Send holds the wire lock while it writes, so the
// session thread's calls wait for it.
//
// Link. The port library does not export its link state. The watch calls
// the link off-line when either (a) the port reports it: the port's presence
// table holds the session's device but its power state denies it, which the
// port does only while its link is off-line; or (b) the hub stops answering:
// a liveness exchange (the USB list) gets no reply in time, which also
// catches a hub that fell silent or a connection the port is re-making. It
// is on-line again once neither holds; the watch then sends the
// plug-and-play enable again (the hub sends presence reports only after it,
// on each new connection) and asks every printer for its status. Each change
// is one Link event; while off-line no device is reported removed. The
// enable also follows every answered liveness exchange: a connection the
// port re-made between two exchanges starts with presence reports off too.
//
// Printers' status. With bStatusBack the port's status-back mode is on (for
// every printer 10-19 on the port) and each present printer is sent GS a,
// after which an ESC/POS printer sends its status record at once and again
// on every change; the same after a printer is plugged and after the link
// comes back. A device that is no printer may take those three bytes as
// data, so leave bStatusBack off for hubs with other devices at 10-19. With
// the mode on, the port filters records out of everything devices 10-19
// send: four bytes of their data that happen to form a record are taken for
// one (and reported as a Status event).
//
// What the port library does not let through: the hub's own alarms (0x75)
// call no callback, so no Alarm event stands for them; a write alarm gives
// its code (1200-1204), not the hub's status byte. The session's device
// (10) is read by the session's poll thread: Receive refuses it. Its alarm
// callback is replaced by this watch's while it runs and left empty after.
//
// Several hubs in one process. Supported, each CHubDevices on its own hub:
// their configuration-library calls run concurrently under the gate. The
// port library names a network hub by its address alone (the TCP port is
// not part of the port's name), so two hubs need two addresses: Open
// refuses a hub whose port name another CHubDevices of this process holds,
// and a second CHubDevices for the same hub (share the first one: it serves
// any number of subscribers and senders). Sessions the process opens
// elsewhere are not seen by that check.
#pragma once
#include "client/CfgLibrary.h"
#include "client/DeviceEvents.h"
#include "client/DevicePort.h"
#include "client/HubSession.h"
#include "client/PortApiTable.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexal::client {

// How to reach the hub: as CHubSession::Open takes it.
struct SHubAddress {
    int32_t nInterface = 0;   // ZAMO_IF_*: 2 Ethernet, 4 or 32 serial, 16 USB, 64 parallel
    std::string strPortText;  // selectInterface's text ("10.0.0.5:9100", "COM3:115200")
    std::string strLabel;     // how messages and the status name the hub
};

struct SHubDevicesOptions {
    bool bStatusBack = true;  // the printers' status records (see the header)
    // Each device's USB identifiers and the custom device table (about one
    // exchange per device and per custom type at the open); without, the
    // devices carry their ids only.
    bool bIdentify = true;
    // Between liveness exchanges: a connection the port re-makes takes it
    // about 3 s, so one falls into it.
    uint32_t nLivenessMs = 2000;
    // Between reads of the printers' status queues: what a record waits at
    // most after the port's reader queued it (the port tells nothing when
    // it does). Each wake-up costs: 20 ms is about 0.4 % of a core on a
    // virtual machine, the most of an idle watch's cost.
    uint32_t nPollMs = 20;
    // Between reads of the presence table (254 queries each).
    uint32_t nPresenceMs = 200;
};

class CHubDevices {
public:
    // The tables must outlive this object; both bound.
    CHubDevices(const CCfgLibrary& cfg, const CPortApiTable& port);
    ~CHubDevices();  // Close()
    CHubDevices(const CHubDevices&) = delete;
    CHubDevices& operator=(const CHubDevices&) = delete;

    // Opens a session of its own (as CHubSession::Open; nTimeoutSeconds 0
    // keeps the library's device-ID wait), joins its port, reads the model,
    // the firmware, the custom device table and each present device's
    // identifiers, switches the printers' status back on, and starts its
    // threads. Blocks for the open and about one exchange per device and
    // custom type (each up to 1.5 s when the hub is slow). False with
    // Error(), nothing left open, when any step but the identifiers fails.
    bool Open(const SHubAddress& address, int nTimeoutSeconds, const SHubDevicesOptions& options);
    // The same on a session that someone else opened and closes only after
    // Close() here. Their calls into it must not overlap this one's: hold
    // CfgLibraryGate() exclusively around them (and WireLock() while a Send
    // may run).
    bool Attach(int32_t nSession, const SHubAddress& address, const SHubDevicesOptions& options);
    // Stops the threads (each ends after the library call it is in, at most
    // one exchange), ends every subscriber's queue, gives the port back and
    // closes an own session. A Send under way on another thread is waited
    // for: cancel it first. Idempotent.
    void Close();
    bool IsOpen() const { return m_bOpen.load(); }
    // The last failure's message (of this thread's call, or another's).
    std::string Error() const;

    // The current picture; any thread.
    SHubStatus Snapshot() const;
    // Waits until every present printer has sent a status record (at once
    // when there is none, or without bStatusBack), at most nTimeoutMs; false
    // when one is still missing (its record stays null).
    bool WaitSettled(uint32_t nTimeoutMs) const;

    // A queue of the events from now on, for one subscriber. bInitial first
    // puts the present picture into it as events (the link, each device as
    // added, each printer's latest record), none lost or doubled against the
    // live ones. Closed by Close().
    std::shared_ptr<CDeviceEventQueue> Subscribe(bool bInitial);

    // Writes nData bytes to a present device in frames, in order, and then
    // waits nAlarmWaitMs for a write alarm of it. Refused (false, Error(),
    // nothing sent) when the device is not present or the watch is not open.
    // result.eEnd is Alarm when an alarm for the device came during the send
    // or the wait (the send stops at the next write); nPayloadWritten is
    // what the port library reported written of the data, never more.
    bool Send(int nDevice, const uint8_t* pData, size_t nData, const SSendControl& control, uint32_t nAlarmWaitMs,
              SSendResult& result);
    // Prepares a present device other than the session's own to be read
    // (queues of its own on the port). False with Error() otherwise: the
    // session's device's bytes go to the session's poll thread.
    bool StartReceive(int nDevice);
    // Appends what the device sent since the last call, waiting up to
    // nWaitMs for the first byte (polling every nPollMs); returns how many.
    size_t Receive(int nDevice, std::vector<uint8_t>& data, uint32_t nWaitMs);

    // Hold around a session call made elsewhere while a Send may run.
    std::mutex& WireLock() { return m_port.WireLock(); }
    // The session's own device (10).
    int SessionDevice() const { return static_cast<int>(m_port.SessionDevice()); }

private:
    // Claims the port name, gets the session from fnSession and starts;
    // undoes it all when a step fails.
    bool Begin(const SHubAddress& address, const SHubDevicesOptions& options, const std::function<bool()>& fnSession);
    bool Start(const SHubAddress& address, const SHubDevicesOptions& options);
    bool Fail(const std::string& strText);
    bool JoinPort(const SHubAddress& address);
    bool ClaimPortName(const std::u16string& strName, const std::string& strText);
    void ReleasePortName();
    // A configuration-library call of the session thread.
    template <class F>
    auto SessionCall(F&& fn);
    void ReadIdentity();
    SDeviceInfo ReadDevice(int nDevice);
    void PrepareDevice(int nDevice);
    void AskStatus(const std::vector<int>& vecPrinters);
    void SessionThread();
    void PollThread();
    void PollOnce(bool bPresence);
    // Either cause of an off-line link (see the header); nullopt keeps it.
    void SetLink(std::optional<bool> bPortOffline, std::optional<bool> bSilent);
    void Emit(SDeviceEvent event);  // with m_mutex held

    const CCfgLibrary& m_cfg;
    const CPortApiTable& m_portApi;
    CHubSession m_session;
    CDevicePort m_port;
    SHubDevicesOptions m_options;
    std::atomic<bool> m_bOpen{false};
    bool m_bOwnSession = false;
    mutable std::mutex m_errorMutex;
    std::string m_strError;  // guarded by m_errorMutex
    std::u16string m_strClaimedName;
    // Held shared by Send, StartReceive and Receive while they use the port,
    // exclusively by Close while it gives the port back.
    std::shared_mutex m_useMutex;

    mutable std::mutex m_mutex;
    std::condition_variable m_cvSession;        // work for the session thread, stop
    std::condition_variable m_cvPoll;           // an alarm came, stop
    mutable std::condition_variable m_cvState;  // records, alarms, presence read, stop
    // Guarded by m_mutex:
    SHubStatus m_status;
    std::map<int, SDeviceInfo> m_mapDevices;
    std::map<int, SPrinterState> m_mapPrinters;
    std::map<std::string, std::string> m_mapCustom;  // "vvvv&pppp" -> type name
    std::set<int> m_setNewDevices;                   // found by the poll thread, for the session thread
    std::set<int> m_setReceiving;
    std::map<int, std::pair<uint64_t, uint32_t>> m_mapLastAlarm;  // device -> (count, code)
    std::vector<std::weak_ptr<CDeviceEventQueue>> m_vecSubscribers;
    bool m_bPortOffline = false;
    bool m_bSilent = false;
    bool m_bRestore = false;  // the link came back: the session thread re-enables
    bool m_bStop = false;

    std::thread m_sessionThread;
    std::thread m_pollThread;
};

// A short look at one hub: opens, waits for the printers' records until the
// deadline (platform::TickMs), takes the picture and closes. False with
// strError when the open failed. Returns about when the deadline passes; the
// open itself and the close take what they take (the open up to the session's
// time-out and its exchanges, the close up to one exchange). fnTaken, when
// given, has the picture before the close (a caller that answers someone
// need not wait for it).
bool ProbeHub(const CCfgLibrary& cfg, const CPortApiTable& port, const SHubAddress& address, int nTimeoutSeconds,
              uint64_t nDeadlineMs, SHubStatus& status, std::string& strError,
              const std::function<void(const SHubStatus&)>& fnTaken = {});

}  // namespace vexal::client
