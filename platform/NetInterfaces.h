// The PC's own IPv4 networks as its interfaces hold them: where a search for
// hubs looks when the user names no range.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vexal::platform {

struct SIpv4Interface {
    std::string strName;     // the interface's name ("eth0", "Ethernet 2")
    uint32_t dwAddress = 0;  // this PC's address on it, host order
    int nPrefix = 0;         // length of the network prefix, 0..32
    bool bUp = false;        // up with a link (a cable in, an association)
    bool bLoopback = false;
};

// One entry per IPv4 address of every interface, in the system's order;
// empty when the system will not tell.
std::vector<SIpv4Interface> ListIpv4Interfaces();

}  // namespace vexal::platform
