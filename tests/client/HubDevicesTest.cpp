// The client layer under the device commands, as a CUPS backend or an
// exporter would use it: several hubs watched at once in one process, each
// seeing only its own, the port names they may not share, sends that stop
// when cancelled or alarmed, reporting only what went, and a probe.
#include "HubSimFixture.h"
#include "client/CfgLibrary.h"
#include "client/HubDevices.h"
#include "client/PortApiTable.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>
#include <thread>

using namespace vexal::client;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

struct SLibraries {
    CCfgLibrary cfg;
    CPortApiTable port;
    SLibraries() {
        if (!cfg.Load()) throw std::runtime_error(cfg.LastError());
        if (!port.Load(cfg)) throw std::runtime_error(port.LastError());
    }
};
SLibraries& Libraries() {
    static SLibraries* s_pLibraries = new SLibraries();  // the libraries stay loaded, as in a program
    return *s_pLibraries;
}

SHubSimOptions Loopback(const std::string& strAddress) {
    SHubSimOptions options;
    options.strListenAddress = strAddress;
    return options;
}

SHubAddress At(const CHubSimFixture& hub) {
    const std::string strText = hub.Address() + ":" + std::to_string(hub.Port());
    return {ZAMO_IF_ETHERNET, strText, strText};
}

std::optional<SDeviceEvent> Next(CDeviceEventQueue& queue, EDeviceEvent eKind, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        auto event = queue.Wait(50);
        if (event && event->eKind == eKind) return event;
    }
    return std::nullopt;
}

// What the hub received for a device, its payloads joined.
std::string Received(CHubSimFixture& hub, int nDevice) {
    std::istringstream payloads(hub.Control("RX " + std::to_string(nDevice)).substr(2));
    std::string strOut;
    for (std::string strHex; payloads >> strHex;)
        for (size_t i = 0; i + 1 < strHex.size(); i += 2)
            strOut.push_back(static_cast<char>(std::stoi(strHex.substr(i, 2), nullptr, 16)));
    return strOut;
}

}  // namespace

TEST(HubDevices, HubsWatchedAtOnceInOneProcessEachSeeTheirOwn) {
    SLibraries& libs = Libraries();
    CHubSimFixture hubA(Loopback("127.0.0.2")), hubB(Loopback("127.0.0.4"));
    CHubDevices a(libs.cfg, libs.port), b(libs.cfg, libs.port);
    // Opened at once from two threads: the gate keeps the library's registry whole.
    auto openA = std::async(std::launch::async, [&] { return a.Open(At(hubA), 0, {}); });
    auto openB = std::async(std::launch::async, [&] { return b.Open(At(hubB), 0, {}); });
    ASSERT_TRUE(openA.get()) << a.Error();
    ASSERT_TRUE(openB.get()) << b.Error();
    auto eventsA = a.Subscribe(false), eventsB = b.Subscribe(false);
    ASSERT_TRUE(a.WaitSettled(3000));
    ASSERT_TRUE(b.WaitSettled(3000));

    // An alarm of hub A reaches A's watch only, though both watch device 10.
    ASSERT_EQ(hubA.Control("ALARM WRITE 10 1"), "OK");
    const auto alarm = Next(*eventsA, EDeviceEvent::Alarm, 3s);
    ASSERT_TRUE(alarm);
    EXPECT_EQ(alarm->nId, 10);
    EXPECT_EQ(alarm->nAlarmCode, 1201u);
    ASSERT_EQ(hubB.Control("PRINTER 10 COVER OPEN").rfind("OK", 0), 0u);
    ASSERT_TRUE(Next(*eventsB, EDeviceEvent::Status, 3s));
    EXPECT_FALSE(Next(*eventsB, EDeviceEvent::Alarm, 300ms));
    EXPECT_FALSE(Next(*eventsA, EDeviceEvent::Status, 300ms));
    EXPECT_EQ(a.Snapshot().vecPrinters.at(0).Reasons(), std::vector<std::string>{"none"});
    EXPECT_EQ(b.Snapshot().vecPrinters.at(0).Reasons(), (std::vector<std::string>{"offline-report", "cover-open"}));

    // A network hub's port is named by its address alone: a second hub there
    // would reach the first, and a second watch of one hub would take its
    // records. Both are refused before any session.
    CHubDevices c(libs.cfg, libs.port);
    EXPECT_FALSE(c.Open({ZAMO_IF_ETHERNET, "127.0.0.2:1", "127.0.0.2:1"}, 0, {}));
    EXPECT_NE(c.Error().find("each hub needs an address of its own"), std::string::npos) << c.Error();
    EXPECT_FALSE(c.Open(At(hubA), 0, {}));
    EXPECT_NE(c.Error().find("watches that hub already"), std::string::npos) << c.Error();

    // Closing one leaves the other as it was; its name is free again.
    a.Close();
    EXPECT_TRUE(eventsA->IsClosed());
    ASSERT_EQ(hubB.Control("ALARM WRITE 10 2"), "OK");
    EXPECT_TRUE(Next(*eventsB, EDeviceEvent::Alarm, 3s));
    EXPECT_TRUE(c.Open(At(hubA), 0, {})) << c.Error();
}

TEST(HubDevices, SendsStopWhenCancelledOrAlarmedAndReportOnlyWhatWent) {
    SLibraries& libs = Libraries();
    CHubSimFixture hub(Loopback("127.0.0.5"));
    ASSERT_EQ(hub.Control("PLUG 30 sink"), "OK");
    CHubDevices devices(libs.cfg, libs.port);
    SHubDevicesOptions options;
    options.bIdentify = false;
    ASSERT_TRUE(devices.Open(At(hub), 0, options)) << devices.Error();
    ASSERT_TRUE(devices.WaitSettled(3000));
    std::string strData(200000, '\0');
    for (size_t i = 0; i < strData.size(); ++i) strData[i] = static_cast<char>(i * 31 + i / 4096);
    const auto* pData = reinterpret_cast<const uint8_t*>(strData.data());

    // Small writes (each paid with the network port's pause after a send), so
    // it would take seconds; cancelled from another thread it ends at once.
    std::atomic<bool> bCancel{false};
    SSendControl control;
    control.pCancel = &bCancel;
    control.nChunk = 1000;
    std::thread canceller([&] {
        std::this_thread::sleep_for(400ms);
        bCancel = true;
    });
    SSendResult result;
    const auto t0 = Clock::now();
    ASSERT_TRUE(devices.Send(30, pData, strData.size(), control, 500, result)) << devices.Error();
    const auto elapsed = Clock::now() - t0;
    canceller.join();
    EXPECT_EQ(result.eEnd, ESendEnd::Cancelled);
    EXPECT_GT(elapsed, 350ms);
    EXPECT_LT(elapsed, 1500ms);
    EXPECT_GT(result.nPayloadWritten, 0u);
    EXPECT_LT(result.nPayloadWritten, strData.size());
    EXPECT_LE(result.nPayloadWritten, result.nWireWritten);
    // What the hub has is a prefix of the data, in order, no more than was
    // reported (its last frame may still be on the way, or cut).
    std::this_thread::sleep_for(300ms);
    const std::string strGot = Received(hub, 30);
    EXPECT_EQ(strGot, strData.substr(0, strGot.size()));
    EXPECT_LE(strGot.size(), result.nPayloadWritten);
    EXPECT_GT(strGot.size() + 4096, result.nPayloadWritten);

    // A write alarm of the device ends the next send at the next write.
    ASSERT_EQ(hub.Control("RX CLEAR"), "OK");
    std::thread alarmer([&] {
        std::this_thread::sleep_for(400ms);
        hub.Control("ALARM WRITE 30 2");
    });
    bCancel = false;
    ASSERT_TRUE(devices.Send(30, pData, strData.size(), control, 500, result)) << devices.Error();
    alarmer.join();
    EXPECT_EQ(result.eEnd, ESendEnd::Alarm);
    EXPECT_EQ(result.nAlarmCode, 1202u);
    EXPECT_LT(result.nPayloadWritten, strData.size());

    // A hub that fell silent does not hold up the close for long.
    ASSERT_EQ(hub.Control("FAULT SILENT ON"), "OK");
    std::this_thread::sleep_for(2500ms);  // a liveness exchange is under way
    const auto tClose = Clock::now();
    devices.Close();
    EXPECT_LT(Clock::now() - tClose, 4s);

    // A probe, as an exporter takes one per scrape: the picture by the deadline.
    ASSERT_EQ(hub.Control("FAULT SILENT OFF"), "OK");
    ASSERT_EQ(hub.Control("PRINTER 10 PAPER LOW").rfind("OK", 0), 0u);
    SHubStatus status;
    std::string strError;
    ASSERT_TRUE(ProbeHub(libs.cfg, libs.port, At(hub), 0, vexal::platform::TickMs() + 5000, status, strError))
        << strError;
    EXPECT_EQ(status.strModel, "VX-H400_VXL");
    EXPECT_EQ(status.eLink, ELinkState::Online);
    ASSERT_EQ(status.vecPrinters.size(), 1u);
    EXPECT_EQ(status.vecPrinters[0].Reasons(), std::vector<std::string>{"media-low"});
    EXPECT_EQ(status.vecDevices.back().nId, 101);
}
