// What a probe and the exporter itself answer, in the Prometheus text
// format (version 0.0.4). Pure: the same input gives the same text.
#pragma once
#include "client/DeviceEvents.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexal::exporter {

inline constexpr const char* kTextFormat = "text/plain; version=0.0.4; charset=utf-8";

// A label value as the text format wants it: backslash, double quote and
// line feed escaped; everything else (UTF-8 included) as it is.
std::string EscapeLabelValue(std::string_view strValue);

// The hub's series: vexal_hub_up 1, its model and firmware, each device
// present and each printer's current reasons. Null: the hub could not be
// reached, and vexal_hub_up 0 is all there is (no series that would look
// like data).
std::string FormatHubMetrics(const client::SHubStatus* pStatus);
// The probe's own time, the last family of every probe's answer.
std::string FormatProbeDuration(double dSeconds);

// The bounds of the exporter's probe-time histogram, in seconds.
inline constexpr std::array<double, 8> kDurationBuckets = {0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30};

struct SExporterFigures {
    uint64_t nProbes = 0;       // answered with the hub's series (up or down)
    uint64_t nFailures = 0;     // of them, the hub down
    uint64_t nShared = 0;       // answered from another scrape's probe of the same hub
    uint64_t nRefused = 0;      // 503: no probe slot free within the time-out
    uint64_t nBadRequests = 0;  // 400
    uint64_t nInFlight = 0;
    uint64_t nMaxProbes = 0;
    std::array<uint64_t, kDurationBuckets.size()> nBucketCounts{};  // cumulative, as exposed
    double dDurationSum = 0;
};
// The exporter's /metrics.
std::string FormatExporterMetrics(const SExporterFigures& figures);

}  // namespace vexal::exporter
