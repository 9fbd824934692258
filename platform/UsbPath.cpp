// Interface paths of USB devices: pure formatting and parsing.
#include <cctype>
#include <cstdio>

#include "platform/Usb.h"

namespace vexal::platform {

namespace {
constexpr std::string_view kPrefix = "\\\\?\\USB#VID_";
constexpr std::string_view kPid = "&PID_";
constexpr std::string_view kGuid = "{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
constexpr size_t kVidPos = 12;
constexpr size_t kPidPos = 21;
constexpr size_t kLocationPos = 26;

// The bus and port numbers of a Linux location ("1-4.2"), or the instance
// part of a Windows interface path ("6&2C1A3E9F&0&2", or a serial number).
// Never a file path, and never a text holding "COM" or "LPT", which would
// make the port library take the path for a serial or parallel port.
bool IsLocation(std::string_view s) {
    auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    if (s.empty() || !alnum(s.front()) || !alnum(s.back()) || s.find("..") != std::string_view::npos) return false;
    std::string upper;
    for (char c : s) {
        if (!alnum(c) && c != '-' && c != '.' && c != '&' && c != '_') return false;
        upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return upper.find("COM") == std::string::npos && upper.find("LPT") == std::string::npos;
}

std::optional<uint16_t> Hex4(std::string_view s) {
    uint16_t w = 0;
    for (char c : s) {
        const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                      : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                                                                  : -1;
        if (v < 0) return std::nullopt;
        w = static_cast<uint16_t>(w * 16 + v);
    }
    return w;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
}  // namespace

const char* UsbResultName(EUsbResult eResult) {
    switch (eResult) {
    case EUsbResult::Ok: return "ok";
    case EUsbResult::TimedOut: return "timed out";
    case EUsbResult::Cancelled: return "cancelled";
    case EUsbResult::Stalled: return "stalled";
    case EUsbResult::NoDevice: return "no device";
    case EUsbResult::AccessDenied: return "access denied";
    case EUsbResult::InvalidHandle: return "invalid handle";
    case EUsbResult::InUse: return "in use by another program";
    case EUsbResult::Failed: return "failed";
    }
    return "failed";
}

std::optional<SUsbPathParts> ParseUsbInterfacePath(std::string_view s) {
    if (s.size() < kLocationPos + 1 + kGuid.size() + 1) return std::nullopt;
    if (!EqualNoCase(s.substr(0, kPrefix.size()), kPrefix) || !EqualNoCase(s.substr(16, kPid.size()), kPid) ||
        s[25] != '#')
        return std::nullopt;
    const auto vid = Hex4(s.substr(kVidPos, 4));
    const auto pid = Hex4(s.substr(kPidPos, 4));
    if (!vid || !pid) return std::nullopt;
    const size_t nGuid = s.size() - kGuid.size();
    if (s[nGuid - 1] != '#' || !EqualNoCase(s.substr(nGuid), kGuid)) return std::nullopt;
    const std::string_view location = s.substr(kLocationPos, nGuid - 1 - kLocationPos);
    if (!IsLocation(location)) return std::nullopt;
    return SUsbPathParts{*vid, *pid, std::string(location)};
}

std::string MakeUsbInterfacePath(uint16_t wVendorId, uint16_t wProductId, std::string_view strLocation) {
    if (!IsLocation(strLocation)) return {};
    char head[32];
    std::snprintf(head, sizeof head, "VID_%04X&PID_%04X#", wVendorId, wProductId);
    std::string path(kPrefix.substr(0, 8));
    path += head;
    path += strLocation;
    path += '#';
    path += kGuid;
    return path;
}

}  // namespace vexal::platform
