#include "client/HubScan.h"

#include "client/HubSession.h"
#include "client/ScanRanges.h"
#include "platform/Socket.h"

#include <algorithm>
#include <utility>

namespace vexal::client {

CPortProbe::~CPortProbe() {
    Cancel();
    Wait();
}

void CPortProbe::Start(std::vector<uint32_t> vecAddresses, const SProbeOptions& options, CStepFn fnStep) {
    Cancel();
    Wait();
    m_vecAddresses = std::move(vecAddresses);
    m_vecInterfaces = platform::ListIpv4Interfaces();
    m_options = options;
    m_fnStep = std::move(fnStep);
    m_nNext = 0;
    m_bCancel = false;
    const size_t nThreads =
        std::min<size_t>(static_cast<size_t>(std::max(options.nParallel, 1)), m_vecAddresses.size());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nDone = 0;
        m_nRunning = nThreads;
        m_vecOpen.clear();
        m_localFailure.reset();
    }
    for (size_t t = 0; t < nThreads; ++t) m_threads.emplace_back([this] { Run(); });
}

void CPortProbe::Run() {
    for (size_t i; !m_bCancel && (i = m_nNext.fetch_add(1)) < m_vecAddresses.size();) {
        const uint32_t dwAddress = m_vecAddresses[i];
        platform::CTcpSocket socket;
        bool bOpen = false;
        bool bLocal = false;
        int nErr = socket.Create();
        if (nErr == 0) nErr = socket.SetNonBlocking();
        if (nErr != 0) {
            bLocal = true;  // the socket itself, not the address
        } else if ((nErr = socket.StartConnect(dwAddress, m_options.wPort)) != 0) {
            bLocal = platform::IsLocalNetworkError(nErr);
        } else {
            switch (socket.WaitWritable(m_options.nConnectTimeoutMs, nullptr, nErr)) {
            case platform::ESocketWait::Ready: bOpen = true; break;
            case platform::ESocketWait::Exception: bLocal = platform::IsLocalNetworkError(nErr); break;
            case platform::ESocketWait::Failed: bLocal = true; break;
            case platform::ESocketWait::TimedOut:
            case platform::ESocketWait::Woken: break;
            }
        }
        socket.Close();
        // A range across a network of the PC's own holds its broadcast address:
        // nothing there, not a network that cannot be reached.
        if (bLocal && IsLocalBroadcast(dwAddress, m_vecInterfaces)) bLocal = false;
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nDone;
        if (bOpen) m_vecOpen.push_back(dwAddress);
        // The earliest address in the list, not the first to fail: threads
        // finish in any order and a report should not change from run to run.
        if (bLocal && (!m_localFailure || i < m_nFailureIndex)) {
            m_localFailure = SLocalFailure{dwAddress, nErr};
            m_nFailureIndex = i;
        }
        if (m_fnStep) m_fnStep(m_nDone, dwAddress, bOpen);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_nRunning;
}

void CPortProbe::Cancel() { m_bCancel = true; }

void CPortProbe::Wait() {
    for (auto& t : m_threads) t.join();
    m_threads.clear();
}

CPortProbe::SProgress CPortProbe::Progress() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_nDone, m_vecAddresses.size(), m_nRunning == 0};
}

std::optional<CPortProbe::SLocalFailure> CPortProbe::LocalFailure() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_localFailure;
}

std::vector<uint32_t> CPortProbe::TakeOpen() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_vecOpen, {});
}

SFoundHub IdentifyHub(const CCfgLibrary& api, uint32_t dwAddress, uint16_t wPort, int nTimeoutSeconds) {
    SFoundHub found;
    found.strAddress = FormatIPv4(dwAddress);
    CHubSession session(api);
    found.bHub = session.Open(ZAMO_IF_ETHERNET, found.strAddress + ":" + std::to_string(wPort), found.strAddress,
                              nTimeoutSeconds) &&
                 session.ReadModel(found.strModel, found.strFirmware);
    // Something listens on the port but does not answer as a hub (a printer, say).
    if (!found.bHub) found.strError = session.Error();
    return found;
}

}  // namespace vexal::client
