// The shared hub: one state, one fault set, one record of what the host sent,
// served to every transport at once.
#pragma once

#include "FaultSet.h"
#include "FrameCodec.h"
#include "HubState.h"

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace hubsim {

inline constexpr uint8_t kGreetDevice = 254;

// What the hub knows about one host connection.
struct SLinkContext {
    bool bPnpEnabled = false;  // the host sent the enable byte on this connection
    bool bReplyCut = false;    // a reply went out cut short: the link is to drop once it has left
    std::string strName;
};

// How unsolicited bytes are sent: frames are shaped by the link faults like any
// other frame, presence reports only go where PnP was switched on, raw bytes go as given.
enum class EPostKind { Frame, Presence, Raw };

// A transport as the hub sees it: somewhere to push frames nobody asked for.
class ITransport {
public:
    virtual ~ITransport() = default;
    virtual void Post(const Bytes& bytes, EPostKind eKind) = 0;
    // Returns once the transport's loop has seen every change made before the call (bounded wait).
    virtual void Sync() = 0;
    // Drops the current host connection.
    virtual void Kick() = 0;
};

class CHub {
public:
    CHub(CHubState state, std::string strStateFile);

    // One complete frame from the host; returns the frames to send back on the same link.
    std::vector<Bytes> ProcessFrame(const SFrame& frame, SLinkContext& link);
    void AddKeepAlive(uint64_t nCount) { m_nKeepAlive += nCount; }

    CFaultSet& Faults() { return m_faults; }

    void Register(ITransport* pTransport);
    void Unregister(ITransport* pTransport);
    void Broadcast(const Bytes& bytes, EPostKind eKind);
    void SyncTransports();
    void KickAll();

    // Runs fn on the state under the hub's lock; saves the state file when fn returns true.
    template <typename Fn>
    auto WithState(Fn&& fn) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        return fn(m_state);
    }
    // Changes the state under the lock (fn may throw, leaving it unchanged), saves it,
    // and sends a presence report when the set of attached devices changed.
    template <typename Fn>
    void ModifyState(Fn&& fn) {
        bool bDevicesChanged = false;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            const Bytes before = m_state.PresenceList();
            fn(m_state);
            bDevicesChanged = before != m_state.PresenceList();
        }
        SaveAfterChange();
        if (bDevicesChanged) Broadcast(PresenceFrame(), EPostKind::Presence);
    }
    Bytes PresenceFrame();
    // Writes the state file now; false with a reason when it cannot.
    bool SaveState(std::string& strError);

    std::vector<Bytes> Received(uint8_t nDevice);
    std::map<uint8_t, size_t> ReceivedCounts();
    void ClearReceived();
    uint64_t KeepAliveCount() const { return m_nKeepAlive; }
    uint64_t FramesReceived() const { return m_nFramesReceived; }

private:
    void SaveAfterChange();
    Bytes ApplyReplyFaults(uint8_t nCommand, Bytes reply, size_t nHeaderLength);

    std::mutex m_stateMutex;
    CHubState m_state;  // guarded by m_stateMutex
    const std::string m_strStateFile;
    std::mutex m_saveMutex;

    CFaultSet m_faults;

    std::mutex m_transportMutex;
    std::set<ITransport*> m_setTransports;  // guarded by m_transportMutex

    std::mutex m_receivedMutex;
    std::map<uint8_t, std::vector<Bytes>> m_mapReceived;  // guarded by m_receivedMutex
    std::atomic<uint64_t> m_nKeepAlive{0};
    std::atomic<uint64_t> m_nFramesReceived{0};
};

}  // namespace hubsim
