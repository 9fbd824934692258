#include "tools/Backup.h"

#include "tools/Output.h"

#include <algorithm>
#include <charconv>

namespace vexal::tools {
namespace {

// Line and column of a byte offset, for syntax errors.
std::string Place(const std::string& strText, size_t nOffset) {
    nOffset = std::min(nOffset, strText.size());
    size_t nLine = 1, nColumn = 1;
    for (size_t i = 0; i < nOffset; ++i) {
        if (strText[i] == '\n') {
            ++nLine;
            nColumn = 1;
        } else {
            ++nColumn;
        }
    }
    return std::to_string(nLine) + ":" + std::to_string(nColumn);
}

std::optional<int> IdKey(const std::string& str) {
    int n = 0;
    auto [p, ec] = std::from_chars(str.data(), str.data() + str.size(), n);
    if (ec != std::errc() || p != str.data() + str.size()) return std::nullopt;
    return n;
}

const char* const kGroupOrder[] = {"bluetooth", "lan", "wlan", "netproto", "usage"};

}  // namespace

nlohmann::json SettingsToJson(const SHubSettings& s) {
    nlohmann::json j = nlohmann::json::object();
    for (const char* psz : kGroupOrder)
        if (auto it = s.groups.find(psz); it != s.groups.end()) j[psz] = GroupToJson(*FindGroup(psz), it->second);
    nlohmann::json serial = nlohmann::json::object();
    for (const auto& [nId, values] : s.serial) serial[std::to_string(nId)] = GroupToJson(*FindGroup("serial"), values);
    j["serial"] = serial;
    nlohmann::json custom = nlohmann::json::object();
    for (const auto& [nType, entries] : s.custom) custom[CustomTypeName(nType)] = entries;
    j["custom"] = custom;
    return j;
}

nlohmann::json BackupToJson(const SBackup& b) {
    return {{"format", kBackupFormat},
            {"version", b.nVersion},
            {"taken", b.strTaken},
            {"hub", {{"model", b.strModel}, {"firmware", b.strFirmware}, {"source", b.strSource}}},
            {"settings", SettingsToJson(b.settings)}};
}

std::optional<SBackup> ReadBackupText(const std::string& strText, const std::string& strFile, std::string& strError) {
    if (strText.find_first_not_of(" \t\r\n") == std::string::npos) {
        strError = strFile + ": empty, not a backup";
        return std::nullopt;
    }
    // The parser takes a NUL for the end of the text and would ignore what follows.
    if (const size_t nNul = strText.find('\0'); nNul != std::string::npos) {
        strError = strFile + ":" + Place(strText, nNul) + ": not a valid backup (a NUL byte)";
        return std::nullopt;
    }
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(strText);
    } catch (const nlohmann::json::parse_error& e) {
        // e.byte is one past the offending byte; the parser quotes what it read, which may be any bytes.
        const std::string strWhat = e.what();
        const size_t nColon = strWhat.find("syntax error");
        strError = strFile + ":" + Place(strText, e.byte == 0 ? 0 : e.byte - 1) + ": not a valid backup (" +
                   Printable(nColon == std::string::npos ? strWhat : strWhat.substr(nColon), 200) + ")";
        return std::nullopt;
    } catch (const nlohmann::json::exception& e) {
        // A number too large for a double ("1e999") is refused with out_of_range, not parse_error.
        strError = strFile + ": not a valid backup (" + e.what() + ")";
        return std::nullopt;
    }
    auto fail = [&](const std::string& strWhy) {
        strError = strFile + ": " + strWhy;
        return std::nullopt;
    };
    if (!doc.is_object() || !doc.contains("format") || doc["format"] != kBackupFormat)
        return fail("format: not a vexalcfg backup (\"format\": \"" + std::string(kBackupFormat) + "\" missing)");
    if (!doc.contains("version") || !doc["version"].is_number_integer())
        return fail("version: missing or not a number");
    // Compared before it is narrowed to an int, which would wrap a large one into range.
    const auto& version = doc["version"];
    if (version < 1 || version > kBackupVersion)
        return fail("version: " + version.dump() + " is not supported (this tool reads version " +
                    std::to_string(kBackupVersion) + ")");
    SBackup b;
    b.nVersion = version.get<int>();
    if (doc.contains("taken") && doc["taken"].is_string()) b.strTaken = doc["taken"].get<std::string>();
    if (doc.contains("hub") && doc["hub"].is_object()) {
        const auto& hub = doc["hub"];
        for (auto [pszKey, pStr] : {std::pair{"model", &b.strModel}, std::pair{"firmware", &b.strFirmware},
                                    std::pair{"source", &b.strSource}})
            if (hub.contains(pszKey)) {
                if (!hub[pszKey].is_string()) return fail(std::string("hub.") + pszKey + ": not a text");
                *pStr = hub[pszKey].get<std::string>();
            }
    }
    if (!doc.contains("settings") || !doc["settings"].is_object()) return fail("settings: missing");
    const auto& settings = doc["settings"];
    for (const auto& [strGroup, value] : settings.items()) {
        const std::string strPath = "settings." + strGroup;
        if (strGroup == "serial") {
            if (!value.is_object()) return fail(strPath + ": expected an object");
            for (const auto& [strId, line] : value.items()) {
                const auto nId = IdKey(strId);
                if (!nId || !IsSerialAdapterId(*nId))
                    return fail(strPath + "." + strId + ": not a USB-to-serial device ID (100-129)");
                auto values = GroupFromJson(*FindGroup("serial"), line, strPath + "." + strId, true, strError);
                if (!values) return fail(strError);
                b.settings.serial[*nId] = *values;
            }
        } else if (strGroup == "custom") {
            if (!value.is_object()) return fail(strPath + ": expected an object");
            for (const auto& [strType, entries] : value.items()) {
                const auto nType = ParseCustomType(strType);
                if (!nType) return fail(strPath + "." + strType + ": unknown device type");
                if (!entries.is_array()) return fail(strPath + "." + strType + ": expected a list");
                std::vector<std::string> list;
                for (size_t i = 0; i < entries.size(); ++i) {
                    const auto& e = entries[i];
                    const std::string strEntryPath = strPath + "." + strType + "[" + std::to_string(i) + "]";
                    if (!e.is_string()) return fail(strEntryPath + ": expected \"vvvv&pppp\"");
                    const auto parsed = SplitIdList(e.get<std::string>());
                    if (parsed.size() != 1 || e.get<std::string>().size() != 9)
                        return fail(strEntryPath + ": '" + e.get<std::string>() + "' is not \"vvvv&pppp\"");
                    list.push_back(parsed.front());
                }
                b.settings.custom[*nType] = list;
            }
        } else if (const SGroupDef* pGroup = FindGroup(strGroup); pGroup != nullptr) {
            auto values = GroupFromJson(*pGroup, value, strPath, true, strError);
            if (!values) return fail(strError);
            b.settings.groups[strGroup] = *values;
        } else {
            return fail(strPath + ": unknown settings group");
        }
    }
    return b;
}

const std::vector<std::string>& RestoreGroupNames() {
    static const std::vector<std::string> s_names = {"bluetooth", "lan", "wlan", "netproto", "usage", "serial", "custom"};
    return s_names;
}

std::vector<std::string> PerHubKeys() {
    std::vector<std::string> keys;
    for (const auto& group : SettingGroups())
        for (const auto& key : group.vecKeys)
            if (key.bPerHub) keys.push_back(group.strName + "." + key.strName);
    return keys;
}

std::vector<SGroupPlan> PlanRestore(const SHubSettings& backup, const SHubSettings& hub, const SRestoreOptions& o) {
    std::vector<SGroupPlan> plans;
    auto wanted = [&](const std::string& strGroup) { return o.only.empty() || o.only.count(strGroup) != 0; };
    auto planGroup = [&](SGroupPlan plan, const SGroupDef& def, const GroupValues& from, const GroupValues& current) {
        plan.current = current;
        plan.target = current;
        for (const auto& key : def.vecKeys) {
            if (key.bReadOnly) continue;
            const std::string strPath = def.strName + "." + key.strName;
            if (o.bClone && key.bPerHub && o.include.count(strPath) == 0) continue;
            if (auto it = from.find(key.strName); it != from.end()) plan.target[key.strName] = it->second;
        }
        // Read-only keys are compared against the backup, but the target keeps the hub's.
        GroupValues compared = plan.target;
        for (const auto& key : def.vecKeys)
            if (key.bReadOnly && !(o.bClone))
                if (auto it = from.find(key.strName); it != from.end()) compared[key.strName] = it->second;
        plan.vecChanges = DiffGroup(def, current, compared);
        const bool bWrite = std::any_of(plan.vecChanges.begin(), plan.vecChanges.end(),
                                        [](const SKeyChange& c) { return !c.bReadOnly; });
        if (bWrite) {
            const std::string strRule = ValidateGroup(def, plan.target);
            plan.eAction = strRule.empty() ? EPlanAction::Write : EPlanAction::Refused;
            plan.strNote = strRule;
        }
        plans.push_back(std::move(plan));
    };
    for (const char* psz : kGroupOrder) {
        if (!wanted(psz)) continue;
        auto from = backup.groups.find(psz);
        if (from == backup.groups.end()) continue;
        SGroupPlan plan;
        plan.strGroup = plan.strKind = psz;
        auto current = hub.groups.find(psz);
        if (current == hub.groups.end()) {
            plan.eAction = EPlanAction::Skip;
            plan.strNote = "not read from the hub";
            plans.push_back(plan);
            continue;
        }
        if (std::string(psz) == "usage") {
            // An interface the hub does not report cannot be set.
            GroupValues from2 = from->second;
            for (auto& [strKey, strValue] : from2)
                if (current->second.count(strKey) != 0 && current->second.at(strKey) == "n/a") strValue = "n/a";
            planGroup(plan, *FindGroup(psz), from2, current->second);
        } else {
            planGroup(plan, *FindGroup(psz), from->second, current->second);
        }
    }
    if (wanted("serial"))
        for (const auto& [nId, values] : backup.serial) {
            SGroupPlan plan;
            plan.strGroup = "serial " + std::to_string(nId);
            plan.strKind = "serial";
            plan.nSerialId = nId;
            auto current = hub.serial.find(nId);
            if (current == hub.serial.end()) {
                plan.eAction = EPlanAction::Skip;
                plan.strNote = "no USB-to-serial adapter " + std::to_string(nId) + " on this hub";
                plans.push_back(plan);
                continue;
            }
            planGroup(plan, *FindGroup("serial"), values, current->second);
        }
    if (wanted("custom"))
        for (const auto& [nType, entries] : backup.custom) {
            SGroupPlan plan;
            plan.strGroup = std::string("custom ") + CustomTypeName(nType);
            plan.strKind = "custom";
            plan.nCustomType = nType;
            auto current = hub.custom.find(nType);
            if (current == hub.custom.end()) {
                plan.eAction = EPlanAction::Skip;
                plan.strNote = "not read from the hub";
                plans.push_back(plan);
                continue;
            }
            for (const auto& e : current->second)
                if (std::find(entries.begin(), entries.end(), e) == entries.end()) plan.vecDelete.push_back(e);
            for (const auto& e : entries)
                if (std::find(current->second.begin(), current->second.end(), e) == current->second.end() &&
                    std::find(plan.vecAdd.begin(), plan.vecAdd.end(), e) == plan.vecAdd.end())
                    plan.vecAdd.push_back(e);
            plan.eAction = plan.vecAdd.empty() && plan.vecDelete.empty() ? EPlanAction::Same : EPlanAction::Write;
            plans.push_back(plan);
        }
    return plans;
}

}  // namespace vexal::tools
