#include "FakeIcmp.h"

#include <algorithm>
#include <cerrno>

#include "platform/Clock.h"
#include "platform/WakeSignal.h"

namespace nettest {

using namespace vexal::platform;

std::vector<uint8_t> EchoReplyDatagram(uint16_t wId, uint8_t type, int ihl, size_t nPayload) {
    const size_t h = static_cast<size_t>(ihl) * 4;
    std::vector<uint8_t> d(h + 8 + nPayload, 0x20);
    std::fill(d.begin(), d.begin() + static_cast<ptrdiff_t>(h + 8), 0);
    d[0] = static_cast<uint8_t>(0x40 | ihl);
    d[h] = type;
    d[h + 4] = static_cast<uint8_t>(wId >> 8);
    d[h + 5] = static_cast<uint8_t>(wId);
    return d;
}

class CFakeIcmpEndpoint : public IIcmpEndpoint {
public:
    explicit CFakeIcmpEndpoint(std::shared_ptr<CFakeIcmpNetwork> pNet) : m_pNet(std::move(pNet)) {
        m_pNet->Register(this);
    }
    ~CFakeIcmpEndpoint() override { m_pNet->Unregister(this); }

    EIcmpPath Path() const override { return EIcmpPath::Raw; }

    int SendTo(std::span<const uint8_t> message, uint32_t) override {
        if (m_bShutdown) return ENOTSOCK;
        m_pNet->OnSend(std::vector<uint8_t>(message.begin(), message.end()));
        return 0;
    }

    EIcmpWait Receive(std::span<uint8_t> buffer, size_t& nLength, uint32_t& dwSource, uint32_t ms,
                      const CWakeSignal* pWake, int& nErr) override {
        nErr = 0;
        const uint64_t nDeadline = TickMs() + ms;
        for (;;) {
            if (m_bShutdown) {
                nErr = ENOTSOCK;
                return EIcmpWait::Failed;
            }
            uint64_t nNextDue = UINT64_MAX;
            {
                std::lock_guard lock(m_pNet->m_mutex);
                auto it = std::min_element(m_pending.begin(), m_pending.end(),
                                           [](const auto& a, const auto& b) { return a.nDueMs < b.nDueMs; });
                if (it != m_pending.end()) {
                    if (it->nDueMs <= TickMs()) {
                        nLength = std::min(buffer.size(), it->datagram.size());
                        std::copy_n(it->datagram.begin(), nLength, buffer.begin());
                        dwSource = it->dwSource;
                        m_pending.erase(it);
                        return EIcmpWait::Received;
                    }
                    nNextDue = it->nDueMs;
                }
            }
            const uint64_t nNow = TickMs();
            if (nNow >= nDeadline) return EIcmpWait::TimedOut;
            const auto nSlice = static_cast<uint32_t>(std::min<uint64_t>({nDeadline - nNow, nNextDue - nNow, 5}));
            if (pWake != nullptr) {
                if (pWake->SleepMs(nSlice)) return EIcmpWait::Woken;
            } else {
                SleepMs(nSlice);
            }
        }
    }

    void Shutdown() override { m_bShutdown = true; }

    std::vector<CFakeIcmpNetwork::SPending> m_pending;  // guarded by the network's mutex

private:
    std::shared_ptr<CFakeIcmpNetwork> m_pNet;
    bool m_bShutdown = false;
};

void CFakeIcmpNetwork::QueueReplies(std::vector<SFakeReply> replies) {
    std::lock_guard lock(m_mutex);
    m_script.push_back(std::move(replies));
}

void CFakeIcmpNetwork::SetDefaultReply(std::vector<SFakeReply> replies) {
    std::lock_guard lock(m_mutex);
    m_default = std::move(replies);
}

void CFakeIcmpNetwork::FailOpens(int nErr) {
    std::lock_guard lock(m_mutex);
    m_nOpenFailure = nErr;
}

IcmpEndpointFactory CFakeIcmpNetwork::Factory() {
    std::weak_ptr<CFakeIcmpNetwork> pWeak = weak_from_this();
    return [pWeak](int& nErr) -> std::unique_ptr<IIcmpEndpoint> {
        auto pNet = pWeak.lock();
        nErr = 0;
        if (!pNet) {
            nErr = ENOENT;
            return nullptr;
        }
        {
            std::lock_guard lock(pNet->m_mutex);
            if (pNet->m_nOpenFailure != 0) {
                nErr = pNet->m_nOpenFailure;
                return nullptr;
            }
        }
        return std::make_unique<CFakeIcmpEndpoint>(pNet);
    };
}

void CFakeIcmpNetwork::OnSend(const std::vector<uint8_t>& request) {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(request);
    std::vector<SFakeReply> replies = m_default;
    if (!m_script.empty()) {
        replies = std::move(m_script.front());
        m_script.pop_front();
    }
    const uint16_t wId = request.size() >= 6 ? static_cast<uint16_t>((request[4] << 8) | request[5]) : 0;
    const uint64_t nNow = TickMs();
    for (const SFakeReply& r : replies) {
        const std::vector<uint8_t> datagram = r.make(wId);
        // Every open endpoint sees every reply.
        for (CFakeIcmpEndpoint* p : m_open) p->m_pending.push_back({nNow + r.nDelayMs, r.dwSource, datagram});
    }
}

void CFakeIcmpNetwork::Register(CFakeIcmpEndpoint* p) {
    std::lock_guard lock(m_mutex);
    m_open.push_back(p);
    ++m_nOpened;
}

void CFakeIcmpNetwork::Unregister(CFakeIcmpEndpoint* p) {
    std::lock_guard lock(m_mutex);
    m_open.erase(std::remove(m_open.begin(), m_open.end(), p), m_open.end());
}

int CFakeIcmpNetwork::RequestsSent() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_requests.size());
}

std::vector<std::vector<uint8_t>> CFakeIcmpNetwork::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int CFakeIcmpNetwork::EndpointsOpened() const {
    std::lock_guard lock(m_mutex);
    return m_nOpened;
}

int CFakeIcmpNetwork::EndpointsOpenNow() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_open.size());
}

}  // namespace nettest
