// The descriptor of a hub on the simulated bus: a tiny reader for its three
// keys, so the libraries need no JSON library.
#include <cctype>

#include "platform/UsbSim.h"

namespace vexal::platform {

namespace {
// The text right after "key": (skipping blanks), or npos.
size_t ValueStart(std::string_view s, std::string_view key) {
    // The key in quotes, found without building a text.
    size_t nKey = s.find(key);
    while (nKey != std::string_view::npos &&
           (nKey == 0 || s[nKey - 1] != '"' || nKey + key.size() >= s.size() || s[nKey + key.size()] != '"'))
        nKey = s.find(key, nKey + 1);
    if (nKey == std::string_view::npos) return nKey;
    size_t i = nKey + key.size() + 1;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= s.size() || s[i] != ':') return std::string_view::npos;
    ++i;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return i < s.size() ? i : std::string_view::npos;
}

std::optional<uint16_t> HexId(std::string_view s, std::string_view key) {
    const size_t i = ValueStart(s, key);
    if (i == std::string_view::npos || s[i] != '"' || i + 6 > s.size() || s[i + 5] != '"') return std::nullopt;
    uint16_t w = 0;
    for (size_t k = i + 1; k < i + 5; ++k) {
        const int c = std::toupper(static_cast<unsigned char>(s[k]));
        const int v = std::isdigit(c) ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (v < 0) return std::nullopt;
        w = static_cast<uint16_t>(w * 16 + v);
    }
    return w;
}
}  // namespace

std::optional<SUsbSimDescriptor> ParseUsbSimDescriptor(std::string_view s) {
    // A NUL byte means a damaged file: its keys could lie anywhere after it.
    if (s.find('\0') != std::string_view::npos) return std::nullopt;
    const auto vid = HexId(s, "vid");
    const auto pid = HexId(s, "pid");
    if (!vid || !pid) return std::nullopt;
    SUsbSimDescriptor d{*vid, *pid, false};
    const size_t i = ValueStart(s, "exclusive");
    d.bExclusive = i != std::string_view::npos && s.substr(i, 4) == "true";
    return d;
}

}  // namespace vexal::platform
