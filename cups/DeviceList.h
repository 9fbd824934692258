// The device list CUPS asks for when it runs the backend without arguments:
// the printers (devices 10-19 present) of the hub on USB and of the hubs on
// the serial ports of the device directory. Network hubs are not searched
// for: a queue names one by its address.
#pragma once
#include "client/CfgLibrary.h"
#include "client/PortApiTable.h"

#include <functional>
#include <string>

namespace vexal::cups {

// Calls fnLine with one device line (DeviceListLine) per printer found and
// fnDebug with why a place had none; returns when every place answered or
// gave up (a few seconds for a port without a hub).
void ListPrinters(const client::CCfgLibrary& cfg, const client::CPortApiTable& port,
                  const std::function<void(const std::string&)>& fnLine,
                  const std::function<void(const std::string&)>& fnDebug);

}  // namespace vexal::cups
