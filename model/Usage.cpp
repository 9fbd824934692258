#include "model/Usage.h"

namespace vexal::model {

namespace {

constexpr const char* kNotReported = "n/a";

std::string Word(int32_t nValue) { return nValue == kUsageOff ? "off" : nValue == kUsageOn ? "on" : kNotReported; }
int32_t Value(const std::string& s) { return s == "on" ? kUsageOn : s == "off" ? kUsageOff : kUsageNotReported; }

// clang-format off
#define VEXAL_USAGE_ROW(key, field) \
    {key, [](const SUsage& v) { return Word(v.field); }, [](SUsage& v, const std::string& s) { v.field = Value(s); }}
// clang-format on
const SKeyBinding<SUsage> kBindings[] = {
    {"usb", [](const SUsage&) { return std::string("on"); }, nullptr},
    VEXAL_USAGE_ROW("bluetooth", nBluetooth),
    VEXAL_USAGE_ROW("lan", nLan),
    VEXAL_USAGE_ROW("wlan", nWlan),
};
#undef VEXAL_USAGE_ROW

// "n/a" is only what the hub says: it cannot be asked for, and an interface
// the hub does not report cannot be set.
std::string Refuse(const GroupValues& current, const GroupValues& wanted) {
    for (const auto& [strKey, strValue] : wanted) {
        if (strValue == kNotReported) return "usage " + strKey + ": n/a cannot be set";
        if (auto it = current.find(strKey); it != current.end() && it->second == kNotReported)
            return "usage " + strKey + ": the hub does not report this interface";
    }
    return {};
}

SGroupDef MakeGroup() {
    SGroupDef group;
    group.strName = "usage";
    group.strTitle = "Interface usage";
    group.vecKeys = {ReadOnly(ChoiceKey("usb", {"on"}, "USB (always on, read-only)")),
                     ChoiceKey("bluetooth", {"on", "off", kNotReported}, "Bluetooth on|off (n/a: not reported)"),
                     ChoiceKey("lan", {"on", "off", kNotReported}, "wired LAN on|off"),
                     ChoiceKey("wlan", {"on", "off", kNotReported}, "wireless LAN on|off")};
    group.pfnRefuse = Refuse;
    return group;
}

}  // namespace

const char* UsageErrorMeaning(int32_t nError) {
    switch (nError) {
    case 1: return "unknown error";
    case 2: return "API error";
    case 3: return "value out of range";
    case 4: return "interface not available";
    case 5: return "the change would block every interface";
    default: return "refused";
    }
}

VEXAL_MODEL_GROUP_FORM(SUsage, UsageGroup, MakeGroup, kBindings)

}  // namespace vexal::model
