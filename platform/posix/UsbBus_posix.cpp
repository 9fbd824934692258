// Which bus the system has: the simulated one when VEXAL_USB_SIM_DIR is set.
#include <cstdlib>

#include "platform/UsbSim.h"
#include "platform/posix/UsbLibusb.h"

namespace vexal::platform {

std::shared_ptr<IUsbBus> SystemUsbBus() {
    const char* pszDir = std::getenv("VEXAL_USB_SIM_DIR");
    if (pszDir != nullptr && *pszDir != '\0') return MakeUsbSimBus(pszDir);
    return LibusbBus();
}

}  // namespace vexal::platform
