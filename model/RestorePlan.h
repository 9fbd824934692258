// The plan of a restore: what differs between a backup and a hub, group by
// group, what a clone leaves out, and which targets break the hub's rules.
#pragma once
#include "model/Settings.h"

#include <set>
#include <string>
#include <vector>

namespace vexal::model {

// The groups a restore can be limited to: bluetooth, lan, wlan, netproto, usage, serial, custom.
const std::vector<std::string>& RestoreGroupNames();
// The keys a clone leaves out ("bluetooth.name", "lan.ip", "wlan.ip").
std::vector<std::string> PerHubKeys();

struct SRestoreOptions {
    std::set<std::string> only;     // empty: every group
    bool bClone = false;            // leave out the per-hub keys ...
    std::set<std::string> include;  // ... unless named here as "group.key"
};

enum class EPlanAction { Same, Write, Skip, Refused };

struct SGroupPlan {
    std::string strGroup;  // "lan", "serial 100", "custom msr"
    std::string strKind;   // the group's name, or "custom"
    int nSerialId = 0;
    int nCustomType = -1;
    EPlanAction eAction = EPlanAction::Same;
    std::vector<SKeyChange> vecChanges;  // read-only ones are reported, never written
    GroupValues current, target;
    std::vector<std::string> vecAdd, vecDelete;  // custom entries
    std::string strNote;                         // why skipped or refused
};

// Compares the backup with what the hub holds now. A group whose target
// breaks the group's rules, or that the file holds in a form this reader
// cannot use (SSettingsValues::unusable), is Refused: it is never written,
// and the other groups do not depend on it.
std::vector<SGroupPlan> PlanRestore(const SSettingsValues& backup, const SSettingsValues& hub,
                                    const SRestoreOptions& options);
// True when some group is refused (a restore that writes the others is still incomplete).
bool IsRefused(const std::vector<SGroupPlan>& plans);

}  // namespace vexal::model
