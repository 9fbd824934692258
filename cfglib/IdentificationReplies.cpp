#include "cfglib/IdentificationReplies.h"

#include <algorithm>

namespace vexal::cfg {

namespace {

std::string HexPair(uint8_t byHigh, uint8_t byLow) {
    static constexpr char kDigits[] = "0123456789abcdef";
    return {kDigits[byHigh >> 4], kDigits[byHigh & 15], kDigits[byLow >> 4], kDigits[byLow & 15]};
}

}  // namespace

std::string ReplyTextFrom(ReplySpan reply, size_t nOffset) {
    if (nOffset >= reply.size()) return {};
    const auto begin = reply.begin() + static_cast<std::ptrdiff_t>(nOffset);
    return std::string(begin, std::find(begin, reply.end(), uint8_t{0}));
}

std::optional<std::string> DecodeHubText(ReplySpan reply, uint8_t byCommand) {
    if (reply.size() < 2 || (reply[0] != byCommand && reply[1] != 0x00)) return std::nullopt;
    return ReplyTextFrom(reply, 2);
}

std::optional<std::string> DecodeUsbList(ReplySpan reply) {
    if (reply.empty() || reply[0] != 0x44) return std::nullopt;
    std::string strList;
    for (size_t i = 1; i + 4 <= reply.size(); i += 4)
        strList += HexPair(reply[i], reply[i + 1]) + "&" + HexPair(reply[i + 2], reply[i + 3]) + ",";
    return strList;
}

SUsbInfoReply DecodeUsbInfo(ReplySpan reply, uint8_t byDeviceId) {
    SUsbInfoReply decoded;
    if (reply.size() < 6) return decoded;
    if (reply[0] != 0x45 && reply[1] != byDeviceId) {
        decoded.eResult = EUsbInfoReply::BadHeader;
        return decoded;
    }
    decoded.eResult = EUsbInfoReply::Ok;
    decoded.strVendorId = HexPair(reply[2], reply[3]);
    decoded.strProductId = HexPair(reply[4], reply[5]);
    return decoded;
}

}  // namespace vexal::cfg
