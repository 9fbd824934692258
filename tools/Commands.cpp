#include "tools/Commands.h"

#include "client/CfgLibrary.h"
#include "client/HubScan.h"
#include "client/HubSession.h"
#include "client/ScanRanges.h"
#include "model/Backup.h"
#include "model/CustomDevices.h"
#include "model/RestorePlan.h"
#include "platform/DeviceNames.h"
#include "platform/Socket.h"
#include "tools/DeviceCommands.h"
#include "tools/Output.h"
#include "client/Targets.h"
#include "tools/PrometheusTargets.h"
#include "tools/ToolSystem.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

namespace vexal::tools {
namespace {

using client::CHubSession;
using client::ECustomAction;
using client::ParseEthernet;
using client::ParseHostsText;
using client::ParseSerial;
using client::SConnection;
using model::CustomTypeName;
using model::EPlanAction;
using model::FindGroup;
using model::GroupValues;
using model::SBackup;
using model::SettingGroups;
using model::SGroupDef;
using model::SKeyChange;
using model::SRestoreOptions;
using model::SSettingsValues;
using nlohmann::json;

// Signals a problem with the command line (exit status 2) rather than with a hub.
struct SUsageError {
    std::string strText;
};

void Error(const std::string& strText) { std::cerr << "vexalcfg: " << strText << "\n"; }

void PrintJson(const json& doc) { std::cout << doc.dump(2) << "\n"; }

std::string GroupTable(const SGroupDef& group, const GroupValues& values, const std::string& strIndent = "  ") {
    std::vector<std::vector<std::string>> rows;
    for (const auto& key : group.vecKeys) {
        auto it = values.find(key.strName);
        if (it != values.end()) rows.push_back({key.strName, it->second.empty() ? "-" : it->second});
    }
    return FormatTable(rows, strIndent);
}

// The hub-independent checks of each command, run before anything is sent.
struct SPrepared {
    const SGroupDef* pGroup = nullptr;
    int nSerialId = 0;
    GroupValues wanted;
    char cCustomAction = 0;  // 'l' list, 'a' add, 'd' delete, 'r' reset
    int nCustomType = -1;
    std::string strVid, strPid;
    std::optional<SBackup> backup;
    SRestoreOptions restore;
};

SPrepared Prepare(const SOptions& o) {
    SPrepared p;
    const auto& args = o.vecArgs;
    if (o.strCommand == "get" || o.strCommand == "set") {
        if (args.empty())
            throw SUsageError{o.strCommand + ": name a group (bluetooth, lan, wlan, netproto, usage, serial)"};
        p.pGroup = FindGroup(args[0]);
        if (p.pGroup == nullptr) throw SUsageError{o.strCommand + ": unknown group '" + args[0] + "'"};
        size_t nNext = 1;
        if (p.pGroup->strName == "serial") {
            if (args.size() < 2) throw SUsageError{o.strCommand + " serial: name the adapter's device ID (100-129)"};
            const auto nId = model::ParseSerialDeviceId(args[1]);
            if (!nId) throw SUsageError{o.strCommand + " serial: '" + args[1] + "' is not a device ID from 100 to 129"};
            p.nSerialId = *nId;
            nNext = 2;
        }
        const std::vector<std::string> rest(args.begin() + static_cast<long>(nNext), args.end());
        if (o.strCommand == "get" && !rest.empty()) throw SUsageError{"get: unexpected '" + rest.front() + "'"};
        if (o.strCommand == "set") {
            std::string strError;
            auto wanted = model::ParseAssignments(*p.pGroup, rest, strError);
            if (!wanted) throw SUsageError{"set " + strError};
            p.wanted = *wanted;
        }
    } else if (o.strCommand == "custom") {
        if (args.empty()) throw SUsageError{"custom: give list, add, delete or reset"};
        const std::string& a = args[0];
        p.cCustomAction = a == "list" ? 'l' : a == "add" ? 'a' : a == "delete" ? 'd' : a == "reset" ? 'r' : 0;
        if (p.cCustomAction == 0) throw SUsageError{"custom: unknown action '" + a + "' (list, add, delete, reset)"};
        const size_t nWant = p.cCustomAction == 'a' || p.cCustomAction == 'd' ? 4 : 2;
        if (p.cCustomAction == 'l' && args.size() == 1) return p;  // every type
        if (args.size() != nWant)
            throw SUsageError{"custom " + a + (nWant == 4 ? ": give TYPE VID PID" : ": give TYPE")};
        const auto nType = model::ParseCustomType(args[1]);
        if (!nType) throw SUsageError{"custom: unknown device type '" + args[1] + "'"};
        p.nCustomType = *nType;
        if (nWant == 4) {
            const auto vid = model::ParseUsbId(args[2]), pid = model::ParseUsbId(args[3]);
            if (!vid) throw SUsageError{"custom " + a + ": VID '" + args[2] + "' is not four hexadecimal digits"};
            if (!pid) throw SUsageError{"custom " + a + ": PID '" + args[3] + "' is not four hexadecimal digits"};
            p.strVid = *vid;
            p.strPid = *pid;
        }
    } else if (o.strCommand == "backup") {
        if (args.size() != 1) throw SUsageError{"backup: give one FILE"};
    } else if (o.strCommand == "restore") {
        if (args.size() != 1) throw SUsageError{"restore: give one FILE"};
        const auto& names = model::RestoreGroupNames();
        for (const auto& g : o.vecOnly) {
            if (std::find(names.begin(), names.end(), g) == names.end())
                throw SUsageError{"restore --only: unknown group '" + g + "'"};
            p.restore.only.insert(g);
        }
        const auto perHub = model::PerHubKeys();
        for (const auto& k : o.vecInclude) {
            if (std::find(perHub.begin(), perHub.end(), k) == perHub.end())
                throw SUsageError{"restore --include: '" + k + "' is not one of bluetooth.name, lan.ip, wlan.ip"};
            p.restore.include.insert(k);
        }
        if (!o.vecInclude.empty() && !o.bClone) throw SUsageError{"restore --include only goes with --clone"};
        p.restore.bClone = o.bClone;
        std::string strText, strError;
        if (!ReadTextFile(args[0], strText, strError)) throw std::runtime_error(strError);
        p.backup = model::ReadBackupText(strText, args[0], strError);
        if (!p.backup) throw std::runtime_error(strError);
    } else if (o.strCommand == "info" || o.strCommand == "show") {
        if (!args.empty()) throw SUsageError{o.strCommand + ": unexpected '" + args.front() + "'"};
    } else if (IsDeviceCommand(o.strCommand)) {
        if (auto strError = CheckDeviceArguments(o)) throw SUsageError{*strError};
    }
    return p;
}

// Reads the groups named (all when empty) in the text form; failures are
// collected, the rest goes on. hub keeps them typed, for writing.
SSettingsValues ReadSettings(CHubSession& session, const std::set<std::string>& only, model::SHubSettings& hub,
                             std::vector<std::string>& vecErrors, CProgress* pProgress = nullptr) {
    session.ReadSettings(only, hub, vecErrors, [pProgress](size_t nStep, const std::string& strWhat) {
        if (pProgress != nullptr) pProgress->Step(nStep, strWhat);
    });
    return model::ToValues(hub);
}

std::string SettingsText(const SSettingsValues& s) {
    std::string out;
    for (const auto& group : SettingGroups()) {
        if (group.strName == "serial") continue;
        auto it = s.groups.find(group.strName);
        if (it == s.groups.end()) continue;
        out += group.strTitle + " (" + group.strName + ")\n" + GroupTable(group, it->second);
    }
    for (const auto& [nId, values] : s.serial)
        out += "USB-to-serial adapter " + std::to_string(nId) + " (serial " + std::to_string(nId) + ")\n" +
               GroupTable(*FindGroup("serial"), values);
    if (!s.custom.empty()) {
        out += "Custom devices (custom)\n";
        std::vector<std::vector<std::string>> rows;
        for (const auto& [nType, entries] : s.custom) {
            std::string strList;
            for (const auto& e : entries) strList += (strList.empty() ? "" : " ") + e;
            rows.push_back({CustomTypeName(nType), strList.empty() ? "-" : strList});
        }
        out += FormatTable(rows, "  ");
    }
    return out;
}

std::optional<SConnection> MakeConnection(const SOptions& o) {
    const int nChosen = (o.strEthernet.empty() ? 0 : 1) + (o.strSerial.empty() ? 0 : 1) + (o.bUsb ? 1 : 0);
    if (nChosen != 1) throw SUsageError{"give one of --ethernet, --serial or --usb (or --hosts)"};
    std::string strError;
    if (!o.strEthernet.empty()) {
        auto c = ParseEthernet(o.strEthernet, strError);
        if (!c) throw SUsageError{strError};
        return c;
    }
    if (o.bUsb) {
        SConnection c;
        c.nInterface = 16;
        c.strLabel = "USB";
        return c;
    }
    auto c = ParseSerial(o.strSerial, strError);
    if (!c) throw SUsageError{strError};
    return c;
}

// Changes as set and restore report them: secrets masked (get and show are
// where a user asks for them).
json ChangesJson(const std::vector<SKeyChange>& vecChanges) {
    json list = json::array();
    for (const auto& c : model::MaskSecrets(vecChanges))
        list.push_back({{"key", c.strKey}, {"from", c.strFrom}, {"to", c.strTo}, {"read_only", c.bReadOnly}});
    return list;
}

std::string ChangesText(const std::vector<SKeyChange>& vecChanges) {
    std::string out;
    for (const auto& c : model::MaskSecrets(vecChanges))
        out += (out.empty() ? "" : ", ") + c.strKey + " " + (c.strFrom.empty() ? "-" : c.strFrom) + " -> " +
               (c.strTo.empty() ? "-" : c.strTo) + (c.bReadOnly ? " (read-only, not written)" : "");
    return out;
}

int CmdInfo(CHubSession& session, const SOptions& o, const SConnection& c) {
    model::SHubInfo info;
    if (!session.ReadInfo(info)) {
        Error(c.strLabel + ": " + session.Error());
        return kExitFailed;
    }
    if (o.bJson) {
        json devices = json::array();
        for (const auto& d : info.vecDevices)
            devices.push_back({{"id", d.nDeviceId},
                               {"type", model::DeviceTypeName(d.nDeviceId)},
                               {"vid", d.strVid},
                               {"pid", d.strPid}});
        PrintJson({{"hub", c.strLabel},
                   {"model", info.strModel},
                   {"firmware", info.strFirmware},
                   {"device_ids", info.vecDeviceIds},
                   {"usb_devices", info.vecUsbList},
                   {"devices", devices}});
        return kExitOk;
    }
    std::string strUsb;
    for (const auto& e : info.vecUsbList) strUsb += (strUsb.empty() ? "" : " ") + e;
    std::cout << FormatTable({{"hub", c.strLabel},
                              {"model", info.strModel},
                              {"firmware", info.strFirmware},
                              {"usb devices", strUsb.empty() ? "-" : strUsb}});
    std::vector<std::vector<std::string>> rows = {{"ID", "TYPE", "VID", "PID"}};
    for (const auto& d : info.vecDevices)
        rows.push_back({std::to_string(d.nDeviceId), model::DeviceTypeName(d.nDeviceId), d.strVid, d.strPid});
    std::cout << "devices\n" << FormatTable(rows, "  ");
    return kExitOk;
}

int CmdShow(CHubSession& session, const SOptions& o, const SConnection& c) {
    std::string strModel, strFirmware;
    std::vector<std::string> errors;
    if (!session.ReadModel(strModel, strFirmware)) errors.push_back(session.Error());
    model::SHubSettings hub;
    const SSettingsValues s = ReadSettings(session, {}, hub, errors);
    for (const auto& e : errors) Error(c.strLabel + ": " + e);
    if (o.bJson)
        PrintJson({{"hub", c.strLabel},
                   {"model", strModel},
                   {"firmware", strFirmware},
                   {"settings", model::SettingsToJson(s)}});
    else
        std::cout << FormatTable({{"hub", c.strLabel}, {"model", strModel}, {"firmware", strFirmware}})
                  << SettingsText(s);
    return errors.empty() ? kExitOk : kExitFailed;
}

int CmdGet(CHubSession& session, const SOptions& o, const SConnection& c, const SPrepared& p) {
    model::CGroupValue value = *model::MakeGroupValue(p.pGroup->strName);
    if (!session.ReadGroup(p.pGroup->strName, p.nSerialId, value)) {
        Error(c.strLabel + ": get " + p.pGroup->strName + ": " + session.Error());
        return kExitFailed;
    }
    const GroupValues values = model::ToKeyValues(value);
    if (o.bJson) {
        json doc = {
            {"hub", c.strLabel}, {"group", p.pGroup->strName}, {"values", model::GroupToJson(*p.pGroup, values)}};
        if (p.nSerialId != 0) doc["device"] = p.nSerialId;
        PrintJson(doc);
    } else {
        std::cout << GroupTable(*p.pGroup, values, "");
    }
    return kExitOk;
}

int CmdSet(CHubSession& session, const SOptions& o, const SConnection& c, const SPrepared& p) {
    const std::string strWhat = c.strLabel + ": set " + p.pGroup->strName;
    CHubSession::SSetResult result;
    switch (session.Set(*p.pGroup, p.nSerialId, p.wanted, result)) {
    case CHubSession::ESet::Done: break;
    case CHubSession::ESet::Refused: Error(strWhat + ": " + session.Error() + " (nothing written)"); return kExitUsage;
    case CHubSession::ESet::Failed: Error(strWhat + ": " + session.Error()); return kExitFailed;
    }
    const auto& changes = result.vecChanges;
    const GroupValues readBack = model::MaskSecrets(*p.pGroup, result.readBack, &result.current);
    if (o.bJson) {
        json doc = {{"hub", c.strLabel},
                    {"group", p.pGroup->strName},
                    {"changed", ChangesJson(changes)},
                    {"values", model::GroupToJson(*p.pGroup, readBack)}};
        if (p.nSerialId != 0) doc["device"] = p.nSerialId;
        PrintJson(doc);
    } else {
        std::cout << (changes.empty() ? "unchanged" : "set: " + ChangesText(changes)) << "\n"
                  << GroupTable(*p.pGroup, readBack, "");
    }
    return kExitOk;
}

int CmdCustom(CHubSession& session, const SOptions& o, const SConnection& c, const SPrepared& p) {
    if (p.cCustomAction == 'l') {
        SSettingsValues s;
        std::vector<std::string> errors;
        for (int nType = 0; nType < model::kCustomTypeCount; ++nType) {
            if (p.nCustomType >= 0 && nType != p.nCustomType) continue;
            std::vector<std::string> entries;
            if (session.ReadCustomList(nType, entries))
                s.custom[nType] = entries;
            else
                errors.push_back(std::string(CustomTypeName(nType)) + ": " + session.Error());
        }
        for (const auto& e : errors) Error(c.strLabel + ": custom list " + e);
        if (o.bJson) {
            PrintJson({{"hub", c.strLabel}, {"custom", model::SettingsToJson(s)["custom"]}});
        } else {
            std::vector<std::vector<std::string>> rows = {{"TYPE", "VID", "PID"}};
            for (const auto& [nType, entries] : s.custom)
                for (const auto& e : entries) rows.push_back({CustomTypeName(nType), e.substr(0, 4), e.substr(5)});
            std::cout << FormatTable(rows);
        }
        return errors.empty() ? kExitOk : kExitFailed;
    }
    const ECustomAction eAction = p.cCustomAction == 'a'   ? ECustomAction::Add
                                  : p.cCustomAction == 'd' ? ECustomAction::Delete
                                                           : ECustomAction::Reset;
    const int32_t nResult = session.ChangeCustom(eAction, p.nCustomType, p.strVid, p.strPid);
    const char* pszAction = p.cCustomAction == 'a' ? "add" : p.cCustomAction == 'd' ? "delete" : "reset";
    if (nResult != 0) Error(c.strLabel + ": custom " + pszAction + ": " + session.Error());
    if (o.bJson) {
        json doc = {{"hub", c.strLabel},
                    {"action", pszAction},
                    {"type", CustomTypeName(p.nCustomType)},
                    {"status", nResult},
                    {"result", nResult == 0 ? "success" : session.Error()}};
        if (p.cCustomAction != 'r') {
            doc["vid"] = p.strVid;
            doc["pid"] = p.strPid;
        }
        PrintJson(doc);
    } else if (nResult == 0) {
        std::cout << "custom " << pszAction << " " << CustomTypeName(p.nCustomType)
                  << (p.cCustomAction == 'r' ? std::string() : " " + p.strVid + "&" + p.strPid) << ": success\n";
    }
    return nResult == 0 ? kExitOk : kExitFailed;
}

int CmdBackup(CHubSession& session, const SOptions& o, const SConnection& c) {
    const std::string& strFile = o.vecArgs[0];
    SBackup backup;
    backup.strTaken = UtcTimestamp();
    std::vector<std::string> errors;
    bool bRead = false;
    {
        CProgress progress("backup", CHubSession::ReadSettingsSteps());
        bRead = session.ReadBackup(c.strLabel, backup, errors, [&progress](size_t nStep, const std::string& strWhat) {
            progress.Step(nStep, strWhat);
        });
    }
    if (!bRead) {
        Error(c.strLabel + ": backup: " + session.Error());
        return kExitFailed;
    }
    for (const auto& e : errors) Error(c.strLabel + ": backup: " + e + " (left out of the file)");
    std::string strError;
    if (!WriteTextFile(strFile, model::BackupToJson(backup).dump(2) + "\n", strError)) {
        Error(strError);
        return kExitFailed;
    }
    if (o.bJson)
        PrintJson({{"hub", c.strLabel}, {"file", strFile}, {"taken", backup.strTaken}, {"complete", errors.empty()}});
    else
        std::cout << "backup of " << c.strLabel << " (" << backup.strModel << " " << backup.strFirmware
                  << ") written to " << strFile << (errors.empty() ? "" : " (incomplete)") << "\n";
    return errors.empty() ? kExitOk : kExitFailed;
}

int CmdRestore(CHubSession& session, const SOptions& o, const SConnection& c, const SPrepared& p) {
    model::SHubSettings hub;
    std::vector<model::SGroupPlan> plans;
    std::vector<std::string> errors;
    bool bRead = false;
    {
        CProgress progress("restore: reading", CHubSession::ReadSettingsSteps());
        bRead = session.PlanRestore(
            p.backup->settings, p.restore, hub, plans, errors,
            [&progress](size_t nStep, const std::string& strWhat) { progress.Step(nStep, strWhat); });
    }
    if (!bRead) {
        for (const auto& e : errors) Error(c.strLabel + ": restore: " + e);
        Error(c.strLabel + ": restore: " + session.Error());
        return kExitFailed;
    }
    std::vector<CHubSession::SRestoreStep> steps;
    bool bOk = false;
    {
        CProgress progress(o.bDryRun ? "restore (dry run)" : "restore", plans.size());
        bOk = session.ApplyRestore(plans, hub, o.bDryRun, steps, [&progress](size_t nStep, const std::string& strWhat) {
            progress.Step(nStep, strWhat);
        });
    }
    std::vector<std::string> detail(steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        const auto& plan = steps[i].plan;
        detail[i] = steps[i].strError.empty() ? plan.strNote : steps[i].strError;
        if (plan.strKind == "custom" && detail[i].empty()) {
            std::string strList;
            for (const auto& e : plan.vecDelete) strList += (strList.empty() ? "-" : ", -") + e;
            for (const auto& e : plan.vecAdd) strList += (strList.empty() ? "+" : ", +") + e;
            detail[i] = strList;
        } else if (!plan.vecChanges.empty() && detail[i].empty()) {
            detail[i] = ChangesText(plan.vecChanges);
        }
    }
    for (size_t i = 0; i < steps.size(); ++i)
        if (steps[i].strOutcome == "failed" || steps[i].strOutcome == "refused")
            Error(c.strLabel + ": restore " + steps[i].plan.strGroup + ": " + steps[i].strOutcome + ": " + detail[i]);
    if (o.bJson) {
        json groups = json::array();
        for (size_t i = 0; i < steps.size(); ++i) {
            const auto& plan = steps[i].plan;
            json g = {{"group", plan.strGroup}, {"outcome", steps[i].strOutcome}, {"detail", detail[i]}};
            if (plan.strKind == "custom") {
                g["add"] = plan.vecAdd;
                g["delete"] = plan.vecDelete;
            } else {
                g["changes"] = ChangesJson(plan.vecChanges);
            }
            groups.push_back(g);
        }
        PrintJson({{"hub", c.strLabel},
                   {"file", o.vecArgs[0]},
                   {"dry_run", o.bDryRun},
                   {"clone", o.bClone},
                   {"groups", groups}});
    } else {
        std::vector<std::vector<std::string>> rows = {{"GROUP", "OUTCOME", "DETAIL"}};
        for (size_t i = 0; i < steps.size(); ++i)
            rows.push_back({steps[i].plan.strGroup, steps[i].strOutcome, detail[i]});
        std::cout << FormatTable(rows);
    }
    return bOk ? kExitOk : kExitFailed;
}

int CmdPorts(const SOptions& o) {
    const auto links = platform::ListPortLinks("COM");
    if (o.bJson) {
        json list = json::array();
        for (const auto& l : links)
            list.push_back({{"name", l.strName}, {"device", l.strTarget.empty() ? json(nullptr) : json(l.strTarget)}});
        PrintJson({{"directory", platform::DeviceDirectory()}, {"ports", list}});
        return kExitOk;
    }
    if (links.empty()) {
        std::cout << "no COM ports in " << platform::DeviceDirectory() << "\n";
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows = {{"PORT", "DEVICE"}};
    for (const auto& l : links) rows.push_back({l.strName, l.strTarget.empty() ? "(dangling link)" : l.strTarget});
    std::cout << FormatTable(rows);
    return kExitOk;
}

int CmdScan(const SOptions& o, client::CCfgLibrary& api) {
    if (o.vecArgs.size() != 1) throw SUsageError{"scan: give one range ADDR/BITS"};
    std::string strError;
    const auto addresses = client::ParseCidr(o.vecArgs[0], strError);
    if (!addresses) throw SUsageError{"scan: " + strError};
    if (o.nParallel < 1 || o.nParallel > 1024) throw SUsageError{"scan --parallel: 1 to 1024"};
    if (o.nConnectTimeoutMs < 10 || o.nConnectTimeoutMs > 10000)
        throw SUsageError{"scan --connect-timeout: 10 to 10000 ms"};
    std::vector<uint32_t> open;
    std::optional<client::CPortProbe::SLocalFailure> failure;
    {
        CProgress progress("scan", addresses->size());
        client::CPortProbe probe;
        probe.Start(*addresses,
                    {static_cast<uint16_t>(o.nScanPort), o.nParallel, static_cast<uint32_t>(o.nConnectTimeoutMs)},
                    [&progress](size_t nDone, uint32_t dwAddress, bool) {
                        progress.Step(nDone, client::FormatIPv4(dwAddress));
                    });
        probe.Wait();
        open = probe.TakeOpen();
        failure = probe.LocalFailure();
    }
    // "No hub" is only known where every address could be tried; a target
    // list written now would drop hubs that are there.
    if (failure) {
        Error("scan: " + client::FormatIPv4(failure->dwAddress) + ": " + platform::SocketErrorText(failure->nError) +
              (o.strPrometheusSd.empty() ? "" : " (nothing written)"));
        return kExitFailed;
    }
    std::sort(open.begin(), open.end());  // the range's order
    // Then a session to each address that answered, for its model and firmware.
    json hubs = json::array();
    std::vector<std::vector<std::string>> rows = {{"ADDRESS", "MODEL", "FIRMWARE"}};
    std::vector<client::SFoundHub> found;
    for (uint32_t dwAddress : open) {
        const client::SFoundHub hub =
            client::IdentifyHub(api, dwAddress, static_cast<uint16_t>(o.nScanPort), o.nTimeout);
        const std::string strModel = hub.bHub ? hub.strModel : "?";
        const std::string strFirmware = hub.bHub ? hub.strFirmware : hub.strError;
        hubs.push_back({{"address", hub.strAddress}, {"model", strModel}, {"firmware", strFirmware}});
        rows.push_back({hub.strAddress, strModel, strFirmware});
        found.push_back(hub);
    }
    if (!o.strPrometheusSd.empty()) {
        std::string strWriteError;
        // Readable by all: Prometheus reads it, and it holds no secret.
        if (!WriteTextFile(o.strPrometheusSd, PrometheusFileSd(found, static_cast<uint16_t>(o.nScanPort)),
                           strWriteError, platform::EFileAccess::Shared)) {
            Error("scan --prometheus-sd: " + strWriteError);
            return kExitFailed;
        }
    }
    if (o.bJson)
        PrintJson({{"range", o.vecArgs[0]}, {"scanned", addresses->size()}, {"hubs", hubs}});
    else
        std::cout << FormatTable(rows) << hubs.size() << " hub(s) in " << addresses->size() << " addresses\n";
    return kExitOk;
}

}  // namespace

int RunCommand(const SOptions& o) {
    try {
        if (o.strCommand == "ports") return CmdPorts(o);
        const SPrepared p = Prepare(o);
        client::CCfgLibrary api;
        if (o.strCommand == "scan") {
            if (!api.Load(o.strLibrary)) {
                Error(api.LastError());
                return kExitFailed;
            }
            return CmdScan(o, api);
        }
        const auto connection = MakeConnection(o);
        if (!connection) return kExitFailed;
        if (!api.Load(o.strLibrary)) {
            Error(api.LastError());
            return kExitFailed;
        }
        if (IsDeviceCommand(o.strCommand)) return RunDeviceCommand(o, api, *connection);
        CHubSession session(api);
        if (!session.Open(connection->nInterface, connection->strPortText, connection->strLabel, o.nTimeout)) {
            Error(session.Error());
            return kExitFailed;
        }
        int nExit = kExitFailed;
        if (o.strCommand == "info")
            nExit = CmdInfo(session, o, *connection);
        else if (o.strCommand == "show")
            nExit = CmdShow(session, o, *connection);
        else if (o.strCommand == "get")
            nExit = CmdGet(session, o, *connection, p);
        else if (o.strCommand == "set")
            nExit = CmdSet(session, o, *connection, p);
        else if (o.strCommand == "custom")
            nExit = CmdCustom(session, o, *connection, p);
        else if (o.strCommand == "backup")
            nExit = CmdBackup(session, o, *connection);
        else if (o.strCommand == "restore")
            nExit = CmdRestore(session, o, *connection, p);
        else
            throw SUsageError{"unknown command '" + o.strCommand + "'"};
        session.Close();
        return nExit;
    } catch (const SUsageError& e) {
        Error(e.strText);
        return kExitUsage;
    } catch (const std::exception& e) {
        Error(e.what());
        return kExitFailed;
    }
}

int RunFleet(const SOptions& o, const std::vector<std::string>& vecWorkerArgs) {
    std::string strText, strError;
    if (!ReadTextFile(o.strHosts, strText, strError)) {
        Error("--hosts: " + strError);
        return kExitFailed;
    }
    const auto hosts = ParseHostsText(strText, o.strHosts, strError);
    if (!hosts) {
        Error("--hosts: " + strError);
        return kExitFailed;
    }
    if (o.nJobs < 1 || o.nJobs > 256) {
        Error("--jobs: 1 to 256");
        return kExitUsage;
    }
    if (!o.strEthernet.empty() || !o.strSerial.empty() || o.bUsb) {
        Error("--hosts replaces --ethernet, --serial and --usb");
        return kExitUsage;
    }
    if (o.strCommand == "scan" || o.strCommand == "ports" ||
        (IsDeviceCommand(o.strCommand) && o.strCommand != "status")) {
        Error("--hosts does not go with " + o.strCommand);
        return kExitUsage;
    }
    if (o.strCommand == "backup" && (o.vecArgs.empty() || o.vecArgs[0].find("{host}") == std::string::npos)) {
        Error("backup with --hosts: put {host} in FILE so each hub gets its own file");
        return kExitUsage;
    }
    // Check the command once here, so a bad argument is one message, not one per hub.
    try {
        Prepare(o);
    } catch (const SUsageError& e) {
        Error(e.strText);
        return kExitUsage;
    } catch (const std::exception& e) {
        Error(e.what());
        return kExitFailed;
    }
    std::vector<SProcessResult> results(hosts->size());
    std::atomic<size_t> nNext{0}, nDone{0};
    std::mutex progressMutex;
    CProgress progress("hubs", hosts->size());
    const std::string strSelf = SelfExecutable();
    auto worker = [&]() {
        for (size_t i; (i = nNext.fetch_add(1)) < hosts->size();) {
            std::vector<std::string> args = {strSelf, "--ethernet", (*hosts)[i], "--json"};
            for (std::string a : vecWorkerArgs) {
                for (size_t n; (n = a.find("{host}")) != std::string::npos;) a.replace(n, 6, (*hosts)[i]);
                args.push_back(a);
            }
            results[i] = RunProcess(args);
            const size_t n = nDone.fetch_add(1) + 1;
            std::lock_guard<std::mutex> lock(progressMutex);
            progress.Step(n, (*hosts)[i]);
        }
    };
    std::vector<std::thread> threads;
    for (size_t t = 0; t < std::min<size_t>(static_cast<size_t>(o.nJobs), hosts->size()); ++t)
        threads.emplace_back(worker);
    for (auto& t : threads) t.join();

    size_t nOk = 0;
    json list = json::array();
    std::vector<std::vector<std::string>> rows = {{"HUB", "RESULT", "DETAIL"}};
    for (size_t i = 0; i < hosts->size(); ++i) {
        const auto& r = results[i];
        const bool bOk = r.nExitStatus == 0;
        nOk += bOk ? 1 : 0;
        std::string strErr = r.strStderr;
        while (!strErr.empty() && strErr.back() == '\n') strErr.pop_back();
        json result = json::parse(r.strStdout, nullptr, false);
        if (result.is_discarded()) result = nullptr;
        list.push_back(
            {{"host", (*hosts)[i]}, {"ok", bOk}, {"exit", r.nExitStatus}, {"result", result}, {"error", strErr}});
        std::string strFirst = strErr.substr(0, strErr.find('\n'));
        if (strFirst.rfind("vexalcfg: ", 0) == 0) strFirst.erase(0, 10);
        if (r.nExitStatus < 0 && strFirst.empty()) strFirst = "the worker could not run";
        rows.push_back({(*hosts)[i], bOk ? "ok" : "FAILED", strFirst});
    }
    if (o.bJson) {
        PrintJson(list);
    } else {
        std::cout << FormatTable(rows) << hosts->size() << " hubs: " << nOk << " succeeded, " << hosts->size() - nOk
                  << " failed\n";
    }
    return nOk == hosts->size() ? kExitOk : kExitFailed;
}

}  // namespace vexal::tools
