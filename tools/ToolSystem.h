// What the tool needs from the operating system beyond the platform layer:
// worker processes and the terminal. One backend file per system
// (posix/ToolSystem_posix.cpp, win32/ToolSystem_win32.cpp).
#pragma once
#include "platform/Clock.h"
#include "platform/TextFile.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vexal::tools {

// The program's arguments as UTF-8 texts. Windows hands main() its arguments
// in the ANSI code page; the wide command line holds them whole.
class CUtf8Arguments {
public:
    CUtf8Arguments(int argc, char** argv);
    CUtf8Arguments(const CUtf8Arguments&) = delete;
    CUtf8Arguments& operator=(const CUtf8Arguments&) = delete;
    int Count() const { return static_cast<int>(m_args.size()); }
    // argv-style: Count() pointers and a null one, valid while this lives.
    char** Values() { return m_pointers.data(); }

private:
    std::vector<std::string> m_args;
    std::vector<char*> m_pointers;
};

// True when standard error is a terminal (progress is shown only then).
bool StderrIsTerminal();

// The path of this program's file, for starting workers.
std::string SelfExecutable();

struct SProcessResult {
    int nExitStatus = -1;  // -1 when the program could not be run or was killed
    std::string strStdout, strStderr;
};
// Runs a program with these arguments (argv[0] included) and collects both
// outputs; the child gets no standard input. Blocks until it ends.
SProcessResult RunProcess(const std::vector<std::string>& vecArgs);

// Backups and hosts files are read and written through the platform layer
// (the utility reads and writes the same files).
using platform::kMaxTextFileSize;
using platform::ReadTextFile;
using platform::UtcTimestamp;
using platform::WriteTextFile;

}  // namespace vexal::tools
