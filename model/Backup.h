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
// Reads a backup's text. Every group present must be complete and every
// value canonical; the message names the file, and the line and column of a
// syntax error or the key of a bad value.
std::optional<SBackup> ReadBackupText(const std::string& strText, const std::string& strFile, std::string& strError);

}  // namespace vexal::model
