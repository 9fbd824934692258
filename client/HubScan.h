// Finding hubs on a network: which addresses of a list accept a TCP
// connection on the hub's port (many at once, on threads of the probe's own,
// no library call), then what each of them is (a short session through the
// library for its model and firmware). The tool's scan and the utility's
// search share both.
#pragma once
#include "client/CfgLibrary.h"
#include "platform/NetInterfaces.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vexal::client {

struct SProbeOptions {
    uint16_t wPort = 9100;
    int nParallel = 64;                // connection attempts at once
    uint32_t nConnectTimeoutMs = 300;  // per address
};

// A bare TCP connect to every address: an address without a hub costs one
// short connect time-out, never a session open.
class CPortProbe {
public:
    // Told after each address, on a probe thread, one call at a time (under
    // the probe's lock: it must not call the probe back): nDone addresses
    // are done, dwAddress the last of them.
    using CStepFn = std::function<void(size_t nDone, uint32_t dwAddress, bool bOpen)>;

    CPortProbe() = default;
    ~CPortProbe();  // Cancel, then waits for the threads
    CPortProbe(const CPortProbe&) = delete;
    CPortProbe& operator=(const CPortProbe&) = delete;

    // Starts probing and returns at once; a probe still running is cancelled
    // and waited for first.
    void Start(std::vector<uint32_t> vecAddresses, const SProbeOptions& options, CStepFn fnStep = {});
    // No further connect starts; those under way end within their time-out.
    void Cancel();
    // Waits until every thread has ended.
    void Wait();

    struct SProgress {
        size_t nDone = 0, nTotal = 0;
        bool bFinished = true;  // every thread has ended its work
    };
    SProgress Progress() const;
    // The addresses that accepted since the last call, in the order they did.
    std::vector<uint32_t> TakeOpen();

    // An address this computer could not try at all (no route to its
    // network, no socket left, ...): the one earliest in the probe's list
    // and its error. A probe with one cannot tell that nothing is there.
    struct SLocalFailure {
        uint32_t dwAddress = 0;
        int nError = 0;
    };
    std::optional<SLocalFailure> LocalFailure() const;

private:
    void Run();

    std::vector<uint32_t> m_vecAddresses;
    std::vector<platform::SIpv4Interface> m_vecInterfaces;  // to tell broadcast addresses
    SProbeOptions m_options;
    CStepFn m_fnStep;
    std::atomic<size_t> m_nNext{0};
    std::atomic<bool> m_bCancel{false};
    mutable std::mutex m_mutex;  // guards the members below and serialises m_fnStep
    size_t m_nDone = 0;
    size_t m_nRunning = 0;
    std::vector<uint32_t> m_vecOpen;
    std::optional<SLocalFailure> m_localFailure;
    size_t m_nFailureIndex = 0;  // of m_localFailure in m_vecAddresses
    std::vector<std::thread> m_threads;
};

struct SFoundHub {
    std::string strAddress;
    bool bHub = false;  // it answered as a hub
    std::string strModel, strFirmware;
    std::string strError;  // why it did not answer as a hub
};

// Opens a session to dwAddress:wPort, reads the model and firmware, and
// closes it again; nTimeoutSeconds 0 keeps the library's device-ID wait.
// Runs on the library's client thread.
SFoundHub IdentifyHub(const CCfgLibrary& api, uint32_t dwAddress, uint16_t wPort, int nTimeoutSeconds);

}  // namespace vexal::client
