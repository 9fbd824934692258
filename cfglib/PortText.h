// Reading a port text for selectInterface: the interface code and the text the
// client gave become the port name and the transport fields of the device
// option record. Pure, so a fuzz target can drive it alone.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "include/zamocfg.h"
#include "include/zamoport.h"

namespace vexal::cfg {

struct SPortSelection {
    int32_t nResult = 0;         // 0, or ZAMO_E_ARGUMENT for an interface code it does not know
    std::u16string strPortName;  // empty unless the interface names one
    DeviceOption option{};       // portName is left null: the caller points it at its own copy
};

// Fills the record as selectInterface does: queue sizes 4096 and the command
// mode for every interface, then the fields of that interface; a field the
// interface does not set keeps its value from `previous`.
SPortSelection ParsePortText(int32_t nInterface, std::u16string_view strPort, int32_t nCommandMode,
                             const DeviceOption& previous);

}  // namespace vexal::cfg
