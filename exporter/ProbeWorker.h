// The worker side of a probe: one short session with one hub, its answer
// on standard output (see EncodeWorkerAnswer).
#pragma once
#include <cstdint>
#include <string>

namespace vexal::exporter {

// Probes the hub at strTarget ("ADDR:PORT") so that the answer is written
// before the monotonic time nDeadlineMs (platform::TickMs); the exit status.
int RunProbeWorker(const std::string& strTarget, uint64_t nDeadlineMs);

}  // namespace vexal::exporter
