// Decoders of the identification replies: pure functions of the reply bytes
// (without the exchange's extra zero), so a fuzz target can drive them alone.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vexal::cfg {

using ReplySpan = std::span<const uint8_t>;

// ANSI bytes of the reply from nOffset up to the first zero byte or the end.
std::string ReplyTextFrom(ReplySpan reply, size_t nOffset);

// Model name (0x50) and firmware version (0x51): "cmd 00 text". Refused
// (nullopt) when both header bytes differ or the header is incomplete.
std::optional<std::string> DecodeHubText(ReplySpan reply, uint8_t byCommand);

// USB device list (0x44): "%02x%02x&%02x%02x," per complete 4-byte record.
// Refused when byte 0 is not 0x44.
std::optional<std::string> DecodeUsbList(ReplySpan reply);

// USB IDs of one device (0x45 id): at least 6 bytes, byte 0 0x45 or byte 1
// the device ID.
enum class EUsbInfoReply { Ok, TooShort, BadHeader };
struct SUsbInfoReply {
    EUsbInfoReply eResult = EUsbInfoReply::TooShort;
    std::string strVendorId;   // "%02x%02x" of bytes 2 and 3
    std::string strProductId;  // "%02x%02x" of bytes 4 and 5
};
SUsbInfoReply DecodeUsbInfo(ReplySpan reply, uint8_t byDeviceId);

}  // namespace vexal::cfg
