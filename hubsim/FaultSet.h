// Faults a test can switch on to see how the host copes with a misbehaving hub.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace hubsim {

enum class ECloseOnAccept { Off, Once, Always };

struct SFaults {
    int nDelayMs = 0;                      // every reply waits this long
    std::set<uint8_t> setNoReply;          // commands left unanswered
    std::set<uint8_t> setWrongHeader;      // commands answered with every checked header byte wrong
    std::map<uint8_t, int> mapShortReply;  // command -> bytes kept (-1: half the reply)
    std::map<uint8_t, int> mapCutReply;    // command -> frame bytes sent before the link drops (-1: half the frame)
    bool bGarbage = false;                 // junk bytes before every frame sent
    size_t nSplitBytes = 0;                // 0: frames go out whole
    int nSplitPauseMs = 0;
    ECloseOnAccept eCloseOnAccept = ECloseOnAccept::Off;
    uint32_t nDropAfterFrames = 0;  // 0: never
    bool bSilent = false;           // reads but never sends a byte
    bool bRefuse = false;           // listening sockets closed

    std::string Describe() const;
};

class CFaultSet {
public:
    SFaults Snapshot() const;
    template <typename Fn>
    void Modify(Fn&& fn) {
        std::lock_guard<std::mutex> lock(m_mutex);
        fn(m_faults);
    }
    // True when the connection just accepted is to be closed; a "once" fault is used up.
    bool TakeCloseOnAccept();

private:
    mutable std::mutex m_mutex;
    SFaults m_faults;  // guarded by m_mutex
};

}  // namespace hubsim
