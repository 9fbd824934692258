// The devices behind a hub for Python: Hub.status(), Hub.watch(),
// Hub.send() and Hub.receive(), over the hub client's CHubDevices attached
// to the Hub's own session. The Hub owns one CPyHubDevices, made on the
// first of these calls and stopped before its session closes.
#pragma once
#include "PyLibrary.h"

#include "client/HubDevices.h"
#include "client/PortApiTable.h"

#include <memory>

namespace vexal::python {

class CPyHubDevices {
public:
    CPyHubDevices() = default;
    ~CPyHubDevices();  // Close()
    CPyHubDevices(const CPyHubDevices&) = delete;
    CPyHubDevices& operator=(const CPyHubDevices&) = delete;

    // Attaches to an open session. Call without the GIL and without the
    // library lock (the watch's own calls take it shared).
    void Attach(int32_t nSession, const client::SHubAddress& address);
    // Stops the watch; call without the GIL and without the library lock,
    // before the session closes.
    void Close();
    bool IsOpen() const { return m_pDevices && m_pDevices->IsOpen(); }

    // These take the GIL as they are called from Python.
    py::object Status(double dSettleSeconds);
    py::object Watch(const py::object& timeout);
    int64_t Send(int nDevice, const py::bytes& data, double dTimeoutSeconds);
    py::bytes Receive(int nDevice, double dTimeoutSeconds);

private:
    std::shared_ptr<client::CHubDevices> m_pDevices;
    client::SHubAddress m_address;
};

// The typed results: HubStatus, DeviceState, PrinterStatus, DeviceEvent and
// the watch's iterator.
void BindDeviceTypes(py::module_& m);

}  // namespace vexal::python
