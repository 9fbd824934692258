// The network port's echo check, as pure functions: the 40-byte echo request,
// its Internet checksum, the identifier, and the judgement of a reply.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vexal {

inline constexpr size_t kEchoRequestSize = 40;
inline constexpr size_t kEchoBufferSize = 1500;
inline constexpr uint8_t kIcmpEchoRequest = 0x08;
inline constexpr uint8_t kIcmpEchoReplyType = 0x00;

using EchoRequest = std::array<uint8_t, kEchoRequestSize>;

// RFC 1071: one's complement of the one's complement sum of 16-bit
// big-endian words; an odd last byte is padded with zero.
uint16_t InternetChecksum(std::span<const uint8_t> data);

// Type 8, code 0, checksum, identifier (big-endian), sequence 0, 32 blanks.
EchoRequest BuildEchoRequest(uint16_t wIdentifier);

// The identifier drawn from a generator seeded with the time in seconds:
// 0..32767. Two checks in the same second draw the same value.
uint16_t EchoIdentifierForSeed(uint32_t dwSeconds);

enum class EEchoReply { Valid, WrongSource, TooShort, WrongType, WrongIdentifier };

// A datagram as a raw socket gives it (IPv4 header first). Valid when it came
// from the destination, holds its header plus 8 bytes, is an echo reply, and
// carries the identifier sent. Code, checksum and sequence are not checked.
EEchoReply ValidateEchoReply(std::span<const uint8_t> datagram, uint32_t dwSource, uint32_t dwDestination,
                             uint16_t wIdentifier);

// Reserves an identifier no other check of this process holds now: replies
// reach every ICMP socket, so two ports must never wait for the same one.
class CEchoIdLease {
public:
    // Starts from the wanted value and takes the next free one.
    explicit CEchoIdLease(uint16_t wWanted);
    ~CEchoIdLease();
    CEchoIdLease(const CEchoIdLease&) = delete;
    CEchoIdLease& operator=(const CEchoIdLease&) = delete;

    uint16_t Id() const { return m_wId; }
    bool IsHeld() const { return m_bHeld; }

private:
    uint16_t m_wId = 0;
    bool m_bHeld = false;
};

}  // namespace vexal
