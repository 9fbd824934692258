#include "HostLink.h"

#include "Log.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hubsim {

namespace {
constexpr size_t kMaxPendingBytes = 4 * 1024 * 1024;  // a host that never reads must not grow us forever
// Junk that the host must skip: a lone marker byte, a broken marker, plain noise.
// It never ends in a partial marker, so the real frame after it is not eaten.
const Bytes kGarbage = {0xAA, 'V', 0x00, 'V', 'Q', '!', 0x55, 0x13};
}  // namespace

CHostLink::CHostLink(CHub& hub, CUniqueFd fd, std::string strName, bool bFixed)
    : m_hub(hub), m_fd(std::move(fd)), m_bFixed(bFixed) {
    m_context.strName = std::move(strName);
}

bool CHostLink::OnReadable() {
    uint8_t buffer[4096];
    // A bounded number of reads per wake-up, so a flooding host cannot starve the writes.
    for (int nRead = 0; nRead < 16; ++nRead) {
        const ssize_t n = ::read(m_fd.Get(), buffer, sizeof buffer);
        if (n == 0) return false;
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            LogLine(Name() + ": read failed: " + std::strerror(errno));
            return false;
        }
        const Clock::time_point now = Clock::now();
        if (m_decoder.InFrame() && now - m_lastRead > kStaleFrameLimit) {
            LogLine(Name() + ": unfinished frame given up after a pause");
            m_decoder.Reset();
        }
        m_lastRead = now;
        const SFaults faults = m_hub.Faults().Snapshot();
        m_decoder.Feed(buffer, static_cast<size_t>(n), [&](SFrame&& frame) {
            if (m_bCloseWhenFlushed) return;  // the link is going; later frames are not handled
            for (const Bytes& reply : m_hub.ProcessFrame(frame, m_context)) Schedule(reply, true);
            if (m_context.bReplyCut) {
                m_context.bReplyCut = false;
                if (!m_bFixed) m_bCloseWhenFlushed = true;
            }
            ++m_nFramesHere;
            // A pty cannot be closed: there the drop has nothing to do, and marking
            // the link as going would leave every later request unanswered.
            if (!m_bFixed && faults.nDropAfterFrames != 0 && m_nFramesHere >= faults.nDropAfterFrames)
                m_bCloseWhenFlushed = true;
        });
        const uint64_t nKeepAlive = m_decoder.Stats().nKeepAliveZeros;
        if (nKeepAlive > m_nKeepAliveSeen) {
            m_hub.AddKeepAlive(nKeepAlive - m_nKeepAliveSeen);
            m_nKeepAliveSeen = nKeepAlive;
        }
        if (static_cast<size_t>(n) < sizeof buffer) return true;
    }
    return true;
}

void CHostLink::Push(Clock::time_point due, Bytes bytes) {
    if (m_nPendingBytes + bytes.size() > kMaxPendingBytes) {
        LogLine(Name() + ": host is not reading; " + std::to_string(bytes.size()) + " bytes dropped");
        return;
    }
    if (due < m_lastDue) due = m_lastDue;  // bytes leave in the order they were queued
    m_lastDue = due;
    m_nPendingBytes += bytes.size();
    m_queuePending.push_back(SPending{due, std::move(bytes), 0});
}

void CHostLink::Schedule(const Bytes& frame, bool bReply) {
    const SFaults faults = m_hub.Faults().Snapshot();
    if (faults.bSilent) return;
    Clock::time_point due = Clock::now();
    if (bReply && faults.nDelayMs > 0) due += std::chrono::milliseconds(faults.nDelayMs);
    if (faults.bGarbage) Push(due, kGarbage);
    if (faults.nSplitBytes == 0 || frame.size() <= faults.nSplitBytes) {
        Push(due, frame);
        return;
    }
    for (size_t nOffset = 0; nOffset < frame.size(); nOffset += faults.nSplitBytes) {
        const size_t nEnd = std::min(frame.size(), nOffset + faults.nSplitBytes);
        Push(due, Bytes(frame.begin() + static_cast<std::ptrdiff_t>(nOffset),
                        frame.begin() + static_cast<std::ptrdiff_t>(nEnd)));
        due += std::chrono::milliseconds(faults.nSplitPauseMs);
    }
}

void CHostLink::ScheduleRaw(const Bytes& bytes) {
    if (m_hub.Faults().Snapshot().bSilent || bytes.empty()) return;
    Push(Clock::now(), bytes);
}

bool CHostLink::WantsWrite(Clock::time_point now) const {
    return !m_queuePending.empty() && m_queuePending.front().due <= now;
}

std::optional<Clock::time_point> CHostLink::NextDue() const {
    if (m_queuePending.empty()) return std::nullopt;
    return m_queuePending.front().due;
}

bool CHostLink::Flush(Clock::time_point now) {
    while (!m_queuePending.empty() && m_queuePending.front().due <= now) {
        SPending& item = m_queuePending.front();
        const uint8_t* pData = item.bytes.data() + item.nSent;
        const size_t nLeft = item.bytes.size() - item.nSent;
        ssize_t n = ::send(m_fd.Get(), pData, nLeft, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = ::write(m_fd.Get(), pData, nLeft);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            LogLine(Name() + ": write failed: " + std::strerror(errno));
            return false;
        }
        item.nSent += static_cast<size_t>(n);
        if (item.nSent < item.bytes.size()) return true;
        m_nPendingBytes -= item.bytes.size();
        m_queuePending.pop_front();
        // Pieces of a split frame must reach the host as separate reads.
        if (!m_queuePending.empty() && m_queuePending.front().due > now) break;
    }
    return true;
}

}  // namespace hubsim
