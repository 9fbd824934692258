// Facts about the running process.
#pragma once
#include <optional>
#include <string>

namespace vexal::platform {

// Base name of the program file of this process (e.g. "vexalcfg").
std::u16string HostProgramName();

// An environment variable's value, if set.
std::optional<std::string> GetEnv(const char* pszName);

}  // namespace vexal::platform
