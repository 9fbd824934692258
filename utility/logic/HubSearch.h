// The search behind "Find hubs…", without its window: a probe of the
// addresses on threads of its own, then one short session per address that
// answered, to learn whether a hub is there and which. The sessions are
// library calls: the window runs each as a job of the library thread, one
// after another, so the library thread is never held longer than one open.
//
//   search.Start(addresses, 9100);
//   on a timer:  if (auto a = search.NextToIdentify()) start a job: IdentifyHub(api, *a, ...)
//                                                       then search.Identified(hub)
//                show search.Percent(), search.StatusText(), the rows of Found()
//   "Stop":      search.Stop();
//
// Not thread-safe: every member is called on the thread that owns the window.
#pragma once
#include "client/HubScan.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace vexal::utility {

class CHubSearch {
public:
    enum class EState {
        Idle,       // nothing started
        Searching,  // probing, or identifying what answered
        Stopping,   // stopped; a probe or an identification still ends
        Done,       // every address searched
        Stopped,    // stopped, and everything has ended
    };

    CHubSearch() = default;
    CHubSearch(const CHubSearch&) = delete;
    CHubSearch& operator=(const CHubSearch&) = delete;

    // A new search (the rows of an earlier one go); a probe still running is
    // cancelled and waited for first.
    void Start(std::vector<uint32_t> vecAddresses, uint16_t wPort, int nParallel = 64,
               uint32_t nConnectTimeoutMs = 300);
    // No address is probed or identified any more.
    void Stop();

    // Takes the probe's news and, when no identification runs, the next
    // address to identify (counted as running until Identified).
    std::optional<uint32_t> NextToIdentify();
    // The identification of an address has ended (or could not start: then
    // it goes back to the queue when bStarted is false).
    void Identified(const client::SFoundHub& hub);
    void NotStarted(uint32_t dwAddress);

    EState State();
    bool IsRunning() { return State() == EState::Searching || State() == EState::Stopping; }
    uint16_t Port() const { return m_wPort; }
    // Addresses that answered, as identified, in the order they were.
    const std::vector<client::SFoundHub>& Found() const { return m_vecFound; }
    size_t HubCount() const;
    int Percent() const;  // of the addresses probed
    std::string StatusText();

private:
    client::CPortProbe m_probe;
    uint16_t m_wPort = 0;
    size_t m_nTotal = 0;
    bool m_bStarted = false;
    bool m_bStopRequested = false;
    bool m_bIdentifying = false;
    std::deque<uint32_t> m_queue;
    std::vector<client::SFoundHub> m_vecFound;
};

// What the list shows for an address that answered: address, model,
// firmware; one that did not answer as a hub says so and why.
struct SFoundRow {
    std::string strAddress, strModel, strFirmware;
    bool bUsable = false;  // a hub: the address field can take it
};
SFoundRow FoundRow(const client::SFoundHub& hub);

}  // namespace vexal::utility
