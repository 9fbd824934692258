// The devices behind a hub, timed against vexal-hubsim on loopback, each
// figure as a ratio to its goal or to a floor measured in the same run:
//  (1) an idle watch's share of one core (goal < 0.5 %): the watch alone in
//      this process after its open, beside a bare configuration session
//      (what the libraries cost anyway), and `vexalcfg watch` as a process;
//  (2) a status record from the simulator to the event line on the standard
//      output of `vexalcfg watch --json` (goal: one read cycle + 20 ms; the
//      read cycle measured as the time the same record takes to reach a
//      plain port-library user polling its status queue every 0.5 ms);
//  (3) `send` of 1 MiB to a device through the client layer against a plain
//      TCP writer of the same frames (goal >= 0.5 of its rate), both until
//      the hub has taken the last frame.
// Usage: device_timing [idle-seconds=15] [samples=20]
#include "HubSimFixture.h"
#include "ToolChild.h"
#include "client/CfgLibrary.h"
#include "client/HubDevices.h"
#include "client/HubSession.h"
#include "client/PortApiTable.h"
#include "model/DeviceFrames.h"
#include "platform/Clock.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using vexal::client::CCfgLibrary;
using vexal::client::CHubDevices;
using vexal::client::CPortApiTable;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuMs(int nWho) {
    rusage ru{};
    getrusage(nWho, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

// CPU share of one core of this process over nSeconds of sleeping.
double IdleShare(int nSeconds) {
    const double c0 = CpuMs(RUSAGE_SELF);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(nSeconds));
    return (CpuMs(RUSAGE_SELF) - c0) * 100.0 / Ms(Clock::now() - t0);
}

vexal::client::SHubAddress At(const CHubSimFixture& hub) {
    const std::string strText = hub.Address() + ":" + std::to_string(hub.Port());
    return {ZAMO_IF_ETHERNET, strText, strText};
}

struct SStats {
    double dMedian = 0, dMax = 0;
};
SStats Stats(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.back()};
}

// vexalcfg as a child, its lines read as they come.
class CWatchChild : public CToolChild {
public:
    explicit CWatchChild(std::vector<std::string> args) : CToolChild(WithTool(std::move(args))) {}
    // The next line containing strWant; false after nMs.
    bool LineWith(const std::string& strWant, int nMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(nMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return false;
            const auto line = Line(left);
            if (!line) return false;
            if (line->find(strWant) != std::string::npos) return true;
        }
    }

private:
    static std::vector<std::string> WithTool(std::vector<std::string> args) {
        args.insert(args.begin(), VEXALCFG_BINARY);
        return args;
    }
};

// A plain user of the port library: its own port, status back on for
// device 10, its status queue polled every 0.5 ms.
class CPlainPortUser {
public:
    CPlainPortUser(const CPortApiTable& api, const CHubSimFixture& hub) : m_api(api) {
        m_strName = std::u16string(hub.Address().begin(), hub.Address().end());
        DeviceOption option{};
        option.portName = m_strName.c_str();
        option.portType = ZAMO_PORT_NET;
        option.speed = hub.Port();
        m_nPort = m_api.m_pfn_CreatePort(m_strName.c_str(), 10);
        m_api.m_pfn_SetDeviceOption(option, m_nPort, 10);
        if (m_api.m_pfn_OpenPort(m_nPort, 10) == 0) throw std::runtime_error("plain port: no connection");
        Write(vexal::model::kPresenceDevice, vexal::model::PnpEnablePayload());
        for (int i = 0; i < 100 && m_api.m_pfn_AvailableDevId(m_nPort, 0, 10, 10) != 10; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_api.m_pfn_SetAsbMode(1, m_nPort, 10);
        Write(10, vexal::model::StatusBackPayload(true));
        if (!WaitRecord(3000)) throw std::runtime_error("plain port: no status record");
    }
    ~CPlainPortUser() {
        m_api.m_pfn_ClosePort(m_nPort, 10);
        m_api.m_pfn_RemovePort(m_nPort);
    }
    bool WaitRecord(int nMs) {
        uint8_t record[4];
        const auto deadline = Clock::now() + std::chrono::milliseconds(nMs);
        while (Clock::now() < deadline) {
            if (m_api.m_pfn_GetASBState(record, m_nPort, 10) == 1) return true;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return false;
    }

private:
    void Write(uint8_t nDevice, const std::vector<uint8_t>& payload) {
        std::vector<uint8_t> wire;
        vexal::model::AppendFrames(wire, nDevice, payload.data(), payload.size());
        m_api.m_pfn_Write(wire.data(), static_cast<uint32_t>(wire.size()), m_nPort);
    }
    const CPortApiTable& m_api;
    std::u16string m_strName;
    uint32_t m_nPort = 0;
};

// Frames recorded for a device ("RX" answers "OK 0:5 30:256 ...").
long FramesFor(CHubSimFixture& hub, int nDevice) {
    std::istringstream in(hub.Control("RX").substr(2));
    const std::string strKey = std::to_string(nDevice) + ":";
    for (std::string w; in >> w;)
        if (w.rfind(strKey, 0) == 0) return std::stol(w.substr(strKey.size()));
    return 0;
}

double UntilFrames(CHubSimFixture& hub, int nDevice, long nFrames, Clock::time_point t0) {
    while (FramesFor(hub, nDevice) < nFrames) {
        if (Clock::now() - t0 > std::chrono::seconds(60)) return -1;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return Ms(Clock::now() - t0);
}

}  // namespace

int main(int argc, char** argv) {
    const int nIdleSeconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 15;
    const int nSamples = argc > 2 ? std::max(3, std::atoi(argv[2])) : 20;
    ::signal(SIGPIPE, SIG_IGN);
    CCfgLibrary cfg;
    CPortApiTable port;
    if (!cfg.Load() || !port.Load(cfg)) {
        std::fprintf(stderr, "cannot load the libraries: %s %s\n", cfg.LastError().c_str(), port.LastError().c_str());
        return 1;
    }

    // (1) Idle.
    {
        SHubSimOptions hubOptions;
        hubOptions.strListenAddress = "127.0.0.7";
        CHubSimFixture hub(hubOptions);
        double dSession = 0, dWatch = 0;
        {
            vexal::client::CHubSession session(cfg);
            if (!session.Open(ZAMO_IF_ETHERNET, At(hub).strPortText, "bench", 0)) return 1;
            std::this_thread::sleep_for(std::chrono::seconds(1));
            dSession = IdleShare(nIdleSeconds);
        }
        {
            CHubDevices devices(cfg, port);
            if (!devices.Open(At(hub), 0, {})) return 1;
            std::this_thread::sleep_for(std::chrono::seconds(1));
            dWatch = IdleShare(nIdleSeconds);
        }
        const auto t0 = Clock::now();
        CWatchChild watch({"--ethernet", At(hub).strPortText, "watch", "--for", std::to_string(nIdleSeconds)});
        double dChildCpu = 0;
        watch.Wait(std::chrono::seconds(nIdleSeconds + 30), &dChildCpu);
        const double dChild = dChildCpu * 100.0 / Ms(Clock::now() - t0);
        std::printf(
            "(1) idle over %d s: a watch (session, port user, its threads) %.3f %% of a core, a bare session "
            "%.3f %%; `vexalcfg watch --for %d` as a process, its open included, %.3f %%. Ratio to the "
            "0.5 %% goal: %.2f (goal <= 1)\n",
            nIdleSeconds, dWatch, dSession, nIdleSeconds, dChild, dWatch / 0.5);
    }

    // (2) Status record to the event line.
    {
        SHubSimOptions plainHubOptions;
        plainHubOptions.strListenAddress = "127.0.0.8";
        CHubSimFixture plainHub(plainHubOptions);
        std::vector<double> floor;
        {
            CPlainPortUser plain(port, plainHub);
            for (int i = 0; i < nSamples; ++i) {
                const auto t0 = Clock::now();
                plainHub.Control(i % 2 == 0 ? "PRINTER 10 COVER OPEN" : "PRINTER 10 COVER CLOSED");
                if (!plain.WaitRecord(3000)) return 1;
                floor.push_back(Ms(Clock::now() - t0));
                std::this_thread::sleep_for(std::chrono::milliseconds(37 * (i % 4)));  // not in step with the reader
            }
        }
        SHubSimOptions hubOptions;
        hubOptions.strListenAddress = "127.0.0.9";
        CHubSimFixture hub(hubOptions);
        CWatchChild watch({"--ethernet", At(hub).strPortText, "--json", "watch", "--for", "120"});
        if (!watch.LineWith("\"status\"", 10000)) return 1;
        std::vector<double> tool;
        for (int i = 0; i < nSamples; ++i) {
            const auto t0 = Clock::now();
            hub.Control(i % 2 == 0 ? "PRINTER 10 COVER OPEN" : "PRINTER 10 COVER CLOSED");
            if (!watch.LineWith("\"status\"", 3000)) return 1;
            tool.push_back(Ms(Clock::now() - t0));
            std::this_thread::sleep_for(std::chrono::milliseconds(37 * (i % 4)));
        }
        watch.Signal(SIGINT);
        watch.Wait(std::chrono::seconds(10));
        const SStats f = Stats(floor), t = Stats(tool);
        std::printf(
            "(2) status record to the event line, %d samples: vexalcfg watch --json median %.1f ms, max "
            "%.1f ms; the port library's read cycle (plain user) median %.1f ms, max %.1f ms. Ratio to "
            "read cycle + 20 ms: median %.2f, max %.2f (goal <= 1)\n",
            nSamples, t.dMedian, t.dMax, f.dMedian, f.dMax, t.dMedian / (f.dMedian + 20.0), t.dMax / (f.dMax + 20.0));
    }

    // (3) 1 MiB to a device.
    {
        SHubSimOptions hubOptions;
        hubOptions.strListenAddress = "127.0.0.10";
        CHubSimFixture hub(hubOptions);
        hub.Control("PLUG 30 sink");
        std::vector<uint8_t> data(size_t{1} << 20);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13);
        std::vector<uint8_t> wire;
        vexal::model::AppendFrames(wire, 30, data.data(), data.size());
        const long nFrames =
            static_cast<long>((data.size() + vexal::model::kFramePayloadMax - 1) / vexal::model::kFramePayloadMax);
        // The plain writer: a socket of its own, the same frames, blocking sends.
        hub.Control("RX CLEAR");
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(hub.Port());
        ::inet_pton(AF_INET, hub.Address().c_str(), &addr.sin_addr);
        if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the greeting, and the hub ready
        const auto tPlain = Clock::now();
        for (size_t nDone = 0; nDone < wire.size();) {
            const ssize_t n = ::send(s, wire.data() + nDone, wire.size() - nDone, MSG_NOSIGNAL);
            if (n <= 0) return 1;
            nDone += static_cast<size_t>(n);
        }
        const double dPlain = UntilFrames(hub, 30, nFrames, tPlain);
        ::close(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));

        CHubDevices devices(cfg, port);
        vexal::client::SHubDevicesOptions options;
        options.bIdentify = options.bStatusBack = false;
        if (!devices.Open(At(hub), 0, options)) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        hub.Control("RX CLEAR");
        vexal::client::SSendResult result;
        const auto tSend = Clock::now();
        if (!devices.Send(30, data.data(), data.size(), {}, 0, result) || result.eEnd != vexal::client::ESendEnd::Done)
            return 1;
        const double dSendReturned = Ms(Clock::now() - tSend);
        const double dSend = UntilFrames(hub, 30, nFrames, tSend);
        std::printf(
            "(3) 1 MiB to a device over loopback: plain TCP writer %.1f ms (%.1f MiB/s), the client layer's "
            "send %.1f ms (%.1f MiB/s; its call returned after %.1f ms). Ratio of rates: %.3f (goal >= "
            "0.5)\n",
            dPlain, 1000.0 / dPlain, dSend, 1000.0 / dSend, dSendReturned, dPlain / dSend);
    }
    return 0;
}
