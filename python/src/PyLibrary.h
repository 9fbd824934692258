// What every part of the Python module shares: the configuration library,
// bound once per process, the lock that every call into it holds, the
// failures the module raises and the conversion of JSON values to Python.
#pragma once
#include "client/CfgLibrary.h"

#include <pybind11/pybind11.h>
#include <nlohmann/json.hpp>

#include <mutex>
#include <optional>
#include <shared_mutex>
#include <stdexcept>
#include <string>

namespace vexal::python {

namespace py = pybind11;

// A failure of the hub or the library: becomes vexal.HubError.
struct SHubFailure {
    std::string strMessage;
    int32_t nCode = 0;  // the library's code, or the hub's custom-device status
    std::string strMeaning;
};

// A session used wrongly (closed, or busy on another thread): vexal.SessionError.
struct SSessionMisuse {
    std::string strMessage;
};

// A device behind the hub could not be reached: vexal.DeviceError.
struct SDeviceFailure {
    std::string strMessage;
    int32_t nCode = 0;  // the write alarm's code, or the library's
    std::string strMeaning;
    int nDevice = 0;
    size_t nSent = 0;     // bytes the port library reported written
    uint32_t nAlarm = 0;  // 1200-1204, or 0
};

// The configuration library cannot be loaded: vexal.LibraryError.
struct SLibraryMissing {
    std::string strMessage;
};

// The library's sessions and ports live in registries without a lock of
// their own: one call at a time in the whole process, whichever session.
// It is the hub client's gate (client/CfgGate.h), taken exclusively here,
// so a Hub's calls and its device watch (which takes it shared) take turns.
std::shared_mutex& LibraryLock();
// The configuration library; loaded on first use (call with the lock held).
const client::CCfgLibrary& CfgLibrary();

// The meaning of a code for HubError: the library's words, or the hub's for
// a custom-device status.
std::string CodeMeaning(int32_t nCode);

// Registers the translators from the C++ failures above to the Python
// classes of vexal._errors.
void RegisterErrors();
// Raises vexal.RestoreError with a result object attached.
[[noreturn]] void RaiseRestoreError(const std::string& strMessage, py::object result);

py::object JsonToPython(const nlohmann::json& value);

}  // namespace vexal::python
