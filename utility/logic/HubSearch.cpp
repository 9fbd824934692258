#include "utility/logic/HubSearch.h"

#include <algorithm>

namespace vexal::utility {

void CHubSearch::Start(std::vector<uint32_t> vecAddresses, uint16_t wPort, int nParallel, uint32_t nConnectTimeoutMs) {
    m_wPort = wPort;
    m_nTotal = vecAddresses.size();
    m_bStarted = true;
    m_bStopRequested = false;
    m_queue.clear();
    m_vecFound.clear();
    m_probe.Start(std::move(vecAddresses), {wPort, nParallel, nConnectTimeoutMs});
}

void CHubSearch::Stop() {
    if (!m_bStarted) return;
    m_bStopRequested = true;
    m_probe.Cancel();
    m_queue.clear();
}

std::optional<uint32_t> CHubSearch::NextToIdentify() {
    for (uint32_t dwAddress : m_probe.TakeOpen())
        if (!m_bStopRequested) m_queue.push_back(dwAddress);
    if (m_bIdentifying || m_queue.empty()) return std::nullopt;
    const uint32_t dwAddress = m_queue.front();
    m_queue.pop_front();
    m_bIdentifying = true;
    return dwAddress;
}

void CHubSearch::Identified(const client::SFoundHub& hub) {
    m_bIdentifying = false;
    m_vecFound.push_back(hub);
}

void CHubSearch::NotStarted(uint32_t dwAddress) {
    m_bIdentifying = false;
    if (!m_bStopRequested) m_queue.push_front(dwAddress);
}

CHubSearch::EState CHubSearch::State() {
    if (!m_bStarted) return EState::Idle;
    // Open addresses the probe found since the last look are still work.
    for (uint32_t dwAddress : m_probe.TakeOpen())
        if (!m_bStopRequested) m_queue.push_back(dwAddress);
    const bool bEnded = m_probe.Progress().bFinished && !m_bIdentifying && m_queue.empty();
    if (m_bStopRequested) return bEnded ? EState::Stopped : EState::Stopping;
    return bEnded ? EState::Done : EState::Searching;
}

size_t CHubSearch::HubCount() const {
    return static_cast<size_t>(
        std::count_if(m_vecFound.begin(), m_vecFound.end(), [](const client::SFoundHub& h) { return h.bHub; }));
}

int CHubSearch::Percent() const {
    const auto progress = m_probe.Progress();
    return m_nTotal == 0 ? 0 : static_cast<int>(progress.nDone * 100 / m_nTotal);
}

std::string CHubSearch::StatusText() {
    const size_t nHubs = HubCount();
    const std::string strHubs = nHubs == 0   ? "no hub found"
                                : nHubs == 1 ? "1 hub found"
                                             : std::to_string(nHubs) + " hubs found";
    const size_t nDone = m_probe.Progress().nDone;
    switch (State()) {
    case EState::Idle: return "Give the addresses to search and press Search.";
    case EState::Searching:
        if (nDone < m_nTotal)
            return "Searching on TCP port " + std::to_string(m_wPort) + ": " + std::to_string(nDone) + " of " +
                   std::to_string(m_nTotal) + " addresses, " + strHubs + ".";
        return "Asking the addresses that answered which hub they are: " + strHubs + ".";
    case EState::Stopping: return "Stopping…";
    case EState::Done: return "Done: " + std::to_string(m_nTotal) + " addresses searched, " + strHubs + ".";
    case EState::Stopped:
        return "Stopped after " + std::to_string(nDone) + " of " + std::to_string(m_nTotal) + " addresses: " + strHubs +
               ".";
    }
    return {};
}

SFoundRow FoundRow(const client::SFoundHub& hub) {
    if (hub.bHub) return {hub.strAddress, hub.strModel, hub.strFirmware, true};
    return {hub.strAddress, "(not a hub)", hub.strError, false};
}

}  // namespace vexal::utility
