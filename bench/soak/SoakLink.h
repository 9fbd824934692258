// One session of the soak on one hub: opened like a client opens it, then
// every settings group read and written back, one call per step, round after
// round. A session whose calls have kept failing for longer than a limit is
// closed and opened again, as a client would; everything is counted.
#pragma once
#include "client/CfgLibrary.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace vexal::soak {

using Clock = std::chrono::steady_clock;

struct SLinkStats {
    uint64_t nCalls = 0;        // settings calls made
    uint64_t nFailedCalls = 0;  // of them, those that did not give 0
    double dFailedSeconds = 0;  // time spent in failed calls (mostly waits for time-outs)
    double dLongestCallSeconds = 0;
    uint64_t nRounds = 0;       // every group read and written once
    uint64_t nCleanRounds = 0;  // rounds without a failed call
    uint64_t nOpens = 0;        // openService calls
    uint64_t nOpenFailures = 0;
    uint64_t nReopens = 0;               // closed and opened again after failing too long
    uint64_t nCloseFailures = 0;         // closeService that did not release the session
    std::map<int32_t, uint64_t> errors;  // result code (hub status byte for custom devices) -> count

    void Add(const SLinkStats& other);
};

class CSoakLink {
public:
    // nCycleRounds > 0: close and open again after every that many rounds,
    // as a client that connects, configures and disconnects.
    CSoakLink(const client::CCfgLibrary& api, std::string strName, int32_t nInterface, std::u16string strPort,
              double dReopenAfterSeconds, int nCycleRounds);
    ~CSoakLink() { Close(); }
    CSoakLink(const CSoakLink&) = delete;
    CSoakLink& operator=(const CSoakLink&) = delete;

    const std::string& Name() const { return m_strName; }
    bool IsOpen() const { return m_nHandle != 0; }

    // Opens a closed session (at most once a second), reopens one that has
    // failed for too long, or makes the next call of the round. False when
    // there was nothing to do yet.
    bool Step();
    // closeService until the session is released.
    void Close();

    // Starts a new round; from now on a round that ends without a failed
    // call counts as recovery.
    void MarkRecoveryStart();
    bool Recovered() const { return m_bRecovered; }

    const SLinkStats& Stats() const { return m_stats; }
    void ResetStats() { m_stats = {}; }

    // Told of failed calls and opens, reopens and closes that kept the session.
    using EventSink = std::function<void(const CSoakLink& link, const std::string& strEvent)>;
    void SetEventSink(EventSink fnSink) { m_fnEvent = std::move(fnSink); }

    // Status callbacks received by all sessions (device on/off line, alarms).
    static uint64_t StatusEvents();

private:
    // What the round's reads found, written back by its writes.
    struct SValues {
        std::optional<int32_t> nBtMode, nBtEncryption;
        std::optional<std::u16string> strBtName, strBtPin, strSnmpRo, strSnmpRw;
        std::optional<uint8_t> byBtAuto, byTelnet, bySnmp;
        std::optional<std::array<uint8_t, 30>> lan;
        std::optional<std::array<uint8_t, 592>> wlan;
        std::optional<std::array<uint8_t, 4>> serial;
        std::optional<std::array<int32_t, 4>> usage;
    };
    struct SCall {
        const char* pszName;
        // The call's result, or nothing when the read it writes back failed.
        std::optional<int32_t> (*pfnRun)(CSoakLink& link);
    };
    static std::span<const SCall> Calls();

    void Open();
    void StartRound();
    void Record(int32_t nResult, double dSeconds);
    void Tell(const std::string& strEvent) const;

    const client::CCfgLibrary& m_api;
    std::string m_strName;
    int32_t m_nInterface;
    std::u16string m_strPort;
    Clock::duration m_reopenAfter;
    int m_nCycleRounds;

    int32_t m_nHandle = 0;
    Clock::time_point m_nextOpenTry{};
    size_t m_nNextCall = 0;
    SValues m_values;
    bool m_bRoundFailed = false;
    Clock::time_point m_roundStart{};
    int m_nFailuresInRow = 0;
    Clock::time_point m_firstFailure{}, m_lastFailure{};
    Clock::time_point m_recoveryMark = Clock::time_point::max();
    bool m_bRecovered = false;
    SLinkStats m_stats;
    EventSink m_fnEvent;
};

}  // namespace vexal::soak
