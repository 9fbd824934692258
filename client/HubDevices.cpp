#include "client/HubDevices.h"

#include "client/CfgEntryPoints.h"
#include "client/CfgGate.h"
#include "model/CustomDevices.h"
#include "model/DeviceFrames.h"
#include "model/Identification.h"
#include "platform/Clock.h"
#include "platform/TextCodec.h"
#include "platform/Usb.h"

#include <algorithm>
#include <chrono>
#include <shared_mutex>

namespace vexal::client {

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kDiscardEveryMs = 1000;

// The port names this process's watches hold, with the text each was
// reached by: two hubs must not meet in one port.
struct SClaims {
    std::mutex mutex;
    std::map<std::u16string, std::string> names;  // guarded by mutex
};
SClaims& Claims() {
    static auto* s_pClaims = new SClaims();  // never destroyed: a late Close may still release
    return *s_pClaims;
}

ELinkKind LinkKindOf(int32_t nInterface) {
    switch (nInterface) {
    case ZAMO_IF_USB: return ELinkKind::Usb;
    case ZAMO_IF_SERIAL:
    case ZAMO_IF_SERIAL_EXPLICIT: return ELinkKind::Serial;
    case ZAMO_IF_PARALLEL: return ELinkKind::Parallel;
    default: return ELinkKind::Network;
    }
}

// The port name the configuration library makes of a port text: the text up
// to its first ':' (a parallel port's text whole).
std::string PortNameOf(int32_t nInterface, const std::string& strText) {
    if (nInterface == ZAMO_IF_PARALLEL) return strText;
    return strText.substr(0, strText.find(':'));
}

uint32_t BaudOf(const std::string& strText) {
    const size_t nColon = strText.find(':');
    if (nColon == std::string::npos) return 9600;
    const std::string strBaud = strText.substr(nColon + 1, strText.find(':', nColon + 1) - nColon - 1);
    try {
        const unsigned long nBaud = std::stoul(strBaud);
        return nBaud > 0 && nBaud < 100000000 ? static_cast<uint32_t>(nBaud) : 9600;
    } catch (...) {
        return 9600;
    }
}

SDeviceEvent MakeEvent(EDeviceEvent eKind, int nId = 0) {
    SDeviceEvent event;
    event.eKind = eKind;
    event.nId = nId;
    event.strTime = EventTimestamp();
    return event;
}

}  // namespace

CHubDevices::CHubDevices(const CCfgLibrary& cfg, const CPortApiTable& port)
    : m_cfg(cfg), m_portApi(port), m_session(cfg), m_port(port) {
    m_session.UseGate(true);
}

CHubDevices::~CHubDevices() { Close(); }

bool CHubDevices::Fail(const std::string& strText) {
    std::lock_guard lock(m_errorMutex);
    m_strError = strText;
    return false;
}

std::string CHubDevices::Error() const {
    std::lock_guard lock(m_errorMutex);
    return m_strError;
}

bool CHubDevices::ClaimPortName(const std::u16string& strName, const std::string& strText) {
    SClaims& claims = Claims();
    std::lock_guard lock(claims.mutex);
    const auto it = claims.names.find(strName);
    if (it != claims.names.end()) {
        if (it->second == strText) return Fail(strText + ": this process watches that hub already (share its watch)");
        return Fail(strText + ": this process reaches another hub through the same port (" + it->second +
                    "); the port library names a network hub by its address alone, so each hub needs an "
                    "address of its own");
    }
    claims.names[strName] = strText;
    m_strClaimedName = strName;
    return true;
}

void CHubDevices::ReleasePortName() {
    if (m_strClaimedName.empty()) return;
    SClaims& claims = Claims();
    std::lock_guard lock(claims.mutex);
    claims.names.erase(m_strClaimedName);
    m_strClaimedName.clear();
}

template <class F>
auto CHubDevices::SessionCall(F&& fn) {
    std::shared_lock gate(CfgLibraryGate());
    std::lock_guard wire(m_port.WireLock());
    return fn();
}

bool CHubDevices::Open(const SHubAddress& address, int nTimeoutSeconds, const SHubDevicesOptions& options) {
    return Begin(address, options, [&] {
        if (!m_session.Open(address.nInterface, address.strPortText, address.strLabel, nTimeoutSeconds))
            return Fail(m_session.Error());
        m_bOwnSession = true;
        return true;
    });
}

bool CHubDevices::Attach(int32_t nSession, const SHubAddress& address, const SHubDevicesOptions& options) {
    return Begin(address, options, [&] {
        m_session.Attach(nSession);
        m_bOwnSession = false;
        return true;
    });
}

bool CHubDevices::Begin(const SHubAddress& address, const SHubDevicesOptions& options,
                        const std::function<bool()>& fnSession) {
    Close();
    Fail({});
    if (!m_cfg.IsBound() || !m_portApi.IsBound()) return Fail("the libraries are not loaded");
    // A network or serial port's name is known before the open: refuse a
    // second hub in the same port before its session would reach the first.
    if (address.nInterface != ZAMO_IF_USB &&
        !ClaimPortName(platform::Utf16FromUtf8(PortNameOf(address.nInterface, address.strPortText)), address.strLabel))
        return false;
    if (fnSession() && Start(address, options)) return true;
    const std::string strError = Error();
    Close();
    return Fail(strError);
}

bool CHubDevices::JoinPort(const SHubAddress& address) {
    const int32_t nDevice = SessionCall([&] { return m_cfg.Fn().m_pfn_getDeviceId(m_session.Handle()); });
    if (nDevice <= 0 || nDevice > model::kLastDeviceId) return Fail(address.strLabel + ": the session has no device");
    const ELinkKind eKind = LinkKindOf(address.nInterface);
    const uint32_t nBaud = eKind == ELinkKind::Serial ? BaudOf(address.strPortText) : 0;
    std::string strError;
    if (address.nInterface != ZAMO_IF_USB) {
        const std::u16string strName = platform::Utf16FromUtf8(PortNameOf(address.nInterface, address.strPortText));
        if (!m_port.Join(strName, static_cast<uint32_t>(nDevice), eKind, nBaud, strError))
            return Fail(address.strLabel + ": " + strError);
        return true;
    }
    // The session took the first hub on the bus it knows; its port carries
    // that hub's interface path as its name.
    for (const platform::SUsbDeviceInfo& device : platform::SystemUsbBus()->Enumerate()) {
        const std::u16string strName = platform::Utf16FromUtf8(device.strPath);
        if (!m_port.Join(strName, static_cast<uint32_t>(nDevice), eKind, nBaud, strError)) continue;
        if (ClaimPortName(strName, address.strLabel)) return true;
        m_port.Leave();
        return false;
    }
    return Fail(address.strLabel + ": " + (strError.empty() ? "no hub on the bus" : strError));
}

SDeviceInfo CHubDevices::ReadDevice(int nDevice) {
    SDeviceInfo info;
    info.nId = nDevice;
    if (!m_options.bIdentify) return info;
    std::string strVid, strPid;
    const SCallResult r = SessionCall([&] { return m_session.Client().ReadUsbInfo(nDevice, strVid, strPid); });
    const auto vid = model::ParseUsbId(strVid), pid = model::ParseUsbId(strPid);
    if (r.Ok() && vid && pid) {
        info.strVid = *vid;
        info.strPid = *pid;
        std::lock_guard lock(m_mutex);
        const auto it = m_mapCustom.find(*vid + "&" + *pid);
        if (it != m_mapCustom.end()) info.strCustomType = it->second;
    }
    return info;
}

void CHubDevices::ReadIdentity() {
    std::string strModel, strFirmware;
    SessionCall([&] { return m_session.ReadModel(strModel, strFirmware); });
    std::map<std::string, std::string> custom;
    for (int nType = 0; m_options.bIdentify && nType < model::kCustomTypeCount; ++nType) {
        std::vector<std::string> entries;
        // A type the hub does not list leaves its devices without a type name.
        if (!SessionCall([&] { return m_session.ReadCustomList(nType, entries); })) continue;
        for (const std::string& strEntry : entries) custom.emplace(strEntry, model::CustomTypeName(nType));
    }
    std::lock_guard lock(m_mutex);
    m_status.strModel = strModel;
    m_status.strFirmware = strFirmware;
    m_mapCustom = std::move(custom);
}

void CHubDevices::PrepareDevice(int nDevice) {
    m_port.WatchAlarms(nDevice);
    if (model::IsPrinterId(nDevice)) m_port.AddDevice(nDevice);
}

void CHubDevices::AskStatus(const std::vector<int>& vecPrinters) {
    if (!m_options.bStatusBack) return;
    for (int nDevice : vecPrinters) m_port.WriteFrame(nDevice, model::StatusBackPayload(true));
}

bool CHubDevices::Start(const SHubAddress& address, const SHubDevicesOptions& options) {
    m_options = options;
    m_options.nPollMs = std::max<uint32_t>(1, m_options.nPollMs);
    m_options.nPresenceMs = std::max(m_options.nPollMs, m_options.nPresenceMs);
    {
        std::lock_guard lock(m_mutex);
        m_status = {};
        m_status.strHub = address.strLabel;
        m_mapDevices.clear();
        m_mapPrinters.clear();
        m_setNewDevices.clear();
        m_setReceiving.clear();
        m_mapLastAlarm.clear();
        m_bPortOffline = m_bSilent = m_bRestore = m_bStop = false;
    }
    if (!JoinPort(address)) return false;
    {
        std::lock_guard lock(m_mutex);
        m_status.strPortName = platform::Utf8FromUtf16(m_strClaimedName);
    }
    m_port.SetAlarmWake([this] { m_cvPoll.notify_all(); });
    ReadIdentity();
    std::vector<int> printers;
    for (int nDevice : m_port.PresentDevices()) {
        SDeviceInfo info = ReadDevice(nDevice);
        PrepareDevice(nDevice);
        std::lock_guard lock(m_mutex);
        m_mapDevices[nDevice] = std::move(info);
        if (model::IsPrinterId(nDevice)) {
            m_mapPrinters[nDevice] = SPrinterState{nDevice, std::nullopt};
            printers.push_back(nDevice);
        }
    }
    if (m_options.bStatusBack) m_port.SetStatusBack(true);
    AskStatus(printers);
    m_bOpen = true;
    m_pollThread = std::thread([this] { PollThread(); });
    m_sessionThread = std::thread([this] { SessionThread(); });
    return true;
}

void CHubDevices::Close() {
    m_bOpen = false;  // no new Send or Receive
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_cvSession.notify_all();
    m_cvPoll.notify_all();
    m_cvState.notify_all();
    if (m_pollThread.joinable()) m_pollThread.join();
    if (m_sessionThread.joinable()) m_sessionThread.join();
    std::vector<std::weak_ptr<CDeviceEventQueue>> subscribers;
    {
        std::lock_guard lock(m_mutex);
        subscribers.swap(m_vecSubscribers);
    }
    for (const auto& weak : subscribers)
        if (auto queue = weak.lock()) queue->Close();
    std::unique_lock use(m_useMutex);  // no Send or Receive left on the port
    // The port first: the session's close must release the port's last user.
    m_port.Leave();
    m_port.SetAlarmWake({});
    ReleasePortName();
    if (m_bOwnSession) m_session.Close();
    m_bOwnSession = false;
}

SHubStatus CHubDevices::Snapshot() const {
    std::lock_guard lock(m_mutex);
    SHubStatus status = m_status;
    status.eLink = m_bPortOffline || m_bSilent ? ELinkState::Offline : ELinkState::Online;
    for (const auto& [nId, info] : m_mapDevices) status.vecDevices.push_back(info);
    for (const auto& [nId, printer] : m_mapPrinters) status.vecPrinters.push_back(printer);
    return status;
}

bool CHubDevices::WaitSettled(uint32_t nTimeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_cvState.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), [this] {
        if (m_bStop || !m_options.bStatusBack) return true;
        for (const auto& [nId, printer] : m_mapPrinters)
            if (!printer.record) return false;
        return true;
    });
}

void CHubDevices::Emit(SDeviceEvent event) {
    auto it = m_vecSubscribers.begin();
    while (it != m_vecSubscribers.end()) {
        if (auto queue = it->lock()) {
            queue->Push(event);
            ++it;
        } else {
            it = m_vecSubscribers.erase(it);
        }
    }
}

std::shared_ptr<CDeviceEventQueue> CHubDevices::Subscribe(bool bInitial) {
    auto queue = std::make_shared<CDeviceEventQueue>();
    std::lock_guard lock(m_mutex);
    if (!m_bOpen || m_bStop) {
        queue->Close();
        return queue;
    }
    if (bInitial) {
        SDeviceEvent link = MakeEvent(EDeviceEvent::Link);
        link.eLink = m_bPortOffline || m_bSilent ? ELinkState::Offline : ELinkState::Online;
        queue->Push(link);
        for (const auto& [nId, info] : m_mapDevices) {
            SDeviceEvent added = MakeEvent(EDeviceEvent::DeviceAdded, nId);
            added.device = info;
            queue->Push(added);
        }
        for (const auto& [nId, printer] : m_mapPrinters) {
            if (!printer.record) continue;
            SDeviceEvent status = MakeEvent(EDeviceEvent::Status, nId);
            status.record = *printer.record;
            queue->Push(status);
        }
    }
    m_vecSubscribers.push_back(queue);
    return queue;
}

void CHubDevices::SetLink(std::optional<bool> bPortOffline, std::optional<bool> bSilent) {
    bool bCameBack = false;
    {
        std::lock_guard lock(m_mutex);
        const bool bWasOffline = m_bPortOffline || m_bSilent;
        if (bPortOffline) m_bPortOffline = *bPortOffline;
        if (bSilent) m_bSilent = *bSilent;
        const bool bOffline = m_bPortOffline || m_bSilent;
        if (bOffline == bWasOffline) return;
        SDeviceEvent event = MakeEvent(EDeviceEvent::Link);
        event.eLink = bOffline ? ELinkState::Offline : ELinkState::Online;
        Emit(event);
        if (!bOffline) bCameBack = m_bRestore = true;
    }
    if (bCameBack) m_cvSession.notify_all();
}

void CHubDevices::SessionThread() {
    auto nextProbe = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.nLivenessMs);
    for (;;) {
        std::set<int> newDevices;
        bool bRestore = false;
        {
            std::unique_lock lock(m_mutex);
            m_cvSession.wait_until(lock, nextProbe,
                                   [this] { return m_bStop || m_bRestore || !m_setNewDevices.empty(); });
            if (m_bStop) return;
            newDevices = m_setNewDevices;
            bRestore = m_bRestore;
            m_bRestore = false;
        }
        for (int nDevice : newDevices) {
            SDeviceInfo info = ReadDevice(nDevice);
            PrepareDevice(nDevice);
            bool bPrinter = false;
            {
                std::lock_guard lock(m_mutex);
                // Gone again meanwhile: the poll thread took it off the list.
                if (m_setNewDevices.erase(nDevice) == 0) continue;
                SDeviceEvent event = MakeEvent(EDeviceEvent::DeviceAdded, nDevice);
                event.device = info;
                m_mapDevices[nDevice] = std::move(info);
                Emit(event);
                if (model::IsPrinterId(nDevice)) {
                    m_mapPrinters[nDevice] = SPrinterState{nDevice, std::nullopt};
                    bPrinter = true;
                }
            }
            if (bPrinter) AskStatus({nDevice});
        }
        if (bRestore) {
            // A new connection starts with presence reports off, and the
            // printers' changes while off-line were missed.
            m_port.WriteFrame(model::kPresenceDevice, model::PnpEnablePayload());
            std::vector<int> printers;
            {
                std::lock_guard lock(m_mutex);
                for (const auto& [nId, printer] : m_mapPrinters) printers.push_back(nId);
            }
            AskStatus(printers);
        }
        if (std::chrono::steady_clock::now() >= nextProbe) {
            std::vector<std::string> pieces;
            const bool bAnswered = SessionCall([&] { return m_session.Client().ReadUsbList(pieces); }).Ok();
            // Also after a re-connect the port made unseen: presence reports on.
            if (bAnswered) m_port.WriteFrame(model::kPresenceDevice, model::PnpEnablePayload());
            SetLink(std::nullopt, !bAnswered);
            nextProbe = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.nLivenessMs);
        }
    }
}

void CHubDevices::PollOnce(bool bPresence) {
    for (const SDeviceAlarm& alarm : m_port.TakeAlarms()) {
        std::lock_guard lock(m_mutex);
        auto& last = m_mapLastAlarm[alarm.nDevice];
        ++last.first;
        last.second = alarm.nCode;
        SDeviceEvent event = MakeEvent(EDeviceEvent::Alarm, alarm.nDevice);
        event.nAlarmCode = alarm.nCode;
        Emit(event);
        m_cvState.notify_all();
    }
    std::vector<int> printers;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [nId, printer] : m_mapPrinters) printers.push_back(nId);
    }
    for (int nDevice : printers) {
        model::CStatusRecord record{};
        while (m_port.TakeRecord(nDevice, record)) {
            std::lock_guard lock(m_mutex);
            const auto it = m_mapPrinters.find(nDevice);
            if (it != m_mapPrinters.end() && model::RecordKind(record) == model::ERecordKind::Status)
                it->second.record = record;
            SDeviceEvent event = MakeEvent(EDeviceEvent::Status, nDevice);
            event.record = record;
            Emit(event);
            m_cvState.notify_all();
        }
    }
    if (!bPresence) return;
    const std::optional<bool> bReportsOffline = m_port.ReportsOffline();
    SetLink(bReportsOffline.value_or(false), std::nullopt);
    {
        std::lock_guard lock(m_mutex);
        // Off-line, the table says nothing new: no device is taken away for it.
        if (m_bPortOffline || m_bSilent) return;
    }
    const std::vector<int> present = m_port.PresentDevices();
    bool bNew = false;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_mapDevices.begin(); it != m_mapDevices.end();) {
            if (std::binary_search(present.begin(), present.end(), it->first)) {
                ++it;
                continue;
            }
            Emit(MakeEvent(EDeviceEvent::DeviceRemoved, it->first));
            m_mapPrinters.erase(it->first);
            it = m_mapDevices.erase(it);
        }
        for (auto it = m_setNewDevices.begin(); it != m_setNewDevices.end();)
            it = std::binary_search(present.begin(), present.end(), *it) ? std::next(it) : m_setNewDevices.erase(it);
        for (int nDevice : present) {
            if (m_mapDevices.count(nDevice) != 0 || m_setNewDevices.count(nDevice) != 0) continue;
            m_setNewDevices.insert(nDevice);
            bNew = true;
        }
        m_cvState.notify_all();
    }
    if (bNew) m_cvSession.notify_all();
}

void CHubDevices::PollThread() {
    const uint32_t nPresenceEvery = std::max<uint32_t>(1, m_options.nPresenceMs / m_options.nPollMs);
    const uint32_t nDiscardEvery = std::max<uint32_t>(1, kDiscardEveryMs / m_options.nPollMs);
    for (uint64_t nCycle = 0;; ++nCycle) {
        PollOnce(nCycle % nPresenceEvery == 0);
        if (nCycle % nDiscardEvery == 0) {
            std::vector<int> idle;
            {
                std::lock_guard lock(m_mutex);
                for (const auto& [nId, printer] : m_mapPrinters)
                    if (m_setReceiving.count(nId) == 0) idle.push_back(nId);
            }
            for (int nDevice : idle) m_port.DiscardData(nDevice);
        }
        std::unique_lock lock(m_mutex);
        if (m_cvPoll.wait_for(lock, std::chrono::milliseconds(m_options.nPollMs), [this] { return m_bStop; })) return;
    }
}

bool CHubDevices::Send(int nDevice, const uint8_t* pData, size_t nData, const SSendControl& control,
                       uint32_t nAlarmWaitMs, SSendResult& result) {
    result = {};
    std::shared_lock use(m_useMutex);
    if (!m_bOpen) return Fail("the hub is not open");
    if (!model::IsDeviceId(nDevice)) return Fail("device " + std::to_string(nDevice) + " is not a device ID (1-254)");
    uint64_t nAlarmsBefore = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_bPortOffline || m_bSilent) return Fail(m_status.strHub + ": the hub is off-line; nothing sent");
        nAlarmsBefore = m_mapLastAlarm[nDevice].first;
    }
    if (!m_port.IsPresent(nDevice))
        return Fail(m_status.strHub + ": device " + std::to_string(nDevice) + " is not present; nothing sent");
    if (!m_port.WatchAlarms(nDevice)) return Fail("no alarm callback left for device " + std::to_string(nDevice));
    auto newAlarm = [this, nDevice, nAlarmsBefore]() -> uint32_t {
        std::lock_guard lock(m_mutex);
        const auto& last = m_mapLastAlarm[nDevice];
        return last.first > nAlarmsBefore ? last.second : 0;
    };
    SSendControl ours = control;
    ours.fnAlarm = [&control, &newAlarm]() -> uint32_t {
        if (const uint32_t nCode = newAlarm(); nCode != 0) return nCode;
        return control.fnAlarm ? control.fnAlarm() : 0;
    };
    result = m_port.SendData(nDevice, pData, nData, ours);
    if (result.eEnd == ESendEnd::Done && nData > 0 && nAlarmWaitMs > 0) {
        std::unique_lock lock(m_mutex);
        m_cvState.wait_for(lock, std::chrono::milliseconds(nAlarmWaitMs), [&] {
            const auto& last = m_mapLastAlarm[nDevice];
            return m_bStop || last.first > nAlarmsBefore;
        });
        const auto& last = m_mapLastAlarm[nDevice];
        if (last.first > nAlarmsBefore) {
            result.eEnd = ESendEnd::Alarm;
            result.nAlarmCode = last.second;
        }
    }
    return true;
}

bool CHubDevices::StartReceive(int nDevice) {
    std::shared_lock use(m_useMutex);
    if (!m_bOpen) return Fail("the hub is not open");
    if (nDevice == SessionDevice())
        return Fail("device " + std::to_string(nDevice) +
                    " is the session's own device: its bytes go to the session, not to a reader");
    if (!m_port.IsPresent(nDevice))
        return Fail(m_status.strHub + ": device " + std::to_string(nDevice) + " is not present");
    if (!m_port.AddDevice(nDevice)) return Fail("the port refused queues for device " + std::to_string(nDevice));
    m_port.WatchAlarms(nDevice);
    std::lock_guard lock(m_mutex);
    m_setReceiving.insert(nDevice);
    return true;
}

size_t CHubDevices::Receive(int nDevice, std::vector<uint8_t>& data, uint32_t nWaitMs) {
    std::shared_lock use(m_useMutex);
    if (!m_bOpen) return 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_setReceiving.count(nDevice) == 0) return 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nWaitMs);
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        const size_t nRead = m_port.ReadData(nDevice, buffer.data(), buffer.size());
        if (nRead > 0) {
            data.insert(data.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(nRead));
            return nRead;
        }
        std::unique_lock lock(m_mutex);
        if (m_bStop || std::chrono::steady_clock::now() >= deadline) return 0;
        m_cvState.wait_for(lock, std::chrono::milliseconds(m_options.nPollMs), [this] { return m_bStop; });
    }
}

bool ProbeHub(const CCfgLibrary& cfg, const CPortApiTable& port, const SHubAddress& address, int nTimeoutSeconds,
              uint64_t nDeadlineMs, SHubStatus& status, std::string& strError,
              const std::function<void(const SHubStatus&)>& fnTaken) {
    CHubDevices hub(cfg, port);
    if (!hub.Open(address, nTimeoutSeconds, {})) {
        strError = hub.Error();
        return false;
    }
    const uint64_t nNow = platform::TickMs();
    hub.WaitSettled(nDeadlineMs > nNow ? static_cast<uint32_t>(std::min<uint64_t>(nDeadlineMs - nNow, UINT32_MAX)) : 0);
    status = hub.Snapshot();
    if (fnTaken) fnTaken(status);
    return true;
}

}  // namespace vexal::client
