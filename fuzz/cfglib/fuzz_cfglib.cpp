// Feeds arbitrary replies to the identification decoders. The first input
// byte chooses the command code and device ID to check against; the rest is
// copied into an exactly sized buffer, so any read past it is caught.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cfglib/IdentificationReplies.h"

using namespace vexal::cfg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0)
        return 0;
    const uint8_t bySelector = pData[0];
    const std::vector<uint8_t> reply(pData + 1, pData + nSize);
    const ReplySpan span(reply.data(), reply.size());

    if (const auto text = DecodeHubText(span, (bySelector & 1) ? 0x51 : 0x50)) {
        if (text->size() + 2 > reply.size())
            std::abort();  // text can only come from the reply itself
    }
    if (const auto list = DecodeUsbList(span)) {
        if (list->size() != (reply.size() - 1) / 4 * 10)
            std::abort();  // one "vvvv&pppp," per complete record
    }
    const SUsbInfoReply info = DecodeUsbInfo(span, bySelector);
    if (info.eResult == EUsbInfoReply::Ok && (reply.size() < 6 || info.strVendorId.size() != 4))
        std::abort();
    (void)ReplyTextFrom(span, bySelector);
    return 0;
}
