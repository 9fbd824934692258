// The configuration library's own readers of outside bytes and texts.
//
// Byte 0 picks the reader (modulo 3), byte 1 is its parameter, the rest its
// input, copied into an exactly sized buffer so any read past it is caught:
//   0  identification replies (model name, firmware version, USB list and
//      IDs); the parameter is the device ID asked for
//   1  the port text of selectInterface (UTF-16LE units); the parameter
//      picks the interface code and the command mode
//   2  a device's text reply (GS I, poll data) on its way to a caller's text
//      object; the parameter is the object's capacity
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cfglib/IdentificationReplies.h"
#include "cfglib/PortText.h"
#include "cfglib/ZamoText.h"
#include "fuzz/FuzzInput.h"
#include "include/zamocfg.h"
#include "platform/TextCodec.h"

using namespace vexal::cfg;
using vexal::fuzz::Require;

namespace {

void CheckIdentification(ReplySpan reply, uint8_t byDeviceId) {
    for (const uint8_t byCommand : {uint8_t{0x50}, uint8_t{0x51}}) {
        if (const auto text = DecodeHubText(reply, byCommand))
            Require(text->size() + 2 <= reply.size() && text->find('\0') == std::string::npos);
    }
    if (const auto list = DecodeUsbList(reply))
        Require(reply[0] == 0x44 && list->size() == (reply.size() - 1) / 4 * 10);  // "vvvv&pppp," per record
    const SUsbInfoReply info = DecodeUsbInfo(reply, byDeviceId);
    if (info.eResult == EUsbInfoReply::Ok)
        Require(reply.size() >= 6 && info.strVendorId.size() == 4 && info.strProductId.size() == 4);
    else
        Require(info.strVendorId.empty() && info.strProductId.empty());
    const std::string strText = ReplyTextFrom(reply, byDeviceId);
    Require(strText.size() + byDeviceId <= reply.size() || strText.empty());
}

// Every field selectInterface leaves alone for an interface still holds the
// sentinel it had before.
constexpr uint32_t kSentinel = 0xA5A5A5A5;

void CheckPortText(const std::u16string& strPort, uint8_t byParam) {
    static constexpr int32_t kInterfaces[] = {ZAMO_IF_ETHERNET, ZAMO_IF_SERIAL, ZAMO_IF_USB, ZAMO_IF_SERIAL_EXPLICIT,
                                              ZAMO_IF_PARALLEL};
    const int32_t nInterface = (byParam & 7) < 5 ? kInterfaces[byParam & 7] : byParam >> 3;
    const int32_t nMode = (byParam >> 7) & 1;
    DeviceOption previous;
    std::memset(&previous, 0xA5, sizeof previous);  // every 32-bit field kSentinel
    previous.portName = u"previous";
    const SPortSelection s = ParsePortText(nInterface, strPort, nMode, previous);
    const DeviceOption& o = s.option;
    Require(o.portName == nullptr && o.inputQueueSize == 4096 && o.outputQueueSize == 4096);
    Require(o.rawMode == static_cast<uint32_t>(nMode) && o.bluetoothStack == kSentinel);
    const size_t nColon = strPort.find(u':');
    const bool bSerialTimeouts = o.readIntervalTimeout == 2 && o.readTotalTimeoutMultiplier == 0 &&
                                 o.readTotalTimeoutConstant == 50 && o.writeTotalTimeoutMultiplier == 10 &&
                                 o.writeTotalTimeoutConstant == 5000;
    const bool bSerialFieldsKept = o.dataBits == kSentinel && o.stopBits == kSentinel && o.parity == kSentinel &&
                                   o.flowControl == kSentinel && o.readIntervalTimeout == kSentinel &&
                                   o.writeTotalTimeoutConstant == kSentinel && o.bluetoothCheck == kSentinel;
    switch (nInterface) {
    case ZAMO_IF_ETHERNET:
    case ZAMO_IF_SERIAL: {
        const bool bNet = nInterface == ZAMO_IF_ETHERNET;
        Require(s.nResult == 0 && s.strPortName == strPort.substr(0, nColon));
        Require(o.portType == static_cast<uint32_t>(nInterface));
        if (nColon == std::u16string::npos) Require(o.speed == (bNet ? 9100u : 9600u));
        if (bNet)
            Require(o.reserved == 0 && bSerialFieldsKept);
        else
            Require(o.dataBits == 8 && o.stopBits == 0 && o.parity == 0 && o.flowControl == 0 && bSerialTimeouts &&
                    o.bluetoothCheck == 1 && o.reserved == kSentinel);
        break;
    }
    case ZAMO_IF_SERIAL_EXPLICIT: {
        // The name is the first colon-free piece; a text with fewer items keeps the rest.
        const size_t nFirst = strPort.find_first_not_of(u':');
        const size_t nEnd = nFirst == std::u16string::npos ? nFirst : strPort.find(u':', nFirst);
        Require(s.nResult == 0 && o.portType == ZAMO_PORT_COM_EXPLICIT && bSerialTimeouts && o.bluetoothCheck == 0);
        Require(s.strPortName == (nFirst == std::u16string::npos ? u"" : strPort.substr(nFirst, nEnd - nFirst)));
        if (nEnd == std::u16string::npos || strPort.find_first_not_of(u':', nEnd) == std::u16string::npos)
            Require(o.speed == kSentinel && o.dataBits == kSentinel && o.flowControl == kSentinel);
        Require(o.reserved == kSentinel);
        break;
    }
    case ZAMO_IF_USB:
    case ZAMO_IF_PARALLEL:
        Require(s.nResult == 0 && s.strPortName == strPort && o.portType == static_cast<uint32_t>(nInterface));
        Require(o.speed == kSentinel && o.reserved == kSentinel && bSerialFieldsKept);
        break;
    default:
        Require(s.nResult == 1004 && s.strPortName.empty() && o.portType == kSentinel && o.speed == kSentinel);
        break;
    }
}

// The caller's text object gets the text, cut to its capacity, always ended
// by a zero and never written past; appending keeps what was there.
void CheckDeviceText(ReplySpan reply, uint32_t nCapacity) {
    const std::string strBytes = ReplyTextFrom(reply, 0);
    Require(strBytes.find('\0') == std::string::npos && strBytes.size() <= reply.size());
    const std::u16string strText = vexal::platform::Utf16FromAnsi(strBytes);
    // A single-byte code page: one unit per byte, and back to the same bytes.
    Require(strText.size() == strBytes.size() && vexal::platform::AnsiFromUtf16(strText) == strBytes);

    auto pStorage = std::make_unique<char16_t[]>(nCapacity == 0 ? 1 : nCapacity);
    ZamoText text{nCapacity == 0 ? nullptr : pStorage.get(), nCapacity, 0};
    const bool bWhole = ZamoTextAssign(&text, strText);
    if (nCapacity == 0) {
        Require(!bWhole);
        return;
    }
    const size_t nHeld = std::min<size_t>(strText.size(), nCapacity - 1);
    Require(bWhole == (nHeld == strText.size()) && text.length == nHeld && text.data[nHeld] == u'\0');
    Require(strText.compare(0, nHeld, text.data, nHeld) == 0);
    const bool bAppended = ZamoTextAppend(&text, strText);
    const size_t nTotal = std::min<size_t>(2 * strText.size(), nCapacity - 1);
    Require(bAppended == (nTotal == 2 * strText.size()) && text.length == nTotal && text.data[nTotal] == u'\0');
    Require(ZamoTextView(&text).size() == nTotal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const uint8_t bySelector = pData[0];
    const uint8_t byParam = pData[1];
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    const std::span<const uint8_t> input = exact.Bytes();
    const ReplySpan reply = input;
    switch (bySelector % 3) {
    case 0: CheckIdentification(reply, byParam); break;
    case 1: {
        std::u16string strPort(input.size() / 2, u'\0');
        for (size_t i = 0; i < strPort.size(); ++i)
            strPort[i] = static_cast<char16_t>(input[2 * i] | (input[2 * i + 1] << 8));
        CheckPortText(strPort, byParam);
        break;
    }
    default: CheckDeviceText(reply, byParam); break;
    }
    return 0;
}
