#include "utility/logic/BackupRestore.h"

#include "model/CustomDevices.h"
#include "model/KeyValues.h"
#include "utility/logic/SecretText.h"

#include <algorithm>

namespace vexal::utility {

namespace {

std::string Plural(size_t n, const char* pszOne, const char* pszMany) {
    return std::to_string(n) + " " + (n == 1 ? pszOne : pszMany);
}

std::string GroupTitle(const model::SGroupPlan& plan) {
    if (plan.strKind == "serial") return "USB-to-serial adapter " + std::to_string(plan.nSerialId);
    if (plan.strKind == "custom") return std::string("Custom devices: ") + model::CustomTypeTitle(plan.nCustomType);
    const model::SGroupDef* pGroup = model::FindGroup(plan.strKind);
    return pGroup != nullptr ? pGroup->strTitle : plan.strGroup;
}

// The secrets a group's row could quote: what the hub holds and the target.
std::vector<std::string> SecretsOf(const model::SGroupPlan& plan) {
    std::vector<std::string> secrets;
    AddSecretValues(plan.strKind, plan.current, secrets);
    AddSecretValues(plan.strKind, plan.target, secrets);
    return secrets;
}

std::string DetailOf(const model::SGroupPlan& plan) {
    std::string str;
    auto add = [&str](const std::string& strPart) { str += (str.empty() ? "" : ", ") + strPart; };
    if (!plan.strNote.empty()) return plan.strNote;
    if (plan.strKind == "custom") {
        for (const auto& e : plan.vecDelete) add("remove " + e);
        for (const auto& e : plan.vecAdd) add("add " + e);
        return str;
    }
    if (!plan.strNote.empty()) return MaskSecrets(plan.strNote, SecretsOf(plan));
    for (const auto& c : plan.vecChanges) {
        // A secret shows that it changes, never what it is.
        const bool bSecret = c.bSecret;
        auto shown = [bSecret](const std::string& strValue) {
            return strValue.empty() ? std::string("-") : bSecret ? std::string(kSecretMask) : strValue;
        };
        add(c.strKey + " " + shown(c.strFrom) + " \u2192 " + shown(c.strTo) +
            (c.bReadOnly ? " (read-only, kept)" : ""));
    }
    return str;
}

size_t CountWrites(const std::vector<model::SGroupPlan>& plans) {
    return static_cast<size_t>(std::count_if(
        plans.begin(), plans.end(), [](const model::SGroupPlan& p) { return p.eAction == model::EPlanAction::Write; }));
}

}  // namespace

std::string SuggestedBackupName(std::string_view strModel, std::string_view strTaken) {
    std::string strName;
    for (char c : strModel)
        strName +=
            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20
                ? '_'
                : c;
    if (strName.empty()) strName = "hub";
    if (strTaken.size() >= 10) strName += " " + std::string(strTaken.substr(0, 10));
    return strName + ".json";
}

std::string BackupSource(int nInterface, std::string_view strPortText) {
    if (nInterface == 16) return "USB";
    return std::string(strPortText);
}

SOutcomeText SaveOutcomeText(const std::string& strFile, const std::vector<std::string>& vecUnread,
                             const std::string& strError) {
    if (!strError.empty()) return {"The settings were not saved.\n" + strError, true};
    if (vecUnread.empty()) return {"The hub's settings were saved to " + strFile + ".", false};
    std::string strText = "The hub's settings were saved to " + strFile + ", without what could not be read:";
    for (const auto& e : vecUnread) strText += "\n" + e;
    return {strText, true};
}

bool CloneByDefault(const model::SSettingsValues& backup, const model::SSettingsValues& hub) {
    auto macOf = [](const model::SSettingsValues& s) -> std::string {
        auto group = s.groups.find("lan");
        if (group == s.groups.end()) return {};
        auto mac = group->second.find("mac");
        return mac == group->second.end() ? std::string() : mac->second;
    };
    const std::string strBackup = macOf(backup), strHub = macOf(hub);
    return !strBackup.empty() && !strHub.empty() && strBackup != strHub;
}

bool MovesConnectedHub(const std::vector<model::SGroupPlan>& plans, std::string_view strConnectedAddress) {
    for (const auto& plan : plans) {
        if (plan.eAction != model::EPlanAction::Write || (plan.strKind != "lan" && plan.strKind != "wlan")) continue;
        auto ip = plan.current.find("ip");
        if (ip == plan.current.end() || ip->second != strConnectedAddress) continue;
        for (const auto& c : plan.vecChanges)
            if (!c.bReadOnly && (c.strKey == "ip" || c.strKey == "dhcp")) return true;
    }
    return false;
}

std::vector<SRestoreRow> RestoreRows(const std::vector<model::SGroupPlan>& plans,
                                     const std::vector<SApplied>& vecApplied) {
    std::vector<SRestoreRow> rows;
    for (size_t i = 0; i < plans.size(); ++i) {
        const auto& plan = plans[i];
        SRestoreRow row{GroupTitle(plan), {}, DetailOf(plan)};
        switch (plan.eAction) {
        case model::EPlanAction::Same: row.strAction = "same"; break;
        case model::EPlanAction::Skip: row.strAction = "skipped"; break;
        case model::EPlanAction::Refused: row.strAction = "refused"; break;
        case model::EPlanAction::Write: row.strAction = "will write"; break;
        }
        if (plan.eAction == model::EPlanAction::Write && i < vecApplied.size()) {
            const SApplied& a = vecApplied[i];
            row.strAction = !a.bTried ? "not written" : a.bOk ? "written" : "failed";
            if (a.bTried && !a.bOk) row.strDetail = MaskSecrets(a.strError, SecretsOf(plan));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

SRestoreSummary RestoreSummary(const std::vector<model::SGroupPlan>& plans, const std::vector<SApplied>& vecApplied) {
    const size_t nWrites = CountWrites(plans);
    // A refused group is never written; the others do not depend on it.
    const bool bRefused = model::IsRefused(plans);
    const std::string strRefused =
        bRefused ? " The groups the list says refused cannot be restored from this file." : "";
    if (!vecApplied.empty()) {
        size_t nOk = 0, nFailed = 0;
        for (const auto& a : vecApplied) {
            nOk += a.bTried && a.bOk ? 1 : 0;
            nFailed += a.bTried && !a.bOk ? 1 : 0;
        }
        if (nFailed == 0)
            return {Plural(nOk, "group", "groups") + " written and read back." + strRefused, false, bRefused};
        return {Plural(nOk, "group", "groups") + " written and read back; " + Plural(nFailed, "group", "groups") +
                    " failed (see the list)." + strRefused,
                false, true};
    }
    if (nWrites == 0 && bRefused) return {"Nothing else differs." + strRefused, false, true};
    if (nWrites == 0) return {"The hub already holds these settings: nothing to write.", false, false};
    return {Plural(nWrites, "group", "groups") + " will be written and read back." + strRefused, true, bRefused};
}

}  // namespace vexal::utility
