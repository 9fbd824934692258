#include "PyHub.h"

#include "PyBackup.h"
#include "PyDevices.h"
#include "PyValues.h"

#include "client/HubSession.h"
#include "model/CustomDevices.h"
#include "model/Identification.h"
#include "model/RestorePlan.h"
#include "model/SerialLine.h"
#include "model/Settings.h"
#include "client/Targets.h"
#include "platform/Clock.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <set>

namespace vexal::python {

namespace {

using client::CHubSession;
using client::ECustomAction;

struct SPySetResult {
    std::string strGroup;
    int nDevice = 0;
    bool bDryRun = false;
    std::vector<model::SKeyChange> vecChanges;
    py::object before, after;
    bool Changed() const {
        for (const auto& c : vecChanges)
            if (!c.bReadOnly) return true;
        return false;
    }
};

class CPyHub {
public:
    ~CPyHub() {
        // The Python object is going: nobody else can be inside it.
        if (!m_pSession && !m_pDevices) return;
        // Dropped or collected while another thread is in the library: wait
        // for it without the GIL, or every Python thread stops meanwhile.
        std::optional<py::gil_scoped_release> nogil;
        if (PyGILState_Check() != 0) nogil.emplace();
        m_pDevices.reset();  // its watch first, before the session it uses
        if (!m_pSession) return;
        std::lock_guard lock(LibraryLock());
        m_pSession.reset();
    }

    static std::unique_ptr<CPyHub> Open(const std::optional<client::SConnection>& c, const std::string& strError,
                                        int nTimeout) {
        if (!c) throw std::invalid_argument(strError);
        if (nTimeout < 0) throw std::invalid_argument("timeout: a number of seconds, 0 for the library's own wait");
        auto hub = std::make_unique<CPyHub>();
        hub->m_strLabel = c->strLabel;
        hub->m_address = {c->nInterface, c->strPortText, c->strLabel};
        py::gil_scoped_release nogil;
        std::lock_guard lock(LibraryLock());
        const client::CCfgLibrary& api = CfgLibrary();
        auto session = std::make_unique<CHubSession>(api);
        if (!session->Open(c->nInterface, c->strPortText, c->strLabel, nTimeout)) throw Failure(*session, c->strLabel);
        hub->m_pSession = std::move(session);
        return hub;
    }

    static SHubFailure Failure(const CHubSession& session, const std::string& strLabel) {
        const int32_t nCode = session.ErrorCode() != 0 ? session.ErrorCode() : ZAMO_E_FAIL;
        const std::string& strError = session.Error();
        // An open names its hub already.
        const std::string strMessage = strError.rfind("open ", 0) == 0 ? strError : strLabel + ": " + strError;
        return {strMessage, nCode, CodeMeaning(nCode)};
    }

    void Close() {
        Claim claim(*this, false);
        if (!m_pSession) return;
        py::gil_scoped_release nogil;
        if (m_pDevices) m_pDevices->Close();  // its watch takes the lock itself
        std::lock_guard lock(LibraryLock());
        m_pSession.reset();
    }

    bool Closed() const { return !m_pSession; }
    const std::string& Label() const { return m_strLabel; }

    // Runs fn on the session without the GIL and with the library lock.
    template <class F>
    void Run(F&& fn) {
        Claim claim(*this, true);
        py::gil_scoped_release nogil;
        std::lock_guard lock(LibraryLock());
        m_pSession->ClearError();
        fn(*m_pSession);
    }
    SHubFailure Failure() const { return Failure(*m_pSession, m_strLabel); }

    model::SHubInfo Info() {
        model::SHubInfo info;
        Run([&](CHubSession& s) {
            if (!s.ReadInfo(info)) throw Failure();
        });
        return info;
    }

    std::unique_ptr<CPyGroupValue> Get(const std::string& strGroup, const py::object& device) {
        const model::SGroupDef& group = Group(strGroup);
        const int nDevice = Device(group, device);
        model::CGroupValue value = *model::MakeGroupValue(group.strName);
        Run([&](CHubSession& s) {
            if (!s.ReadGroup(group.strName, nDevice, value)) throw Failure();
        });
        return NewValueObject(group, model::ToKeyValues(value));
    }

    SPySetResult Set(const std::string& strGroup, const py::object& values, const py::object& device, bool bDryRun) {
        const model::SGroupDef& group = Group(strGroup);
        const int nDevice = Device(group, device);
        const model::GroupValues wanted = WantedValues(group, values);
        CHubSession::SSetResult result;
        Run([&](CHubSession& s) {
            switch (s.Set(group, nDevice, wanted, result, bDryRun)) {
            case CHubSession::ESet::Done: return;
            case CHubSession::ESet::Refused: throw std::invalid_argument(s.Error() + " (nothing written)");
            case CHubSession::ESet::Failed: throw Failure();
            }
        });
        SPySetResult r{group.strName, nDevice, bDryRun, std::move(result.vecChanges), {}, {}};
        r.before = py::cast(NewValueObject(group, std::move(result.current)));
        r.after = py::cast(NewValueObject(group, std::move(result.readBack)));
        return r;
    }

    std::vector<int> SerialAdapters() {
        std::vector<int> ids;
        Run([&](CHubSession& s) {
            if (!s.SerialAdapters(ids)) throw Failure();
        });
        return ids;
    }

    py::dict CustomDevices(const py::object& type) {
        std::optional<int> nOnly;
        if (!type.is_none()) nOnly = CustomType(type);
        std::map<int, std::vector<std::string>> lists;
        Run([&](CHubSession& s) {
            for (int nType = 0; nType < model::kCustomTypeCount; ++nType) {
                if (nOnly && nType != *nOnly) continue;
                if (!s.ReadCustomList(nType, lists[nType])) throw Failure();
            }
        });
        py::dict dict;
        for (const auto& [nType, entries] : lists) dict[py::str(model::CustomTypeName(nType))] = entries;
        return dict;
    }

    void ChangeCustom(ECustomAction eAction, const py::object& type, const std::string& strVid,
                      const std::string& strPid) {
        const int nType = CustomType(type);
        std::string strV, strP;
        if (eAction != ECustomAction::Reset) {
            const auto vid = model::ParseUsbId(strVid), pid = model::ParseUsbId(strPid);
            if (!vid) throw std::invalid_argument("vid: '" + strVid + "' is not four hexadecimal digits");
            if (!pid) throw std::invalid_argument("pid: '" + strPid + "' is not four hexadecimal digits");
            strV = *vid;
            strP = *pid;
        }
        Run([&](CHubSession& s) {
            if (s.ChangeCustom(eAction, nType, strV, strP) != 0) throw Failure();
        });
    }

    py::object Settings(const py::object& only) {
        const std::set<std::string> groups = RestoreGroups(only, "only");
        model::SHubSettings settings;
        std::vector<std::string> vecErrors;
        Run([&](CHubSession& s) {
            if (!s.ReadSettings(groups, settings, vecErrors)) throw Incomplete(s, vecErrors, "");
        });
        return JsonToPython(model::SettingsToJson(model::ToValues(settings)));
    }

    SPyBackup TakeBackup() {
        SPyBackup b;
        b.backup.strTaken = platform::UtcTimestamp();
        Run([&](CHubSession& s) {
            if (!s.ReadBackup(m_strLabel, b.backup, b.vecErrors)) throw Failure();
        });
        return b;
    }

    SPyBackup Backup(const py::object& path) {
        const std::string strPath = PathText(path);
        SPyBackup b = TakeBackup();
        if (!b.vecErrors.empty()) {
            std::string strText = m_strLabel + ": backup: nothing written: ";
            for (size_t i = 0; i < b.vecErrors.size(); ++i) strText += (i == 0 ? "" : "; ") + b.vecErrors[i];
            throw SHubFailure{strText, ZAMO_E_FAIL, CodeMeaning(ZAMO_E_FAIL)};
        }
        SaveBackup(b, strPath);
        return b;
    }

    SPyRestoreResult Restore(const py::object& source, bool bClone, const py::object& only, const py::object& include,
                             bool bDryRun) {
        SPyBackup loaded;
        const SPyBackup* pBackup = nullptr;
        std::string strSource;
        if (py::isinstance<SPyBackup>(source)) {
            pBackup = &source.cast<const SPyBackup&>();
            strSource = pBackup->backup.strSource;
        } else {
            strSource = PathText(source);
            loaded = LoadBackup(strSource);
            pBackup = &loaded;
        }
        model::SRestoreOptions options;
        options.bClone = bClone;
        options.only = RestoreGroups(only, "only");
        if (!include.is_none()) {
            const auto perHub = model::PerHubKeys();
            for (const auto& item : include) {
                const std::string strKey = py::str(item);
                if (std::find(perHub.begin(), perHub.end(), strKey) == perHub.end())
                    throw std::invalid_argument("include: '" + strKey +
                                                "' is not one of bluetooth.name, lan.ip, wlan.ip");
                options.include.insert(strKey);
            }
            if (!options.include.empty() && !bClone) throw std::invalid_argument("include only goes with clone=True");
        }
        std::vector<CHubSession::SRestoreStep> steps;
        bool bOk = true;
        std::string strError;
        Run([&](CHubSession& s) {
            model::SHubSettings hub;
            std::vector<model::SGroupPlan> plans;
            std::vector<std::string> vecErrors;
            if (!s.PlanRestore(pBackup->backup.settings, options, hub, plans, vecErrors))
                throw Incomplete(s, vecErrors, "restore: ");
            bOk = s.ApplyRestore(plans, hub, bDryRun, steps);
            strError = s.Error();
        });
        SPyRestoreResult result = MakeRestoreResult(steps);
        result.strHub = m_strLabel;
        result.strSource = strSource;
        result.bDryRun = bDryRun;
        result.bClone = bClone;
        if (!bOk) RaiseRestoreError(m_strLabel + ": restore: " + strError, py::cast(std::move(result)));
        return result;
    }

    // The devices behind the hub (status, watch, send, receive): a watch on
    // this session, made on first use.
    template <class F>
    auto WithDevices(F&& fn) {
        Claim claim(*this, true);
        if (!m_pDevices || !m_pDevices->IsOpen()) {
            auto pDevices = std::make_unique<CPyHubDevices>();
            {
                py::gil_scoped_release nogil;
                pDevices->Attach(m_pSession->Handle(), m_address);
            }
            m_pDevices = std::move(pDevices);
        }
        return fn(*m_pDevices);
    }

private:
    // Marks the session busy for one call; refuses a second thread, and a
    // closed session when bNeedOpen.
    class Claim {
    public:
        Claim(CPyHub& hub, bool bNeedOpen) : m_hub(hub) {
            if (m_hub.m_bBusy.exchange(true))
                throw SSessionMisuse{m_hub.m_strLabel +
                                     ": the session is in use by another thread (use one session from one thread "
                                     "at a time)"};
            if (bNeedOpen && !m_hub.m_pSession) {
                m_hub.m_bBusy = false;
                throw SSessionMisuse{m_hub.m_strLabel + ": the session is closed"};
            }
        }
        ~Claim() { m_hub.m_bBusy = false; }
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;

    private:
        CPyHub& m_hub;
    };

    static const model::SGroupDef& Group(const std::string& strGroup) {
        const model::SGroupDef* pGroup = model::FindGroup(strGroup);
        if (pGroup == nullptr)
            throw std::invalid_argument("unknown group '" + strGroup +
                                        "' (bluetooth, lan, wlan, netproto, usage, serial)");
        return *pGroup;
    }

    static int Device(const model::SGroupDef& group, const py::object& device) {
        if (group.strName != "serial") {
            if (!device.is_none()) throw std::invalid_argument("device: only the serial group names a device");
            return 0;
        }
        if (device.is_none() || !py::isinstance<py::int_>(device) || !model::IsSerialAdapterId(device.cast<int>()))
            throw std::invalid_argument("device: the serial group needs an adapter's device ID from 100 to 129");
        return device.cast<int>();
    }

    static int CustomType(const py::object& type) {
        const std::string strType = py::str(type);
        const auto nType = model::ParseCustomType(strType);
        if (!nType) throw std::invalid_argument("unknown custom device type '" + strType + "'");
        return *nType;
    }

    static std::set<std::string> RestoreGroups(const py::object& names, const char* pszWhat) {
        std::set<std::string> groups;
        if (names.is_none()) return groups;
        if (py::isinstance<py::str>(names)) throw py::type_error(std::string(pszWhat) + ": give a list of group names");
        const auto& known = model::RestoreGroupNames();
        for (const auto& item : names) {
            const std::string strName = py::str(item);
            if (std::find(known.begin(), known.end(), strName) == known.end())
                throw std::invalid_argument(std::string(pszWhat) + ": unknown group '" + strName + "'");
            groups.insert(strName);
        }
        return groups;
    }

    SHubFailure Incomplete(const CHubSession& s, const std::vector<std::string>& vecErrors,
                           const std::string& strWhat) const {
        std::string strText = m_strLabel + ": " + strWhat;
        for (size_t i = 0; i < vecErrors.size(); ++i) strText += (i == 0 ? "" : "; ") + vecErrors[i];
        const int32_t nCode = s.ErrorCode() != 0 ? s.ErrorCode() : ZAMO_E_FAIL;
        return {strText, nCode, CodeMeaning(nCode)};
    }

    std::atomic<bool> m_bBusy{false};
    std::unique_ptr<CHubSession> m_pSession;
    std::string m_strLabel;
    client::SHubAddress m_address;
    std::unique_ptr<CPyHubDevices> m_pDevices;
};

py::cpp_function GroupGetter(const char* pszGroup) {
    return py::cpp_function([pszGroup](CPyHub& hub) { return hub.Get(pszGroup, py::none()); });
}

}  // namespace

void BindHub(py::module_& m) {
    py::class_<model::SUsbDevice>(m, "Device", "A device present on the hub's link and its USB identifiers.")
        .def_readonly("id", &model::SUsbDevice::nDeviceId)
        .def_property_readonly(
            "type", [](const model::SUsbDevice& d) { return model::DeviceTypeName(d.nDeviceId); },
            "The kind of device the hub keeps under this ID (\"Local Printer\", ...).")
        .def_readonly("vid", &model::SUsbDevice::strVid)
        .def_readonly("pid", &model::SUsbDevice::strPid)
        .def("__repr__", [](const model::SUsbDevice& d) {
            return "Device(id=" + std::to_string(d.nDeviceId) + ", type='" + model::DeviceTypeName(d.nDeviceId) +
                   "', vid='" + d.strVid + "', pid='" + d.strPid + "')";
        });
    py::class_<model::SHubInfo>(m, "HubInfo", "What the hub tells about itself and what is plugged into it.")
        .def_readonly("model", &model::SHubInfo::strModel)
        .def_readonly("firmware", &model::SHubInfo::strFirmware)
        .def_readonly("device_ids", &model::SHubInfo::vecDeviceIds, "The device IDs present on the hub's link.")
        .def_readonly("usb_devices", &model::SHubInfo::vecUsbList, "\"vvvv&pppp\" of each USB device behind the hub.")
        .def_readonly("devices", &model::SHubInfo::vecDevices)
        .def("__repr__", [](const model::SHubInfo& i) {
            return "HubInfo(model='" + i.strModel + "', firmware='" + i.strFirmware +
                   "', devices=" + std::to_string(i.vecDevices.size()) + ")";
        });
    py::class_<SPySetResult>(m, "SetResult",
                             "What a change of one group did: the keys that differed, the values before and after "
                             "(read back from the hub; the would-be values of a dry run).")
        .def_readonly("group", &SPySetResult::strGroup)
        .def_readonly("device", &SPySetResult::nDevice, "The adapter's device ID for the serial group, else 0.")
        .def_readonly("dry_run", &SPySetResult::bDryRun)
        .def_readonly("changes", &SPySetResult::vecChanges)
        .def_readonly("before", &SPySetResult::before)
        .def_readonly("after", &SPySetResult::after)
        .def_property_readonly("changed", &SPySetResult::Changed,
                               "True when a writable key differed (and, unless a dry run, was written).")
        .def("__repr__", [](const SPySetResult& r) {
            return "SetResult(group='" + r.strGroup + "', changes=" + std::to_string(r.vecChanges.size()) +
                   (r.bDryRun ? ", dry_run=True)" : ")");
        });

    py::class_<CPyHub> hub(m, "Hub");
    hub.attr("__doc__") =
        "A session with one hub. Open it with Hub.ethernet(), Hub.serial() or Hub.usb(); close it with close() or "
        "by leaving a with block, which closes it also when the block raises.\n\n"
        "Each call blocks until the hub has answered (or its time-out has passed) with the GIL released. One "
        "session is driven by one thread at a time: a call from a second thread while one runs raises "
        "vexal.SessionError. Calls into the configuration library are one at a time in the whole process, so "
        "sessions on several threads take turns; run several processes to talk to many hubs at once.\n\n"
        "Failures raise vexal.HubError with the library's code and meaning; a value the model refuses raises "
        "ValueError before anything is sent.\n\n"
        "Secrets (Bluetooth PIN, WLAN keys and EAP password, SNMP communities) are returned as the hub holds "
        "them when read (hub.wlan.psk, as_dict(), settings(), a Backup); repr() and every exception message show "
        "a secret that is set as ********. Use vexal.mask_secrets() before printing or logging values.";
    hub.def_static(
           "ethernet",
           [](const std::string& strAddress, const py::object& port, int nTimeout) {
               std::string strText = strAddress;
               if (!port.is_none()) strText += ":" + std::string(py::str(port));
               std::string strError;
               auto c = client::ParseEthernet(strText, strError);
               if (strError.rfind("--", 0) == 0) strError.erase(0, 2);
               return CPyHub::Open(c, strError, nTimeout);
           },
           py::arg("address"), py::arg("port") = py::none(), py::kw_only(), py::arg("timeout") = 0,
           "Opens a session with the hub at an IPv4 address (\"192.168.0.10\", or \"192.168.0.10:9100\"); the "
           "TCP port is 9100 unless given. timeout is the session's device-ID wait in seconds (0: the library's).")
        .def_static(
            "serial",
            [](const std::string& strPort, int nTimeout) {
                std::string strError;
                auto c = client::ParseSerial(strPort, strError);
                if (strError.rfind("--", 0) == 0) strError.erase(0, 2);
                return CPyHub::Open(c, strError, nTimeout);
            },
            py::arg("port"), py::kw_only(), py::arg("timeout") = 0,
            "Opens a session over a serial or Bluetooth link: \"COM3\" (a link in VEXAL_DEVICE_DIR) or a device "
            "path (\"/dev/ttyUSB0\", \"/dev/rfcomm0\"), with \":BAUD\" or \":BAUD:DATA:PARITY:STOP:FLOW\" as the "
            "command-line tool takes them.")
        .def_static(
            "usb",
            [](int nTimeout) {
                client::SConnection c;
                c.nInterface = 16;
                c.strLabel = "USB";
                return CPyHub::Open(c, {}, nTimeout);
            },
            py::kw_only(), py::arg("timeout") = 0, "Opens a session with the first hub on USB.")
        .def("close", &CPyHub::Close, "Closes the session; closing a closed one does nothing.")
        .def_property_readonly("closed", &CPyHub::Closed)
        .def_property_readonly("label", &CPyHub::Label, "How messages name the hub (\"192.168.0.10:9100\").")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__",
             [](CPyHub& h, const py::args&) {
                 h.Close();
                 return false;
             })
        .def("__repr__", [](const CPyHub& h) { return "<vexal.Hub " + h.Label() + (h.Closed() ? " closed>" : ">"); })
        .def("info", &CPyHub::Info, "Model, firmware, device IDs, USB devices and each device's identifiers.")
        .def(
            "status",
            [](CPyHub& h, double dSettle) {
                return h.WithDevices([&](CPyHubDevices& d) { return d.Status(dSettle); });
            },
            py::kw_only(), py::arg("settle") = 2.0,
            "The link, model, firmware, the devices present and each printer's status (a HubStatus). The first call "
            "starts a watch on this session and waits up to settle seconds for every printer's first record.")
        .def(
            "watch",
            [](CPyHub& h, const py::object& timeout) {
                return h.WithDevices([&](CPyHubDevices& d) { return d.Watch(timeout); });
            },
            py::arg("timeout") = py::none(),
            "An iterator of DeviceEvent: first the present picture (the link, each device as added, each printer's "
            "latest record), then each event as it happens. It ends when timeout seconds have passed (never when "
            "None) or the session closes; Ctrl-C raises KeyboardInterrupt within 0.1 s.")
        .def(
            "send",
            [](CPyHub& h, int nDevice, const py::bytes& data, double dTimeout) {
                return h.WithDevices([&](CPyHubDevices& d) { return d.Send(nDevice, data, dTimeout); });
            },
            py::arg("device"), py::arg("data"), py::kw_only(), py::arg("timeout") = 300.0,
            "Writes the bytes to a device behind the hub (1-254) in frames, in order, and returns how many the port "
            "library reported written (all of them). DeviceError when the device is not present (nothing sent), or "
            "when a write alarm of the hub for it (DeviceError.alarm, 1200-1204), a lost link or the time-out ended "
            "the send (DeviceError.sent tells how many bytes went).")
        .def(
            "receive",
            [](CPyHub& h, int nDevice, double dTimeout) {
                return h.WithDevices([&](CPyHubDevices& d) { return d.Receive(nDevice, dTimeout); });
            },
            py::arg("device"), py::arg("timeout"),
            "What a device behind the hub sends (a scanner's read): waits up to timeout seconds for its first bytes "
            "and returns them, b\"\" when none came. DeviceError for a device that is not present and for the "
            "session's own device (10).")
        .def("get", &CPyHub::Get, py::arg("group"), py::arg("device") = py::none(),
             "Reads one group (\"bluetooth\", \"lan\", \"wlan\", \"netproto\", \"usage\", or \"serial\" with the "
             "adapter's device ID).")
        .def("set", &CPyHub::Set, py::arg("group"), py::arg("values"), py::kw_only(), py::arg("device") = py::none(),
             py::arg("dry_run") = false,
             "Changes one group to the values given (a mapping of keys, or a value object of the group): reads it, "
             "checks the values and the group's rules (ValueError, nothing written, when they fail), writes only "
             "what differs and reads it back. dry_run stops after the check and writes nothing.")
        .def(
            "serial_line", [](CPyHub& h, int nDevice) { return h.Get("serial", py::int_(nDevice)); }, py::arg("device"),
            "The line settings of the USB-to-serial adapter with this device ID (100-129).")
        .def(
            "set_serial_line",
            [](CPyHub& h, int nDevice, const py::kwargs& values) {
                return h.Set("serial", values, py::int_(nDevice), false);
            },
            py::arg("device"), "Changes the line settings of an adapter: set_serial_line(100, baud=\"115200\").")
        .def("serial_adapters", &CPyHub::SerialAdapters, "The device IDs of the USB-to-serial adapters present.")
        .def("custom_devices", &CPyHub::CustomDevices, py::arg("type") = py::none(),
             "The custom USB device table: for each type (or the one given) its \"vvvv&pppp\" entries.")
        .def(
            "add_custom_device",
            [](CPyHub& h, const py::object& type, const std::string& strVid, const std::string& strPid) {
                h.ChangeCustom(ECustomAction::Add, type, strVid, strPid);
            },
            py::arg("type"), py::arg("vid"), py::arg("pid"),
            "Adds a vendor and product ID (four hexadecimal digits each) to a type's list. The type is a name "
            "(\"msr\", \"barcode-scanner\"), a title or a number 0-9. HubError with the hub's status (4, "
            "Fail-OverlapID, when already listed).")
        .def(
            "delete_custom_device",
            [](CPyHub& h, const py::object& type, const std::string& strVid, const std::string& strPid) {
                h.ChangeCustom(ECustomAction::Delete, type, strVid, strPid);
            },
            py::arg("type"), py::arg("vid"), py::arg("pid"), "Deletes an entry from a type's list.")
        .def(
            "reset_custom_devices",
            [](CPyHub& h, const py::object& type) { h.ChangeCustom(ECustomAction::Reset, type, {}, {}); },
            py::arg("type"), "Empties a type's list.")
        .def("settings", &CPyHub::Settings, py::arg("only") = py::none(),
             "Every group (or those named: bluetooth, lan, wlan, netproto, usage, serial, custom) as a dict in the "
             "backup's form. HubError when a group cannot be read.")
        .def("take_backup", &CPyHub::TakeBackup,
             "Reads model, firmware and every group into a Backup; a group the hub does not give is left out "
             "and named in its errors.")
        .def("backup", &CPyHub::Backup, py::arg("path"),
             "Writes a backup file of every group and returns it; path is a str, bytes or os.PathLike. The file "
             "holds the secrets and is created readable by its owner only (mode 0600, or the stricter mode of the "
             "file it replaces). HubError, and nothing written, when a group cannot be read.")
        .def("restore", &CPyHub::Restore, py::arg("source"), py::kw_only(), py::arg("clone") = false,
             py::arg("only") = py::none(), py::arg("include") = py::none(), py::arg("dry_run") = false,
             "Restores a backup (a file's path or a Backup): reads the hub, plans every group, writes only the "
             "groups that differ and reads each back. clone leaves out bluetooth.name, lan.ip and wlan.ip unless "
             "include names them; only limits the groups; dry_run writes nothing. Returns the RestoreResult; raises "
             "RestoreError (with .result) when a group is refused (it breaks the hub's rules or the file holds it "
             "in a form that cannot be used: that group alone is not written) or a write fails; the other groups "
             "go ahead either way.");
    m.def(
        "custom_types",
        [] {
            std::vector<std::string> names;
            for (int nType = 0; nType < model::kCustomTypeCount; ++nType) names.push_back(model::CustomTypeName(nType));
            return names;
        },
        "The names of the custom device types, in the hub's order (type 0 first).");
    m.def(
        "usb_id",
        [](const std::string& strText) {
            const auto id = model::ParseUsbId(strText);
            if (!id) throw std::invalid_argument("'" + strText + "' is not four hexadecimal digits");
            return *id;
        },
        py::arg("text"),
        "A USB vendor or product ID as the hub's tables hold it: four hexadecimal digits, lower-case.");
    // One property and one set_<group>() per group of the hub itself.
    for (const char* pszGroup : {"bluetooth", "lan", "wlan", "netproto", "usage"}) {
        const model::SGroupDef& group = *model::FindGroup(pszGroup);
        hub.def_property(
            pszGroup, GroupGetter(pszGroup), py::cpp_function([pszGroup](CPyHub& h, const py::object& value) {
                h.Set(pszGroup, value, py::none(), false);
            }),
            (group.strTitle + ": reading it reads the hub; assigning a value object or a mapping of keys writes "
                              "what differs and reads it back.")
                .c_str());
        hub.def(("set_" + group.strName).c_str(),
                [pszGroup](CPyHub& h, const py::kwargs& values) { return h.Set(pszGroup, values, py::none(), false); },
                ("Changes keys of the " + group.strTitle + " (set_" + group.strName +
                 "(key=value, ...)) and returns the SetResult.")
                    .c_str());
    }
}

}  // namespace vexal::python
