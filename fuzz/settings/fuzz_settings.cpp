// Fuzzes the settings reply decoders: the first byte picks a decoder and its
// parameter, the rest is the reply, copied into an exactly sized buffer so
// any read past its end is caught by ASan. A decoded reply shorter than its
// command's minimum is a fault too.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "cfglib/SettingsReplies.h"

using namespace vexal::cfg;

namespace {

void Require(bool bCondition) {
    if (!bCondition) __builtin_trap();
}

template <typename T>
void Check(const SReplyResult<T>& result, size_t nLength, size_t nMinimum) {
    if (result.Ok()) Require(nLength >= nMinimum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0) return 0;
    const uint8_t nSelector = pData[0];
    const size_t nLength = nSize - 1;
    auto pReply = std::make_unique<uint8_t[]>(nLength);
    for (size_t i = 0; i < nLength; ++i) pReply[i] = pData[i + 1];
    const ReplyBytes reply(pReply.get(), nLength);
    const uint8_t nParam = static_cast<uint8_t>(nSelector >> 4);

    switch (nSelector % 13) {
    case 0: Check(DecodeBluetoothChar(EBluetoothItem::ConnectionMode, reply), nLength, 6); break;
    case 1: Check(DecodeBluetoothText(EBluetoothItem::Name, reply), nLength, 6); break;
    case 2: Check(DecodeBluetoothAutoConnection(reply), nLength, 2); break;
    case 3: Check(DecodeLanRead(reply), nLength, 32); break;
    case 4: {
        const auto result = DecodeLanWrite(reply);
        // The status is handed on even with a bad header, never without two bytes.
        if (result.Ok() || result.eError == EReplyError::BadHeader) Require(nLength >= 2);
        break;
    }
    case 5: Check(DecodeWlanRead(reply), nLength, 594); break;
    case 6: Check(DecodeWlanWrite(reply), nLength, 22); break;
    case 7: Check(DecodeSerialRead(static_cast<uint8_t>(0x64 + nParam), reply), nLength, 6); break;
    case 8: {
        const auto result = DecodeCustomList(nParam, reply);
        if (result.Ok()) Require(result.value.size() == (nLength < 2 ? 0 : (nLength - 2) / 4 * 10));
        break;
    }
    case 9: Check(DecodeCustomChange(static_cast<uint8_t>(0x41 + nParam % 3), nParam, reply), nLength, 3); break;
    case 10:
        Check(DecodeServiceByte(0xD0, reply), nLength, 2);
        Check(DecodeServiceText(0xD4, reply), nLength, 1);
        break;
    case 11: Check(DecodeInterfaceUsageRead(reply), nLength, 2); break;
    default: Check(DecodeInterfaceUsageWrite(reply), nLength, 2); break;
    }
    return 0;
}
