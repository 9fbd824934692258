// What "Save settings…" and "Load settings…" show: the file a backup is
// offered under, how it names the hub, what a restore plan does group by
// group and what came of it. Pure; the backup format and the plan are the
// settings model's (model/Backup.h, model/RestorePlan.h).
#pragma once
#include "model/RestorePlan.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexal::utility {

// "VX-H400_VXL 2026-12-08.json": the model (a character a file name cannot
// hold becomes '_') and the day of the time stamp.
std::string SuggestedBackupName(std::string_view strModel, std::string_view strTaken);
// How a backup names the hub it was taken from, as the tool names it:
// "192.168.0.10:9100", "COM3", "USB".
std::string BackupSource(int nInterface, std::string_view strPortText);

struct SOutcomeText {
    std::string strText;
    bool bWarning = false;
};
// After a save: written whole, written without the groups that could not be
// read, or not written.
SOutcomeText SaveOutcomeText(const std::string& strFile, const std::vector<std::string>& vecUnread,
                             const std::string& strError);

// Whether a clone restore is the sensible start: the backup was taken from
// another hub (its LAN MAC differs from this hub's).
bool CloneByDefault(const model::SSettingsValues& backup, const model::SSettingsValues& hub);
// A LAN or WLAN group that would change its address (or DHCP) while this
// session reaches the hub at that address: the connection would be lost.
bool MovesConnectedHub(const std::vector<model::SGroupPlan>& plans, std::string_view strConnectedAddress);

// What came of writing one group of a plan.
struct SApplied {
    bool bTried = false;
    bool bOk = false;
    std::string strError;
};

struct SRestoreRow {
    std::string strGroup, strAction, strDetail;
};
// One row per group: before writing (vecApplied empty) what would happen,
// after it what did.
std::vector<SRestoreRow> RestoreRows(const std::vector<model::SGroupPlan>& plans,
                                     const std::vector<SApplied>& vecApplied);

struct SRestoreSummary {
    std::string strNote;
    bool bCanWrite = false;
    bool bWarning = false;
};
SRestoreSummary RestoreSummary(const std::vector<model::SGroupPlan>& plans, const std::vector<SApplied>& vecApplied);

}  // namespace vexal::utility
