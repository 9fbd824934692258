// Every settings group of one hub, typed and in the text form, and the
// groups taken one at a time whatever their type.
#pragma once
#include "model/Bluetooth.h"
#include "model/KeyValues.h"
#include "model/Lan.h"
#include "model/NetProto.h"
#include "model/SerialLine.h"
#include "model/Usage.h"
#include "model/Wlan.h"

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vexal::model {

// One group's value, whichever group it is.
using CGroupValue = std::variant<SBluetooth, SLan, SWlan, SNetProto, SUsage, SSerialLine>;

const SGroupDef& GroupOf(const CGroupValue& value);
// A default value of the group named ("bluetooth" ... "serial"); nothing for another name.
std::optional<CGroupValue> MakeGroupValue(std::string_view strGroup);
GroupValues ToKeyValues(const CGroupValue& value);
void ApplyKeyValues(CGroupValue& value, const GroupValues& values);
// The group's rules on the whole value, as before a write from the text
// form: every value named and within its rules. Empty when they hold.
std::string CheckGroup(const CGroupValue& value);

// Every readable setting of one hub, as read; a group that could not be
// read is missing.
struct SHubSettings {
    std::optional<SBluetooth> bluetooth;
    std::optional<SLan> lan;
    std::optional<SWlan> wlan;
    std::optional<SNetProto> netproto;
    std::optional<SUsage> usage;
    std::map<int, SSerialLine> serial;               // by adapter device ID
    std::map<int, std::vector<std::string>> custom;  // by type, "vvvv&pppp" entries
};

// The same in the text form, as backups hold it and plans compare it.
struct SSettingsValues {
    std::map<std::string, GroupValues> groups;  // bluetooth, lan, wlan, netproto, usage
    std::map<int, GroupValues> serial;
    std::map<int, std::vector<std::string>> custom;
    // Groups of a file that cannot be used, by the name a plan gives them
    // ("wlan", "serial 100", "custom msr"), with the reason; never a hub's.
    std::map<std::string, std::string> unusable;
};

SSettingsValues ToValues(const SHubSettings& settings);
// The group of SHubSettings by name (not "serial"), as a CGroupValue.
std::optional<CGroupValue> GroupOfSettings(const SHubSettings& settings, std::string_view strGroup);
void SetGroupOfSettings(SHubSettings& settings, const CGroupValue& value);

}  // namespace vexal::model
