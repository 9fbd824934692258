#include "model/SerialLine.h"

#include <charconv>
#include <cstdio>

namespace vexal::model {

namespace {

template <class T, size_t N>
std::vector<std::string> Names(const std::array<T, N>& values) {
    std::vector<std::string> names;
    for (const T& value : values) {
        if constexpr (std::is_same_v<T, const char*>)
            names.emplace_back(value);
        else
            names.push_back(std::to_string(value));
    }
    return names;
}

// A function static, so that no other file's static object can find it unmade.
template <const auto& values>
const std::vector<std::string>& NamesOf() {
    static const std::vector<std::string> s_names = Names(values);
    return s_names;
}

uint8_t IndexOr(const std::vector<std::string>& vecNames, const std::string& strName, uint8_t nOld) {
    return ByteOfName(vecNames, strName).value_or(nOld);
}

// clang-format off
#define VEXAL_SERIAL_KEY(key, field, names)                                          \
    {key, [](const SSerialLine& v) { return NameOrUnknown(names, v.field); },         \
     [](SSerialLine& v, const std::string& s) { v.field = IndexOr(names, s, v.field); }}
// clang-format on
const SKeyBinding<SSerialLine> kBindings[] = {
    VEXAL_SERIAL_KEY("baud", nBaud, NamesOf<kBaudRates>()),
    VEXAL_SERIAL_KEY("data", nDataBits, NamesOf<kDataBits>()),
    VEXAL_SERIAL_KEY("stop", nStopBits, NamesOf<kStopBits>()),
    VEXAL_SERIAL_KEY("parity", nParity, NamesOf<kParityNames>()),
};
#undef VEXAL_SERIAL_KEY

SGroupDef MakeGroup() {
    SGroupDef group;
    group.strName = "serial";
    group.strTitle = "USB-to-serial line";
    group.vecKeys = {ByteChoiceKey("baud", NamesOf<kBaudRates>(), "baud rate 2400 to 230400"),
                     ByteChoiceKey("data", NamesOf<kDataBits>(), "data bits 7|8"),
                     ByteChoiceKey("stop", NamesOf<kStopBits>(), "stop bits 1|2"),
                     ByteChoiceKey("parity", NamesOf<kParityNames>(), "parity none|even|odd")};
    return group;
}

}  // namespace

std::vector<int> SerialAdapters(const std::vector<int>& vecDeviceIds) {
    std::vector<int> adapters;
    for (int nId : vecDeviceIds)
        if (IsSerialAdapterId(nId)) adapters.push_back(nId);
    return adapters;
}

std::string DeviceIdText(int nDeviceId) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02X", nDeviceId & 0xFF);
    return text;
}

std::optional<int> ParseSerialDeviceId(std::string_view strText) {
    long n = 0;
    const bool bHex = strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X');
    const char* pBegin = strText.data() + (bHex ? 2 : 0);
    const char* pEnd = strText.data() + strText.size();
    const auto [p, ec] = std::from_chars(pBegin, pEnd, n, bHex ? 16 : 10);
    if (strText.empty() || ec != std::errc() || p != pEnd || !IsSerialAdapterId(static_cast<int>(n)) ||
        n > kSerialAdapterLastId)
        return std::nullopt;
    return static_cast<int>(n);
}

VEXAL_MODEL_GROUP_FORM(SSerialLine, SerialLineGroup, MakeGroup, kBindings)

}  // namespace vexal::model
