// Probe workers: this program again, one process per probe. A hub that
// does not answer then holds up only its own worker (never the library
// calls of another probe, which share one process-wide gate), a worker that
// overruns its time-out is killed with everything it started, and nothing a
// probe leaves behind outlives its process.
#pragma once
#include "exporter/ProbeRequest.h"

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexal::exporter {

class CWorkerProcesses {
public:
    // A worker that answered is given nGraceMs to close its session and end.
    explicit CWorkerProcesses(uint32_t nGraceMs);
    ~CWorkerProcesses();  // kills and reaps every worker left
    CWorkerProcesses(const CWorkerProcesses&) = delete;
    CWorkerProcesses& operator=(const CWorkerProcesses&) = delete;

    // Starts the program vecArgs names (argv[0] a path) and reads its
    // standard output until it holds a whole answer, the output ends, or
    // the monotonic time nDeadlineMs (platform::TickMs) passes; a worker
    // without an answer by then is killed at once. False with strError
    // when no whole answer came.
    bool Run(const std::vector<std::string>& vecArgs, uint64_t nDeadlineMs, SWorkerAnswer& answer,
             std::string& strError);
    // Workers started and not yet reaped.
    size_t Alive() const;

private:
    struct SChild {
        pid_t nPid;
        uint64_t nKillAtMs;
    };
    void Reap(pid_t nPid, uint64_t nKillAtMs);
    void ReaperThread();

    uint32_t m_nGraceMs;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<SChild> m_vecChildren;  // guarded by m_mutex
    size_t m_nRunning = 0;              // guarded by m_mutex: in Run, not yet handed to the reaper
    bool m_bStop = false;               // guarded by m_mutex
    std::thread m_reaper;
};

}  // namespace vexal::exporter
