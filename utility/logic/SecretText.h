// The hub's secrets (WLAN keys, SNMP communities, the Bluetooth PIN) in what
// the utility tells: every message box, list of changes and log line shows
// them as "********"; a changed secret still shows that it changed. The
// pages' own fields show the values, which is what the user asked for.
#pragma once
#include "model/KeyValues.h"
#include "model/Settings.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexal::utility {

using model::kSecretMask;

// Whether the settings model marks the key of a group as a secret.
bool IsSecretKey(std::string_view strGroup, std::string_view strKey);

// The secret values settings hold (empty ones left out), added to secrets.
void AddSecretValues(const model::SSettingsValues& settings, std::vector<std::string>& secrets);
void AddSecretValues(std::string_view strGroup, const model::GroupValues& values, std::vector<std::string>& secrets);

// strText with every appearance of a secret replaced by the mask. A secret
// shorter than four characters is masked only where it stands alone (not
// inside a longer word), so a one-letter community does not blank a message.
std::string MaskSecrets(std::string strText, const std::vector<std::string>& secrets);

}  // namespace vexal::utility
