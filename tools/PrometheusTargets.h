// The hubs a scan found as a Prometheus file_sd target list, for an exporter
// that probes each hub by its address. Pure.
#pragma once
#include "client/HubScan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexal::tools {

// [{"targets": ["ADDR:PORT", ...], "labels": {"model": MODEL}}, ...]: one
// entry per model (sorted by model, targets in the order given), so every
// series of a hub carries its model with no relabelling beyond the
// exporter's usual target rules. The firmware is left out: a label that
// changes with an update would start new series for every metric.
// Addresses that answered but not as hubs are left out; no hubs give "[]".
std::string PrometheusFileSd(const std::vector<client::SFoundHub>& hubs, uint16_t wPort);

}  // namespace vexal::tools
