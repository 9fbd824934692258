#include "model/Settings.h"

namespace vexal::model {

const SGroupDef& GroupOf(const CGroupValue& value) {
    struct SVisitor {
        const SGroupDef& operator()(const SBluetooth&) const { return BluetoothGroup(); }
        const SGroupDef& operator()(const SLan&) const { return LanGroup(); }
        const SGroupDef& operator()(const SWlan&) const { return WlanGroup(); }
        const SGroupDef& operator()(const SNetProto&) const { return NetProtoGroup(); }
        const SGroupDef& operator()(const SUsage&) const { return UsageGroup(); }
        const SGroupDef& operator()(const SSerialLine&) const { return SerialLineGroup(); }
    };
    return std::visit(SVisitor{}, value);
}

std::optional<CGroupValue> MakeGroupValue(std::string_view strGroup) {
    if (strGroup == "bluetooth") return SBluetooth{};
    if (strGroup == "lan") return SLan{};
    if (strGroup == "wlan") return SWlan{};
    if (strGroup == "netproto") return SNetProto{};
    if (strGroup == "usage") return SUsage{};
    if (strGroup == "serial") return SSerialLine{};
    return std::nullopt;
}

GroupValues ToKeyValues(const CGroupValue& value) {
    return std::visit([](const auto& v) { return ToKeyValues(v); }, value);
}

void ApplyKeyValues(CGroupValue& value, const GroupValues& values) {
    std::visit([&values](auto& v) { ApplyKeyValues(v, values); }, value);
}

std::string CheckGroup(const CGroupValue& value) { return ValidateGroup(GroupOf(value), ToKeyValues(value)); }

SSettingsValues ToValues(const SHubSettings& s) {
    SSettingsValues values;
    if (s.bluetooth) values.groups["bluetooth"] = ToKeyValues(*s.bluetooth);
    if (s.lan) values.groups["lan"] = ToKeyValues(*s.lan);
    if (s.wlan) values.groups["wlan"] = ToKeyValues(*s.wlan);
    if (s.netproto) values.groups["netproto"] = ToKeyValues(*s.netproto);
    if (s.usage) values.groups["usage"] = ToKeyValues(*s.usage);
    for (const auto& [nId, line] : s.serial) values.serial[nId] = ToKeyValues(line);
    values.custom = s.custom;
    return values;
}

std::optional<CGroupValue> GroupOfSettings(const SHubSettings& s, std::string_view strGroup) {
    if (strGroup == "bluetooth" && s.bluetooth) return *s.bluetooth;
    if (strGroup == "lan" && s.lan) return *s.lan;
    if (strGroup == "wlan" && s.wlan) return *s.wlan;
    if (strGroup == "netproto" && s.netproto) return *s.netproto;
    if (strGroup == "usage" && s.usage) return *s.usage;
    return std::nullopt;
}

void SetGroupOfSettings(SHubSettings& s, const CGroupValue& value) {
    struct SVisitor {
        SHubSettings& s;
        void operator()(const SBluetooth& v) const { s.bluetooth = v; }
        void operator()(const SLan& v) const { s.lan = v; }
        void operator()(const SWlan& v) const { s.wlan = v; }
        void operator()(const SNetProto& v) const { s.netproto = v; }
        void operator()(const SUsage& v) const { s.usage = v; }
        void operator()(const SSerialLine&) const {}  // kept by adapter: see SHubSettings::serial
    };
    std::visit(SVisitor{s}, value);
}

}  // namespace vexal::model
