#include "model/Address.h"

namespace vexal::model {

std::string FormatIpv4(const CIpv4& a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

std::optional<CIpv4> ParseIpv4(std::string_view strText) {
    CIpv4 address{};
    size_t nPos = 0;
    for (size_t i = 0; i < address.size(); ++i) {
        const size_t nEnd = i + 1 < address.size() ? strText.find('.', nPos) : strText.size();
        if (nEnd == std::string_view::npos) return std::nullopt;
        const std::string_view part = strText.substr(nPos, nEnd - nPos);
        if (part.empty() || part.size() > 3) return std::nullopt;
        unsigned nValue = 0;
        for (char c : part) {
            if (c < '0' || c > '9') return std::nullopt;
            nValue = nValue * 10 + static_cast<unsigned>(c - '0');
        }
        if (nValue > 255) return std::nullopt;
        address[i] = static_cast<uint8_t>(nValue);
        nPos = nEnd + 1;
    }
    return address;
}

}  // namespace vexal::model
