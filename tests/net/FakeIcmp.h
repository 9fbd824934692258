// A scripted ICMP network for the echo check: each request sent gets the
// replies the test queued for it, delivered after their delays to every open
// endpoint, as a real ICMP socket also sees other checks' replies.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Icmp.h"

namespace nettest {

// Builds a datagram (IPv4 header first) for the identifier of the request.
using DatagramMaker = std::function<std::vector<uint8_t>(uint16_t wId)>;

struct SFakeReply {
    uint32_t nDelayMs = 0;
    uint32_t dwSource = 0;
    DatagramMaker make;
};

// A well-formed echo reply; header of `ihl` words.
std::vector<uint8_t> EchoReplyDatagram(uint16_t wId, uint8_t type = 0, int ihl = 5, size_t nPayload = 32);

class CFakeIcmpNetwork : public std::enable_shared_from_this<CFakeIcmpNetwork> {
public:
    // Replies for the next request sent (by any endpoint), in order of sending.
    void QueueReplies(std::vector<SFakeReply> replies);
    // Every request not scripted above is answered like this (empty: silence).
    void SetDefaultReply(std::vector<SFakeReply> replies);
    // Opening fails with this error code (0: opens).
    void FailOpens(int nErr);

    vexal::platform::IcmpEndpointFactory Factory();

    int RequestsSent() const;
    std::vector<std::vector<uint8_t>> Requests() const;
    int EndpointsOpened() const;
    int EndpointsOpenNow() const;

private:
    friend class CFakeIcmpEndpoint;
    struct SPending {
        uint64_t nDueMs;
        uint32_t dwSource;
        std::vector<uint8_t> datagram;
    };
    void OnSend(const std::vector<uint8_t>& request);
    void Register(class CFakeIcmpEndpoint* p);
    void Unregister(class CFakeIcmpEndpoint* p);

    mutable std::mutex m_mutex;
    std::deque<std::vector<SFakeReply>> m_script;
    std::vector<SFakeReply> m_default;
    std::vector<std::vector<uint8_t>> m_requests;
    std::vector<class CFakeIcmpEndpoint*> m_open;
    int m_nOpenFailure = 0;
    int m_nOpened = 0;
};

}  // namespace nettest
