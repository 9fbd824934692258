#include "model/RestorePlan.h"

#include "model/CustomDevices.h"

#include <algorithm>

namespace vexal::model {

namespace {
const char* const kGroupOrder[] = {"bluetooth", "lan", "wlan", "netproto", "usage"};
}

const std::vector<std::string>& RestoreGroupNames() {
    static const std::vector<std::string> s_names = {"bluetooth", "lan",    "wlan",  "netproto",
                                                     "usage",     "serial", "custom"};
    return s_names;
}

std::vector<std::string> PerHubKeys() {
    std::vector<std::string> keys;
    for (const auto& group : SettingGroups())
        for (const auto& key : group.vecKeys)
            if (key.bPerHub) keys.push_back(group.strName + "." + key.strName);
    return keys;
}

bool IsRefused(const std::vector<SGroupPlan>& plans) {
    return std::any_of(plans.begin(), plans.end(),
                       [](const SGroupPlan& g) { return g.eAction == EPlanAction::Refused; });
}

std::vector<SGroupPlan> PlanRestore(const SSettingsValues& backup, const SSettingsValues& hub,
                                    const SRestoreOptions& o) {
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
            if (key.bReadOnly && !o.bClone)
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
    // A group of the file that cannot be used is refused alone, the others stay
    // restorable; one this reader does not know only by a restore of every group.
    auto refuseUnusable = [&](const std::string& strKind) {
        const auto& known = RestoreGroupNames();
        for (const auto& [strGroup, strWhy] : backup.unusable) {
            const std::string strOwnKind = strGroup.substr(0, strGroup.find(' '));
            const bool bKnown = std::find(known.begin(), known.end(), strOwnKind) != known.end();
            if (bKnown ? strOwnKind != strKind || !wanted(strKind) : !strKind.empty() || !o.only.empty()) continue;
            SGroupPlan plan;
            plan.strGroup = strGroup;
            plan.strKind = strOwnKind;
            plan.eAction = EPlanAction::Refused;
            plan.strNote = strWhy;
            const std::string strOwn = strGroup.substr(std::min(strGroup.size(), strOwnKind.size() + 1));
            if (strOwnKind == "serial") plan.nSerialId = ParseSerialDeviceId(strOwn).value_or(0);
            if (strOwnKind == "custom") plan.nCustomType = ParseCustomType(strOwn).value_or(-1);
            plans.push_back(std::move(plan));
        }
    };
    for (const char* psz : kGroupOrder) {
        if (!wanted(psz)) continue;
        refuseUnusable(psz);
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
        GroupValues source = from->second;
        if (std::string(psz) == "usage") {
            // An interface the hub does not report cannot be set.
            for (auto& [strKey, strValue] : source)
                if (auto it = current->second.find(strKey); it != current->second.end() && it->second == "n/a")
                    strValue = "n/a";
        }
        planGroup(plan, *FindGroup(psz), source, current->second);
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
            planGroup(plan, SerialLineGroup(), values, current->second);
        }
    refuseUnusable("serial");
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
    refuseUnusable("custom");
    refuseUnusable("");  // the groups this reader does not know
    return plans;
}

}  // namespace vexal::model
