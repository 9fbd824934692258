// ICMP echo endpoints for the network port's link watch. The ways to reach a
// host, tried in this order, look the same to the caller. On Linux:
//  - a raw ICMP socket (root or CAP_NET_RAW), filtered to echo replies;
//  - an unprivileged ICMP datagram socket, when net.ipv4.ping_group_range
//    holds the process's group (the kernel picks the identifier and strips
//    the IPv4 header; the endpoint restores both);
//  - the system's ping program (iputils, which carries the capability),
//    one run per request, without a shell, killed when the wait ends.
// On Windows:
//  - a raw ICMP socket (administrators only);
//  - the ICMP helper API (IcmpSendEcho2), which needs no privilege; the
//    endpoint builds the datagram a raw socket would have shown.
// Every received datagram is handed over as a raw socket would give it: an
// IPv4 header first, then the ICMP message with the identifier as sent.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace vexal::platform {

class CWakeSignal;

enum class EIcmpPath { Raw, Datagram, PingProgram, HelperApi };

const char* IcmpPathName(EIcmpPath path);

enum class EIcmpWait {
    Received,    // one datagram is in the buffer
    TimedOut,    // nothing (more) arrived in time
    WaitFailed,  // the wait itself failed: error in nErr
    Failed,      // the receive failed: error in nErr
    Woken,       // the wake signal was set
};

// One endpoint, used by one check on one thread.
class IIcmpEndpoint {
public:
    virtual ~IIcmpEndpoint() = default;
    virtual EIcmpPath Path() const = 0;
    // Sends one ICMP echo request (identifier at offset 4) to an IPv4 address
    // (host order). 0 or an error code.
    virtual int SendTo(std::span<const uint8_t> message, uint32_t dwAddress) = 0;
    // Waits up to ms for the next datagram; on Received, nLength bytes (cut to
    // the buffer) and the source address (host order).
    virtual EIcmpWait Receive(std::span<uint8_t> buffer, size_t& nLength, uint32_t& dwSource, uint32_t ms,
                              const CWakeSignal* pWake, int& nErr) = 0;
    // Shuts both directions down; later sends and receives fail.
    virtual void Shutdown() = 0;
};

// Opens the first path this process may use. nullptr with the last error
// code when none can be had.
std::unique_ptr<IIcmpEndpoint> OpenIcmpEndpoint(int& nErr);
// Opens one path only (for diagnostics and tests).
std::unique_ptr<IIcmpEndpoint> OpenIcmpEndpoint(EIcmpPath path, int& nErr);

// How a port gets its endpoints: the system's by default, a fake in tests.
using IcmpEndpointFactory = std::function<std::unique_ptr<IIcmpEndpoint>(int& nErr)>;

}  // namespace vexal::platform
