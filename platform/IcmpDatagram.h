// For the ICMP backends whose system hands over the ICMP message alone: the
// IPv4 header a raw socket would have shown in front of it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vexal::platform {

inline constexpr size_t kIpv4HeaderSize = 20;

// Writes a 20-byte IPv4 header (ICMP, total length, source and destination
// in host order) at p; the port logic reads its length and the message after it.
void WriteIpv4Header(uint8_t* p, size_t nTotal, uint32_t dwSource, uint32_t dwDestination);

}  // namespace vexal::platform
