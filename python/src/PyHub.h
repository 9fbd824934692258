// A session with one hub for Python: opened by Hub.ethernet(), Hub.serial()
// or Hub.usb(), closed by close() or by leaving its "with" block. Every call
// releases the GIL while the library works and holds the process-wide
// library lock; a second thread calling into a session that is busy is
// refused with vexal.SessionError rather than queued.
#pragma once
#include "PyLibrary.h"

namespace vexal::python {

void BindHub(py::module_& m);

}  // namespace vexal::python
