// What the libusb backend makes of a device's records: the interface it
// claims and the location text of its path. Pure functions of libusb's
// descriptor structures and port numbers (no call into libusb), so a fuzz
// target can drive them without a bus.
#pragma once
#include <libusb.h>

#include <cstdint>
#include <string>

namespace vexal::platform {

struct SBulkInterface {
    int nInterface = -1;  // -1: none has a bulk IN and a bulk OUT endpoint
    uint8_t byIn = 0;
    uint8_t byOut = 0;
};

// The first interface (alternate setting 0) with a bulk IN and a bulk OUT
// endpoint, preferring the printer class and vendor-specific ones.
SBulkInterface ChooseBulkInterface(const libusb_config_descriptor& config);

// "<bus>-<port>.<port>..." from the port numbers on the way to the device;
// "<bus>-0" for a root hub (no ports, or an error count).
std::string UsbLocationText(uint8_t byBus, const uint8_t* pPorts, int nPorts);

}  // namespace vexal::platform
