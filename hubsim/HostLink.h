// One connection to the host: reads and decodes its bytes, and writes the hub's
// frames on a schedule, so delays and split frames never block reading.
#pragma once

#include "FrameCodec.h"
#include "Hub.h"
#include "UniqueFd.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>

namespace hubsim {

using Clock = std::chrono::steady_clock;

// A frame whose rest does not come within this time is given up, so a host that
// vanished mid-frame on a link the hub cannot see close (the pty) does not eat
// the next host's first request.
inline constexpr auto kStaleFrameLimit = std::chrono::milliseconds(2000);

class CHostLink {
public:
    // bFixed: a link the hub cannot close (the pty); a drop there only silences the rest of a frame.
    CHostLink(CHub& hub, CUniqueFd fd, std::string strName, bool bFixed = false);

    int Fd() const { return m_fd.Get(); }
    const std::string& Name() const { return m_context.strName; }
    bool PnpEnabled() const { return m_context.bPnpEnabled; }

    // Reads what is waiting; false when the host closed the link or it failed.
    bool OnReadable();
    // Writes whatever is due; false when the link failed.
    bool Flush(Clock::time_point now);
    bool WantsWrite(Clock::time_point now) const;
    std::optional<Clock::time_point> NextDue() const;
    // True once the frame-count fault has been reached and its replies went out.
    bool ShouldClose() const { return m_bCloseWhenFlushed && m_queuePending.empty(); }

    // Queues a frame, shaped by the current faults (replies are the ones that get delayed).
    void Schedule(const Bytes& frame, bool bReply);
    // Queues bytes exactly as given, faults aside (silence still holds).
    void ScheduleRaw(const Bytes& bytes);

private:
    struct SPending {
        Clock::time_point due;
        Bytes bytes;
        size_t nSent = 0;
    };
    void Push(Clock::time_point due, Bytes bytes);

    CHub& m_hub;
    CUniqueFd m_fd;
    const bool m_bFixed;
    SLinkContext m_context;
    CFrameDecoder m_decoder;
    uint64_t m_nKeepAliveSeen = 0;
    Clock::time_point m_lastRead{};
    uint32_t m_nFramesHere = 0;
    bool m_bCloseWhenFlushed = false;
    std::deque<SPending> m_queuePending;
    size_t m_nPendingBytes = 0;
    Clock::time_point m_lastDue{};
};

}  // namespace hubsim
