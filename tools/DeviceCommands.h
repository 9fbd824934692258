// The devices behind the hub from the command line: status, watch, send and
// recv, over the hub client's CHubDevices.
#pragma once
#include "client/CfgLibrary.h"
#include "client/DeviceEvents.h"
#include "tools/Commands.h"
#include "client/Targets.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace vexal::tools {

bool IsDeviceCommand(const std::string& strCommand);
// The hub-independent checks of a device command: a usage error's text, or
// nullopt when the arguments are good.
std::optional<std::string> CheckDeviceArguments(const SOptions& o);
// Runs status, watch, send or recv against the hub of c; the exit status.
int RunDeviceCommand(const SOptions& o, const client::CCfgLibrary& api, const client::SConnection& c);

// The forms the commands print (pure, for the tests).
nlohmann::json StatusToJson(const client::SHubStatus& status);
std::string StatusToText(const client::SHubStatus& status);
nlohmann::json EventToJson(const client::SDeviceEvent& event);
std::string EventToText(const client::SDeviceEvent& event);

}  // namespace vexal::tools
