// The compiled part of the Python package vexal: sessions with hubs, the
// settings groups as value objects, backups and restores, all over the hub
// client and the settings model that the other front ends use.
#include "PyBackup.h"
#include "PyDevices.h"
#include "PyHub.h"
#include "PyLibrary.h"
#include "PyScan.h"
#include "PySecrets.h"
#include "PyValues.h"

PYBIND11_MODULE(_vexal, m) {
    m.doc() = "The compiled part of vexal; import vexal instead.";
    m.attr("__version__") = VEXAL_VERSION;
    vexal::python::RegisterErrors();
    vexal::python::BindGroupValues(m);
    vexal::python::BindBackup(m);
    vexal::python::BindSecrets(m);
    vexal::python::BindDeviceTypes(m);
    vexal::python::BindHub(m);
    vexal::python::BindScan(m);
}
