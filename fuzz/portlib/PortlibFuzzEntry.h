// One fuzz input through the frame parser and dispatch, or the status-back
// filter. Shared by the libFuzzer target and the corpus replay test.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vexal {

// Byte 0 picks the path and switches (bit 0: status filter alone; bit 1: raw
// mode; bit 2: status-back mode), byte 1 the read-cycle size; the rest is
// the received stream. Returns 0.
int PortlibFuzzOne(const uint8_t* pData, size_t nSize);

}  // namespace vexal
