// vexal_soak: a bounded soak of the configuration library (a program, not a
// test). Sessions on several simulated hubs (TCP, the pty, the simulated USB
// bus) read and write every settings group in a loop, driven round-robin by
// one client thread, while the hubs are put through drops, delays, junk bytes,
// split frames, silences, unplugs and restarts. It prints what was done and what failed, and checks
// that resident memory, descriptors and threads come back to where they were.
// Exit status: 0 checks passed, 1 a check failed, 2 it could not start.
#include <CLI/CLI.hpp>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FaultPlan.h"
#include "HubSimFixture.h"
#include "ProcessFigures.h"
#include "SoakLink.h"
#include "client/CfgLibrary.h"

namespace {

using namespace vexal;
using namespace vexal::soak;
namespace fs = std::filesystem;

struct SOptions {
    int nTcpHubs = 8;
    double dSeconds = 60;
    bool bNoFaults = false;
    bool bNoPty = false;
    bool bNoUsb = false;
    bool bNoRestarts = false;
    double dFaultPeriod = 3;
    double dReopenAfter = 10;
    int nCycleRounds = 0;
    double dWarmUp = 120;
    double dSettle = 120;
    int64_t nRssLimitKiB = 1024;
    bool bNoRssCheck = false;
    bool bKeep = false;
    bool bLibraryLog = false;
};

constexpr int kComNumber = 5;
constexpr auto kIdlePause = std::chrono::milliseconds(20);
constexpr auto kThreadSettle = std::chrono::seconds(5);

// A fresh folder for the pty link, the simulated USB bus and the logs; removed
// at the end unless kept.
class CScratchDir {
public:
    CScratchDir() {
        std::string strTemplate = (fs::temp_directory_path() / "vexal-soak-XXXXXX").string();
        if (::mkdtemp(strTemplate.data()) == nullptr)
            throw std::runtime_error("cannot make a scratch folder under " + fs::temp_directory_path().string());
        m_path = strTemplate;
    }
    ~CScratchDir() {
        std::error_code error;
        if (!m_bKeep) fs::remove_all(m_path, error);
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;
    fs::path Sub(const char* pszName) const {
        fs::create_directories(m_path / pszName);
        return m_path / pszName;
    }
    const fs::path& Path() const { return m_path; }
    void Keep() { m_bKeep = true; }

private:
    fs::path m_path;
    bool m_bKeep = false;
};

// One simulated hub, the session on it and the fault it is under.
struct SHubLink {
    ELinkKind eKind = ELinkKind::Tcp;
    std::unique_ptr<CHubSimFixture> pHub;
    std::unique_ptr<CSoakLink> pLink;
    EFault eFault = EFault::None;
    EFault eLastFault = EFault::None;  // the one before, and when it ended
    Clock::time_point lastFaultEnd{};
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

Clock::duration Duration(double dSeconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(dSeconds));
}

std::u16string Widen(const std::string& str) { return std::u16string(str.begin(), str.end()); }

class CSoak {
public:
    explicit CSoak(const SOptions& options) : m_options(options) {}
    // The run; on failure the scratch folder with the logs is kept.
    int Run();

private:
    int RunChecks();
    // The session's name in the report and its port text for selectInterface.
    struct SPortText {
        std::string strName, strText;
    };
    void AddHub(ELinkKind eKind, CHubSimFixture::Options options, const std::string& strLogName, int32_t nInterface,
                const std::function<SPortText(const CHubSimFixture&)>& fnPortText);
    void StartHubs();
    // Steps every session in turn until fnDone() or the deadline; true when done.
    template <typename TDone>
    bool Drive(Clock::time_point deadline, bool bFaultPlan, TDone fnDone);
    void FollowFaultPlan();
    void SwitchFault(SHubLink& hub, EFault eNext);
    void ClearFaults();
    void CloseAll();
    void SamplePeakThreads();
    void Report(const SProcessFigures& start, const SProcessFigures& end, double dRecoverySeconds, bool bRecovered);

    // Per fault: times switched on, calls made and calls failed under it (None: no fault).
    struct SFaultFigures {
        uint64_t nSwitchedOn = 0, nCalls = 0, nFailed = 0;
    };

    SOptions m_options;
    CScratchDir m_scratch;  // outlives the hubs, which keep files in it
    client::CCfgLibrary m_api;
    std::vector<SHubLink> m_hubs;
    Clock::time_point m_runStart{};
    std::array<SFaultFigures, kFaultKinds> m_faultFigures{};
    uint64_t m_nControlFailures = 0;
    int m_nPeakThreads = 0;
};

void CSoak::AddHub(ELinkKind eKind, CHubSimFixture::Options options, const std::string& strLogName, int32_t nInterface,
                   const std::function<SPortText(const CHubSimFixture&)>& fnPortText) {
    options.strStderrFile = (m_scratch.Path() / ("hubsim-" + strLogName + ".log")).string();
    SHubLink hub;
    hub.eKind = eKind;
    hub.pHub = std::make_unique<CHubSimFixture>(options);
    const SPortText port = fnPortText(*hub.pHub);
    hub.pLink = std::make_unique<CSoakLink>(m_api, port.strName, nInterface, Widen(port.strText),
                                            m_options.dReopenAfter, m_options.nCycleRounds);
    m_hubs.push_back(std::move(hub));
}

void CSoak::StartHubs() {
    for (int i = 0; i < m_options.nTcpHubs; ++i) {
        // One loopback address per hub: a network port is named by its address alone.
        CHubSimFixture::Options options;
        options.strListenAddress = "127.0.0." + std::to_string(2 + i);
        AddHub(ELinkKind::Tcp, options, options.strListenAddress, ZAMO_IF_ETHERNET, [](const CHubSimFixture& hub) {
            const std::string strText = hub.Address() + ":" + std::to_string(hub.Port());
            return SPortText{"tcp " + strText, strText};
        });
    }
    if (!m_options.bNoPty) {
        const std::string strCom = "COM" + std::to_string(kComNumber);
        CHubSimFixture::Options options;
        options.bPty = true;
        options.strComLink = (m_scratch.Sub("dev") / strCom).string();
        options.extraArgs = {"--no-tcp"};
        AddHub(ELinkKind::Pty, options, "pty", ZAMO_IF_SERIAL, [&](const CHubSimFixture&) {
            return SPortText{"pty " + strCom, strCom};
        });
    }
    if (!m_options.bNoUsb) {
        CHubSimFixture::Options options;
        options.strUsbSimDir = m_scratch.Sub("usb").string();
        options.extraArgs = {"--no-tcp"};
        // The session finds the hub on the bus; the port text is not read.
        AddHub(ELinkKind::Usb, options, "usb", ZAMO_IF_USB, [](const CHubSimFixture& hub) {
            return SPortText{"usb " + fs::path(hub.UsbBasePath()).filename().string(), "USB"};
        });
    }
}

void CSoak::SamplePeakThreads() { m_nPeakThreads = std::max(m_nPeakThreads, ReadProcessFigures().nThreads); }

template <typename TDone>
bool CSoak::Drive(Clock::time_point deadline, bool bFaultPlan, TDone fnDone) {
    while (!fnDone()) {
        if (Clock::now() >= deadline) return false;
        bool bWorked = false;
        for (SHubLink& hub : m_hubs) {
            const SLinkStats before = hub.pLink->Stats();
            const EFault eUnder = hub.eFault;
            bWorked = hub.pLink->Step() || bWorked;
            if (bFaultPlan) {
                SFaultFigures& figures = m_faultFigures[static_cast<size_t>(eUnder)];
                figures.nCalls += hub.pLink->Stats().nCalls - before.nCalls;
                figures.nFailed += hub.pLink->Stats().nFailedCalls - before.nFailedCalls;
            }
            SamplePeakThreads();
            if (bFaultPlan) FollowFaultPlan();
        }
        if (!bWorked) std::this_thread::sleep_for(kIdlePause);
    }
    return true;
}

void CSoak::FollowFaultPlan() {
    if (m_options.bNoFaults) return;
    const auto nSlot = static_cast<uint64_t>(Seconds(Clock::now() - m_runStart) / m_options.dFaultPeriod);
    for (size_t i = 0; i < m_hubs.size(); ++i) {
        const EFault eNext = PlannedFault(m_hubs[i].eKind, i, nSlot, !m_options.bNoRestarts);
        if (eNext != m_hubs[i].eFault) SwitchFault(m_hubs[i], eNext);
    }
}

void CSoak::SwitchFault(SHubLink& hub, EFault eNext) {
    auto control = [&](const std::string& strCommand) {
        if (hub.pHub->Control(strCommand).rfind("OK", 0) != 0) ++m_nControlFailures;
    };
    try {
        for (const std::string& strCommand : FaultOffCommands(hub.eFault)) control(strCommand);
        if (hub.eFault != EFault::None) {
            hub.eLastFault = hub.eFault;
            hub.lastFaultEnd = Clock::now();
        }
        hub.eFault = eNext;
        if (eNext == EFault::Restart) {
            hub.pHub->Restart();
            control("PING");  // the control link is open again, as it was at the start
        }
        for (const std::string& strCommand : FaultOnCommands(eNext)) control(strCommand);
        if (eNext != EFault::None) ++m_faultFigures[static_cast<size_t>(eNext)].nSwitchedOn;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "soak: %s: %s\n", hub.pLink->Name().c_str(), error.what());
        ++m_nControlFailures;
    }
}

void CSoak::ClearFaults() {
    for (SHubLink& hub : m_hubs) {
        SwitchFault(hub, EFault::None);
        hub.pLink->MarkRecoveryStart();
    }
}

void CSoak::CloseAll() {
    for (SHubLink& hub : m_hubs) hub.pLink->Close();
}

int CSoak::Run() {
    const int nExit = RunChecks();
    if (nExit != 0 || m_options.bKeep) {
        m_scratch.Keep();
        std::printf("simulator and library logs kept in %s\n", m_scratch.Path().c_str());
    }
    return nExit;
}

int CSoak::RunChecks() {
    // Read by the libraries when they are loaded and when they look for ports.
    ::setenv("VEXAL_DEVICE_DIR", m_scratch.Sub("dev").c_str(), 1);
    ::setenv("VEXAL_USB_SIM_DIR", m_scratch.Sub("usb").c_str(), 1);
    ::setenv("VEXAL_LOG_DIR", m_scratch.Sub("log").c_str(), 1);
    if (m_options.bLibraryLog) ::setenv("VEXAL_LOG", "1", 1);
    try {
        StartHubs();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "soak: cannot start the hubs: %s\n", error.what());
        return 2;
    }
    if (!m_api.Load()) {
        std::fprintf(stderr, "soak: %s\n", m_api.LastError().c_str());
        return 2;
    }
    const Clock::time_point programStart = Clock::now();
    for (SHubLink& hub : m_hubs) {
        hub.pLink->SetEventSink([&hub, programStart](const CSoakLink& link, const std::string& strEvent) {
            const Clock::time_point now = Clock::now();
            std::string strFault = FaultName(hub.eFault);
            if (hub.eFault == EFault::None && hub.eLastFault != EFault::None)
                strFault += ", " + std::string(FaultName(hub.eLastFault)) + " ended " +
                            std::to_string(static_cast<int>(Seconds(now - hub.lastFaultEnd))) + " s before";
            std::printf("  %6.1f s  %s (fault: %s): %s\n", Seconds(now - programStart), link.Name().c_str(),
                        strFault.c_str(), strEvent.c_str());
        });
    }
    std::printf("soak: %d TCP hub(s)%s%s, %.0f s, faults %s, one client thread\n", m_options.nTcpHubs,
                m_options.bNoPty ? "" : " + pty", m_options.bNoUsb ? "" : " + USB", m_options.dSeconds,
                m_options.bNoFaults ? "off" : (m_options.bNoRestarts ? "on (no restarts)" : "on"));

    // Warm-up: first-use allocations and process-wide objects are made here,
    // so that the start figures hold only what a running program keeps.
    const bool bWarm = Drive(Clock::now() + Duration(m_options.dWarmUp), false, [&] {
        return std::all_of(m_hubs.begin(), m_hubs.end(),
                           [](const SHubLink& h) { return h.pLink->Stats().nRounds > 0; });
    });
    CloseAll();
    if (!bWarm) {
        std::printf("FAIL: the warm-up round did not complete within %.0f s\n", m_options.dWarmUp);
        for (const SHubLink& hub : m_hubs)
            if (hub.pLink->Stats().nRounds == 0) std::printf("  %s: no complete round\n", hub.pLink->Name().c_str());
        return 1;
    }
    for (SHubLink& hub : m_hubs) {
        hub.pLink->ResetStats();
        // The fault plan talks to every hub: its control link is open from here on.
        if (hub.pHub->Control("PING") != "OK PONG") ++m_nControlFailures;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const SProcessFigures start = ReadProcessFigures();
    m_nPeakThreads = start.nThreads;
    std::printf(
        "start (after a warm-up round: every session opened, every group read and written once, every "
        "session closed): rss %lld KiB, descriptors %d, threads %d\n",
        static_cast<long long>(start.nRssKiB), start.nDescriptors, start.nThreads);
    std::fflush(stdout);

    m_runStart = Clock::now();
    Drive(m_runStart + Duration(m_options.dSeconds), true, [] { return false; });

    // Faults end; every session must then get through a whole round without a failure.
    ClearFaults();
    const Clock::time_point recoveryStart = Clock::now();
    const bool bRecovered = Drive(recoveryStart + Duration(m_options.dSettle), false, [&] {
        return std::all_of(m_hubs.begin(), m_hubs.end(), [](const SHubLink& h) { return h.pLink->Recovered(); });
    });
    const double dRecoverySeconds = Seconds(Clock::now() - recoveryStart);
    CloseAll();

    // Closing joins the sessions' and ports' threads; a detached late one
    // would still be counted here after the grace.
    const Clock::time_point settleEnd = Clock::now() + kThreadSettle;
    while (ReadProcessFigures().nThreads > start.nThreads && Clock::now() < settleEnd)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const SProcessFigures end = ReadProcessFigures();
    Report(start, end, dRecoverySeconds, bRecovered);

    bool bPass = bRecovered;
    const int64_t nGrowthKiB = end.nRssKiB - start.nRssKiB;
    if (!m_options.bNoRssCheck && nGrowthKiB > m_options.nRssLimitKiB) {
        std::printf("FAIL: resident memory grew by %lld KiB (limit %lld KiB)\n", static_cast<long long>(nGrowthKiB),
                    static_cast<long long>(m_options.nRssLimitKiB));
        bPass = false;
    }
    if (end.nDescriptors != start.nDescriptors) {
        std::printf("FAIL: %d descriptors open at the end, %d at the start\n", end.nDescriptors, start.nDescriptors);
        bPass = false;
    }
    if (end.nThreads != start.nThreads) {
        std::printf("FAIL: %d threads at the end, %d at the start\n", end.nThreads, start.nThreads);
        bPass = false;
    }
    if (!bRecovered) {
        std::printf("FAIL: not every session got through a clean round within %.0f s of the faults' end\n",
                    m_options.dSettle);
        for (const SHubLink& hub : m_hubs)
            if (!hub.pLink->Recovered()) std::printf("  %s did not recover\n", hub.pLink->Name().c_str());
    }
    SLinkStats total;
    for (const SHubLink& hub : m_hubs) total.Add(hub.pLink->Stats());
    if (total.nCloseFailures != 0) {
        std::printf("FAIL: %llu closeService call(s) did not release their session\n",
                    static_cast<unsigned long long>(total.nCloseFailures));
        bPass = false;
    }
    if (m_options.bNoFaults && total.nFailedCalls + total.nOpenFailures != 0) {
        std::printf("FAIL: calls failed although no fault was injected\n");
        bPass = false;
    }
    std::printf("%s\n", bPass ? "PASS" : "FAIL");
    return bPass ? 0 : 1;
}

void CSoak::Report(const SProcessFigures& start, const SProcessFigures& end, double dRecoverySeconds, bool bRecovered) {
    std::printf("\n%-22s %8s %7s %8s %7s %6s %7s %7s %9s %8s\n", "link", "calls", "failed", "wait(s)", "rounds",
                "clean", "opens", "reopens", "openfail", "longest");
    SLinkStats total;
    auto printRow = [](const std::string& strName, const SLinkStats& s) {
        std::printf("%-22s %8llu %7llu %8.1f %7llu %6llu %7llu %7llu %9llu %7.1fs\n", strName.c_str(),
                    static_cast<unsigned long long>(s.nCalls), static_cast<unsigned long long>(s.nFailedCalls),
                    s.dFailedSeconds, static_cast<unsigned long long>(s.nRounds),
                    static_cast<unsigned long long>(s.nCleanRounds), static_cast<unsigned long long>(s.nOpens),
                    static_cast<unsigned long long>(s.nReopens), static_cast<unsigned long long>(s.nOpenFailures),
                    s.dLongestCallSeconds);
    };
    for (const SHubLink& hub : m_hubs) {
        printRow(hub.pLink->Name(), hub.pLink->Stats());
        total.Add(hub.pLink->Stats());
    }
    printRow("total", total);
    std::printf(
        "(calls: settings calls in the run and in the clean round after it; wait: seconds spent in failed "
        "calls, mostly waiting for time-outs; opens and open failures include the reopens)\n");

    std::printf("\nerrors by result code:%s\n", total.errors.empty() ? " none" : "");
    for (const auto& [nCode, nCount] : total.errors) {
        if (nCode >= ZAMO_E_FAIL)
            std::printf("  %d (%s): %llu\n", nCode, client::ResultMeaning(nCode),
                        static_cast<unsigned long long>(nCount));
        else
            std::printf("  hub status %d (custom device change refused): %llu\n", nCode,
                        static_cast<unsigned long long>(nCount));
    }
    std::printf("\n%-12s %9s %8s %7s\n", "fault", "switched", "calls", "failed");
    for (size_t i = 0; i < kFaultKinds; ++i) {
        const SFaultFigures& f = m_faultFigures[i];
        std::printf("%-12s %9llu %8llu %7llu\n", FaultName(static_cast<EFault>(i)),
                    static_cast<unsigned long long>(f.nSwitchedOn), static_cast<unsigned long long>(f.nCalls),
                    static_cast<unsigned long long>(f.nFailed));
    }
    std::printf(
        "(calls made while the link's hub was under the fault, during the run with faults; control commands "
        "refused or unanswered: %llu)\n",
        static_cast<unsigned long long>(m_nControlFailures));
    std::printf("status callbacks: %llu\n", static_cast<unsigned long long>(CSoakLink::StatusEvents()));
    std::printf("%s: %s in %.1f s\n",
                m_options.bNoFaults ? "a clean round after the run" : "recovery after the faults ended (a clean round)",
                bRecovered ? "every session" : "NOT every session", dRecoverySeconds);
    std::printf("\n%-12s %10s %10s %10s\n", "", "start", "peak", "end");
    std::printf("%-12s %10d %10d %10d\n", "threads", start.nThreads, m_nPeakThreads, end.nThreads);
    std::printf("%-12s %10d %10s %10d\n", "descriptors", start.nDescriptors, "", end.nDescriptors);
    std::printf("%-12s %10lld %10s %10lld   (growth %lld KiB%s)\n", "rss KiB", static_cast<long long>(start.nRssKiB),
                "", static_cast<long long>(end.nRssKiB), static_cast<long long>(end.nRssKiB - start.nRssKiB),
                m_options.bNoRssCheck ? ", not checked" : "");
    std::printf("(end: after every session was closed)\n");
}

}  // namespace

int main(int argc, char** argv) {
    SOptions options;
    CLI::App app{
        "Soak of the configuration library: sessions on simulated hubs (TCP, pty, USB) read and write every "
        "settings group while the hubs fail and recover; checks memory, descriptors and threads."};
    app.add_option("--hubs", options.nTcpHubs, "simulated hubs over TCP (127.0.0.2, 127.0.0.3, ...)")
        ->check(CLI::Range(0, 250))
        ->capture_default_str();
    app.add_option("--seconds", options.dSeconds, "length of the run with faults")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_flag("--no-faults", options.bNoFaults, "inject no faults (then any failed call fails the run)");
    app.add_flag("--no-pty", options.bNoPty, "no hub on the pty");
    app.add_flag("--no-usb", options.bNoUsb, "no hub on the simulated USB bus");
    app.add_flag("--no-restarts", options.bNoRestarts, "leave restarts of TCP hubs out of the fault plan");
    app.add_option("--fault-period", options.dFaultPeriod, "seconds per fault slot")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--reopen-after", options.dReopenAfter,
                   "close and reopen a session whose calls have kept failing for this many seconds")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("--cycle-rounds", options.nCycleRounds,
                   "close and open every session again after this many rounds (0: keep them open)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("--warm-up", options.dWarmUp, "limit for the warm-up round, in seconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--settle", options.dSettle, "limit for every session's clean round after the faults, in seconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--rss-limit", options.nRssLimitKiB, "allowed growth of resident memory, KiB")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_flag("--no-rss-check", options.bNoRssCheck,
                 "do not check resident memory (under valgrind it is valgrind's own)");
    app.add_flag("--keep", options.bKeep,
                 "keep the scratch folder with the simulators' and the library's logs "
                 "(kept anyway when a check fails)");
    app.add_flag("--library-log", options.bLibraryLog, "have the libraries write every log line (VEXAL_LOG=1)");
    CLI11_PARSE(app, argc, argv);
    if (options.nTcpHubs == 0 && options.bNoPty && options.bNoUsb) {
        std::fprintf(stderr, "soak: no hub left to soak\n");
        return 2;
    }
    try {
        CSoak soak(options);
        return soak.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "soak: %s\n", error.what());
        return 2;
    }
}
