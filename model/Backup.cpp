#include "model/Backup.h"

#include "model/CustomDevices.h"
#include "model/HubText.h"

#include <algorithm>
#include <charconv>

namespace vexal::model {
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

// True when a group of the file is an object; otherwise the group is named unusable.
bool IsObject(const nlohmann::json& value, const char* pszGroup, const std::string& strPath,
              SSettingsValues& settings) {
    if (!value.is_object()) settings.unusable[pszGroup] = strPath + ": expected an object";
    return value.is_object();
}

// The "serial" object: each adapter's line by device ID. An adapter whose
// entry is bad is left out and named.
void ReadSerialLines(const nlohmann::json& value, const std::string& strPath, SSettingsValues& settings) {
    if (!IsObject(value, "serial", strPath, settings)) return;
    for (const auto& [strId, line] : value.items()) {
        const std::string strEntryPath = strPath + "." + Printable(strId);
        const std::string strPlan = "serial " + Printable(strId);
        const auto nId = IdKey(strId);
        if (!nId || !IsSerialAdapterId(*nId)) {
            settings.unusable[strPlan] = strEntryPath + ": not a USB-to-serial device ID (100-129)";
            continue;
        }
        std::string strWhy;
        if (auto values = GroupFromJson(SerialLineGroup(), line, strEntryPath, true, strWhy))
            settings.serial[*nId] = *values;
        else
            settings.unusable[strPlan] = strWhy;
    }
}

// The "custom" object: each type's "vvvv&pppp" list. A type whose list is
// bad is left out and named.
void ReadCustomLists(const nlohmann::json& value, const std::string& strPath, SSettingsValues& settings) {
    if (!IsObject(value, "custom", strPath, settings)) return;
    for (const auto& [strType, entries] : value.items()) {
        const std::string strTypePath = strPath + "." + Printable(strType);
        const auto nType = ParseCustomType(strType);
        if (!nType) {
            settings.unusable["custom " + Printable(strType)] = strTypePath + ": unknown device type";
            continue;
        }
        const std::string strPlan = std::string("custom ") + CustomTypeName(*nType);
        auto bad = [&](const std::string& strWhy) { settings.unusable[strPlan] = strWhy; };
        if (!entries.is_array()) {
            bad(strTypePath + ": expected a list");
            continue;
        }
        std::vector<std::string> list;
        for (size_t i = 0; i < entries.size() && settings.unusable.count(strPlan) == 0; ++i) {
            const auto& e = entries[i];
            const std::string strEntryPath = strTypePath + "[" + std::to_string(i) + "]";
            if (!e.is_string())
                bad(strEntryPath + ": expected \"vvvv&pppp\"");
            else if (const auto entry = ParseUsbIdEntry(e.get<std::string>()))
                list.push_back(*entry);
            else
                bad(strEntryPath + ": '" + Printable(e.get<std::string>()) + "' is not \"vvvv&pppp\"");
        }
        if (settings.unusable.count(strPlan) == 0) settings.custom[*nType] = list;
    }
}

}  // namespace

nlohmann::json SettingsToJson(const SSettingsValues& s) {
    nlohmann::json j = nlohmann::json::object();
    for (const char* psz : kGroupOrder)
        if (auto it = s.groups.find(psz); it != s.groups.end()) j[psz] = GroupToJson(*FindGroup(psz), it->second);
    nlohmann::json serial = nlohmann::json::object();
    for (const auto& [nId, values] : s.serial) serial[std::to_string(nId)] = GroupToJson(SerialLineGroup(), values);
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
    for (const auto& [strGroup, value] : doc["settings"].items()) {
        const std::string strPath = "settings." + Printable(strGroup);
        if (strGroup == "serial")
            ReadSerialLines(value, strPath, b.settings);
        else if (strGroup == "custom")
            ReadCustomLists(value, strPath, b.settings);
        else if (const SGroupDef* pGroup = FindGroup(strGroup); pGroup != nullptr) {
            std::string strWhy;
            if (auto values = GroupFromJson(*pGroup, value, strPath, true, strWhy))
                b.settings.groups[strGroup] = *values;
            else
                b.settings.unusable[strGroup] = strWhy;
        } else {
            b.settings.unusable[Printable(strGroup)] = strPath + ": unknown settings group";
        }
    }
    return b;
}

}  // namespace vexal::model
