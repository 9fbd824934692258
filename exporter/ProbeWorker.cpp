#include "exporter/ProbeWorker.h"

#include "client/CfgLibrary.h"
#include "client/HubDevices.h"
#include "client/PortApiTable.h"
#include "exporter/ProbeMetrics.h"
#include "exporter/ProbeRequest.h"
#include "platform/Clock.h"

#include <unistd.h>

#include <cerrno>

namespace vexal::exporter {

namespace {

// Left at the end for writing the answer and the parent's reading it.
constexpr uint64_t kAnswerReserveMs = 100;

bool WriteAll(const std::string& strData) {
    size_t nDone = 0;
    while (nDone < strData.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, strData.data() + nDone, strData.size() - nDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        nDone += static_cast<size_t>(n);
    }
    return true;
}

int Answer(bool bUp, const std::string& strBody) {
    const bool bWritten = WriteAll(EncodeWorkerAnswer(bUp, strBody));
    ::close(STDOUT_FILENO);  // the parent has its answer: the session's close is no longer its wait
    return bWritten ? 0 : 1;
}

}  // namespace

int RunProbeWorker(const std::string& strTarget, uint64_t nDeadlineMs) {
    std::string strError;
    const auto connection = ParseProbeTarget(strTarget, strError);
    if (!connection) return Answer(false, strError);
    client::CCfgLibrary cfg;
    if (!cfg.Load()) return Answer(false, cfg.LastError());
    client::CPortApiTable port;
    if (!port.Load(cfg)) return Answer(false, port.LastError());
    const uint64_t nSettleUntil = nDeadlineMs > kAnswerReserveMs ? nDeadlineMs - kAnswerReserveMs : 0;
    client::SHubStatus status;
    int nExit = 0;
    // Answered before the session's close, which the parent need not wait for.
    auto answerWith = [&nExit](const client::SHubStatus& taken) {
        const bool bOnline = taken.eLink == client::ELinkState::Online;
        nExit = Answer(bOnline, bOnline ? FormatHubMetrics(&taken) : "the hub's link is off-line");
    };
    if (!client::ProbeHub(cfg, port, *connection, 0, nSettleUntil, status, strError, answerWith))
        return Answer(false, strError);
    return nExit;
}

}  // namespace vexal::exporter
