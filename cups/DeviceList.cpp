#include "cups/DeviceList.h"

#include "client/HubDevices.h"
#include "client/HubTargets.h"
#include "cups/BackendArgs.h"
#include "include/zamocfg.h"
#include "model/DeviceStatus.h"
#include "model/Identification.h"
#include "platform/Clock.h"
#include "platform/DeviceNames.h"
#include "platform/Usb.h"

namespace vexal::cups {
namespace {

// The device-ID wait of each open: a port without a hub costs about this.
constexpr int kOpenSeconds = 1;

// One line per printer of a hub; bUsb names the place on the bus, else strPort.
void EmitPrinters(const client::SHubStatus& status, bool bUsb, const std::string& strPort,
                  const std::function<void(const std::string&)>& fnLine) {
    std::string strPlace = strPort;
    if (bUsb) {
        const auto parts = platform::ParseUsbInterfacePath(status.strPortName);
        strPlace = "USB " + (parts ? parts->strLocation : std::string("?"));
    }
    const std::string strModel = status.strModel.empty() ? "hub" : status.strModel;
    for (const auto& device : status.vecDevices) {
        if (!model::IsPrinterId(device.nId)) continue;
        const std::string strId = std::to_string(device.nId);
        fnLine(DeviceListLine(bUsb ? UsbDeviceUri(device.nId) : SerialDeviceUri(strPort, device.nId),
                              "Vexal " + strModel + " printer " + strId,
                              "Vexal " + strModel + " on " + strPlace + ", device " + strId + " (" +
                                  model::DeviceTypeName(device.nId) + ")",
                              "MFG:Vexal;MDL:" + strModel + " printer " + strId + ";CLS:PRINTER;", strPlace));
    }
}

}  // namespace

void ListPrinters(const client::CCfgLibrary& cfg, const client::CPortApiTable& port,
                  const std::function<void(const std::string&)>& fnLine,
                  const std::function<void(const std::string&)>& fnDebug) {
    client::SHubStatus status;
    std::string strError;
    // The configuration library reaches the first hub on the bus.
    if (client::ProbeHub(cfg, port, {ZAMO_IF_USB, "", "USB"}, kOpenSeconds, platform::TickMs(), status, strError))
        EmitPrinters(status, true, "", fnLine);
    else
        fnDebug("USB: " + strError);
    for (const auto& link : platform::ListPortLinks("COM")) {
        if (link.strTarget.empty()) continue;  // dangling: nothing to open
        std::string strWhy;
        const auto address = client::ParseSerialTarget(link.strName, strWhy);
        if (!address) continue;
        if (client::ProbeHub(cfg, port, *address, kOpenSeconds, platform::TickMs(), status, strError))
            EmitPrinters(status, false, link.strName, fnLine);
        else
            fnDebug(link.strName + ": " + strError);
    }
}

}  // namespace vexal::cups
