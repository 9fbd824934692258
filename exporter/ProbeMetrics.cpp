#include "exporter/ProbeMetrics.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vexal::exporter {

namespace {

void Family(std::string& out, const char* pszName, const char* pszType, const char* pszHelp) {
    out += "# HELP ";
    out += pszName;
    out += ' ';
    out += pszHelp;
    out += "\n# TYPE ";
    out += pszName;
    out += ' ';
    out += pszType;
    out += '\n';
}

// Shortest text that reads back as the same double ("0.25", "1e-05").
std::string Number(double d) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "+Inf" : "-Inf";
    char buf[32];
    for (int nDigits = 1; nDigits <= 17; ++nDigits) {
        std::snprintf(buf, sizeof buf, "%.*g", nDigits, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    return buf;
}

using Labels = std::initializer_list<std::pair<const char*, std::string_view>>;

void Sample(std::string& out, const char* pszName, Labels labels, const std::string& strValue) {
    out += pszName;
    if (labels.size() != 0) {
        out += '{';
        bool bFirst = true;
        for (const auto& [pszLabel, strValueOfLabel] : labels) {
            if (!bFirst) out += ',';
            bFirst = false;
            out += pszLabel;
            out += "=\"";
            out += EscapeLabelValue(strValueOfLabel);
            out += '"';
        }
        out += '}';
    }
    out += ' ';
    out += strValue;
    out += '\n';
}

}  // namespace

std::string EscapeLabelValue(std::string_view strValue) {
    std::string out;
    out.reserve(strValue.size());
    for (char c : strValue) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

std::string FormatHubMetrics(const client::SHubStatus* pStatus) {
    std::string out;
    Family(out, "vexal_hub_up", "gauge", "1 when the hub answered the probe and its link is on-line, else 0.");
    Sample(out, "vexal_hub_up", {}, pStatus != nullptr && pStatus->eLink == client::ELinkState::Online ? "1" : "0");
    if (pStatus == nullptr || pStatus->eLink != client::ELinkState::Online) return out;
    Family(out, "vexal_hub_info", "gauge", "The hub's model name and firmware version, as labels.");
    Sample(out, "vexal_hub_info", {{"model", pStatus->strModel}, {"firmware", pStatus->strFirmware}}, "1");
    if (!pStatus->vecDevices.empty()) {
        Family(out, "vexal_device_present", "gauge",
               "1 for each device the hub reports present, with its USB identifiers and custom type.");
        for (const client::SDeviceInfo& d : pStatus->vecDevices)
            Sample(out, "vexal_device_present",
                   {{"id", std::to_string(d.nId)}, {"vid", d.strVid}, {"pid", d.strPid}, {"type", d.strCustomType}},
                   "1");
    }
    bool bReasons = false;
    for (const client::SPrinterState& p : pStatus->vecPrinters) {
        for (const std::string& strReason : p.Reasons()) {
            if (!bReasons)
                Family(out, "vexal_printer_reason", "gauge",
                       "1 for each reason of a printer's latest status record (none: in good order).");
            bReasons = true;
            Sample(out, "vexal_printer_reason", {{"id", std::to_string(p.nId)}, {"reason", strReason}}, "1");
        }
    }
    return out;
}

std::string FormatProbeDuration(double dSeconds) {
    std::string out;
    Family(out, "vexal_probe_duration_seconds", "gauge", "How long the probe took, in seconds.");
    Sample(out, "vexal_probe_duration_seconds", {}, Number(dSeconds));
    return out;
}

std::string FormatExporterMetrics(const SExporterFigures& f) {
    std::string out;
    Family(out, "vexal_exporter_probes_total", "counter", "Probes answered with a hub's series, up or down.");
    Sample(out, "vexal_exporter_probes_total", {}, std::to_string(f.nProbes));
    Family(out, "vexal_exporter_probe_failures_total", "counter", "Probes that found the hub down.");
    Sample(out, "vexal_exporter_probe_failures_total", {}, std::to_string(f.nFailures));
    Family(out, "vexal_exporter_probes_shared_total", "counter",
           "Probes answered from a probe of the same hub that another scrape had started.");
    Sample(out, "vexal_exporter_probes_shared_total", {}, std::to_string(f.nShared));
    Family(out, "vexal_exporter_probes_refused_total", "counter",
           "Probes refused with 503: no probe slot came free within the scrape's time-out.");
    Sample(out, "vexal_exporter_probes_refused_total", {}, std::to_string(f.nRefused));
    Family(out, "vexal_exporter_bad_requests_total", "counter", "Requests refused with 400.");
    Sample(out, "vexal_exporter_bad_requests_total", {}, std::to_string(f.nBadRequests));
    Family(out, "vexal_exporter_probes_in_flight", "gauge", "Probes running now.");
    Sample(out, "vexal_exporter_probes_in_flight", {}, std::to_string(f.nInFlight));
    Family(out, "vexal_exporter_max_probes", "gauge", "Probes that may run at once (--max-probes).");
    Sample(out, "vexal_exporter_max_probes", {}, std::to_string(f.nMaxProbes));
    Family(out, "vexal_exporter_probe_duration_seconds", "histogram", "How long the probes took, in seconds.");
    for (size_t i = 0; i < kDurationBuckets.size(); ++i)
        Sample(out, "vexal_exporter_probe_duration_seconds_bucket", {{"le", Number(kDurationBuckets[i])}},
               std::to_string(f.nBucketCounts[i]));
    Sample(out, "vexal_exporter_probe_duration_seconds_bucket", {{"le", "+Inf"}}, std::to_string(f.nProbes));
    Sample(out, "vexal_exporter_probe_duration_seconds_sum", {}, Number(f.dDurationSum));
    Sample(out, "vexal_exporter_probe_duration_seconds_count", {}, std::to_string(f.nProbes));
    return out;
}

}  // namespace vexal::exporter
