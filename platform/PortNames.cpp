// Port names as text: pure helpers both backends share.
#include "platform/DeviceNames.h"

#include <cstdint>

namespace vexal::platform {

std::optional<uint32_t> ParsePortNumber(std::string_view strName, std::string_view strPrefix) {
    if (strName.size() <= strPrefix.size() || strName.substr(0, strPrefix.size()) != strPrefix) return std::nullopt;
    uint64_t n = 0;
    for (char c : strName.substr(strPrefix.size())) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - '0');
        if (n > UINT32_MAX) return std::nullopt;
    }
    if (n == 0) return std::nullopt;
    return static_cast<uint32_t>(n);
}

std::optional<std::string> AsciiPortName(std::u16string_view strName) {
    std::string out;
    out.reserve(strName.size());
    for (char16_t c : strName) {
        if (c == 0 || c >= 0x80) return std::nullopt;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

}  // namespace vexal::platform
