// The application: command line, names and icon, the log folder, and the
// one main dialog whose end ends the program.
#pragma once

namespace vexal::utility {

class CLumaroApp {
public:
    // Runs the program; the exit status (2 for a bad command line).
    static int Main(int argc, char** argv);
    // Points VEXAL_LOG_DIR at the XDG state folder when it is unset, so log
    // folders never land in whatever directory a menu started the program in.
    static void PrepareLogDirectory();
};

}  // namespace vexal::utility
