#include "client/Targets.h"

#include "model/HubText.h"

#include <cctype>

namespace vexal::client {
namespace {

std::string_view Trim(std::string_view str) {
    while (!str.empty() && std::isspace(static_cast<unsigned char>(str.front()))) str.remove_prefix(1);
    while (!str.empty() && std::isspace(static_cast<unsigned char>(str.back()))) str.remove_suffix(1);
    return str;
}

}  // namespace

std::optional<SConnection> ParseEthernet(std::string_view strText, std::string& strError) {
    auto c = client::ParseEthernetTarget(strText, strError);
    if (!c) strError = "--ethernet: " + strError;
    return c;
}

std::optional<SConnection> ParseSerial(std::string_view strText, std::string& strError) {
    auto c = client::ParseSerialTarget(strText, strError);
    if (!c) strError = "--serial: " + strError;
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

}  // namespace vexal::client
