// The Windows program's command line: the same options and messages as the
// Linux program's, without a toolkit.
#pragma once
#include "utility/logic/LumaroLogic.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexal::utility::win32 {

using SProgramOptions = SUtilityOptions;

enum class EParsed { Run, Help, Version, Error };

struct SParsedCommandLine {
    EParsed eOutcome = EParsed::Run;
    SProgramOptions options;
    std::string strText;  // the help text, the version line or the error (UTF-8)
};

// arguments[0] is the program (UTF-8 each).
SParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& strVersion);

}  // namespace vexal::utility::win32
