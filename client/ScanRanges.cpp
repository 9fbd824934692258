#include "client/ScanRanges.h"

#include "model/HubText.h"
#include "platform/Socket.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

namespace vexal::client {

namespace {

uint32_t MaskOf(int nPrefix) { return nPrefix <= 0 ? 0 : ~uint32_t{0} << (32 - nPrefix); }

}  // namespace

std::string FormatIPv4(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." + std::to_string((a >> 8) & 0xFF) +
           "." + std::to_string(a & 0xFF);
}

std::optional<std::vector<uint32_t>> ParseCidr(std::string_view strText, std::string& strError) {
    const size_t nSlash = strText.find('/');
    const auto address = platform::ParseIPv4(strText.substr(0, nSlash));
    std::optional<int> bits = 32;
    if (nSlash != std::string_view::npos) {
        const std::string_view strBits = strText.substr(nSlash + 1);
        int n = -1;
        const auto [p, ec] = std::from_chars(strBits.data(), strBits.data() + strBits.size(), n);
        bits = ec == std::errc() && p == strBits.data() + strBits.size() && !strBits.empty() ? std::optional<int>(n)
                                                                                             : std::nullopt;
    }
    if (!address || !bits || *bits < 0 || *bits > 32) {
        strError = "'" + model::Printable(strText) + "' is not an IPv4 range ADDR/BITS";
        return std::nullopt;
    }
    if (*bits < kWidestScanPrefix) {
        strError = "/" + std::to_string(*bits) + " is too large a range (at most /22, 1024 addresses)";
        return std::nullopt;
    }
    const uint32_t dwMask = MaskOf(*bits);
    const uint32_t dwFirst = *address & dwMask;
    const uint32_t dwLast = dwFirst | ~dwMask;
    std::vector<uint32_t> hosts;
    for (uint64_t a = dwFirst; a <= dwLast; ++a) {
        if (*bits <= 30 && (a == dwFirst || a == dwLast)) continue;
        hosts.push_back(static_cast<uint32_t>(a));
    }
    return hosts;
}

std::optional<std::vector<uint32_t>> ParseRanges(std::string_view strText, size_t nMaxAddresses,
                                                 std::string& strError) {
    std::vector<uint32_t> all;
    std::unordered_set<uint32_t> seen;
    size_t nPos = 0;
    bool bAny = false;
    while (nPos < strText.size()) {
        const size_t nStart = strText.find_first_not_of(", \t", nPos);
        if (nStart == std::string_view::npos) break;
        const size_t nEnd = std::min(strText.find_first_of(", \t", nStart), strText.size());
        const std::string_view strRange = strText.substr(nStart, nEnd - nStart);
        nPos = nEnd;
        bAny = true;
        const auto hosts = ParseCidr(strRange, strError);
        if (!hosts) return std::nullopt;
        for (uint32_t a : *hosts)
            if (seen.insert(a).second) all.push_back(a);
        if (all.size() > nMaxAddresses) {
            strError = "more than " + std::to_string(nMaxAddresses) + " addresses in all";
            return std::nullopt;
        }
    }
    if (!bAny) {
        strError = "no range given";
        return std::nullopt;
    }
    return all;
}

bool IsLocalBroadcast(uint32_t dwAddress, const std::vector<platform::SIpv4Interface>& interfaces) {
    if (dwAddress == 0xFFFFFFFFu) return true;
    for (const auto& i : interfaces)
        if (i.nPrefix > 0 && i.nPrefix <= 30 && dwAddress == (i.dwAddress | ~MaskOf(i.nPrefix))) return true;
    return false;
}

std::vector<std::string> DefaultScanRanges(const std::vector<platform::SIpv4Interface>& interfaces) {
    std::vector<std::string> ranges;
    for (const auto& i : interfaces) {
        // Link-local addresses are picked at random over a /16: a /22 of it
        // would almost never hold the hub. A /31 or /32 has no other host.
        const bool bLinkLocal = (i.dwAddress & 0xFFFF0000u) == 0xA9FE0000u;
        if (!i.bUp || i.bLoopback || bLinkLocal || i.nPrefix <= 0 || i.nPrefix > 30) continue;
        const int nPrefix = std::max(i.nPrefix, kWidestScanPrefix);
        const std::string strRange = FormatIPv4(i.dwAddress & MaskOf(nPrefix)) + "/" + std::to_string(nPrefix);
        if (std::find(ranges.begin(), ranges.end(), strRange) == ranges.end()) ranges.push_back(strRange);
    }
    return ranges;
}

}  // namespace vexal::client
