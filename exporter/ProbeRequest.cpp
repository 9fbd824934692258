#include "exporter/ProbeRequest.h"

#include "platform/Socket.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace vexal::exporter {

namespace {

constexpr size_t kMaxAnswerBytes = 1 << 20;

}  // namespace

std::optional<client::SHubAddress> ParseProbeTarget(const std::optional<std::string>& target, std::string& strError) {
    if (!target || target->empty()) {
        strError =
            "target: missing; ask for /probe?target=ADDR[:PORT] (a hub's IPv4 address, TCP port 9100 unless given)";
        return std::nullopt;
    }
    // A %00 in the query would otherwise cut the text short unseen.
    if (target->find('\0') != std::string::npos) {
        strError = "target: holds a NUL byte";
        return std::nullopt;
    }
    auto address = client::ParseEthernetTarget(*target, strError);
    if (!address) strError = "target: " + strError;
    return address;
}

std::optional<uint32_t> ProbeBudgetMs(const std::optional<std::string>& header, double dMaxSeconds,
                                      std::string& strError) {
    double dSeconds = dMaxSeconds;
    if (header) {
        const std::string& strHeader = *header;
        char* pEnd = nullptr;
        const double d = std::strtod(strHeader.c_str(), &pEnd);
        const bool bDigitFirst =
            !strHeader.empty() && (std::isdigit(static_cast<unsigned char>(strHeader[0])) || strHeader[0] == '.');
        if (!bDigitFirst || pEnd != strHeader.c_str() + strHeader.size() || !std::isfinite(d) || d <= 0) {
            strError = "X-Prometheus-Scrape-Timeout-Seconds: '" + strHeader + "' is not a number of seconds above 0";
            return std::nullopt;
        }
        dSeconds = std::min(d, dMaxSeconds);
    }
    const double dMargin = std::clamp(dSeconds / 10, 0.05, 0.5);
    return static_cast<uint32_t>(std::max(0.0, dSeconds - dMargin) * 1000);
}

std::optional<SListenAddress> ParseListen(std::string_view strText, std::string& strError) {
    const size_t nColon = strText.find(':');
    const std::string_view strAddress = strText.substr(0, nColon);
    if (!platform::ParseIPv4(strAddress)) {
        strError = "--listen: '" + std::string(strAddress) + "' is not an IPv4 address";
        return std::nullopt;
    }
    SListenAddress listen{std::string(strAddress), kDefaultListenPort};
    if (nColon != std::string_view::npos) {
        const std::string_view strPort = strText.substr(nColon + 1);
        unsigned nPort = 0;
        const auto [p, ec] = std::from_chars(strPort.data(), strPort.data() + strPort.size(), nPort);
        if (strPort.empty() || ec != std::errc() || p != strPort.data() + strPort.size() || nPort > 65535) {
            strError = "--listen: '" + std::string(strPort) + "' is not a TCP port (0-65535)";
            return std::nullopt;
        }
        listen.nPort = static_cast<uint16_t>(nPort);
    }
    return listen;
}

std::string EncodeWorkerAnswer(bool bUp, const std::string& strBody) {
    return (bUp ? "UP " : "DOWN ") + std::to_string(strBody.size()) + "\n" + strBody;
}

EAnswer DecodeWorkerAnswer(std::string_view strOutput, SWorkerAnswer& answer) {
    const size_t nLineEnd = strOutput.find('\n');
    if (nLineEnd == std::string_view::npos) return strOutput.size() > 32 ? EAnswer::Bad : EAnswer::Incomplete;
    const std::string_view strHead = strOutput.substr(0, nLineEnd);
    const size_t nSpace = strHead.find(' ');
    if (nSpace == std::string_view::npos) return EAnswer::Bad;
    const std::string_view strWord = strHead.substr(0, nSpace), strCount = strHead.substr(nSpace + 1);
    if (strWord != "UP" && strWord != "DOWN") return EAnswer::Bad;
    size_t nCount = 0;
    const auto [p, ec] = std::from_chars(strCount.data(), strCount.data() + strCount.size(), nCount);
    if (strCount.empty() || ec != std::errc() || p != strCount.data() + strCount.size() || nCount > kMaxAnswerBytes)
        return EAnswer::Bad;
    const std::string_view strRest = strOutput.substr(nLineEnd + 1);
    if (strRest.size() < nCount) return EAnswer::Incomplete;
    if (strRest.size() > nCount) return EAnswer::Bad;
    answer.bUp = strWord == "UP";
    answer.strBody = std::string(strRest);
    return EAnswer::Complete;
}

}  // namespace vexal::exporter
