// The libusb-1.0 backend of the USB facility.
#pragma once
#include <memory>

#include "platform/Usb.h"

namespace vexal::platform {

// Process-wide (created on first use, never destroyed: other threads may
// still use it at exit).
std::shared_ptr<IUsbBus> LibusbBus();

}  // namespace vexal::platform
