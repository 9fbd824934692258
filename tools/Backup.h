// The backup file (a versioned JSON document) and the plan of a restore: what
// differs between a backup and a hub, group by group. Pure.
#pragma once
#include "tools/Settings.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vexal::tools {

inline constexpr const char* kBackupFormat = "vexalcfg-backup";
inline constexpr int kBackupVersion = 1;

// Every readable setting of one hub.
struct SHubSettings {
    std::map<std::string, GroupValues> groups;                 // bluetooth, lan, wlan, netproto, usage
    std::map<int, GroupValues> serial;                         // by adapter device ID
    std::map<int, std::vector<std::string>> custom;            // by type, "vvvv&pppp" entries
};

struct SBackup {
    int nVersion = kBackupVersion;
    std::string strTaken;  // UTC, ISO 8601
    std::string strModel, strFirmware, strSource;
    SHubSettings settings;
};

nlohmann::json SettingsToJson(const SHubSettings& settings);
nlohmann::json BackupToJson(const SBackup& backup);
// Reads a backup's text; the message names the file, and the line and column
// of a syntax error or the key of a bad value.
std::optional<SBackup> ReadBackupText(const std::string& strText, const std::string& strFile, std::string& strError);

// The groups a restore can name with --only.
const std::vector<std::string>& RestoreGroupNames();

struct SRestoreOptions {
    std::set<std::string> only;     // empty: every group
    bool bClone = false;            // leave out per-hub keys ...
    std::set<std::string> include;  // ... unless named here as "group.key"
};

enum class EPlanAction { Same, Write, Skip, Refused };

struct SGroupPlan {
    std::string strGroup;  // "lan", "serial 100", "custom msr"
    std::string strKind;   // the group definition's name, or "custom"
    int nSerialId = 0;
    int nCustomType = -1;
    EPlanAction eAction = EPlanAction::Same;
    std::vector<SKeyChange> vecChanges;  // read-only ones are reported, never written
    GroupValues current, target;
    std::vector<std::string> vecAdd, vecDelete;  // custom entries
    std::string strNote;                         // why skipped or refused
};

// The per-hub keys that --clone leaves out ("bluetooth.name", "lan.ip", "wlan.ip").
std::vector<std::string> PerHubKeys();

// Compares the backup with what the hub holds now. A group whose target breaks
// the group's rules is Refused; the caller writes nothing when any is.
std::vector<SGroupPlan> PlanRestore(const SHubSettings& backup, const SHubSettings& hub, const SRestoreOptions& options);

}  // namespace vexal::tools
