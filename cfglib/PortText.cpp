#include "cfglib/PortText.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "include/zamocfg.h"

namespace vexal::cfg {

namespace {

// Decimal value of the leading digits; text that is not a number gives 0.
uint32_t LeadingNumber(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    uint64_t qwValue = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        qwValue = std::min<uint64_t>(qwValue * 10 + (text[i] - u'0'), UINT32_MAX);
    return static_cast<uint32_t>(qwValue);
}

// Items separated by colons; consecutive colons count as one separator.
std::vector<std::u16string_view> SplitItems(std::u16string_view text) {
    std::vector<std::u16string_view> items;
    size_t nStart = 0;
    while (nStart <= text.size()) {
        const size_t nColon = text.find(u':', nStart);
        const size_t nEnd = nColon == std::u16string_view::npos ? text.size() : nColon;
        if (nEnd > nStart) items.push_back(text.substr(nStart, nEnd - nStart));
        if (nColon == std::u16string_view::npos) break;
        nStart = nColon + 1;
    }
    return items;
}

void SetSerialTimeouts(DeviceOption& option) {
    option.readIntervalTimeout = 2;
    option.readTotalTimeoutMultiplier = 0;
    option.readTotalTimeoutConstant = 50;
    option.writeTotalTimeoutMultiplier = 10;
    option.writeTotalTimeoutConstant = 5000;
}

}  // namespace

SPortSelection ParsePortText(int32_t nInterface, std::u16string_view strPort, int32_t nCommandMode,
                             const DeviceOption& previous) {
    SPortSelection selection;
    DeviceOption& option = selection.option;
    option = previous;
    option.portName = nullptr;
    option.inputQueueSize = 4096;
    option.outputQueueSize = 4096;
    option.rawMode = static_cast<uint32_t>(nCommandMode);
    const size_t nColon = strPort.find(u':');
    const std::u16string_view strBefore = strPort.substr(0, nColon);
    switch (nInterface) {
    case ZAMO_IF_ETHERNET:
        selection.strPortName = strBefore;
        option.portType = ZAMO_PORT_NET;
        option.speed = nColon == std::u16string_view::npos ? 9100 : LeadingNumber(strPort.substr(nColon + 1));
        option.reserved = 0;
        break;
    case ZAMO_IF_SERIAL:
        selection.strPortName = strBefore;
        option.portType = ZAMO_PORT_COM;
        option.speed = nColon == std::u16string_view::npos ? 9600 : LeadingNumber(strPort.substr(nColon + 1));
        option.dataBits = 8;
        option.stopBits = 0;
        option.parity = 0;
        option.flowControl = 0;
        SetSerialTimeouts(option);
        option.bluetoothCheck = 1;
        break;
    case ZAMO_IF_SERIAL_EXPLICIT: {
        const std::vector<std::u16string_view> items = SplitItems(strPort);
        option.portType = ZAMO_PORT_COM_EXPLICIT;
        if (items.size() > 0) selection.strPortName = items[0];
        if (items.size() > 1) option.speed = LeadingNumber(items[1]);
        if (items.size() > 2) option.dataBits = LeadingNumber(items[2]);
        if (items.size() > 3) option.parity = LeadingNumber(items[3]);
        if (items.size() > 4) option.stopBits = LeadingNumber(items[4]);
        if (items.size() > 5) option.flowControl = LeadingNumber(items[5]);
        SetSerialTimeouts(option);
        option.bluetoothCheck = 0;
        break;
    }
    case ZAMO_IF_USB:
    case ZAMO_IF_PARALLEL:
        selection.strPortName = strPort;
        option.portType = static_cast<uint32_t>(nInterface);
        break;
    default: selection.nResult = ZAMO_E_ARGUMENT; break;
    }
    return selection;
}

}  // namespace vexal::cfg
