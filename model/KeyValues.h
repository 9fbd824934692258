// The settings groups in their text form: named keys with canonical text
// values ("on", "192.168.0.10", "wpa2-psk"). It is the form of the tool's
// KEY=VALUE arguments, its tables and JSON, and of backup files; each group's
// header converts its typed value to and from it.
#pragma once
#include "model/TextFields.h"

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::model {

enum class EKeyKind {
    Bool,    // "on" / "off"
    Int,     // decimal, within nMin..nMax
    Choice,  // one of the listed words
    IPv4,    // dotted quad
    Text,    // any text; hub texts carry their rule (eText)
};

// Values of one group by key name.
using GroupValues = std::map<std::string, std::string>;

struct SKeyDef {
    std::string strName;
    EKeyKind eKind = EKeyKind::Text;
    std::vector<std::string> vecChoices;  // Choice
    long nMin = 0, nMax = 0;              // Int
    bool bReadOnly = false;               // shown and compared, never written
    bool bPerHub = false;                 // left out by a clone restore unless named
    std::optional<EHubText> eText;        // the rule of a hub text
    bool bEmptyWhenUnused = false;        // an empty text means "not in use" (WEP key, PSK)
    bool bEmptyAllowed = false;           // Choice: "" stands for "none"
    bool bUnnamedKept = false;            // Choice of a byte: one without a name is "unknown N", taken back as N
    bool bSecret = false;                 // a key or password: masked wherever people and logs see it
    std::string strHelp;
};

// Key definitions for the group tables.
SKeyDef FlagKey(const char* pszName, const char* pszHelp);
SKeyDef ChoiceKey(const char* pszName, std::vector<std::string> vecChoices, const char* pszHelp);
SKeyDef AddressKey(const char* pszName, const char* pszHelp);
SKeyDef TextKey(const char* pszName, std::optional<EHubText> eText, const char* pszHelp);
// A choice of the hub's byte values by name; a byte without one shows as
// "unknown N" and goes back as N, so whatever a hub holds can be restored.
SKeyDef ByteChoiceKey(const char* pszName, std::vector<std::string> vecChoices, const char* pszHelp);
SKeyDef ReadOnly(SKeyDef key);
SKeyDef PerHub(SKeyDef key);
SKeyDef Secret(SKeyDef key);

struct SGroupDef {
    std::string strName;  // "bluetooth", "lan", "wlan", "netproto", "usage", "serial"
    std::string strTitle;
    std::vector<SKeyDef> vecKeys;
    // Rules between the keys of a complete set; empty when they hold.
    std::string (*pfnValidate)(const GroupValues& values) = nullptr;
    // Brings keys that were not given in line with those that were, the way
    // the utility's lists follow a choice.
    void (*pfnFollow)(GroupValues& merged, const GroupValues& wanted) = nullptr;
    // Refuses wanted values the hub's current ones rule out; empty when none.
    std::string (*pfnRefuse)(const GroupValues& current, const GroupValues& wanted) = nullptr;
    const SKeyDef* Find(std::string_view strKey) const;
};

// The groups in their order: bluetooth, lan, wlan, netproto, usage, serial
// (custom devices are lists, handled apart).
const std::vector<SGroupDef>& SettingGroups();
const SGroupDef* FindGroup(std::string_view strName);

// A value given by a user or a file in its canonical form; nothing and a
// message naming the key and what is allowed when it does not fit.
std::optional<std::string> CanonicalValue(const SKeyDef& key, std::string_view strValue, std::string& strError);

// The rule of one text value whatever the other keys hold ("bluetooth pin:
// minimum length is 4"); empty when it holds or the key has none.
std::string CheckKeyText(const SGroupDef& group, const SKeyDef& key, const std::string& strValue);

// "KEY=VALUE" arguments: known, writable keys with canonical values, each
// meeting its own rule. Nothing and a message on error.
std::optional<GroupValues> ParseAssignments(const SGroupDef& group, const std::vector<std::string>& vecArgs,
                                            std::string& strError);

// The wanted values over the current ones, dependent keys following the
// choices (unless given), then the group's rules. Nothing and a message on error.
std::optional<GroupValues> MergeAndValidate(const SGroupDef& group, const GroupValues& current,
                                            const GroupValues& wanted, std::string& strError);

// Every key present and canonical, each text within its rule, the group's
// rules between keys. Empty when they hold.
std::string ValidateGroup(const SGroupDef& group, const GroupValues& values);

// Keys whose values differ between two sets, in the group's order.
struct SKeyChange {
    std::string strKey, strFrom, strTo;
    bool bReadOnly = false;
    bool bSecret = false;
    bool operator==(const SKeyChange&) const = default;
};
std::vector<SKeyChange> DiffGroup(const SGroupDef& group, const GroupValues& from, const GroupValues& to);

// Secrets as every output but an explicit read shows them: a secret that is
// set is kSecretMask (an empty one stays empty, so "none" still shows); in
// the "after" side of a comparison one that differs from before is
// kSecretChanged, so a diff still shows that it changed.
inline constexpr const char* kSecretMask = "********";
inline constexpr const char* kSecretChanged = "******** (changed)";
std::string MaskedValue(const SKeyDef& key, const std::string& strValue);
GroupValues MaskSecrets(const SGroupDef& group, GroupValues values, const GroupValues* pBefore = nullptr);
std::vector<SKeyChange> MaskSecrets(std::vector<SKeyChange> vecChanges);
// The secrets that are set among the values, as a log filter needs them.
std::vector<std::string> SecretValues(const SGroupDef& group, const GroupValues& values);

// Typed JSON of a group (true/false, numbers, strings) and back. Reading
// refuses unknown keys and names strPath.key; bRequireAll refuses missing ones.
nlohmann::json GroupToJson(const SGroupDef& group, const GroupValues& values);
std::optional<GroupValues> GroupFromJson(const SGroupDef& group, const nlohmann::json& object,
                                         const std::string& strPath, bool bRequireAll, std::string& strError);

// "on" / "off" of a flag.
inline const char* OnOff(bool bOn) { return bOn ? "on" : "off"; }

// A name of a value from a list; a value without one shows as its number,
// marked, so it is never taken for a choice ("unknown 7", not "7").
std::string NameOrUnknown(const std::vector<std::string>& vecNames, unsigned nValue);
// The position of a name in a list, or nothing.
std::optional<uint8_t> IndexOfName(const std::vector<std::string>& vecNames, std::string_view strName);
// The byte a name or an "unknown N" (N beyond the list, up to 255) stands for, or nothing.
std::optional<uint8_t> ByteOfName(const std::vector<std::string>& vecNames, std::string_view strName);

// Applies canonical key values to a typed group value through its bindings:
// each writable key whose shown value differs takes the given one, so a value
// the hub holds without a name of its own goes back as read unless changed.
template <class T>
struct SKeyBinding {
    const char* pszKey;
    std::string (*pfnGet)(const T& value);
    void (*pfnSet)(T& value, const std::string& strCanonical);  // nullptr: read-only
};

template <class T, size_t N>
GroupValues ToKeyValuesOf(const T& value, const SKeyBinding<T> (&bindings)[N]) {
    GroupValues values;
    for (const auto& binding : bindings) values[binding.pszKey] = binding.pfnGet(value);
    return values;
}

template <class T, size_t N>
void ApplyKeyValuesTo(T& value, const GroupValues& values, const SKeyBinding<T> (&bindings)[N]) {
    for (const auto& binding : bindings) {
        const auto it = values.find(binding.pszKey);
        if (binding.pfnSet != nullptr && it != values.end() && binding.pfnGet(value) != it->second)
            binding.pfnSet(value, it->second);
    }
}

// Defines a group's table function and its typed conversions from its
// bindings and the function that makes its table.
#define VEXAL_MODEL_GROUP_FORM(Type, GroupFn, MakeGroupFn, bindings)                      \
    const SGroupDef& GroupFn() {                                                          \
        static const SGroupDef s_group = MakeGroupFn();                                   \
        return s_group;                                                                   \
    }                                                                                     \
    GroupValues ToKeyValues(const Type& value) { return ToKeyValuesOf(value, bindings); } \
    void ApplyKeyValues(Type& value, const GroupValues& values) { ApplyKeyValuesTo(value, values, bindings); }

}  // namespace vexal::model
