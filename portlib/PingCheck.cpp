#include "portlib/PingCheck.h"

#include <bitset>
#include <mutex>
#include <random>

namespace vexal {

uint16_t InternetChecksum(std::span<const uint8_t> data) {
    uint32_t dwSum = 0;
    size_t i = 0;
    for (; i + 1 < data.size(); i += 2) dwSum += static_cast<uint32_t>((data[i] << 8) | data[i + 1]);
    if (i < data.size()) dwSum += static_cast<uint32_t>(data[i] << 8);
    while (dwSum >> 16) dwSum = (dwSum & 0xFFFFu) + (dwSum >> 16);
    return static_cast<uint16_t>(~dwSum & 0xFFFFu);
}

EchoRequest BuildEchoRequest(uint16_t wIdentifier) {
    EchoRequest request{};
    request[0] = kIcmpEchoRequest;
    request[1] = 0x00;
    request[4] = static_cast<uint8_t>(wIdentifier >> 8);
    request[5] = static_cast<uint8_t>(wIdentifier);
    for (size_t i = 8; i < kEchoRequestSize; ++i) request[i] = 0x20;
    const uint16_t wSum = InternetChecksum(request);
    request[2] = static_cast<uint8_t>(wSum >> 8);
    request[3] = static_cast<uint8_t>(wSum);
    return request;
}

uint16_t EchoIdentifierForSeed(uint32_t dwSeconds) {
    // A generator of our own: seeding the C library's would disturb the host program.
    std::minstd_rand generator(dwSeconds);
    return static_cast<uint16_t>(generator() % 32768u);
}

EEchoReply ValidateEchoReply(std::span<const uint8_t> datagram, uint32_t dwSource, uint32_t dwDestination,
                             uint16_t wIdentifier) {
    if (dwSource != dwDestination) return EEchoReply::WrongSource;
    if (datagram.empty()) return EEchoReply::TooShort;
    const size_t nHeader = static_cast<size_t>(datagram[0] & 0x0F) * 4;
    if (datagram.size() < nHeader + 8) return EEchoReply::TooShort;
    if (datagram[nHeader] != kIcmpEchoReplyType) return EEchoReply::WrongType;
    const uint16_t wGot = static_cast<uint16_t>((datagram[nHeader + 4] << 8) | datagram[nHeader + 5]);
    if (wGot != wIdentifier) return EEchoReply::WrongIdentifier;
    return EEchoReply::Valid;
}

namespace {
constexpr size_t kIdentifierCount = 32768;  // identifiers are drawn from 0..32767
// Trivially destructible, so safe to use from threads still running at exit.
std::mutex g_idMutex;
std::bitset<kIdentifierCount> g_idsInUse;  // guarded by g_idMutex
}  // namespace

CEchoIdLease::CEchoIdLease(uint16_t wWanted) {
    std::lock_guard lock(g_idMutex);
    for (size_t n = 0; n < kIdentifierCount; ++n) {
        const auto wCandidate = static_cast<uint16_t>((wWanted + n) % kIdentifierCount);
        if (!g_idsInUse.test(wCandidate)) {
            g_idsInUse.set(wCandidate);
            m_wId = wCandidate;
            m_bHeld = true;
            return;
        }
    }
    m_wId = wWanted;  // every identifier busy: cannot happen with a few ports
}

CEchoIdLease::~CEchoIdLease() {
    if (!m_bHeld) return;
    std::lock_guard lock(g_idMutex);
    g_idsInUse.reset(m_wId);
}

}  // namespace vexal
