// The "Ports" device setup class: serial and parallel ports with their
// "PortName" values, for the port list and the Bluetooth stack detection.
#pragma once
#include "platform/win32/Win32Util.h"

#include <setupapi.h>

#include <functional>
#include <string>

namespace vexal::platform::win32 {

// Visits every present device of the first setup class named "Ports" with
// its "PortName" value (read into a 260-byte buffer; empty when it has none).
void ForEachPortsDevice(const std::function<void(HDEVINFO, SP_DEVINFO_DATA&, const std::wstring&)>& visit);

}  // namespace vexal::platform::win32
