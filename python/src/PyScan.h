// The search for hubs on a network for Python: vexal.scan() over the hub
// client's probe and identification, as vexalcfg scan and the utility's
// search run them.
#pragma once
#include "PyLibrary.h"

namespace vexal::python {

void BindScan(py::module_& m);

}  // namespace vexal::python
