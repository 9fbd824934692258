#include "PyLibrary.h"

#include "client/CfgGate.h"
#include "model/CustomDevices.h"

#include <memory>

namespace vexal::python {

namespace {

struct SLibrary {
    client::CCfgLibrary api;
};

// Never destroyed: a session closed by a late object at exit still needs it.
SLibrary& Library() {
    static SLibrary* s_pLibrary = new SLibrary();
    return *s_pLibrary;
}

// The exception classes, defined in Python (vexal/_errors.py) so that they
// carry attributes and pickle like any other. Kept for the process's life.
py::object& ErrorClass(const char* pszName) {
    static auto* s_pModule = new py::object(py::module_::import("vexal._errors"));
    return *new py::object(s_pModule->attr(pszName));
}

py::object& HubErrorClass() {
    static py::object& s_class = ErrorClass("HubError");
    return s_class;
}
py::object& SessionErrorClass() {
    static py::object& s_class = ErrorClass("SessionError");
    return s_class;
}
py::object& LibraryErrorClass() {
    static py::object& s_class = ErrorClass("LibraryError");
    return s_class;
}
py::object& RestoreErrorClass() {
    static py::object& s_class = ErrorClass("RestoreError");
    return s_class;
}
py::object& DeviceErrorClass() {
    static py::object& s_class = ErrorClass("DeviceError");
    return s_class;
}

void Raise(py::object& cls, const py::object& instance) { PyErr_SetObject(cls.ptr(), instance.ptr()); }

}  // namespace

std::shared_mutex& LibraryLock() { return client::CfgLibraryGate(); }

const client::CCfgLibrary& CfgLibrary() {
    SLibrary& library = Library();
    if (!library.api.IsBound() && !library.api.Load("ZamoCfg")) throw SLibraryMissing{library.api.LastError()};
    return library.api;
}

std::string CodeMeaning(int32_t nCode) {
    if (nCode > 0 && nCode < ZAMO_E_FAIL && model::IsCustomStatus(nCode)) return model::CustomStatusMeaning(nCode);
    return client::ResultMeaning(nCode);
}

void RegisterErrors() {
    // Looked up now, while importing, rather than inside a translator.
    HubErrorClass();
    SessionErrorClass();
    LibraryErrorClass();
    RestoreErrorClass();
    DeviceErrorClass();
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const SDeviceFailure& e) {
            const py::object alarm = e.nAlarm != 0 ? py::object(py::int_(e.nAlarm)) : py::object(py::none());
            Raise(DeviceErrorClass(),
                  DeviceErrorClass()(e.strMessage, e.nCode, e.strMeaning, e.nDevice, e.nSent, alarm));
        } catch (const SHubFailure& e) {
            Raise(HubErrorClass(), HubErrorClass()(e.strMessage, e.nCode, e.strMeaning));
        } catch (const SSessionMisuse& e) {
            Raise(SessionErrorClass(), SessionErrorClass()(e.strMessage));
        } catch (const SLibraryMissing& e) {
            Raise(LibraryErrorClass(), LibraryErrorClass()(e.strMessage));
        }
    });
}

void RaiseRestoreError(const std::string& strMessage, py::object result) {
    Raise(RestoreErrorClass(), RestoreErrorClass()(strMessage, ZAMO_E_FAIL, CodeMeaning(ZAMO_E_FAIL), result));
    throw py::error_already_set();
}

py::object JsonToPython(const nlohmann::json& value) {
    switch (value.type()) {
    case nlohmann::json::value_t::boolean: return py::bool_(value.get<bool>());
    case nlohmann::json::value_t::number_integer: return py::int_(value.get<long long>());
    case nlohmann::json::value_t::number_unsigned: return py::int_(value.get<unsigned long long>());
    case nlohmann::json::value_t::number_float: return py::float_(value.get<double>());
    case nlohmann::json::value_t::string: return py::str(value.get<std::string>());
    case nlohmann::json::value_t::array: {
        py::list list;
        for (const auto& item : value) list.append(JsonToPython(item));
        return list;
    }
    case nlohmann::json::value_t::object: {
        py::dict dict;
        for (const auto& [strKey, item] : value.items()) dict[py::str(strKey)] = JsonToPython(item);
        return dict;
    }
    default: return py::none();
    }
}

}  // namespace vexal::python
