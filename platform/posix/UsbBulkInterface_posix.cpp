#include "platform/posix/UsbBulkInterface.h"

namespace vexal::platform {

namespace {
constexpr uint8_t kClassPrinter = 7;
constexpr uint8_t kClassVendor = 0xFF;
}  // namespace

SBulkInterface ChooseBulkInterface(const libusb_config_descriptor& config) {
    SBulkInterface best;
    bool bBestPreferred = false;
    for (uint8_t i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& itf = config.interface[i];
        if (itf.num_altsetting < 1) continue;
        const libusb_interface_descriptor& alt = itf.altsetting[0];
        SBulkInterface found{alt.bInterfaceNumber, 0, 0};
        for (uint8_t e = 0; e < alt.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& ep = alt.endpoint[e];
            if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
            uint8_t& slot = (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) ? found.byIn : found.byOut;
            if (slot == 0) slot = ep.bEndpointAddress;
        }
        if (found.byIn == 0 || found.byOut == 0) continue;
        const bool bPreferred = alt.bInterfaceClass == kClassPrinter || alt.bInterfaceClass == kClassVendor;
        if (best.nInterface < 0 || (bPreferred && !bBestPreferred)) {
            best = found;
            bBestPreferred = bPreferred;
        }
        if (bBestPreferred) break;
    }
    return best;
}

std::string UsbLocationText(uint8_t byBus, const uint8_t* pPorts, int nPorts) {
    std::string strLocation = std::to_string(byBus);
    if (nPorts <= 0 || pPorts == nullptr) return strLocation + "-0";  // a root hub
    for (int i = 0; i < nPorts; ++i) {
        strLocation += i == 0 ? '-' : '.';
        strLocation += std::to_string(pPorts[i]);
    }
    return strLocation;
}

}  // namespace vexal::platform
