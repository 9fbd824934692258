// The pure parts of a probe request: the target, the time it may take, the
// listening address, and the answer a probe worker hands back.
#pragma once
#include "client/HubTargets.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexal::exporter {

inline constexpr uint16_t kDefaultListenPort = 9817;

// GET /probe?target=ADDR[:PORT]: a hub on Ethernet (the TCP port defaults
// to 9100). Nullopt target: the parameter is missing.
std::optional<client::SHubAddress> ParseProbeTarget(const std::optional<std::string>& target, std::string& strError);

// The milliseconds a probe may take: the scrape's time-out (the header
// X-Prometheus-Scrape-Timeout-Seconds, nullopt when absent) but no more than
// dMaxSeconds (--timeout), less a margin for the answer to travel: a tenth,
// at least 50 ms and at most 500 ms. Nullopt with strError for a header
// that is no number of seconds above 0.
std::optional<uint32_t> ProbeBudgetMs(const std::optional<std::string>& header, double dMaxSeconds,
                                      std::string& strError);

struct SListenAddress {
    std::string strAddress;  // dotted IPv4
    uint16_t nPort = 0;      // 0: a free one
};
// --listen ADDR[:PORT] (IPv4; PORT 0 picks a free port).
std::optional<SListenAddress> ParseListen(std::string_view strText, std::string& strError);

// What a probe worker writes to its standard output: "UP <n>\n" and the
// hub's series, or "DOWN <n>\n" and the reason, n bytes each.
std::string EncodeWorkerAnswer(bool bUp, const std::string& strBody);
struct SWorkerAnswer {
    bool bUp = false;
    std::string strBody;  // the series when up, the reason when down
};
enum class EAnswer { Incomplete, Complete, Bad };
// Reads an answer from what the worker wrote so far.
EAnswer DecodeWorkerAnswer(std::string_view strOutput, SWorkerAnswer& answer);

}  // namespace vexal::exporter
