// The utility's command line, the same for the Qt and the Win32 program:
//   --interface usb|ethernet|bluetooth  --address A.B.C.D  --tcp-port N
//   --serial COMn  --connect  -h/--help  -v/--version
// A value goes as the next argument or after '=' ("--interface=usb").
#pragma once
#include "utility/logic/LumaroLogic.h"

#include <string>
#include <vector>

namespace vexal::utility {

enum class ECommandLine { Run, Help, Version, Error };

struct SCommandLine {
    ECommandLine eOutcome = ECommandLine::Run;
    SUtilityOptions options;
    std::string strText;  // the help text, the version line or the error (UTF-8)
};

// arguments[0] is the program (its file name goes into the help);
// strVersionLine is what --version prints. A bad value gives Error with a
// message that names the option and the value.
SCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& strVersionLine);

}  // namespace vexal::utility
