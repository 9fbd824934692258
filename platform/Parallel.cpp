#include "platform/Parallel.h"

namespace vexal::platform {

bool IsParallelOnline(uint8_t status, uint8_t validBits) {
    constexpr uint8_t kBusyInverted = 0x80;
    constexpr uint8_t kOnline = 0x58;
    const uint8_t bits = validBits & kParallelStatusBits;
    return bits != 0 && ((status ^ kBusyInverted) & bits) == (kOnline & bits);
}

}  // namespace vexal::platform
