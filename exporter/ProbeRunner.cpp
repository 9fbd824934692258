#include "exporter/ProbeRunner.h"

#include "platform/Clock.h"

#include <chrono>
#include <iostream>

namespace vexal::exporter {

namespace {

// A worker that answered closes its session in about one exchange.
constexpr uint32_t kWorkerGraceMs = 3000;

}  // namespace

CProbeRunner::CProbeRunner(std::string strWorker, unsigned nMaxProbes, bool bVerbose)
    : m_strWorker(std::move(strWorker)), m_nMaxProbes(nMaxProbes), m_bVerbose(bVerbose), m_workers(kWorkerGraceMs) {
    m_figures.nMaxProbes = nMaxProbes;
}

void CProbeRunner::CountBadRequest() {
    std::lock_guard lock(m_mutex);
    ++m_figures.nBadRequests;
}

SExporterFigures CProbeRunner::Figures() const {
    std::lock_guard lock(m_mutex);
    SExporterFigures figures = m_figures;
    figures.nInFlight = m_nInFlight;
    return figures;
}

void CProbeRunner::Record(double dSeconds, bool bUp, bool bShared) {
    ++m_figures.nProbes;
    if (!bUp) ++m_figures.nFailures;
    if (bShared) ++m_figures.nShared;
    m_figures.dDurationSum += dSeconds;
    for (size_t i = 0; i < kDurationBuckets.size(); ++i)
        if (dSeconds <= kDurationBuckets[i]) ++m_figures.nBucketCounts[i];
}

void CProbeRunner::Lead(const std::string& strTarget, uint64_t nDeadlineMs, SShared& result) {
    {
        std::unique_lock lock(m_mutex);
        const uint64_t nNow = platform::TickMs();
        const auto wait = std::chrono::milliseconds(nDeadlineMs > nNow ? nDeadlineMs - nNow : 0);
        if (!m_cvSlot.wait_for(lock, wait, [this] { return m_nInFlight < m_nMaxProbes; })) {
            result.bBusy = true;
            result.strBody =
                "no probe slot came free within the time-out (--max-probes " + std::to_string(m_nMaxProbes) + ")";
            return;
        }
        ++m_nInFlight;
    }
    // The worker shares the monotonic clock: it is told the deadline itself.
    SWorkerAnswer answer;
    std::string strError;
    const bool bAnswered =
        m_workers.Run({m_strWorker, "--probe-worker", strTarget, "--deadline-ms", std::to_string(nDeadlineMs)},
                      nDeadlineMs, answer, strError);
    {
        std::lock_guard lock(m_mutex);
        --m_nInFlight;
    }
    m_cvSlot.notify_one();
    result.bUp = bAnswered && answer.bUp;
    result.strBody = bAnswered ? answer.strBody : strError;
}

SProbeAnswer CProbeRunner::Probe(const std::string& strTarget, uint32_t nBudgetMs) {
    const uint64_t nStartMs = platform::TickMs();
    const uint64_t nDeadlineMs = nStartMs + nBudgetMs;
    std::shared_ptr<SShared> shared;
    bool bLeader = false;
    {
        std::lock_guard lock(m_mutex);
        auto& slot = m_mapRunning[strTarget];
        if (!slot) {
            slot = std::make_shared<SShared>();
            slot->nDeadlineMs = nDeadlineMs;
            bLeader = true;
        }
        shared = slot;
    }
    SShared result;
    if (bLeader) {
        Lead(strTarget, nDeadlineMs, result);
        std::lock_guard lock(m_mutex);
        *shared = result;
        shared->bDone = true;
        m_mapRunning.erase(strTarget);
        m_cvDone.notify_all();
    } else {
        std::unique_lock lock(m_mutex);
        if (m_cvDone.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(nBudgetMs),
                                [&] { return shared->bDone; })) {
            result = *shared;
        } else {
            // Not the hub's fault: no down that would look like its answer.
            result.bBusy = true;
            result.strBody =
                "a probe of this hub that another scrape started has not ended within this scrape's "
                "time-out";
        }
    }
    if (result.bBusy) {
        std::lock_guard lock(m_mutex);
        ++m_figures.nRefused;
        return {SProbeAnswer::EKind::Busy, result.strBody};
    }
    const double dSeconds = static_cast<double>(platform::TickMs() - nStartMs) / 1000;
    {
        std::lock_guard lock(m_mutex);
        Record(dSeconds, result.bUp, !bLeader);
    }
    if (!result.bUp && m_bVerbose)
        std::cerr << "vexal-exporter: probe " + strTarget + ": down: " + result.strBody + "\n";
    const std::string strSeries = result.bUp ? result.strBody : FormatHubMetrics(nullptr);
    return {SProbeAnswer::EKind::Metrics, strSeries + FormatProbeDuration(dSeconds)};
}

}  // namespace vexal::exporter
