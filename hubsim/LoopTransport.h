// A transport's thread: one poll loop over its listening socket, its one host
// connection and a wake-up descriptor. Subclasses say how to listen.
#pragma once

#include "HostLink.h"
#include "Hub.h"
#include "UniqueFd.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hubsim {

class CLoopTransport : public ITransport {
public:
    CLoopTransport(CHub& hub, std::string strName, bool bGreet);
    ~CLoopTransport() override;
    CLoopTransport(const CLoopTransport&) = delete;
    CLoopTransport& operator=(const CLoopTransport&) = delete;

    void Post(const Bytes& bytes, EPostKind eKind) override;
    void Sync() override;
    void Kick() override;
    // Host connections accepted so far.
    uint32_t Connections() const { return m_nConnections.load(); }

protected:
    // Called by the subclass's constructor when it is ready, and by its destructor.
    void StartLoop();
    void StopLoop();

    // Listening side; a transport without one (the pty) keeps a fixed link instead.
    virtual bool HasListener() const { return true; }
    virtual bool ListenerWanted(const SFaults& faults) const { return !faults.bRefuse; }
    virtual CUniqueFd OpenListener() = 0;
    virtual void ListenerClosed() {}
    virtual void ConfigureAccepted(int /*fd*/) {}
    // Set before StartLoop by transports without a listener.
    void SetFixedLink(CUniqueFd fd);
    // The listener opened by the constructor, so its address is known before the loop runs.
    void AdoptListener(CUniqueFd fd) { m_listen = std::move(fd); }

    CHub& m_hub;
    const std::string m_strName;

private:
    struct SPosted {
        Bytes bytes;
        EPostKind eKind;
    };
    void Run();
    void Accept();
    void CloseLink(const std::string& strWhy);

    const bool m_bGreet;
    CWakeFd m_wake;
    CUniqueFd m_listen;
    std::unique_ptr<CHostLink> m_pLink;
    bool m_bFixedLink = false;
    std::atomic<uint32_t> m_nConnections{0};
    Clock::time_point m_nextListenTry{};

    std::mutex m_mutex;
    std::condition_variable m_loopDone;
    std::vector<SPosted> m_vecPosted;  // guarded by m_mutex
    uint64_t m_nLoops = 0;             // guarded by m_mutex
    bool m_bStop = false;              // guarded by m_mutex
    std::atomic<bool> m_bKick{false};
    std::thread m_thread;
};

}  // namespace hubsim
