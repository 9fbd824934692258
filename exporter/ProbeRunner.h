// The probes of one exporter: at most nMaxProbes workers at once, a probe
// beyond them waiting for a slot within its own time-out; scrapes of the
// same hub that overlap share one probe (a hub serves one host at a time:
// a second connection would take the first one's place and both would
// look down); and the figures of /metrics.
#pragma once
#include "exporter/ProbeMetrics.h"
#include "exporter/WorkerProcesses.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace vexal::exporter {

struct SProbeAnswer {
    enum class EKind { Metrics, Busy } eKind = EKind::Metrics;
    std::string strBody;  // Metrics: the whole text; Busy: the reason
};

class CProbeRunner {
public:
    // strWorker: the program run as a worker (this one), with
    // --probe-worker TARGET --deadline-ms TICK.
    CProbeRunner(std::string strWorker, unsigned nMaxProbes, bool bVerbose);

    // Probes the hub (its port text "ADDR:PORT") within nBudgetMs.
    SProbeAnswer Probe(const std::string& strTarget, uint32_t nBudgetMs);
    void CountBadRequest();
    SExporterFigures Figures() const;

private:
    struct SShared {
        bool bDone = false;
        bool bUp = false;
        bool bBusy = false;
        std::string strBody;  // the hub's series, or why not
        uint64_t nDeadlineMs = 0;
    };
    // Runs one worker for a probe that no other scrape shares yet.
    void Lead(const std::string& strTarget, uint64_t nDeadlineMs, SShared& result);
    void Record(double dSeconds, bool bUp, bool bShared);

    std::string m_strWorker;
    unsigned m_nMaxProbes;
    bool m_bVerbose;
    CWorkerProcesses m_workers;

    mutable std::mutex m_mutex;
    std::condition_variable m_cvSlot;                              // a slot came free
    std::condition_variable m_cvDone;                              // a shared probe ended
    unsigned m_nInFlight = 0;                                      // guarded by m_mutex
    std::map<std::string, std::shared_ptr<SShared>> m_mapRunning;  // guarded by m_mutex: by target
    SExporterFigures m_figures;                                    // guarded by m_mutex
};

}  // namespace vexal::exporter
