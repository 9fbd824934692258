#include "tools/Targets.h"

#include "client/ScanRanges.h"
#include "platform/DeviceNames.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"
#include "model/HubText.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vexal::tools {
namespace {

std::optional<long> Number(std::string_view str) {
    long n = 0;
    if (str.empty()) return std::nullopt;
    auto [p, ec] = std::from_chars(str.data(), str.data() + str.size(), n);
    if (ec != std::errc() || p != str.data() + str.size()) return std::nullopt;
    return n;
}

std::vector<std::string_view> SplitColons(std::string_view str) {
    std::vector<std::string_view> items;
    size_t nPos = 0;
    while (true) {
        const size_t nEnd = str.find(':', nPos);
        items.push_back(str.substr(nPos, nEnd == std::string_view::npos ? std::string_view::npos : nEnd - nPos));
        if (nEnd == std::string_view::npos) break;
        nPos = nEnd + 1;
    }
    return items;
}

std::string_view Trim(std::string_view str) {
    while (!str.empty() && std::isspace(static_cast<unsigned char>(str.front()))) str.remove_prefix(1);
    while (!str.empty() && std::isspace(static_cast<unsigned char>(str.back()))) str.remove_suffix(1);
    return str;
}

}  // namespace

std::optional<SConnection> ParseEthernet(std::string_view strText, std::string& strError, std::string_view strWhat) {
    const auto items = SplitColons(strText);
    if (items.size() > 2) {
        strError = std::string(strWhat) + ": '" + std::string(strText) + "' is not ADDR[:PORT]";
        return std::nullopt;
    }
    const auto address = platform::ParseIPv4(items[0]);
    if (!address) {
        strError = std::string(strWhat) + ": '" + std::string(items[0]) + "' is not an IPv4 address";
        return std::nullopt;
    }
    long nPort = kDefaultHubPort;
    if (items.size() == 2) {
        const auto n = Number(items[1]);
        if (!n || *n < 1 || *n > 65535) {
            strError = std::string(strWhat) + ": '" + std::string(items[1]) + "' is not a TCP port (1-65535)";
            return std::nullopt;
        }
        nPort = *n;
    }
    SConnection c;
    c.nInterface = 2;
    c.strPortText = client::FormatIPv4(*address) + ":" + std::to_string(nPort);
    c.strLabel = c.strPortText;
    return c;
}

std::optional<SConnection> ParseSerial(std::string_view strText, std::string& strError) {
    auto items = SplitColons(strText);
    SConnection c;
    const std::string strName(items[0]);
    // A device path goes down as it stands: the platform layer opens it.
    const bool bDevicePath = platform::DevicePathOf(platform::Utf16FromUtf8(strName)).has_value();
    if (!bDevicePath && !platform::ParsePortNumber(strName, "COM")) {
        strError = "--serial: '" + strName + "' is neither COM<n> nor a device path";
        return std::nullopt;
    }
    c.strLabel = strName;
    items.erase(items.begin());
    for (const auto& item : items)
        if (!Number(item) || *Number(item) < 0) {
            strError = "--serial: line setting '" + std::string(item) + "' is not a number";
            if (bDevicePath) strError += " (a ':' ends the device path: name such a device by a link without ':')";
            return std::nullopt;
        }
    if (!items.empty() && *Number(items[0]) == 0) {
        strError = "--serial: baud rate 0";
        return std::nullopt;
    }
    if (items.size() == 0 || items.size() == 1) {
        c.nInterface = 4;
        c.strPortText = strName + (items.empty() ? "" : ":" + std::string(items[0]));
    } else if (items.size() == 5) {
        c.nInterface = 32;
        c.strPortText = strName;
        for (const auto& item : items) c.strPortText += ":" + std::string(item);
    } else {
        strError = "--serial: give BAUD alone or BAUD:DATA:PARITY:STOP:FLOW after the port";
        return std::nullopt;
    }
    return c;
}

std::optional<std::vector<std::string>> ParseHostsText(std::string_view strText, const std::string& strFile,
                                                       std::string& strError) {
    std::vector<std::string> hosts;
    size_t nLine = 0, nPos = 0;
    while (nPos <= strText.size()) {
        size_t nEnd = strText.find('\n', nPos);
        if (nEnd == std::string_view::npos) nEnd = strText.size();
        std::string_view line = strText.substr(nPos, nEnd - nPos);
        ++nLine;
        nPos = nEnd + 1;
        if (const size_t nHash = line.find('#'); nHash != std::string_view::npos) line = line.substr(0, nHash);
        line = Trim(line);
        if (line.empty()) continue;
        std::string strWhy;
        if (line.find_first_of(" \t") != std::string_view::npos || !ParseEthernet(line, strWhy)) {
            strError = strFile + ":" + std::to_string(nLine) + ": '" + model::Printable(line) +
                       "' is not an address ADDR[:PORT]";
            return std::nullopt;
        }
        hosts.emplace_back(line);
    }
    if (hosts.empty()) {
        strError = strFile + ": no addresses";
        return std::nullopt;
    }
    return hosts;
}

}  // namespace vexal::tools
