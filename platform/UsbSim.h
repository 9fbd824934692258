// The simulated USB bus (tests and demos): in the folder each hub is
// "<location>.json", its descriptor {"vid": "5A4D", "pid": "005D",
// "exclusive": false}, and "<location>.sock", a Unix stream socket that
// carries the bulk endpoints' bytes both ways.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Usb.h"

namespace vexal::platform {

struct SUsbSimDescriptor {
    uint16_t wVendorId = 0;
    uint16_t wProductId = 0;
    bool bExclusive = false;
};

// Reads the three keys of a descriptor; anything else in the text is
// ignored. Empty when "vid" or "pid" is missing or not four hex digits.
std::optional<SUsbSimDescriptor> ParseUsbSimDescriptor(std::string_view strText);

std::shared_ptr<IUsbBus> MakeUsbSimBus(const std::string& strDirectory);

}  // namespace vexal::platform
