#include "PyDevices.h"

#include "model/DeviceStatus.h"
#include "model/Identification.h"
#include "platform/Clock.h"

#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <optional>

namespace vexal::python {

namespace {

using client::EDeviceEvent;

// Waits are cut into slices so that Ctrl-C reaches Python within one.
constexpr uint32_t kSliceMs = 100;

std::optional<std::string> Text(const std::string& str) {
    return str.empty() ? std::nullopt : std::optional<std::string>(str);
}

struct SPyDeviceState {
    int nId = 0;
    std::optional<std::string> vid, pid, type;
    std::string strKind;
};

struct SPyPrinterStatus {
    int nId = 0;
    std::optional<std::string> record;
    std::vector<std::string> reasons;
};

struct SPyHubStatus {
    std::string strHub, strModel, strFirmware, strLink;
    std::vector<SPyDeviceState> devices;
    std::vector<SPyPrinterStatus> printers;
};

struct SPyDeviceEvent {
    std::string strTime, strEvent;
    std::optional<int> id;
    std::optional<std::string> vid, pid, type;  // device-added
    std::optional<std::string> record, kind;    // status
    std::vector<std::string> reasons;           // status
    std::optional<uint32_t> alarm;              // alarm
    std::optional<std::string> detail;          // alarm
    std::optional<std::string> state;           // link
};

SPyDeviceState DeviceState(const client::SDeviceInfo& d) {
    return {d.nId, Text(d.strVid), Text(d.strPid), Text(d.strCustomType), model::DeviceTypeName(d.nId)};
}

SPyHubStatus HubStatus(const client::SHubStatus& s) {
    SPyHubStatus out{s.strHub, s.strModel, s.strFirmware, client::LinkStateName(s.eLink), {}, {}};
    for (const auto& d : s.vecDevices) out.devices.push_back(DeviceState(d));
    for (const auto& p : s.vecPrinters)
        out.printers.push_back(
            {p.nId, p.record ? std::optional(model::RecordHex(*p.record)) : std::nullopt, p.Reasons()});
    return out;
}

SPyDeviceEvent DeviceEvent(const client::SDeviceEvent& e) {
    SPyDeviceEvent out;
    out.strTime = e.strTime;
    out.strEvent = client::DeviceEventName(e.eKind);
    if (e.eKind != EDeviceEvent::Link) out.id = e.nId;
    switch (e.eKind) {
    case EDeviceEvent::DeviceAdded:
        out.vid = Text(e.device.strVid);
        out.pid = Text(e.device.strPid);
        out.type = Text(e.device.strCustomType);
        break;
    case EDeviceEvent::DeviceRemoved: break;
    case EDeviceEvent::Status:
        out.record = model::RecordHex(e.record);
        out.kind = model::RecordKindName(model::RecordKind(e.record));
        out.reasons = model::RecordReasons(e.record);
        break;
    case EDeviceEvent::Alarm:
        out.alarm = e.nAlarmCode;
        out.detail = model::AlarmName(e.nAlarmCode);
        break;
    case EDeviceEvent::Link: out.state = client::LinkStateName(e.eLink); break;
    }
    return out;
}

// The port library beside the configuration library, bound once per process
// (call with the library lock held). Never destroyed: a watch an iterator
// still holds may outlive its Hub.
const client::CPortApiTable& PortTable(const client::CCfgLibrary& api) {
    static auto* s_pTable = new client::CPortApiTable();
    if (!s_pTable->IsBound() && !s_pTable->Load(api)) throw SLibraryMissing{s_pTable->LastError()};
    return *s_pTable;
}

// Checks for Ctrl-C on a thread that released the GIL; the exception stays
// set for the caller to raise.
bool Interrupted() {
    py::gil_scoped_acquire gil;
    return PyErr_CheckSignals() != 0;
}

// The iterator Hub.watch() returns: the watch's events until the time-out
// passes or the session closes.
class CPyWatch {
public:
    CPyWatch(std::shared_ptr<client::CHubDevices> pDevices, std::shared_ptr<client::CDeviceEventQueue> pQueue,
             std::optional<double> timeout)
        : m_pDevices(std::move(pDevices)), m_pQueue(std::move(pQueue)) {
        if (timeout)
            m_deadline =
                std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                       std::chrono::duration<double>(std::max(0.0, *timeout)));
    }

    SPyDeviceEvent Next() {
        std::optional<client::SDeviceEvent> event;
        bool bInterrupted = false;
        {
            py::gil_scoped_release nogil;
            for (;;) {
                uint32_t nSlice = kSliceMs;
                if (m_deadline) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        *m_deadline - std::chrono::steady_clock::now());
                    if (left.count() <= 0) break;
                    nSlice = static_cast<uint32_t>(std::min<int64_t>(left.count(), kSliceMs));
                }
                event = m_pQueue->Wait(nSlice);
                if (event || m_pQueue->IsClosed()) break;
                if ((bInterrupted = Interrupted())) break;
            }
        }
        if (bInterrupted) throw py::error_already_set();
        if (!event) throw py::stop_iteration();
        return DeviceEvent(*event);
    }

private:
    std::shared_ptr<client::CHubDevices> m_pDevices;  // its queue's source, kept while iterating
    std::shared_ptr<client::CDeviceEventQueue> m_pQueue;
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
};

}  // namespace

CPyHubDevices::~CPyHubDevices() { Close(); }

void CPyHubDevices::Attach(int32_t nSession, const client::SHubAddress& address) {
    Close();
    const client::CCfgLibrary* pApi = nullptr;
    const client::CPortApiTable* pPort = nullptr;
    {
        // The tables are bound under the lock, like every other use of the library.
        std::lock_guard lock(LibraryLock());
        pApi = &CfgLibrary();
        pPort = &PortTable(*pApi);
    }
    auto pDevices = std::make_shared<client::CHubDevices>(*pApi, *pPort);
    if (!pDevices->Attach(nSession, address, {}))
        throw SHubFailure{pDevices->Error(), ZAMO_E_FAIL, CodeMeaning(ZAMO_E_FAIL)};
    m_pDevices = std::move(pDevices);
    m_address = address;
}

void CPyHubDevices::Close() {
    if (m_pDevices) m_pDevices->Close();
    m_pDevices.reset();
}

py::object CPyHubDevices::Status(double dSettleSeconds) {
    if (dSettleSeconds < 0) throw std::invalid_argument("settle: a number of seconds, 0 or more");
    client::SHubStatus status;
    bool bInterrupted = false;
    {
        py::gil_scoped_release nogil;
        const uint64_t nEnd = platform::TickMs() + static_cast<uint64_t>(dSettleSeconds * 1000);
        while (!m_pDevices->WaitSettled(kSliceMs)) {
            if (platform::TickMs() >= nEnd) break;
            if ((bInterrupted = Interrupted())) break;
        }
        status = m_pDevices->Snapshot();
    }
    if (bInterrupted) throw py::error_already_set();
    return py::cast(HubStatus(status));
}

py::object CPyHubDevices::Watch(const py::object& timeout) {
    std::optional<double> seconds;
    if (!timeout.is_none()) seconds = timeout.cast<double>();
    return py::cast(CPyWatch(m_pDevices, m_pDevices->Subscribe(true), seconds));
}

int64_t CPyHubDevices::Send(int nDevice, const py::bytes& data, double dTimeoutSeconds) {
    if (!model::IsDeviceId(nDevice)) throw std::invalid_argument("device: a device ID from 1 to 254");
    if (dTimeoutSeconds <= 0) throw std::invalid_argument("timeout: a number of seconds above 0");
    const std::string strData = data;
    client::SSendResult result;
    bool bSent = false, bInterrupted = false;
    {
        py::gil_scoped_release nogil;
        client::SSendControl control;
        control.nDeadlineMs = platform::TickMs() + static_cast<uint64_t>(dTimeoutSeconds * 1000);
        std::atomic<bool> bCancel{false};
        control.pCancel = &bCancel;
        uint64_t nNextLook = 0;
        // Between two writes: Ctrl-C ends the send (looked at once a slice).
        control.fnAlarm = [&]() -> uint32_t {
            const uint64_t nNow = platform::TickMs();
            if (nNow >= nNextLook) {
                nNextLook = nNow + kSliceMs;
                if (Interrupted()) bInterrupted = bCancel = true;
            }
            return 0;
        };
        bSent = m_pDevices->Send(nDevice, reinterpret_cast<const uint8_t*>(strData.data()), strData.size(), control,
                                 500, result);
    }
    if (bInterrupted) throw py::error_already_set();
    const std::string strWhere = m_address.strLabel + ": send to device " + std::to_string(nDevice);
    if (!bSent) throw SDeviceFailure{m_pDevices->Error(), ZAMO_E_FAIL, CodeMeaning(ZAMO_E_FAIL), nDevice, 0, 0};
    if (result.eEnd == client::ESendEnd::Alarm)
        throw SDeviceFailure{strWhere + ": the hub raised write alarm " + std::to_string(result.nAlarmCode) + " (" +
                                 model::AlarmName(result.nAlarmCode) + ") after " +
                                 std::to_string(result.nPayloadWritten) + " of " + std::to_string(strData.size()) +
                                 " bytes",
                             static_cast<int32_t>(result.nAlarmCode),
                             model::AlarmName(result.nAlarmCode),
                             nDevice,
                             result.nPayloadWritten,
                             result.nAlarmCode};
    if (result.eEnd != client::ESendEnd::Done)
        throw SDeviceFailure{strWhere + ": " + client::SendEndText(result.eEnd) + " after " +
                                 std::to_string(result.nPayloadWritten) + " of " + std::to_string(strData.size()) +
                                 " bytes",
                             ZAMO_E_FAIL,
                             client::SendEndText(result.eEnd),
                             nDevice,
                             result.nPayloadWritten,
                             0};
    return static_cast<int64_t>(result.nPayloadWritten);
}

py::bytes CPyHubDevices::Receive(int nDevice, double dTimeoutSeconds) {
    if (!model::IsDeviceId(nDevice)) throw std::invalid_argument("device: a device ID from 1 to 254");
    if (dTimeoutSeconds < 0) throw std::invalid_argument("timeout: a number of seconds, 0 or more");
    std::vector<uint8_t> data;
    bool bStarted = false, bInterrupted = false;
    {
        py::gil_scoped_release nogil;
        bStarted = m_pDevices->StartReceive(nDevice);
        const uint64_t nEnd = platform::TickMs() + static_cast<uint64_t>(dTimeoutSeconds * 1000);
        while (bStarted) {
            const uint64_t nNow = platform::TickMs();
            const uint32_t nSlice = static_cast<uint32_t>(std::min<uint64_t>(kSliceMs, nEnd > nNow ? nEnd - nNow : 0));
            if (m_pDevices->Receive(nDevice, data, nSlice) > 0 || platform::TickMs() >= nEnd) break;
            if ((bInterrupted = Interrupted())) break;
        }
    }
    if (bInterrupted) throw py::error_already_set();
    if (!bStarted) throw SDeviceFailure{m_pDevices->Error(), ZAMO_E_FAIL, CodeMeaning(ZAMO_E_FAIL), nDevice, 0, 0};
    return py::bytes(reinterpret_cast<const char*>(data.data()), data.size());
}

void BindDeviceTypes(py::module_& m) {
    py::class_<SPyDeviceState>(m, "DeviceState", "A device present behind the hub, as Hub.status() reports it.")
        .def_readonly("id", &SPyDeviceState::nId, "Its device ID (1-254).")
        .def_readonly("vid", &SPyDeviceState::vid, "USB vendor ID, four lower-case hexadecimal digits; None if untold.")
        .def_readonly("pid", &SPyDeviceState::pid, "USB product ID, as vid.")
        .def_readonly("type", &SPyDeviceState::type,
                      "The custom device type whose list holds its vid and pid (\"pos-printer\"); None if none.")
        .def_readonly("kind", &SPyDeviceState::strKind, "What the hub keeps at its ID (\"Local Printer\").")
        .def("__repr__", [](const SPyDeviceState& d) {
            return "DeviceState(id=" + std::to_string(d.nId) + ", vid=" + d.vid.value_or("None") +
                   ", pid=" + d.pid.value_or("None") + ", kind='" + d.strKind + "')";
        });
    py::class_<SPyPrinterStatus>(m, "PrinterStatus", "A printer (device 10-19) and its latest status record.")
        .def_readonly("id", &SPyPrinterStatus::nId)
        .def_readonly("record", &SPyPrinterStatus::record,
                      "The 4-byte record as 8 lower-case hexadecimal digits; None before the printer sent one.")
        .def_readonly("reasons", &SPyPrinterStatus::reasons,
                      "IPP printer-state-reasons keywords (\"media-empty\", \"cover-open\"...), [\"none\"] when the "
                      "record names none, [] before a record.")
        .def("__repr__", [](const SPyPrinterStatus& p) {
            std::string strReasons;
            for (const auto& r : p.reasons) strReasons += (strReasons.empty() ? "" : ", ") + r;
            return "PrinterStatus(id=" + std::to_string(p.nId) + ", record=" + p.record.value_or("None") +
                   ", reasons=[" + strReasons + "])";
        });
    py::class_<SPyHubStatus>(m, "HubStatus", "The link, the hub and the devices behind it (Hub.status()).")
        .def_readonly("hub", &SPyHubStatus::strHub)
        .def_readonly("model", &SPyHubStatus::strModel)
        .def_readonly("firmware", &SPyHubStatus::strFirmware)
        .def_readonly("link", &SPyHubStatus::strLink, "\"on-line\" or \"off-line\".")
        .def_readonly("devices", &SPyHubStatus::devices, "The devices present, rising by ID.")
        .def_readonly("printers", &SPyHubStatus::printers, "The printers present (10-19), rising by ID.")
        .def("__repr__", [](const SPyHubStatus& s) {
            return "HubStatus(hub='" + s.strHub + "', link='" + s.strLink +
                   "', devices=" + std::to_string(s.devices.size()) + ")";
        });
    py::class_<SPyDeviceEvent>(m, "DeviceEvent",
                               "One event of Hub.watch(). event is \"device-added\" (id, vid, pid, type), "
                               "\"device-removed\" (id), \"status\" (id, record, kind, reasons), \"alarm\" (id, "
                               "alarm, detail) or \"link\" (state); the other attributes are None (reasons []).")
        .def_readonly("time", &SPyDeviceEvent::strTime, "UTC, ISO 8601 with milliseconds.")
        .def_readonly("event", &SPyDeviceEvent::strEvent)
        .def_readonly("id", &SPyDeviceEvent::id)
        .def_readonly("vid", &SPyDeviceEvent::vid)
        .def_readonly("pid", &SPyDeviceEvent::pid)
        .def_readonly("type", &SPyDeviceEvent::type)
        .def_readonly("record", &SPyDeviceEvent::record, "The record as received, 8 hexadecimal digits.")
        .def_readonly("kind", &SPyDeviceEvent::kind, "\"status\", or \"second\" for the printer's own kind (raw).")
        .def_readonly("reasons", &SPyDeviceEvent::reasons)
        .def_readonly("alarm", &SPyDeviceEvent::alarm, "The write alarm's code, 1200-1204.")
        .def_readonly("detail", &SPyDeviceEvent::detail, "The alarm's name (\"device-offline\").")
        .def_readonly("state", &SPyDeviceEvent::state, "\"on-line\" or \"off-line\".")
        .def("__repr__", [](const SPyDeviceEvent& e) {
            return "DeviceEvent(event='" + e.strEvent + "'" + (e.id ? ", id=" + std::to_string(*e.id) : "") +
                   (e.record ? ", record=" + *e.record : "") + (e.alarm ? ", alarm=" + std::to_string(*e.alarm) : "") +
                   (e.state ? ", state=" + *e.state : "") + ")";
        });
    py::class_<CPyWatch>(m, "Watch", "The iterator of Hub.watch().")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &CPyWatch::Next);
}

}  // namespace vexal::python
