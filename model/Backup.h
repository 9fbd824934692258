// The backup file: a versioned JSON document with every readable setting of
// one hub, in the text form of the groups.
//
//   {"format": "vexalcfg-backup", "version": 1, "taken": "2026-12-08T08:30:00Z",
//    "hub": {"model": ..., "firmware": ..., "source": ...},
//    "settings": {"bluetooth": {...}, ..., "serial": {"100": {...}}, "custom": {"msr": ["1a2b&00ff"]}}}
#pragma once
#include "model/Settings.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace vexal::model {

inline constexpr const char* kBackupFormat = "vexalcfg-backup";
inline constexpr int kBackupVersion = 1;

struct SBackup {
    int nVersion = kBackupVersion;
    std::string strTaken;  // UTC, ISO 8601
    std::string strModel, strFirmware, strSource;
    SSettingsValues settings;
};

// The "settings" object: groups in their order, then serial and custom.
nlohmann::json SettingsToJson(const SSettingsValues& settings);
nlohmann::json BackupToJson(const SBackup& backup);
// Reads a backup's text. A document that is not a backup is refused whole:
// the message names the file, and the line and column of a syntax error. A
// group that is not complete and canonical (or not known) is left out of
// the settings and named in settings.unusable with the key at fault, so
// that the other groups stay restorable. Text of the file is quoted in
// messages with control and non-ASCII bytes as \xNN.
std::optional<SBackup> ReadBackupText(const std::string& strText, const std::string& strFile, std::string& strError);

}  // namespace vexal::model
