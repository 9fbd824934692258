#include "PyBackup.h"

#include "model/KeyValues.h"
#include "platform/TextFile.h"

#include <pybind11/stl.h>

#include <algorithm>

namespace vexal::python {

namespace {

// A message naming a file: its name may hold bytes that are not UTF-8.
[[noreturn]] void Raise(PyObject* pType, const std::string& strMessage) {
    PyObject* pText =
        PyUnicode_DecodeUTF8(strMessage.data(), static_cast<Py_ssize_t>(strMessage.size()), "backslashreplace");
    if (pText != nullptr) {
        PyErr_SetObject(pType, pText);
        Py_DECREF(pText);
    }
    throw py::error_already_set();
}

py::object TypedValues(const std::string& strGroup, const model::GroupValues& values) {
    const model::SGroupDef* pGroup = model::FindGroup(strGroup);
    if (pGroup == nullptr || values.empty()) return py::none();
    return JsonToPython(model::GroupToJson(*pGroup, values));
}

}  // namespace

std::string PathText(const py::handle& path) {
    // As Python's own file functions take a path: the bytes of a str in the
    // file system's encoding (UTF-8 on Windows), a bytes path as it is.
    const py::module_ os = py::module_::import("os");
    return os.attr("fsencode")(os.attr("fspath")(path)).cast<std::string>();
}

SPyBackup LoadBackup(const std::string& strPath) {
    std::string strText, strError;
    if (!platform::ReadTextFile(strPath, strText, strError)) Raise(PyExc_OSError, strError);
    auto backup = model::ReadBackupText(strText, strPath, strError);
    if (!backup) Raise(PyExc_ValueError, strError);
    SPyBackup loaded{std::move(*backup), {}};
    for (const auto& [strGroup, strWhy] : loaded.backup.settings.unusable)
        loaded.vecErrors.push_back(strGroup + ": cannot be restored: " + strWhy);
    return loaded;
}

void SaveBackup(const SPyBackup& backup, const std::string& strPath) {
    std::string strError;
    if (!platform::WriteTextFile(strPath, model::BackupToJson(backup.backup).dump(2) + "\n", strError))
        Raise(PyExc_OSError, strError);
}

bool SPyRestoreResult::Changed() const {
    return std::any_of(vecGroups.begin(), vecGroups.end(),
                       [](const SPyRestoreGroup& g) { return g.strOutcome == "written"; });
}

SPyRestoreResult MakeRestoreResult(const std::vector<client::CHubSession::SRestoreStep>& vecSteps) {
    SPyRestoreResult result;
    for (const auto& step : vecSteps) {
        const model::SGroupPlan& plan = step.plan;
        SPyRestoreGroup g;
        g.strGroup = plan.strGroup;
        g.strKind = plan.strKind;
        g.nDevice = plan.nSerialId;
        g.strOutcome = step.strOutcome;
        g.strDetail = step.strError.empty() ? plan.strNote : step.strError;
        g.vecChanges = plan.vecChanges;
        g.vecAdd = plan.vecAdd;
        g.vecDelete = plan.vecDelete;
        g.current = TypedValues(plan.strKind, plan.current);
        g.target = TypedValues(plan.strKind, plan.target);
        result.bOk = result.bOk && step.strOutcome != "failed" && step.strOutcome != "refused";
        result.vecGroups.push_back(std::move(g));
    }
    return result;
}

void BindBackup(py::module_& m) {
    py::class_<model::SKeyChange>(m, "Change",
                                  "One key whose value differs: its name, the value before and after "
                                  "(in the text form), and whether it is read-only (never written).")
        .def_readonly("key", &model::SKeyChange::strKey)
        .def_readonly("before", &model::SKeyChange::strFrom)
        .def_readonly("after", &model::SKeyChange::strTo)
        .def_readonly("read_only", &model::SKeyChange::bReadOnly)
        .def_readonly("secret", &model::SKeyChange::bSecret,
                      "True for a key or password: before and after hold it as asked for; repr() and masked() "
                      "show ********.")
        .def(
            "masked", [](const model::SKeyChange& c) { return model::MaskSecrets({c}).front(); },
            "The change as an output or a log may show it: a secret that is set as ********, and a new value "
            "of one that was set as \"******** (changed)\".")
        .def("__repr__", [](const model::SKeyChange& change) {
            const model::SKeyChange c = model::MaskSecrets({change}).front();
            return "Change(" + c.strKey + ": " + std::string(py::repr(py::str(c.strFrom))) + " -> " +
                   std::string(py::repr(py::str(c.strTo))) + (c.bReadOnly ? ", read-only)" : ")");
        });

    py::class_<SPyBackup>(m, "Backup",
                          "The settings of one hub as a backup file holds them: model, firmware, where and when "
                          "they were taken, and every group (\"settings\", as in the file). Take one with "
                          "hub.take_backup() or hub.backup(path); read one with Backup.load(path).")
        .def_static(
            "load", [](const py::object& path) { return LoadBackup(PathText(path)); }, py::arg("path"),
            "Reads and checks a backup file. OSError when it cannot be read (a directory, FIFO or file over "
            "16 MiB is refused unread); ValueError naming the file and the line or key when its content is bad.")
        .def(
            "save", [](const SPyBackup& b, const py::object& path) { SaveBackup(b, PathText(path)); }, py::arg("path"),
            "Writes the backup file (through a temporary file, so a failed write leaves no half file). The "
            "file is readable by its owner only (mode 0600, or the stricter mode of the file it replaces).")
        .def_property_readonly("model", [](const SPyBackup& b) { return b.backup.strModel; })
        .def_property_readonly("firmware", [](const SPyBackup& b) { return b.backup.strFirmware; })
        .def_property_readonly(
            "source", [](const SPyBackup& b) { return b.backup.strSource; },
            "The hub it was taken from, as its session named it.")
        .def_property_readonly(
            "taken", [](const SPyBackup& b) { return b.backup.strTaken; }, "UTC, ISO 8601.")
        .def_property_readonly(
            "settings", [](const SPyBackup& b) { return JsonToPython(model::SettingsToJson(b.backup.settings)); },
            "Every group as a dict, as in the file: bluetooth, lan, wlan, netproto, usage, serial (by device ID) "
            "and custom (by type).")
        .def_property_readonly(
            "complete", [](const SPyBackup& b) { return b.vecErrors.empty(); },
            "False when the hub did not give some group, or a loaded file holds a group that cannot be restored "
            "(see errors); such a group is left out, and a restore refuses it alone.")
        .def_property_readonly("errors", [](const SPyBackup& b) { return b.vecErrors; })
        .def(
            "as_dict", [](const SPyBackup& b) { return JsonToPython(model::BackupToJson(b.backup)); },
            "The whole document, as the file holds it.")
        .def("__repr__", [](const SPyBackup& b) {
            return "Backup(model=" + std::string(py::repr(py::str(b.backup.strModel))) +
                   ", firmware=" + std::string(py::repr(py::str(b.backup.strFirmware))) +
                   ", source=" + std::string(py::repr(py::str(b.backup.strSource))) +
                   ", taken=" + std::string(py::repr(py::str(b.backup.strTaken))) + ")";
        });

    py::class_<SPyRestoreGroup>(m, "RestoreGroup",
                                "One group of a restore: what it is (\"lan\", \"serial 100\", \"custom msr\"), its "
                                "outcome (same, written, would write, skipped, refused, failed), why, "
                                "and what differs.")
        .def_readonly("group", &SPyRestoreGroup::strGroup)
        .def_readonly("kind", &SPyRestoreGroup::strKind, "The group's name, or \"custom\".")
        .def_readonly("device", &SPyRestoreGroup::nDevice, "The adapter's device ID for a serial group, else 0.")
        .def_readonly("outcome", &SPyRestoreGroup::strOutcome)
        .def_readonly("detail", &SPyRestoreGroup::strDetail, "Why it was skipped, refused or failed.")
        .def_readonly("changes", &SPyRestoreGroup::vecChanges)
        .def_readonly("add", &SPyRestoreGroup::vecAdd, "Custom entries to add (\"vvvv&pppp\").")
        .def_readonly("delete", &SPyRestoreGroup::vecDelete, "Custom entries to delete.")
        .def_readonly("current", &SPyRestoreGroup::current, "The group's values on the hub before (None for custom).")
        .def_readonly("target", &SPyRestoreGroup::target, "The values the restore writes (None for custom).")
        .def("__repr__", [](const SPyRestoreGroup& g) {
            return "RestoreGroup(" + std::string(py::repr(py::str(g.strGroup))) + ", " +
                   std::string(py::repr(py::str(g.strOutcome))) + ")";
        });

    py::class_<SPyRestoreResult>(m, "RestoreResult",
                                 "The plan of a restore and what became of each group. ok is False when a group was "
                                 "refused (that group is not written) or a write failed.")
        .def_readonly("hub", &SPyRestoreResult::strHub)
        .def_readonly("source", &SPyRestoreResult::strSource, "The backup's file, or where it was taken.")
        .def_readonly("dry_run", &SPyRestoreResult::bDryRun)
        .def_readonly("clone", &SPyRestoreResult::bClone)
        .def_readonly("ok", &SPyRestoreResult::bOk)
        .def_readonly("groups", &SPyRestoreResult::vecGroups)
        .def_property_readonly("changed", &SPyRestoreResult::Changed, "True when some group was written.")
        .def("__repr__", [](const SPyRestoreResult& r) {
            return "RestoreResult(hub=" + std::string(py::repr(py::str(r.strHub))) +
                   ", groups=" + std::to_string(r.vecGroups.size()) + ", ok=" + (r.bOk ? "True" : "False") +
                   ", dry_run=" + (r.bDryRun ? "True" : "False") + ")";
        });
}

}  // namespace vexal::python
