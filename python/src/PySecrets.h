// Secrets of the settings in the shapes Python holds them (value objects,
// a group's dict, the settings of a backup), masked for output and listed
// for a log filter, by the model's rule of which keys are secret.
#pragma once
#include "PyLibrary.h"

namespace vexal::python {

// vexal.mask_secrets() and vexal.secret_values().
void BindSecrets(py::module_& m);

}  // namespace vexal::python
