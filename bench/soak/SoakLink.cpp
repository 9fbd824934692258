#include "SoakLink.h"
#include "client/CfgEntryPoints.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace vexal::soak {

namespace {

constexpr int kFailuresBeforeReopen = 5;
constexpr auto kOpenRetryPause = std::chrono::seconds(1);
// A harmless custom-device entry: added and deleted again in every round.
constexpr uint8_t kCustomType = 2;  // MSR
constexpr const char16_t* kCustomVid = u"1A2B";
constexpr const char16_t* kCustomPid = u"3C4D";
constexpr uint8_t kSerialAdapterId = 100;
constexpr size_t kWlanWriteOffset = 18;  // only bytes 18-591 go back to the hub

std::atomic<uint64_t> g_nStatusEvents{0};

void OnStatus(int32_t) { g_nStatusEvents.fetch_add(1, std::memory_order_relaxed); }

using TextGetter = int32_t (*)(int32_t, ZamoText*);
using ByteGetter = int32_t (*)(int32_t, uint8_t*);

int32_t GetText(TextGetter pfn, int32_t nHandle, std::optional<std::u16string>& out) {
    std::array<char16_t, 256> units{};
    ZamoText text{units.data(), static_cast<uint32_t>(units.size()), 0};
    const int32_t nResult = pfn(nHandle, &text);
    if (nResult == 0) out = std::u16string(units.data(), text.length);
    return nResult;
}

int32_t GetByte(ByteGetter pfn, int32_t nHandle, std::optional<uint8_t>& out) {
    uint8_t byValue = 0;
    const int32_t nResult = pfn(nHandle, &byValue);
    if (nResult == 0) out = byValue;
    return nResult;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

void SLinkStats::Add(const SLinkStats& other) {
    nCalls += other.nCalls;
    nFailedCalls += other.nFailedCalls;
    dFailedSeconds += other.dFailedSeconds;
    dLongestCallSeconds = std::max(dLongestCallSeconds, other.dLongestCallSeconds);
    nRounds += other.nRounds;
    nCleanRounds += other.nCleanRounds;
    nOpens += other.nOpens;
    nOpenFailures += other.nOpenFailures;
    nReopens += other.nReopens;
    nCloseFailures += other.nCloseFailures;
    for (const auto& [nCode, nCount] : other.errors) errors[nCode] += nCount;
}

CSoakLink::CSoakLink(const client::CCfgLibrary& api, std::string strName, int32_t nInterface, std::u16string strPort,
                     double dReopenAfterSeconds, int nCycleRounds)
    : m_api(api),
      m_strName(std::move(strName)),
      m_nInterface(nInterface),
      m_strPort(std::move(strPort)),
      m_reopenAfter(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(dReopenAfterSeconds))),
      m_nCycleRounds(nCycleRounds) {}

uint64_t CSoakLink::StatusEvents() { return g_nStatusEvents.load(); }

std::span<const CSoakLink::SCall> CSoakLink::Calls() {
    // One entry per call, the groups in the order of the utility's pages; a
    // write follows the reads whose values it sends back.
    static const SCall kCalls[] = {
        {"getBluetoothConnectionMode",
         [](CSoakLink& l) -> std::optional<int32_t> {
             int32_t nMode = 0;
             const int32_t n = l.m_api.Fn().m_pfn_getBluetoothConnectionMode(l.m_nHandle, &nMode);
             if (n == 0) l.m_values.nBtMode = nMode;
             return n;
         }},
        {"getBluetoothName",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return GetText(l.m_api.Fn().m_pfn_getBluetoothName, l.m_nHandle, l.m_values.strBtName);
         }},
        {"getBluetoothPinCode",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return GetText(l.m_api.Fn().m_pfn_getBluetoothPinCode, l.m_nHandle, l.m_values.strBtPin);
         }},
        {"getBluetoothAuthentication",
         [](CSoakLink& l) -> std::optional<int32_t> {
             int32_t nEncryption = 0;
             const int32_t n = l.m_api.Fn().m_pfn_getBluetoothAuthentication(l.m_nHandle, &nEncryption);
             if (n == 0) l.m_values.nBtEncryption = nEncryption;
             return n;
         }},
        {"getBluetoothAutoConnection",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return GetByte(l.m_api.Fn().m_pfn_getBluetoothAutoConnection, l.m_nHandle, l.m_values.byBtAuto);
         }},
        {"setBluetoothAutoConnection",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.byBtAuto) return std::nullopt;
             return l.m_api.Fn().m_pfn_setBluetoothAutoConnection(l.m_nHandle, *l.m_values.byBtAuto);
         }},
        {"setBluetoothInfo",
         [](CSoakLink& l) -> std::optional<int32_t> {
             const SValues& v = l.m_values;
             if (!v.nBtMode || !v.strBtName || !v.strBtPin || !v.nBtEncryption) return std::nullopt;
             return l.m_api.Fn().m_pfn_setBluetoothInfo(l.m_nHandle, static_cast<uint8_t>(*v.nBtMode),
                                                        v.strBtName->c_str(), v.strBtPin->c_str(),
                                                        static_cast<uint8_t>(*v.nBtEncryption));
         }},
        {"getLanInfo",
         [](CSoakLink& l) -> std::optional<int32_t> {
             std::array<uint8_t, 30> block{};
             const int32_t n = l.m_api.Fn().m_pfn_getLanInfo(l.m_nHandle, block.data());
             if (n == 0) l.m_values.lan = block;
             return n;
         }},
        {"setLanInfo",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.lan) return std::nullopt;
             uint8_t byStatus = 0;
             return l.m_api.Fn().m_pfn_setLanInfo(l.m_nHandle, l.m_values.lan->data(),
                                                  static_cast<int32_t>(l.m_values.lan->size()), &byStatus);
         }},
        {"getWlanInfo",
         [](CSoakLink& l) -> std::optional<int32_t> {
             std::array<uint8_t, 592> block{};
             const int32_t n = l.m_api.Fn().m_pfn_getWlanInfo(l.m_nHandle, block.data());
             if (n == 0) l.m_values.wlan = block;
             return n;
         }},
        {"setWlanInfo",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.wlan) return std::nullopt;
             std::array<uint8_t, 20> reply{};
             return l.m_api.Fn().m_pfn_setWlanInfo(l.m_nHandle, l.m_values.wlan->data() + kWlanWriteOffset,
                                                   static_cast<int32_t>(l.m_values.wlan->size() - kWlanWriteOffset),
                                                   reply.data());
         }},
        {"getSerialConfiguration",
         [](CSoakLink& l) -> std::optional<int32_t> {
             std::array<uint8_t, 4> line{};
             const int32_t n = l.m_api.Fn().m_pfn_getSerialConfiguration(l.m_nHandle, kSerialAdapterId, &line[0],
                                                                         &line[1], &line[2], &line[3]);
             if (n == 0) l.m_values.serial = line;
             return n;
         }},
        {"setSerialConfiguration",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.serial) return std::nullopt;
             const auto& line = *l.m_values.serial;
             return l.m_api.Fn().m_pfn_setSerialConfiguration(l.m_nHandle, kSerialAdapterId, line[0], line[1], line[2],
                                                              line[3]);
         }},
        {"getCustomDeviceList",
         [](CSoakLink& l) -> std::optional<int32_t> {
             std::array<char16_t, 256> units{};
             ZamoText list{units.data(), static_cast<uint32_t>(units.size()), 0};
             return l.m_api.Fn().m_pfn_getCustomDeviceList(l.m_nHandle, kCustomType, &list);
         }},
        {"addCustomDevice",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return l.m_api.Fn().m_pfn_addCustomDevice(l.m_nHandle, kCustomType, kCustomVid, kCustomPid);
         }},
        {"deleteCustomDevice",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return l.m_api.Fn().m_pfn_deleteCustomDevice(l.m_nHandle, kCustomType, kCustomVid, kCustomPid);
         }},
        {"getTelnetAvailable",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return GetByte(l.m_api.Fn().m_pfn_getTelnetAvailable, l.m_nHandle, l.m_values.byTelnet);
         }},
        {"setTelnetAvailable",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.byTelnet) return std::nullopt;
             return l.m_api.Fn().m_pfn_setTelnetAvailable(l.m_nHandle, *l.m_values.byTelnet);
         }},
        {"getSNMPAvailable",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return GetByte(l.m_api.Fn().m_pfn_getSNMPAvailable, l.m_nHandle, l.m_values.bySnmp);
         }},
        {"setSNMPAvailable",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.bySnmp) return std::nullopt;
             return l.m_api.Fn().m_pfn_setSNMPAvailable(l.m_nHandle, *l.m_values.bySnmp);
         }},
        {"getSNMPROCommunity",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return GetText(l.m_api.Fn().m_pfn_getSNMPROCommunity, l.m_nHandle, l.m_values.strSnmpRo);
         }},
        {"setSNMPROCommunity",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.strSnmpRo) return std::nullopt;
             return l.m_api.Fn().m_pfn_setSNMPROCommunity(l.m_nHandle, l.m_values.strSnmpRo->c_str());
         }},
        {"getSNMPRWCommunity",
         [](CSoakLink& l) -> std::optional<int32_t> {
             return GetText(l.m_api.Fn().m_pfn_getSNMPRWCommunity, l.m_nHandle, l.m_values.strSnmpRw);
         }},
        {"setSNMPRWCommunity",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.strSnmpRw) return std::nullopt;
             return l.m_api.Fn().m_pfn_setSNMPRWCommunity(l.m_nHandle, l.m_values.strSnmpRw->c_str());
         }},
        {"getInterfaceUsageStatus",
         [](CSoakLink& l) -> std::optional<int32_t> {
             std::array<int32_t, 4> usage{};
             const int32_t n =
                 l.m_api.Fn().m_pfn_getInterfaceUsageStatus(l.m_nHandle, &usage[0], &usage[1], &usage[2], &usage[3]);
             if (n == 0) l.m_values.usage = usage;
             return n;
         }},
        {"setInterfaceUsageStatus",
         [](CSoakLink& l) -> std::optional<int32_t> {
             if (!l.m_values.usage) return std::nullopt;
             const auto& u = *l.m_values.usage;
             int32_t nError = 0;
             return l.m_api.Fn().m_pfn_setInterfaceUsageStatus(l.m_nHandle, u[0], u[1], u[2], u[3], &nError);
         }},
    };
    return kCalls;
}

void CSoakLink::StartRound() {
    m_nNextCall = 0;
    m_values = {};
    m_bRoundFailed = false;
    m_roundStart = Clock::now();
}

void CSoakLink::Record(int32_t nResult, double dSeconds) {
    ++m_stats.nCalls;
    m_stats.dLongestCallSeconds = std::max(m_stats.dLongestCallSeconds, dSeconds);
    if (nResult == 0) {
        m_nFailuresInRow = 0;
        return;
    }
    ++m_stats.nFailedCalls;
    ++m_stats.errors[nResult];
    m_stats.dFailedSeconds += dSeconds;
    m_bRoundFailed = true;
    m_lastFailure = Clock::now();
    if (m_nFailuresInRow++ == 0) m_firstFailure = m_lastFailure;
}

void CSoakLink::Tell(const std::string& strEvent) const {
    if (m_fnEvent) m_fnEvent(*this, strEvent);
}

void CSoakLink::Open() {
    ++m_stats.nOpens;
    m_nextOpenTry = Clock::now() + kOpenRetryPause;
    m_nHandle = m_api.Fn().m_pfn_selectInterface(m_nInterface, m_strPort.c_str());
    if (m_nHandle == 0) {
        ++m_stats.nOpenFailures;
        ++m_stats.errors[ZAMO_E_ARGUMENT];
        Tell("selectInterface refused the port text");
        return;
    }
    m_api.Fn().m_pfn_setStatusUpdateEvent(m_nHandle, &OnStatus);
    const int32_t nResult = m_api.Fn().m_pfn_openService(m_nHandle);
    // A device ID (1-254) or a result code.
    if (nResult >= ZAMO_E_FAIL) {
        ++m_stats.nOpenFailures;
        ++m_stats.errors[nResult];
        Tell("open failed: " + std::to_string(nResult) + " (" + client::ResultMeaning(nResult) + ")");
        Close();  // releases the session the failed open leaves registered
        return;
    }
    m_nFailuresInRow = 0;
    StartRound();
}

void CSoakLink::Close() {
    if (m_nHandle == 0) return;
    // The session is released when its port has no other user: every link
    // has a port of its own, so a result other than 0 is a fault.
    if (const int32_t nResult = m_api.Fn().m_pfn_closeService(m_nHandle, 0); nResult != 0) {
        ++m_stats.nCloseFailures;
        Tell("closeService gave " + std::to_string(nResult) + ": the session was not released");
    }
    m_nHandle = 0;
}

bool CSoakLink::Step() {
    const Clock::time_point now = Clock::now();
    if (m_nHandle == 0) {
        if (now < m_nextOpenTry) return false;
        Open();
        return true;
    }
    // Failures alone do not count: the calls must have gone on failing for
    // the whole span (a session visited rarely gets its chance to recover).
    if (m_nFailuresInRow >= kFailuresBeforeReopen && m_lastFailure - m_firstFailure >= m_reopenAfter) {
        ++m_stats.nReopens;
        Tell("reopened after " + std::to_string(m_nFailuresInRow) + " failed calls in a row over " +
             std::to_string(static_cast<int>(std::chrono::duration<double>(m_lastFailure - m_firstFailure).count())) +
             " s");
        Close();
        Open();
        return true;
    }
    const std::span<const SCall> calls = Calls();
    const std::optional<int32_t> nResult = calls[m_nNextCall].pfnRun(*this);
    if (nResult) {
        const double dSeconds = SecondsSince(now);
        Record(*nResult, dSeconds);
        if (*nResult != 0) {
            char szText[160];
            std::snprintf(szText, sizeof szText, "%s gave %d after %.1f s", calls[m_nNextCall].pszName, *nResult,
                          dSeconds);
            Tell(szText);
        }
    }
    if (++m_nNextCall == calls.size()) {
        ++m_stats.nRounds;
        if (!m_bRoundFailed) {
            ++m_stats.nCleanRounds;
            if (m_roundStart >= m_recoveryMark) m_bRecovered = true;
        }
        if (m_nCycleRounds > 0 && m_stats.nRounds % static_cast<uint64_t>(m_nCycleRounds) == 0) {
            Close();
            Open();
        } else {
            StartRound();
        }
    }
    return true;
}

void CSoakLink::MarkRecoveryStart() {
    m_recoveryMark = Clock::now();
    m_bRecovered = false;
    // The round in progress ran under faults: start afresh.
    StartRound();
}

}  // namespace vexal::soak
