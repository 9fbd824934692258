// The library's current session: the most recently constructed one, which
// the port library's alarm callback reports to. Guarded so that an alarm
// arriving while or after that session is destroyed reaches nobody.
#pragma once
#include "include/zamocfg.h"

namespace vexal::cfg {

class CZamoCtrl;

void SetCurrentSession(CZamoCtrl* pSession);
// Clears the current session if it is pSession.
void ForgetCurrentSession(CZamoCtrl* pSession);
// The current session's status callback, or null.
ZamoStatusCallback CurrentStatusCallback();

}  // namespace vexal::cfg
