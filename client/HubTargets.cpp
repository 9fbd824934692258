#include "client/HubTargets.h"

#include "client/ScanRanges.h"
#include "include/zamocfg.h"
#include "platform/DeviceNames.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"

#include <charconv>
#include <vector>

namespace vexal::client {
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

}  // namespace

std::optional<SHubAddress> ParseEthernetTarget(std::string_view strText, std::string& strError) {
    const auto items = SplitColons(strText);
    if (items.size() > 2) {
        strError = "'" + std::string(strText) + "' is not ADDR[:PORT]";
        return std::nullopt;
    }
    const auto address = platform::ParseIPv4(items[0]);
    if (!address) {
        strError = "'" + std::string(items[0]) + "' is not an IPv4 address";
        return std::nullopt;
    }
    long nPort = kDefaultHubPort;
    if (items.size() == 2) {
        const auto n = Number(items[1]);
        if (!n || *n < 1 || *n > 65535) {
            strError = "'" + std::string(items[1]) + "' is not a TCP port (1-65535)";
            return std::nullopt;
        }
        nPort = *n;
    }
    SHubAddress a;
    a.nInterface = ZAMO_IF_ETHERNET;
    a.strPortText = FormatIPv4(*address) + ":" + std::to_string(nPort);
    a.strLabel = a.strPortText;
    return a;
}

std::optional<SHubAddress> ParseSerialTarget(std::string_view strText, std::string& strError) {
    auto items = SplitColons(strText);
    SHubAddress a;
    const std::string strName(items[0]);
    // A device path goes down as it stands: the platform layer opens it.
    const bool bDevicePath = platform::DevicePathOf(platform::Utf16FromUtf8(strName)).has_value();
    if (!bDevicePath && !platform::ParsePortNumber(strName, "COM")) {
        strError = "'" + strName + "' is neither COM<n> nor a device path";
        return std::nullopt;
    }
    a.strLabel = strName;
    items.erase(items.begin());
    for (const auto& item : items)
        if (!Number(item) || *Number(item) < 0) {
            strError = "line setting '" + std::string(item) + "' is not a number";
            if (bDevicePath) strError += " (a ':' ends the device path: name such a device by a link without ':')";
            return std::nullopt;
        }
    if (!items.empty() && *Number(items[0]) == 0) {
        strError = "baud rate 0";
        return std::nullopt;
    }
    if (items.size() == 0 || items.size() == 1) {
        a.nInterface = ZAMO_IF_SERIAL;
        a.strPortText = strName + (items.empty() ? "" : ":" + std::string(items[0]));
    } else if (items.size() == 5) {
        a.nInterface = ZAMO_IF_SERIAL_EXPLICIT;
        a.strPortText = strName;
        for (const auto& item : items) a.strPortText += ":" + std::string(item);
    } else {
        strError = "give BAUD alone or BAUD:DATA:PARITY:STOP:FLOW after the port";
        return std::nullopt;
    }
    return a;
}

}  // namespace vexal::client
