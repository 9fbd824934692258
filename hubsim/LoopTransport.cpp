#include "LoopTransport.h"

#include "Log.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hubsim {

namespace {
constexpr int kIdlePollMs = 250;
constexpr auto kListenRetry = std::chrono::milliseconds(200);
constexpr auto kSyncLimit = std::chrono::seconds(3);
}  // namespace

CLoopTransport::CLoopTransport(CHub& hub, std::string strName, bool bGreet)
    : m_hub(hub), m_strName(std::move(strName)), m_bGreet(bGreet) {}

CLoopTransport::~CLoopTransport() { StopLoop(); }

void CLoopTransport::StartLoop() {
    m_thread = std::thread([this] { Run(); });
    m_hub.Register(this);
}

void CLoopTransport::StopLoop() {
    if (!m_thread.joinable()) return;
    m_hub.Unregister(this);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_wake.Signal();
    m_thread.join();
    m_pLink.reset();
    if (m_listen.Valid()) {
        m_listen.Reset();
        ListenerClosed();
    }
}

void CLoopTransport::SetFixedLink(CUniqueFd fd) {
    m_pLink = std::make_unique<CHostLink>(m_hub, std::move(fd), m_strName, true);
    m_bFixedLink = true;
}

void CLoopTransport::Post(const Bytes& bytes, EPostKind eKind) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_vecPosted.push_back(SPosted{bytes, eKind});
    }
    m_wake.Signal();
}

void CLoopTransport::Sync() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // Two more passes, each woken at once: the pass running now may have looked
    // at things before the change.
    for (int nPass = 0; nPass < 2; ++nPass) {
        const uint64_t nTarget = m_nLoops + 1;
        m_wake.Signal();
        if (!m_loopDone.wait_for(lock, kSyncLimit, [&] { return m_nLoops >= nTarget || m_bStop; })) break;
    }
}

void CLoopTransport::Kick() {
    m_bKick = true;
    m_wake.Signal();
}

void CLoopTransport::CloseLink(const std::string& strWhy) {
    if (!m_pLink || m_bFixedLink) return;
    LogLine(m_pLink->Name() + ": connection closed (" + strWhy + ")");
    m_pLink.reset();
}

void CLoopTransport::Accept() {
    CUniqueFd fd(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.Valid()) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
            LogLine(m_strName + ": accept failed: " + std::strerror(errno));
        return;
    }
    if (m_hub.Faults().TakeCloseOnAccept()) {
        LogLine(m_strName + ": connection closed right after accepting it (fault)");
        return;
    }
    ConfigureAccepted(fd.Get());
    // One host at a time, as a hub: the newcomer replaces the old connection.
    CloseLink("replaced by a new connection");
    const std::string strLinkName = m_strName + "#" + std::to_string(++m_nConnections);
    m_pLink = std::make_unique<CHostLink>(m_hub, std::move(fd), strLinkName);
    LogLine(strLinkName + ": host connected");
    if (m_bGreet) m_pLink->Schedule(EncodeFrame(kGreetDevice, Bytes{0x00}), false);
}

void CLoopTransport::Run() {
    for (;;) {
        std::vector<SPosted> posted;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_bStop) break;
            posted.swap(m_vecPosted);
        }
        const Clock::time_point now = Clock::now();
        const SFaults faults = m_hub.Faults().Snapshot();

        if (HasListener()) {
            const bool bWanted = ListenerWanted(faults);
            if (bWanted && !m_listen.Valid() && now >= m_nextListenTry) {
                m_listen = OpenListener();
                if (!m_listen.Valid()) m_nextListenTry = now + kListenRetry;
            } else if (!bWanted && m_listen.Valid()) {
                m_listen.Reset();
                ListenerClosed();
                LogLine(m_strName + ": not listening");
            }
        }
        if (m_bKick.exchange(false)) CloseLink("closed on command");

        if (m_pLink) {
            for (const SPosted& item : posted) {
                switch (item.eKind) {
                case EPostKind::Raw: m_pLink->ScheduleRaw(item.bytes); break;
                case EPostKind::Presence:
                    if (m_pLink->PnpEnabled()) m_pLink->Schedule(item.bytes, false);
                    break;
                case EPostKind::Frame: m_pLink->Schedule(item.bytes, false); break;
                }
            }
            if (!m_pLink->Flush(now)) CloseLink("write failed");
        }
        if (m_pLink && m_pLink->ShouldClose()) CloseLink("dropped by a fault");

        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_nLoops;
        }
        m_loopDone.notify_all();

        std::vector<pollfd> fds;
        fds.push_back(pollfd{m_wake.Get(), POLLIN, 0});
        const int nListenIndex = m_listen.Valid() ? static_cast<int>(fds.size()) : -1;
        if (nListenIndex >= 0) fds.push_back(pollfd{m_listen.Get(), POLLIN, 0});
        const int nLinkIndex = m_pLink ? static_cast<int>(fds.size()) : -1;
        int nTimeoutMs = kIdlePollMs;
        if (m_pLink) {
            short nEvents = POLLIN;
            if (m_pLink->WantsWrite(now)) nEvents |= POLLOUT;
            fds.push_back(pollfd{m_pLink->Fd(), nEvents, 0});
            if (const auto due = m_pLink->NextDue()) {
                const auto nWait = std::chrono::duration_cast<std::chrono::milliseconds>(*due - now).count() + 1;
                nTimeoutMs = static_cast<int>(std::clamp<long long>(nWait, 0, kIdlePollMs));
            }
        }
        if (HasListener() && !m_listen.Valid() && ListenerWanted(faults)) nTimeoutMs = std::min(nTimeoutMs, 200);

        const int nReady = ::poll(fds.data(), fds.size(), nTimeoutMs);
        if (nReady < 0) {
            if (errno == EINTR) continue;
            LogLine(m_strName + ": poll failed: " + std::strerror(errno));
            break;
        }
        if (fds[0].revents) m_wake.Drain();
        if (nListenIndex >= 0 && (fds[static_cast<size_t>(nListenIndex)].revents & POLLIN)) Accept();
        // The link may have been replaced by Accept; only act on the one polled.
        if (nLinkIndex >= 0 && m_pLink && m_pLink->Fd() == fds[static_cast<size_t>(nLinkIndex)].fd) {
            const short nRevents = fds[static_cast<size_t>(nLinkIndex)].revents;
            if (nRevents & (POLLIN | POLLHUP | POLLERR)) {
                if (!m_pLink->OnReadable()) {
                    if (m_bFixedLink) {
                        // A pty cannot be replaced; wait a little rather than spin on its hang-up.
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                        continue;
                    }
                    CloseLink("host closed it");
                    continue;
                }
            }
            if (nRevents & POLLNVAL) CloseLink("descriptor invalid");
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStop = true;
    m_loopDone.notify_all();
}

}  // namespace hubsim
