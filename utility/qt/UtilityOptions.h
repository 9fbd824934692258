// The Qt program's command line and the log folder it derives from the
// environment. Pure functions, tested on their own. What the options mean
// to the main window is toolkit-free (logic/LumaroLogic.h).
#pragma once
#include "utility/qt/Ipv4Edit.h"
#include "utility/logic/LumaroLogic.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace vexal::utility {

enum class EParseOutcome { Run, Help, Version, Error };

struct SParseResult {
    EParseOutcome eOutcome = EParseOutcome::Run;
    SUtilityOptions options;
    QString strText;  // the help text, the version line or the error
};

// arguments[0] is the program. A bad value gives Error with a message that
// names the option and the value.
SParseResult ParseUtilityOptions(const QStringList& arguments);

// The folder log folders go under when VEXAL_LOG_DIR is unset:
// $XDG_STATE_HOME/vexal, or <home>/.local/state/vexal (a relative
// XDG_STATE_HOME is ignored, as the base directory rules say).
QString DefaultLogDirectory(const QString& strXdgStateHome, const QString& strHome);

}  // namespace vexal::utility
