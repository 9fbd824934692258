// Times each hub query of a session against vexal-hubsim on loopback and
// prints, per command, the median and 95th percentile beside the floor that
// the fixed pauses imply, the sum of:
//   writes    50 ms after every send of the network port (one per frame
//             piece; a query to a device behind the hub sends two frames)
//   exchange  3 x 10 ms: the pauses after both waits and before the read
//   poll      one poll interval of the first wait (time-out / 50 ms), the
//             longest a reply can sit in the queue unnoticed
// The reader thread's 100 ms pause between read cycles is printed last: a
// reply that lands in it waits for the next read cycle.
//
//   cfglib_bench [iterations]        (default 20)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "HubSimFixture.h"
#include "cfglib/ZamoCtrl.h"
#include "cfglib/ZamoText.h"

using vexal::cfg::CZamoConfigurationCtrl;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kWritePauseMs = 50;
constexpr double kExchangePausesMs = 30;
constexpr double kReaderPauseMs = 100;

struct SCommand {
    const char* pszName;
    uint32_t dwTimeoutMs;  // 0: no reply awaited
    int nWrites;           // sends of the port per call
    std::function<int32_t()> fnRun;
};

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

}  // namespace

int main(int argc, char** argv) {
    const int nIterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    CHubSimFixture hub;
    CZamoConfigurationCtrl session;
    const std::string strPort = hub.Address() + ":" + std::to_string(hub.Port());
    if (session.selectInterface(2, std::u16string(strPort.begin(), strPort.end())) != 0 ||
        session.openServiceById(10) != 10) {
        std::fprintf(stderr, "cannot open a session to the simulator (result %d)\n", session.m_nResult);
        return 1;
    }

    std::vector<char16_t> storage(1024);
    ZamoText text{storage.data(), static_cast<uint32_t>(storage.size()), 0};
    auto fresh = [&]() -> ZamoText* {
        text.length = 0;
        return &text;
    };
    std::vector<uint8_t> block(600);
    uint8_t b1 = 0, b2 = 0, b3 = 0, b4 = 0;
    int32_t n1 = 0, n2 = 0, n3 = 0, n4 = 0;
    std::u16string strValue;

    const std::vector<SCommand> commands = {
        {"model name (50)", 1500, 1,
         [&] {
             session.m_strModelName.clear();
             return session.GetVexalModelName(session.m_strModelName);
         }},
        {"firmware version (51)", 1500, 1,
         [&] {
             session.m_strVexalFWVersion.clear();
             return session.GetVexalFWVersion(session.m_strVexalFWVersion);
         }},
        {"USB list (44)", 1500, 1, [&] { return session.getUsbList(fresh()); }},
        {"USB IDs (45)", 1500, 1,
         [&] {
             ZamoText t2 = text;
             return session.getUsbInfoByDevId(20, fresh(), &t2);
         }},
        {"GS I device name (1D 49 43)", 1500, 2, [&] { return session.getDeviceInfoByGSI(0x43, strValue); }},
        {"device ID list", 0, 0,
         [&] {
             int32_t n = 0;
             return session.getDevIdList(block.data(), &n);
         }},
        {"PnP enable (01, forced)", 0, 1, [&] { return session.enablePNP(1); }},
        {"BT connection mode (10)", 3000, 1, [&] { return session.getBluetoothConnectionMode(&n1); }},
        {"BT name (11)", 3000, 1, [&] { return session.getBluetoothName(fresh()); }},
        {"BT PIN (12)", 3000, 1, [&] { return session.getBluetoothPinCode(fresh()); }},
        {"BT encryption (13)", 3000, 1, [&] { return session.getBluetoothAuthentication(&n1); }},
        {"BT auto connection (58)", 3000, 1, [&] { return session.getBluetoothAutoConnection(&b1); }},
        {"LAN block (24)", 6000, 1, [&] { return session.getLanInfo(block.data()); }},
        {"WLAN block (20)", 6000, 1, [&] { return session.getWlanInfo(block.data()); }},
        {"serial settings (03)", 3000, 1, [&] { return session.getSerialConfiguration(100, &b1, &b2, &b3, &b4); }},
        {"custom devices (40)", 3000, 1, [&] { return session.getCustomDeviceList(1, fresh()); }},
        {"telnet (D0)", 3000, 1, [&] { return session.getTelnetAvailable(&b1); }},
        {"SNMP (D2)", 3000, 1, [&] { return session.getSNMPAvailable(&b1); }},
        {"SNMP RO community (D4)", 3000, 1, [&] { return session.getSNMPROCommunity(fresh()); }},
        {"SNMP RW community (D6)", 3000, 1, [&] { return session.getSNMPRWCommunity(fresh()); }},
        {"interface usage (0E)", 3000, 1, [&] { return session.getInterfaceUsageStatus(&n1, &n2, &n3, &n4); }},
    };

    std::printf("%d iterations per command, simulator on %s\n", nIterations, strPort.c_str());
    std::printf("%-28s %7s %9s %9s %9s %7s %7s %s\n", "command", "poll", "floor", "median", "p95", "med/fl", "p95-fl",
                "failures");
    for (const SCommand& command : commands) {
        std::vector<double> times;
        int nFailures = 0;
        for (int i = 0; i < nIterations; ++i) {
            const auto start = Clock::now();
            const int32_t nResult = command.fnRun();
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (nResult != 0) ++nFailures;
        }
        const double dPoll = command.dwTimeoutMs / 50.0;
        const double dFloor =
            command.nWrites * kWritePauseMs + (command.dwTimeoutMs != 0 ? kExchangePausesMs + dPoll : 0.0);
        const double dMedian = Percentile(times, 0.5);
        const double dP95 = Percentile(times, 0.95);
        std::printf("%-28s %7.0f %9.1f %9.1f %9.1f %7.2f %7.1f %d\n", command.pszName, dPoll, dFloor, dMedian, dP95,
                    dFloor > 0 ? dMedian / dFloor : 0.0, dP95 - dFloor, nFailures);
    }
    std::printf("reader pause of the port: %.0f ms per read cycle\n", kReaderPauseMs);
    session.closeService(0);
    return 0;
}
