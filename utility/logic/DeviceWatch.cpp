#include "utility/logic/DeviceWatch.h"

namespace vexal::utility {

namespace {
// How long the relay waits for an event before it looks whether the queue
// was closed (Close ends a waiting Wait at once anyway).
constexpr uint32_t kRelayWaitMs = 500;
}  // namespace

CDeviceWatch::CDeviceWatch(const client::CCfgLibrary& cfg, int32_t nSession, client::SHubAddress address)
    : m_cfg(cfg), m_nSession(nSession), m_address(std::move(address)) {}

CDeviceWatch::~CDeviceWatch() { Stop(); }

bool CDeviceWatch::Start(EventFn fnEvent, std::string& strError) {
    Stop();
    if (!m_port.IsBound() && !m_port.Load(m_cfg)) {
        strError = m_port.LastError();
        return false;
    }
    auto pDevices = std::make_unique<client::CHubDevices>(m_cfg, m_port);
    if (!pDevices->Attach(m_nSession, m_address, {})) {
        strError = pDevices->Error();
        return false;
    }
    std::shared_ptr<client::CDeviceEventQueue> pQueue = pDevices->Subscribe(true);
    m_pDevices = std::move(pDevices);
    m_relay = std::thread([pQueue, fn = std::move(fnEvent)] {
        for (;;) {
            if (auto event = pQueue->Wait(kRelayWaitMs))
                fn(std::move(*event));
            else if (pQueue->IsClosed())
                return;
        }
    });
    return true;
}

void CDeviceWatch::Stop() {
    // Close ends the queue, so the relay passes on what is left and ends.
    if (m_pDevices) m_pDevices->Close();
    if (m_relay.joinable()) m_relay.join();
    m_pDevices.reset();
}

}  // namespace vexal::utility
