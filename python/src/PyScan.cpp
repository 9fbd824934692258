#include "PyScan.h"

#include "client/HubScan.h"
#include "client/ScanRanges.h"
#include "platform/Socket.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <optional>

namespace vexal::python {

namespace {

// Four /22 at most, as the utility's search takes.
constexpr size_t kMaxScanAddresses = 4096;

struct SPyFoundHub {
    std::string strAddress;
    int nPort = 0;
    bool bHub = false;
    std::string strModel, strFirmware, strError;
};

std::string RangesText(const py::object& ranges) {
    if (py::isinstance<py::str>(ranges)) return ranges.cast<std::string>();
    std::string strText;
    for (const auto& item : ranges) {
        if (!py::isinstance<py::str>(item)) throw py::type_error("ranges: a str or a list of str (\"10.0.0.0/24\")");
        strText += item.cast<std::string>() + ",";
    }
    return strText;
}

std::vector<SPyFoundHub> Scan(const py::object& ranges, int nPort, int nParallel, int nConnectTimeoutMs, int nTimeout) {
    std::string strError;
    const auto addresses = client::ParseRanges(RangesText(ranges), kMaxScanAddresses, strError);
    if (!addresses) throw std::invalid_argument("ranges: " + strError);
    if (nPort < 1 || nPort > 65535) throw std::invalid_argument("port: 1 to 65535");
    if (nParallel < 1 || nParallel > 1024) throw std::invalid_argument("parallel: 1 to 1024");
    if (nConnectTimeoutMs < 10 || nConnectTimeoutMs > 10000)
        throw std::invalid_argument("connect_timeout: 10 to 10000 ms");
    if (nTimeout < 0 || nTimeout > 600)
        throw std::invalid_argument("timeout: 0 to 600 seconds (0: the library's own wait)");
    const auto wPort = static_cast<uint16_t>(nPort);
    std::vector<SPyFoundHub> found;
    std::optional<client::CPortProbe::SLocalFailure> failure;
    {
        py::gil_scoped_release nogil;
        std::vector<uint32_t> open;
        {
            // The probe makes no library call: no lock while it runs.
            client::CPortProbe probe;
            probe.Start(*addresses, {wPort, nParallel, static_cast<uint32_t>(nConnectTimeoutMs)});
            probe.Wait();
            open = probe.TakeOpen();
            failure = probe.LocalFailure();
        }
        if (!failure) {
            std::sort(open.begin(), open.end());
            for (uint32_t dwAddress : open) {
                std::lock_guard lock(LibraryLock());
                const client::SFoundHub hub = client::IdentifyHub(CfgLibrary(), dwAddress, wPort, nTimeout);
                found.push_back({hub.strAddress, nPort, hub.bHub, hub.strModel, hub.strFirmware, hub.strError});
            }
        }
    }
    // "Nothing found" would be a guess where an address could not be tried.
    if (failure) {
        const std::string strText =
            "scan: " + client::FormatIPv4(failure->dwAddress) + ": " + platform::SocketErrorText(failure->nError);
        PyErr_SetObject(PyExc_OSError, py::make_tuple(failure->nError, strText).ptr());
        throw py::error_already_set();
    }
    return found;
}

}  // namespace

void BindScan(py::module_& m) {
    py::class_<SPyFoundHub>(m, "FoundHub", "An address of a scan that accepted a connection on the hub's port.")
        .def_readonly("address", &SPyFoundHub::strAddress)
        .def_readonly("port", &SPyFoundHub::nPort)
        .def_readonly("is_hub", &SPyFoundHub::bHub, "True when it answered as a hub (with its model and firmware).")
        .def_readonly("model", &SPyFoundHub::strModel)
        .def_readonly("firmware", &SPyFoundHub::strFirmware)
        .def_readonly("error", &SPyFoundHub::strError, "Why it did not answer as a hub; empty for a hub.")
        .def("__repr__", [](const SPyFoundHub& h) {
            return "FoundHub(address='" + h.strAddress + "', port=" + std::to_string(h.nPort) +
                   (h.bHub ? ", model='" + h.strModel + "', firmware='" + h.strFirmware + "')" : ", is_hub=False)");
        });
    m.def("scan", &Scan, py::arg("ranges"), py::kw_only(), py::arg("port") = 9100, py::arg("parallel") = 64,
          py::arg("connect_timeout") = 300, py::arg("timeout") = 0,
          "Finds hubs in address ranges, as vexalcfg scan does: a str (\"10.0.0.0/24, 10.0.1.0/24\") or a list "
          "of ranges, each at most a /22, 4096 addresses in all. Every address gets a bare TCP connect on port "
          "(parallel at once, connect_timeout ms each); each that accepts gets a short session for its model "
          "and firmware (timeout: the session's device-ID wait in seconds, 0 the library's own). Returns a "
          "FoundHub per address that accepted, in address order. ValueError for a bad range or option; OSError "
          "when an address could not be tried at all (no route to its network, no socket left), since nothing "
          "found would then mean nothing. Beware: whatever listens on the port gets the hub's identification "
          "requests.");
}

}  // namespace vexal::python
