#include "model/KeyValues.h"

#include "model/Address.h"
#include "model/Bluetooth.h"
#include "model/HubText.h"
#include "model/Lan.h"
#include "model/NetProto.h"
#include "model/SerialLine.h"
#include "model/Usage.h"
#include "model/Wlan.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vexal::model {
namespace {

std::string Lower(std::string_view str) {
    std::string out(str);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::optional<long> ParseLong(std::string_view str) {
    long n = 0;
    if (str.empty()) return std::nullopt;
    auto [p, ec] = std::from_chars(str.data(), str.data() + str.size(), n);
    if (ec != std::errc() || p != str.data() + str.size()) return std::nullopt;
    return n;
}

std::string Choices(const std::vector<std::string>& vecChoices) {
    std::string strList;
    for (const auto& c : vecChoices) strList += (strList.empty() ? "" : "|") + c;
    return strList;
}

}  // namespace

SKeyDef FlagKey(const char* pszName, const char* pszHelp) {
    SKeyDef key;
    key.strName = pszName;
    key.eKind = EKeyKind::Bool;
    key.strHelp = pszHelp;
    return key;
}

SKeyDef ChoiceKey(const char* pszName, std::vector<std::string> vecChoices, const char* pszHelp) {
    SKeyDef key = FlagKey(pszName, pszHelp);
    key.eKind = EKeyKind::Choice;
    key.vecChoices = std::move(vecChoices);
    return key;
}

SKeyDef AddressKey(const char* pszName, const char* pszHelp) {
    SKeyDef key = FlagKey(pszName, pszHelp);
    key.eKind = EKeyKind::IPv4;
    return key;
}

SKeyDef TextKey(const char* pszName, std::optional<EHubText> eText, const char* pszHelp) {
    SKeyDef key = FlagKey(pszName, pszHelp);
    key.eKind = EKeyKind::Text;
    key.eText = eText;
    return key;
}

SKeyDef ByteChoiceKey(const char* pszName, std::vector<std::string> vecChoices, const char* pszHelp) {
    SKeyDef key = ChoiceKey(pszName, std::move(vecChoices), pszHelp);
    key.bUnnamedKept = true;
    return key;
}

SKeyDef ReadOnly(SKeyDef key) {
    key.bReadOnly = true;
    return key;
}

SKeyDef PerHub(SKeyDef key) {
    key.bPerHub = true;
    return key;
}

SKeyDef Secret(SKeyDef key) {
    key.bSecret = true;
    return key;
}

const SKeyDef* SGroupDef::Find(std::string_view strKey) const {
    for (const auto& key : vecKeys)
        if (key.strName == strKey) return &key;
    return nullptr;
}

const std::vector<SGroupDef>& SettingGroups() {
    static const std::vector<SGroupDef> s_groups = {BluetoothGroup(), LanGroup(),   WlanGroup(),
                                                    NetProtoGroup(),  UsageGroup(), SerialLineGroup()};
    return s_groups;
}

const SGroupDef* FindGroup(std::string_view strName) {
    for (const auto& group : SettingGroups())
        if (group.strName == strName) return &group;
    return nullptr;
}

std::string NameOrUnknown(const std::vector<std::string>& vecNames, unsigned nValue) {
    return nValue < vecNames.size() ? vecNames[nValue] : "unknown " + std::to_string(nValue);
}

std::optional<uint8_t> IndexOfName(const std::vector<std::string>& vecNames, std::string_view strName) {
    for (size_t i = 0; i < vecNames.size(); ++i)
        if (vecNames[i] == strName) return static_cast<uint8_t>(i);
    return std::nullopt;
}

std::optional<uint8_t> ByteOfName(const std::vector<std::string>& vecNames, std::string_view strName) {
    if (auto nIndex = IndexOfName(vecNames, strName)) return nIndex;
    constexpr std::string_view kUnknown = "unknown ";
    if (strName.substr(0, kUnknown.size()) != kUnknown) return std::nullopt;
    const std::string_view strNumber = strName.substr(kUnknown.size());
    // Only the form NameOrUnknown writes: no sign, no leading zero.
    if (strNumber.size() > 1 && strNumber[0] == '0') return std::nullopt;
    const auto n = ParseLong(strNumber);
    if (!n || *n < static_cast<long>(vecNames.size()) || *n > 0xFF) return std::nullopt;
    return static_cast<uint8_t>(*n);
}

std::optional<std::string> CanonicalValue(const SKeyDef& key, std::string_view strValue, std::string& strError) {
    const std::string strLower = Lower(strValue);
    // The value as a message may quote it: escaped, as it may come from a
    // file, and never a secret.
    const std::string strQuoted = key.bSecret ? std::string("the value") : "'" + Printable(strValue) + "'";
    switch (key.eKind) {
    case EKeyKind::Bool:
        for (const char* psz : {"on", "1", "true", "yes", "enable", "enabled"})
            if (strLower == psz) return "on";
        for (const char* psz : {"off", "0", "false", "no", "disable", "disabled"})
            if (strLower == psz) return "off";
        strError = key.strName + ": " + strQuoted + " is not on or off";
        return std::nullopt;
    case EKeyKind::Int: {
        const auto n = ParseLong(strValue);
        if (!n || *n < key.nMin || *n > key.nMax) {
            strError = key.strName + ": " + strQuoted + " is not a number from " + std::to_string(key.nMin) + " to " +
                       std::to_string(key.nMax);
            return std::nullopt;
        }
        return std::to_string(*n);
    }
    case EKeyKind::Choice:
        for (const auto& choice : key.vecChoices)
            if (strLower == choice) return choice;
        if (key.bEmptyAllowed && strValue.empty()) return std::string();
        if (key.bUnnamedKept)
            if (const auto nByte = ByteOfName(key.vecChoices, strLower)) return NameOrUnknown(key.vecChoices, *nByte);
        strError = key.strName + ": " + strQuoted + " is not one of " + Choices(key.vecChoices);
        return std::nullopt;
    case EKeyKind::IPv4:
        if (auto ip = ParseIpv4(strValue)) return FormatIpv4(*ip);
        strError = key.strName + ": " + strQuoted + " is not an IPv4 address";
        return std::nullopt;
    case EKeyKind::Text: return std::string(strValue);
    }
    return std::nullopt;
}

std::string CheckKeyText(const SGroupDef& group, const SKeyDef& key, const std::string& strValue) {
    if (!key.eText || key.bReadOnly || (key.bEmptyWhenUnused && strValue.empty())) return {};
    const std::string strWhat = group.strName + " " + key.strName + ": ";
    switch (CheckHubText(*key.eText, strValue)) {
    case ETextProblem::None: return {};
    case ETextProblem::ControlCharacter: return strWhat + "control characters are not allowed";
    case ETextProblem::NotInCodePage:
        return strWhat + "has characters the hub's code page (" + platform::AnsiCodePageName() + ") cannot hold";
    case ETextProblem::TooShort: return strWhat + "minimum length is " + std::to_string(MinHubBytes(*key.eText));
    case ETextProblem::TooLong: return strWhat + "maximum length is " + std::to_string(MaxHubBytes(*key.eText));
    case ETextProblem::WepKeyLength: return strWhat + "WEP key must be 5 or 13 characters";
    }
    return {};
}

std::optional<GroupValues> ParseAssignments(const SGroupDef& group, const std::vector<std::string>& vecArgs,
                                            std::string& strError) {
    GroupValues values;
    if (vecArgs.empty()) {
        strError = "set " + group.strName + ": no KEY=VALUE given";
        return std::nullopt;
    }
    for (const auto& strArg : vecArgs) {
        const size_t nEq = strArg.find('=');
        if (nEq == std::string::npos || nEq == 0) {
            strError = group.strName + ": '" + Printable(strArg) + "' is not KEY=VALUE";
            return std::nullopt;
        }
        const std::string strKey = Lower(strArg.substr(0, nEq));
        const SKeyDef* pKey = group.Find(strKey);
        if (pKey == nullptr) {
            strError = group.strName + ": unknown key '" + Printable(strKey) + "'";
            return std::nullopt;
        }
        if (pKey->bReadOnly) {
            strError = group.strName + " " + strKey + ": read-only";
            return std::nullopt;
        }
        if (values.count(strKey) != 0) {
            strError = group.strName + " " + strKey + ": given twice";
            return std::nullopt;
        }
        auto value = CanonicalValue(*pKey, std::string_view(strArg).substr(nEq + 1), strError);
        if (!value) {
            strError = group.strName + " " + strError;
            return std::nullopt;
        }
        if (group.pfnRefuse != nullptr) {
            strError = group.pfnRefuse({}, {{strKey, *value}});
            if (!strError.empty()) return std::nullopt;
        }
        strError = CheckKeyText(group, *pKey, *value);
        if (!strError.empty()) return std::nullopt;
        values[strKey] = *value;
    }
    return values;
}

std::string ValidateGroup(const SGroupDef& group, const GroupValues& values) {
    for (const auto& key : group.vecKeys) {
        auto it = values.find(key.strName);
        if (it == values.end()) return group.strName + " " + key.strName + ": missing";
        std::string strError;
        if (!CanonicalValue(key, it->second, strError)) return group.strName + " " + strError;
        strError = CheckKeyText(group, key, it->second);
        if (!strError.empty()) return strError;
    }
    return group.pfnValidate != nullptr ? group.pfnValidate(values) : std::string();
}

std::optional<GroupValues> MergeAndValidate(const SGroupDef& group, const GroupValues& current,
                                            const GroupValues& wanted, std::string& strError) {
    if (group.pfnRefuse != nullptr) {
        strError = group.pfnRefuse(current, wanted);
        if (!strError.empty()) return std::nullopt;
    }
    GroupValues merged = current;
    for (const auto& [strKey, strValue] : wanted) merged[strKey] = strValue;
    if (group.pfnFollow != nullptr) group.pfnFollow(merged, wanted);
    strError = ValidateGroup(group, merged);
    if (!strError.empty()) return std::nullopt;
    return merged;
}

std::vector<SKeyChange> DiffGroup(const SGroupDef& group, const GroupValues& from, const GroupValues& to) {
    static const std::string s_empty;
    auto get = [](const GroupValues& values, const std::string& strKey) -> const std::string& {
        auto it = values.find(strKey);
        return it == values.end() ? s_empty : it->second;
    };
    std::vector<SKeyChange> changes;
    for (const auto& key : group.vecKeys) {
        const auto& a = get(from, key.strName);
        const auto& b = get(to, key.strName);
        if (a != b) changes.push_back({key.strName, a, b, key.bReadOnly, key.bSecret});
    }
    return changes;
}

std::string MaskedValue(const SKeyDef& key, const std::string& strValue) {
    return key.bSecret && !strValue.empty() ? kSecretMask : strValue;
}

GroupValues MaskSecrets(const SGroupDef& group, GroupValues values, const GroupValues* pBefore) {
    for (const auto& key : group.vecKeys) {
        auto it = values.find(key.strName);
        if (!key.bSecret || it == values.end() || it->second.empty()) continue;
        bool bChanged = false;
        if (pBefore != nullptr)
            if (auto before = pBefore->find(key.strName); before != pBefore->end())
                bChanged = !before->second.empty() && before->second != it->second;
        it->second = bChanged ? kSecretChanged : kSecretMask;
    }
    return values;
}

std::vector<SKeyChange> MaskSecrets(std::vector<SKeyChange> vecChanges) {
    for (auto& c : vecChanges) {
        if (!c.bSecret) continue;
        const bool bBoth = !c.strFrom.empty() && !c.strTo.empty();
        if (!c.strFrom.empty()) c.strFrom = kSecretMask;
        if (!c.strTo.empty()) c.strTo = bBoth ? kSecretChanged : kSecretMask;
    }
    return vecChanges;
}

std::vector<std::string> SecretValues(const SGroupDef& group, const GroupValues& values) {
    std::vector<std::string> secrets;
    for (const auto& key : group.vecKeys)
        if (auto it = values.find(key.strName); key.bSecret && it != values.end() && !it->second.empty())
            secrets.push_back(it->second);
    return secrets;
}

nlohmann::json GroupToJson(const SGroupDef& group, const GroupValues& values) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& key : group.vecKeys) {
        auto it = values.find(key.strName);
        if (it == values.end()) continue;
        if (key.eKind == EKeyKind::Bool && (it->second == "on" || it->second == "off"))
            object[key.strName] = it->second == "on";
        else if (key.eKind == EKeyKind::Int && ParseLong(it->second))
            object[key.strName] = *ParseLong(it->second);
        else
            object[key.strName] = it->second;
    }
    return object;
}

std::optional<GroupValues> GroupFromJson(const SGroupDef& group, const nlohmann::json& object,
                                         const std::string& strPath, bool bRequireAll, std::string& strError) {
    if (!object.is_object()) {
        strError = strPath + ": expected an object";
        return std::nullopt;
    }
    GroupValues values;
    for (const auto& [strKey, value] : object.items()) {
        const SKeyDef* pKey = group.Find(strKey);
        if (pKey == nullptr) {
            strError = strPath + "." + Printable(strKey) + ": unknown key";
            return std::nullopt;
        }
        std::string strText;
        if (value.is_boolean() && pKey->eKind == EKeyKind::Bool)
            strText = value.get<bool>() ? "on" : "off";
        else if (value.is_number_integer() && (pKey->eKind == EKeyKind::Int || pKey->eKind == EKeyKind::Choice))
            strText = std::to_string(value.get<long long>());
        else if (value.is_string())
            strText = value.get<std::string>();
        else {
            strError = strPath + "." + strKey + ": wrong type of value";
            return std::nullopt;
        }
        std::string strWhy;
        auto canonical = CanonicalValue(*pKey, strText, strWhy);
        if (!canonical) {
            strError = strPath + "." + strWhy;
            return std::nullopt;
        }
        // Also in the read-only keys, which are only compared and shown.
        if (pKey->eKind == EKeyKind::Text && HasControlCharacter(std::string_view(*canonical))) {
            strError = strPath + "." + strKey + ": control characters are not allowed";
            return std::nullopt;
        }
        values[strKey] = *canonical;
    }
    if (bRequireAll)
        for (const auto& key : group.vecKeys)
            if (values.count(key.strName) == 0) {
                strError = strPath + "." + key.strName + ": missing";
                return std::nullopt;
            }
    return values;
}

}  // namespace vexal::model
