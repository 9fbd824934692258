#include "tools/DeviceCommands.h"

#include "client/HubDevices.h"
#include "client/PortApiTable.h"
#include "model/DeviceStatus.h"
#include "model/Identification.h"
#include "platform/Clock.h"
#include "tools/Output.h"
#include "tools/StdStreams.h"
#include "tools/ToolSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace vexal::tools {

namespace {

using client::CHubDevices;
using client::EDeviceEvent;
using client::SConnection;
using client::SDeviceEvent;
using client::SHubStatus;
using nlohmann::json;

// How long status waits for the printers' first records.
constexpr uint32_t kSettleMs = 2000;
// How long send waits after its last byte for a write alarm of the device.
constexpr uint32_t kAlarmWaitMs = 500;
// The time a send may take; a file the link cannot carry in it is refused.
constexpr uint32_t kSendSeconds = 300;
// Waits are cut into slices this long to look at Ctrl-C (an idle watch wakes no more often).
constexpr uint32_t kReadSliceMs = 250;

void Error(const std::string& strText) { std::cerr << "vexalcfg: " << strText << "\n"; }

json NullIfEmpty(const std::string& str) { return str.empty() ? json(nullptr) : json(str); }

std::string Joined(const std::vector<std::string>& words, const std::string& strEmpty) {
    std::string out;
    for (const auto& w : words) out += (out.empty() ? "" : " ") + w;
    return out.empty() ? strEmpty : out;
}

bool PrintLine(const std::string& strLine) {
    const std::string strOut = strLine + "\n";
    return WriteStdout(strOut.data(), strOut.size());
}

// The configuration library is loaded; the port library it loads comes next to it.
bool OpenHub(const client::CCfgLibrary& api, client::CPortApiTable& port, CHubDevices& hub, const SOptions& o,
             const SConnection& c, bool bStatusBack) {
    if (!port.Load(api)) {
        Error(port.LastError());
        return false;
    }
    client::SHubDevicesOptions options;
    options.bStatusBack = bStatusBack;
    options.bIdentify = bStatusBack;  // send and recv need neither
    if (!hub.Open(c, o.nTimeout, options)) {
        Error(hub.Error());
        return false;
    }
    return true;
}

// The end of a watch or recv: Ctrl-C, --for, or the hub's watch ending.
class CUntil {
public:
    explicit CUntil(double dSeconds)
        : m_deadline(dSeconds > 0 ? std::optional(std::chrono::steady_clock::now() +
                                                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      std::chrono::duration<double>(dSeconds)))
                                  : std::nullopt) {}
    bool Over() const { return StopRequested() || (m_deadline && std::chrono::steady_clock::now() >= *m_deadline); }
    uint32_t SliceMs(uint32_t nMax) const {
        if (!m_deadline) return nMax;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(*m_deadline - std::chrono::steady_clock::now());
        return static_cast<uint32_t>(std::clamp<int64_t>(left.count(), 0, nMax));
    }

private:
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
};

int CmdStatus(const SOptions& o, const client::CCfgLibrary& api, const SConnection& c) {
    client::CPortApiTable port;
    CHubDevices hub(api, port);
    if (!OpenHub(api, port, hub, o, c, true)) return kExitFailed;
    hub.WaitSettled(kSettleMs);
    const SHubStatus status = hub.Snapshot();
    hub.Close();
    if (o.bJson)
        std::cout << StatusToJson(status).dump(2) << "\n";
    else
        std::cout << StatusToText(status);
    return kExitOk;
}

int CmdWatch(const SOptions& o, const client::CCfgLibrary& api, const SConnection& c) {
    CatchStopRequests();
    client::CPortApiTable port;
    CHubDevices hub(api, port);
    if (!OpenHub(api, port, hub, o, c, true)) return kExitFailed;
    const auto events = hub.Subscribe(true);
    const CUntil until(o.dForSeconds);
    while (!until.Over()) {
        const auto event = events->Wait(until.SliceMs(kReadSliceMs));
        if (!event) {
            if (events->IsClosed()) break;
            continue;
        }
        if (!PrintLine(o.bJson ? EventToJson(*event).dump() : EventToText(*event))) break;  // nobody reads
    }
    hub.Close();
    return kExitOk;
}

// The bytes of FILE or standard input, refused when the link cannot carry
// them in the time a send may take.
bool ReadSendData(const SOptions& o, const SConnection& c, std::string& strData) {
    const std::string strFile = o.vecArgs.size() > 1 ? o.vecArgs[1] : "-";
    std::string strError;
    if (!(strFile == "-" ? ReadStandardInput(strData, kMaxTextFileSize, strError)
                         : ReadTextFile(strFile, strData, strError))) {
        Error("send: " + strError);
        return false;
    }
    if (c.nInterface == 4 || c.nInterface == 32) {
        const size_t nColon = c.strPortText.find(':');
        uint64_t nBaud = 9600;
        if (nColon != std::string::npos) nBaud = std::strtoull(c.strPortText.c_str() + nColon + 1, nullptr, 10);
        const uint64_t nMax = std::max<uint64_t>(nBaud, 1) / 10 * kSendSeconds;
        if (strData.size() > nMax) {
            Error("send: " + (strFile == "-" ? std::string("standard input") : strFile) + ": " +
                  std::to_string(strData.size()) + " bytes take longer than " + std::to_string(kSendSeconds) +
                  " s at " + std::to_string(nBaud) + " baud (at most " + std::to_string(nMax) + " bytes)");
            return false;
        }
    }
    return true;
}

int CmdSend(const SOptions& o, const client::CCfgLibrary& api, const SConnection& c) {
    CatchStopRequests();
    const int nDevice = *model::ParseDeviceId(o.vecArgs[0]);
    std::string strData;
    if (!ReadSendData(o, c, strData)) return kExitFailed;
    client::CPortApiTable port;
    CHubDevices hub(api, port);
    if (!OpenHub(api, port, hub, o, c, false)) return kExitFailed;
    client::SSendControl control;
    control.pCancel = &StopFlag();
    control.nDeadlineMs = platform::TickMs() + uint64_t{kSendSeconds} * 1000;
    client::SSendResult result;
    const bool bSent = hub.Send(nDevice, reinterpret_cast<const uint8_t*>(strData.data()), strData.size(), control,
                                kAlarmWaitMs, result);
    hub.Close();
    if (!bSent) {
        Error("send " + std::to_string(nDevice) + ": " + hub.Error());
        return kExitFailed;
    }
    const bool bDone = result.eEnd == client::ESendEnd::Done;
    const std::string strWhy = client::SendEndReason(result);
    const std::string strCount = std::to_string(result.nPayloadWritten) + " of " + std::to_string(strData.size());
    if (!bDone)
        Error(c.strLabel + ": send " + std::to_string(nDevice) + ": " + strWhy + " after " + strCount + " bytes");
    if (o.bJson) {
        json doc = {{"hub", c.strLabel},
                    {"device", nDevice},
                    {"bytes", result.nPayloadWritten},
                    {"of", strData.size()},
                    {"result", bDone ? "sent" : strWhy},
                    {"alarm", result.nAlarmCode != 0 ? json(result.nAlarmCode) : json(nullptr)},
                    {"detail", result.nAlarmCode != 0 ? json(model::AlarmName(result.nAlarmCode)) : json(nullptr)}};
        std::cout << doc.dump(2) << "\n";
    } else if (bDone) {
        std::cout << "sent " << result.nPayloadWritten << " bytes to device " << nDevice << "\n";
    }
    return bDone ? kExitOk : kExitFailed;
}

int CmdRecv(const SOptions& o, const client::CCfgLibrary& api, const SConnection& c) {
    CatchStopRequests();
    const int nDevice = *model::ParseDeviceId(o.vecArgs[0]);
    client::CPortApiTable port;
    CHubDevices hub(api, port);
    if (!OpenHub(api, port, hub, o, c, false)) return kExitFailed;
    if (!hub.StartReceive(nDevice)) {
        Error("recv " + std::to_string(nDevice) + ": " + hub.Error());
        return kExitFailed;
    }
    if (!o.bJson && !o.bHex) SetBinaryStdout();
    const CUntil until(o.dForSeconds);
    std::vector<uint8_t> data;
    while (!until.Over()) {
        data.clear();
        if (hub.Receive(nDevice, data, until.SliceMs(kReadSliceMs)) == 0) continue;
        bool bWritten = true;
        if (o.bJson) {
            std::string strHex;
            char buf[3];
            for (uint8_t b : data) {
                std::snprintf(buf, sizeof buf, "%02x", b);
                strHex += buf;
            }
            bWritten = PrintLine(json{{"time", client::EventTimestamp()}, {"id", nDevice}, {"data", strHex}}.dump());
        } else if (o.bHex) {
            std::string strLine;
            char buf[4];
            for (uint8_t b : data) {
                std::snprintf(buf, sizeof buf, strLine.empty() ? "%02x" : " %02x", b);
                strLine += buf;
            }
            bWritten = PrintLine(strLine);
        } else {
            bWritten = WriteStdout(data.data(), data.size());
        }
        if (!bWritten) break;
    }
    hub.Close();
    return kExitOk;
}

}  // namespace

bool IsDeviceCommand(const std::string& strCommand) {
    return strCommand == "status" || strCommand == "watch" || strCommand == "send" || strCommand == "recv";
}

std::optional<std::string> CheckDeviceArguments(const SOptions& o) {
    const std::string& strCommand = o.strCommand;
    const auto& args = o.vecArgs;
    if (o.dForSeconds != 0 && strCommand != "watch" && strCommand != "recv") return "--for goes with watch and recv";
    if (o.dForSeconds < 0) return "--for: a number of seconds above 0";
    if (o.bHex && strCommand != "recv") return "--hex goes with recv";
    if (strCommand == "status" || strCommand == "watch") {
        if (!args.empty()) return strCommand + ": unexpected '" + args.front() + "'";
        return std::nullopt;
    }
    if (args.empty()) return strCommand + ": name the DEVICE (1-254)";
    const auto nDevice = model::ParseDeviceId(args[0]);
    if (!nDevice) return strCommand + ": '" + args[0] + "' is not a device ID (1-254)";
    if (strCommand == "send" && args.size() > 2) return "send: give DEVICE and one FILE (or - for standard input)";
    if (strCommand == "recv") {
        if (args.size() > 1) return "recv: unexpected '" + args[1] + "'";
        // Fixed by the session: the default device a configuration session opens.
        if (*nDevice == 10)
            return "recv: device 10 is the configuration session's own device; its bytes go to the session "
                   "(a printer's status records: watch)";
    }
    return std::nullopt;
}

int RunDeviceCommand(const SOptions& o, const client::CCfgLibrary& api, const SConnection& c) {
    if (o.strCommand == "status") return CmdStatus(o, api, c);
    if (o.strCommand == "watch") return CmdWatch(o, api, c);
    if (o.strCommand == "send") return CmdSend(o, api, c);
    return CmdRecv(o, api, c);
}

json StatusToJson(const SHubStatus& status) {
    json devices = json::array(), printers = json::array();
    for (const auto& d : status.vecDevices)
        devices.push_back({{"id", d.nId},
                           {"vid", NullIfEmpty(d.strVid)},
                           {"pid", NullIfEmpty(d.strPid)},
                           {"type", NullIfEmpty(d.strCustomType)}});
    for (const auto& p : status.vecPrinters)
        printers.push_back({{"id", p.nId},
                            {"record", p.record ? json(model::RecordHex(*p.record)) : json(nullptr)},
                            {"reasons", p.Reasons()}});
    return {{"hub", status.strHub},
            {"model", status.strModel},
            {"firmware", status.strFirmware},
            {"link", client::LinkStateName(status.eLink)},
            {"devices", devices},
            {"printers", printers}};
}

std::string StatusToText(const SHubStatus& status) {
    std::string out = FormatTable({{"hub", status.strHub},
                                   {"model", status.strModel},
                                   {"firmware", status.strFirmware},
                                   {"link", client::LinkStateName(status.eLink)}});
    std::vector<std::vector<std::string>> devices = {{"ID", "VID", "PID", "TYPE", "KIND"}};
    for (const auto& d : status.vecDevices)
        devices.push_back({std::to_string(d.nId), d.strVid.empty() ? "?" : d.strVid, d.strPid.empty() ? "?" : d.strPid,
                           d.strCustomType.empty() ? "-" : d.strCustomType, model::DeviceTypeName(d.nId)});
    out += "devices\n" + FormatTable(devices, "  ");
    if (!status.vecPrinters.empty()) {
        std::vector<std::vector<std::string>> printers = {{"ID", "RECORD", "REASONS"}};
        for (const auto& p : status.vecPrinters)
            printers.push_back({std::to_string(p.nId), p.record ? model::RecordHexSpaced(*p.record) : "-",
                                Joined(p.Reasons(), "(no record)")});
        out += "printers\n" + FormatTable(printers, "  ");
    }
    return out;
}

json EventToJson(const SDeviceEvent& e) {
    json doc = {{"time", e.strTime}, {"event", client::DeviceEventName(e.eKind)}};
    switch (e.eKind) {
    case EDeviceEvent::DeviceAdded:
        doc["id"] = e.nId;
        doc["vid"] = NullIfEmpty(e.device.strVid);
        doc["pid"] = NullIfEmpty(e.device.strPid);
        doc["type"] = NullIfEmpty(e.device.strCustomType);
        break;
    case EDeviceEvent::DeviceRemoved: doc["id"] = e.nId; break;
    case EDeviceEvent::Status:
        doc["id"] = e.nId;
        doc["record"] = model::RecordHex(e.record);
        doc["kind"] = model::RecordKindName(model::RecordKind(e.record));
        doc["reasons"] = model::RecordReasons(e.record);
        break;
    case EDeviceEvent::Alarm:
        doc["id"] = e.nId;
        doc["alarm"] = e.nAlarmCode;
        doc["detail"] = model::AlarmName(e.nAlarmCode);
        break;
    case EDeviceEvent::Link: doc["state"] = client::LinkStateName(e.eLink); break;
    }
    return doc;
}

std::string EventToText(const SDeviceEvent& e) {
    std::string out = e.strTime + " " + client::DeviceEventName(e.eKind);
    switch (e.eKind) {
    case EDeviceEvent::DeviceAdded:
        out += " " + std::to_string(e.nId) + " " + (e.device.strVid.empty() ? "?" : e.device.strVid) + ":" +
               (e.device.strPid.empty() ? "?" : e.device.strPid) + " " +
               (e.device.strCustomType.empty() ? "-" : e.device.strCustomType) + " (" + model::DeviceTypeName(e.nId) +
               ")";
        break;
    case EDeviceEvent::DeviceRemoved: out += " " + std::to_string(e.nId); break;
    case EDeviceEvent::Status:
        out += " " + std::to_string(e.nId) + " " + model::RecordHexSpaced(e.record) + " ";
        out += model::RecordKind(e.record) == model::ERecordKind::Second ? "(second kind)"
                                                                         : Joined(model::RecordReasons(e.record), "");
        break;
    case EDeviceEvent::Alarm:
        out += " " + std::to_string(e.nId) + " " + std::to_string(e.nAlarmCode) + " " + model::AlarmName(e.nAlarmCode);
        break;
    case EDeviceEvent::Link: out += std::string(" ") + client::LinkStateName(e.eLink); break;
    }
    return out;
}

}  // namespace vexal::tools
