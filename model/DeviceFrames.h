// The bytes the host sends to a device behind the hub: its data cut into
// multiplexed frames ("VQT", device, 16-bit big-endian length, payload),
// and the few device commands the client layer sends itself. Pure, so the
// accounting of what went out ("payload bytes within the first n written")
// has a test of its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexal::model {

inline constexpr size_t kFrameHeaderBytes = 6;
// Payload bytes per frame the host sends; the configuration library cuts its
// writes at the same size.
inline constexpr size_t kFramePayloadMax = 4096;

// Wire bytes of nData payload bytes in frames (0 for none).
size_t FramedLength(size_t nData);
// Appends the frames that carry nData bytes to nDevice; nothing for 0 bytes.
void AppendFrames(std::vector<uint8_t>& out, uint8_t nDevice, const uint8_t* pData, size_t nData);
// Of the wire bytes of nData payload bytes in frames, how many payload bytes
// lie within the first nWire (header bytes do not count; a frame cut short
// counts the part of its payload that went out).
size_t PayloadWithin(size_t nData, size_t nWire);

// The hub's presence channel and the enable byte that makes it send
// presence reports on this connection.
inline constexpr uint8_t kPresenceDevice = 0xFF;
std::vector<uint8_t> PnpEnablePayload();
// GS a n: a printer's automatic status back on (n 0x0F: drawer, on-line,
// error and paper sensors) or off. A printer answers the enable with its
// current status record and then sends one on every change.
std::vector<uint8_t> StatusBackPayload(bool bOn);

}  // namespace vexal::model
