// The settings groups as the tool presents them: named keys with canonical
// text values ("on", "192.168.0.10", "wpa2-psk"), the same for KEY=VALUE
// arguments, tables, JSON and backup files. Pure: no library, no hub.
#pragma once
#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::tools {

enum class EKeyKind {
    Bool,    // "on" / "off"
    Int,     // decimal, within nMin..nMax
    Choice,  // one of the listed words
    IPv4,    // dotted quad
    Text,    // any text; byte limits in the hub's code page checked by the group rules
};

struct SKeyDef {
    std::string strName;
    EKeyKind eKind = EKeyKind::Text;
    std::vector<std::string> vecChoices;  // Choice
    long nMin = 0, nMax = 0;              // Int
    bool bReadOnly = false;               // shown and compared, never written
    bool bPerHub = false;                 // left out by restore --clone unless --include names it
    std::string strHelp;
};

struct SGroupDef {
    std::string strName;  // "bluetooth", "lan", "wlan", "netproto", "usage", "serial"
    std::string strTitle;
    std::vector<SKeyDef> vecKeys;
    const SKeyDef* Find(std::string_view strKey) const;
};

// Values of one group by key name.
using GroupValues = std::map<std::string, std::string>;

// The groups that get/set/backup name (custom devices are handled apart).
const std::vector<SGroupDef>& SettingGroups();
const SGroupDef* FindGroup(std::string_view strName);

// Brings a value given by the user or a file into its canonical form; nothing
// and a message naming the key and what is allowed when it does not fit.
std::optional<std::string> CanonicalValue(const SKeyDef& key, std::string_view strValue, std::string& strError);

// "KEY=VALUE" arguments of set: known, writable keys with canonical values, and
// the rules of a single key (text lengths in the hub's bytes). Nothing on error.
std::optional<GroupValues> ParseAssignments(const SGroupDef& group, const std::vector<std::string>& vecArgs,
                                            std::string& strError);

// Applies the wanted values over what the hub holds, the way the utility's
// pages follow their lists: keys the new choice no longer uses are cleared and
// a choice that no longer fits falls back to its first entry, unless the user
// gave them. Then checks the group's rules. Nothing and a message on error.
std::optional<GroupValues> MergeAndValidate(const SGroupDef& group, const GroupValues& current,
                                            const GroupValues& wanted, std::string& strError);

// The group's rules on a complete set of values (used by MergeAndValidate and
// for backup files). Empty when they hold.
std::string ValidateGroup(const SGroupDef& group, const GroupValues& values);

// Length of a text in the hub's code page, and whether it converts without loss.
size_t HubByteLength(std::string_view strUtf8);
bool FitsHubCodePage(std::string_view strUtf8);

// Keys whose values differ between two complete sets, in the group's order.
struct SKeyChange {
    std::string strKey, strFrom, strTo;
    bool bReadOnly = false;
};
std::vector<SKeyChange> DiffGroup(const SGroupDef& group, const GroupValues& from, const GroupValues& to);

// Typed JSON of a group (true/false, numbers, strings) and back.
nlohmann::json GroupToJson(const SGroupDef& group, const GroupValues& values);
// Reads a JSON object of a group; the message names strPath.key on error.
// Unknown keys are refused; missing keys are allowed (bRequireAll false).
std::optional<GroupValues> GroupFromJson(const SGroupDef& group, const nlohmann::json& object,
                                         const std::string& strPath, bool bRequireAll, std::string& strError);

// Custom device types: CLI names ("pos-printer"), page names ("POS Printer").
inline constexpr int kCustomTypeCount = 10;
const char* CustomTypeName(int nType);   // "pos-printer"
const char* CustomTypeTitle(int nType);  // "POS Printer"
// A type by CLI name, page name (case and spaces ignored) or number 0-9.
std::optional<int> ParseCustomType(std::string_view strText);
// A USB vendor or product identifier: exactly four hexadecimal digits, kept lower-case.
std::optional<std::string> ParseUsbId(std::string_view strText);
// "1234&5678,0abc&def0," into its entries; malformed entries are dropped.
std::vector<std::string> SplitIdList(std::string_view strList);

// The name of what sits at a device ID ("Local Printer" for 10, "HID Input" for 20-29).
const char* DeviceTypeName(int nDeviceId);

// A USB-to-serial adapter's device ID (100-129, decimal or 0x.. form).
std::optional<int> ParseSerialDeviceId(std::string_view strText);
inline bool IsSerialAdapterId(int nId) { return nId >= 100 && nId <= 129; }

}  // namespace vexal::tools
