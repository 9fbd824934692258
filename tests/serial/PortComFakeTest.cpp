// The serial port through a fake serial endpoint: line codes, the modem-line
// link state, Bluetooth reading and close-on-drop, large backlogs, writers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "SerialTestSupport.h"
#include "platform/Clock.h"
#include "portlib/PortCom.h"
#include "portlib/PortListMng.h"

using namespace vexal;
using namespace serial_test;
using platform::EParity;

namespace {

DeviceOption Option(uint32_t dwBluetoothCheck = 0, uint32_t dwStack = 0) {
    DeviceOption opt{};
    opt.portName = u"COM5";
    opt.portType = ZAMO_PORT_COM;
    opt.rawMode = 1;  // every byte to device 0
    opt.speed = 9600;
    opt.dataBits = 8;
    opt.readIntervalTimeout = 2;
    opt.readTotalTimeoutConstant = 50;
    opt.writeTotalTimeoutMultiplier = 10;
    opt.writeTotalTimeoutConstant = 5000;
    opt.inputQueueSize = 4096;
    opt.outputQueueSize = 4096;
    opt.bluetoothCheck = dwBluetoothCheck;
    opt.bluetoothStack = dwStack;
    return opt;
}

struct CFixture {
    explicit CFixture(const DeviceOption& opt = Option()) : pPort(std::make_shared<CPortCom>()) {
        pPort->SetSerialEndpointFactory(FakeFactory(pLine, nOpens));
        EXPECT_EQ(pPort->SetDeviceOption(opt), 1u);
    }
    void EnableLog(const CTempDir& dir) {
        pPort->PortLog().Initialise(true, dir.Wide(), u"");
        pPort->m_bPortLog = true;
    }
    void Feed(const std::vector<uint8_t>& bytes) {
        std::lock_guard lock(pLine->m);
        pLine->incoming.insert(pLine->incoming.end(), bytes.begin(), bytes.end());
    }
    std::shared_ptr<SFakeLine> pLine = std::make_shared<SFakeLine>();
    std::atomic<int> nOpens{0};
    std::shared_ptr<CPortCom> pPort;
};

}  // namespace

TEST(SerialLine, CodesBecomeTheLineOrAreRefused) {
    struct Row {
        platform::SSerialLine line;
        EParity parity;
        bool bTwoStop, bCts, bDtrRts, bXon;
        size_t nApproximations;
    } rows[] = {
        {{9600, 8, 0, 0, 0}, EParity::None, false, true, true, false, 1},   // DSR handshake approximated
        {{115200, 8, 1, 2, 0}, EParity::Even, true, true, true, false, 2},  // 1.5 stop bits with 8 data bits too
        {{19200, 7, 2, 1, 1}, EParity::Odd, true, true, true, true, 1},
        {{1200, 5, 1, 3, 2}, EParity::Mark, true, false, false, false, 0},  // 1.5 with 5 data bits is exact
        {{250000, 6, 0, 4, 7}, EParity::Space, false, true, true, false, 1},
    };
    for (const Row& row : rows) {
        const auto plan = platform::PlanSerialLine(row.line);
        SCOPED_TRACE(row.line.dwBaud);
        ASSERT_TRUE(plan.bValid);
        EXPECT_EQ(plan.dwBaud, row.line.dwBaud);
        EXPECT_EQ(plan.dwDataBits, row.line.dwDataBits);
        EXPECT_EQ(plan.parity, row.parity);
        EXPECT_EQ(plan.bTwoStopBits, row.bTwoStop);
        EXPECT_EQ(plan.bCtsHandshake, row.bCts);
        EXPECT_EQ(plan.bDtrOn, row.bDtrRts);
        EXPECT_EQ(plan.bRtsOn, row.bDtrRts);
        EXPECT_EQ(plan.bXonXoff, row.bXon);
        EXPECT_EQ(plan.approximations.size(), row.nApproximations);
    }
    for (const platform::SSerialLine bad : {platform::SSerialLine{0, 8, 0, 0, 0},
                                            {9600, 4, 0, 0, 0},
                                            {9600, 9, 0, 0, 0},
                                            {9600, 8, 3, 0, 0},
                                            {9600, 8, 0, 5, 0}})
        EXPECT_FALSE(platform::PlanSerialLine(bad).bValid) << bad.dwBaud << " " << bad.dwDataBits;

    platform::SSerialLinePlan plan = platform::PlanSerialLine({57600, 7, 0, 2, 0});
    platform::SSerialLineState pty{57600, 8, EParity::None, false, true, false};
    const auto missing = platform::LineDifferences(plan, pty);
    ASSERT_EQ(missing.size(), 2u);  // what a pty keeps no record of
    EXPECT_NE(missing[0].find("data bits 7"), std::string::npos);
    EXPECT_NE(missing[1].find("parity even"), std::string::npos);
}

TEST(PortComFake, TheRecordReachesTheDeviceAndRefusedSettingsKeepItHeldUntilClose) {
    DeviceOption opt = Option();
    opt.speed = 38400;
    opt.dataBits = 7;
    opt.parity = 3;
    opt.stopBits = 2;
    opt.flowControl = 2;
    {
        CFixture f(opt);
        ASSERT_EQ(f.pPort->OpenPort(), 1u);
        EXPECT_EQ(f.pLine->plan.dwBaud, 38400u);
        EXPECT_EQ(f.pLine->plan.parity, EParity::Mark);
        EXPECT_TRUE(f.pLine->plan.bTwoStopBits);
        EXPECT_FALSE(f.pLine->plan.bDtrOn);
        f.pPort->ClosePort();
        EXPECT_TRUE(f.pLine->bDestroyed);
    }
    opt.dataBits = 9;  // refused as the system would
    CFixture f(opt);
    CTempDir dir("com-refused");
    f.EnableLog(dir);
    EXPECT_EQ(f.pPort->OpenPort(), 0u);
    EXPECT_TRUE(f.pPort->HasDevice());
    EXPECT_FALSE(f.pPort->m_bOpen);
    EXPECT_EQ(f.pPort->OpenPort(), 0u) << "no second try while the device is held";
    EXPECT_EQ(f.nOpens, 1);
    EXPECT_EQ(CountOf(ReadLogText(dir.Path()), "-OpenPortSerial : fail to SetCommState"), 1u);
    f.pPort->ClosePort();
    EXPECT_TRUE(f.pLine->bDestroyed);
    EXPECT_FALSE(f.pPort->HasDevice());

    // A port dropped without ClosePort gives the device back as well.
    CFixture g(opt);
    EXPECT_EQ(g.pPort->OpenPort(), 0u);
    auto pLine = g.pLine;
    g.pPort.reset();
    EXPECT_TRUE(pLine->bDestroyed);
}

TEST(PortComFake, WithoutCtsOrDsrTheLinkIsOfflineBytesStillArriveAndOutputIsPurged) {
    for (uint32_t dwModem : {platform::kModemCts, platform::kModemDsr}) {
        CFixture f;
        f.pLine->dwModem = dwModem;
        f.Feed({0x01, 0x02, 0x03});
        ASSERT_EQ(f.pPort->OpenPort(), 1u);
        f.Feed({0x0D, 0x0A, 0xFF});  // after the open's purge
        EXPECT_TRUE(WaitFor([&] { return f.pPort->AvailableCount(0) == 3; }, 3000));
        EXPECT_EQ(f.pPort->m_dwLinkState, ZAMO_LINK_OFFLINE);
        EXPECT_GT(f.pLine->nOutputPurges, 1) << "the open's purge and at least one off-line cycle";
        uint8_t got[3] = {};
        EXPECT_EQ(f.pPort->Read(0, got, 3, 100), 3u);
        EXPECT_EQ(got[0], 0x0D);
        EXPECT_EQ(got[2], 0xFF);
        f.pPort->ClosePort();
    }
}

TEST(PortComFake, TheOnlineLineIsLoggedOnceForTwoPorts) {
    CPortCom::ResetLastReportedLineState();
    CTempDir dirA("com-a"), dirB("com-b");
    CFixture a, b;
    a.EnableLog(dirA);
    b.EnableLog(dirB);
    ASSERT_EQ(a.pPort->OpenPort(), 1u);
    ASSERT_EQ(b.pPort->OpenPort(), 1u);
    ASSERT_TRUE(WaitFor(
        [&] { return a.pPort->m_dwLinkState == ZAMO_LINK_ONLINE && b.pPort->m_dwLinkState == ZAMO_LINK_ONLINE; },
        3000));
    platform::SleepMs(400);  // several cycles each
    a.pPort->ClosePort();
    b.pPort->ClosePort();
    const std::string text = ReadLogText(dirA.Path()) + ReadLogText(dirB.Path());
    EXPECT_EQ(CountOf(text, "Serial On-line signal"), 1u) << text;
    EXPECT_EQ(CountOf(text, "Serial Off-line signal"), 0u) << text;
    EXPECT_EQ(CPortCom::LastReportedLineState(), ZAMO_LINK_ONLINE);
}

TEST(PortComFake, ABluetoothPortReadsByItsStackClosesOnADropAndItsPauseEndsOnClose) {
    // The first stacks ask for whole blocks; the third waits for a receive
    // event and takes what is waiting, with a longer pause.
    for (const uint32_t dwStack : {1u, 3u}) {
        SCOPED_TRACE(dwStack);
        CFixture f(Option(1, dwStack));
        CTempDir dir("com-bt");
        f.EnableLog(dir);
        ASSERT_EQ(f.pPort->OpenPort(), 1u);
        f.Feed({0x20, 0x21, 0x22});
        ASSERT_TRUE(WaitFor([&] { return f.pPort->AvailableCount(0) == 3; }, 3000));
        EXPECT_EQ(f.pLine->nLargestAsk, dwStack == 3 ? 3u : 512u);
        const uint32_t dwPause = dwStack == 3 ? 500u : 100u;
        EXPECT_TRUE(WaitFor([&] { return f.pPort->m_dwReaderPause == dwPause; }, 2000));

        f.pLine->dwModem = platform::kModemCts;  // DSR gone: the link dropped
        ASSERT_TRUE(WaitFor([&] { return f.pLine->bDestroyed.load(); }, 3000));
        EXPECT_FALSE(f.pPort->m_bOpen);
        EXPECT_EQ(f.pPort->m_dwLinkState, ZAMO_LINK_OFFLINE);
        ASSERT_TRUE(
            WaitFor([&] { return CountOf(ReadLogText(dir.Path()), "OperPortSerial failed. sleep time") >= 1; }, 3000));
        const uint64_t t0 = platform::TickMs();
        f.pPort->ClosePort();
        EXPECT_LT(platform::TickMs() - t0, 300u) << "the 2000 ms pause ends on close";
        EXPECT_FALSE(f.pPort->IsReaderRunning());
        EXPECT_EQ(f.nOpens, 1) << "the read cycle never reopens by itself";
    }
}

TEST(PortComFake, ABluetoothReadInProgressEndsOnClose) {
    CFixture f(Option(1, 1));
    f.pLine->bBlockReads = true;
    ASSERT_EQ(f.pPort->OpenPort(), 1u);
    ASSERT_TRUE(WaitFor([&] { return f.pLine->nReads >= 1; }, 3000));
    const uint64_t t0 = platform::TickMs();
    f.pPort->ClosePort();
    EXPECT_LT(platform::TickMs() - t0, 300u);
    EXPECT_TRUE(f.pLine->bDestroyed);
}

TEST(PortComFake, MoreThan1024WaitingBytesAreReadOverSeveralCycles) {
    CFixture f;
    ASSERT_EQ(f.pPort->OpenPort(), 1u);
    std::vector<uint8_t> bytes(3000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    f.Feed(bytes);
    ASSERT_TRUE(WaitFor([&] { return f.pPort->AvailableCount(0) == bytes.size(); }, 5000));
    EXPECT_EQ(f.pLine->nLargestAsk, 1024u);
    std::vector<uint8_t> got(bytes.size());
    EXPECT_EQ(f.pPort->Read(0, got.data(), static_cast<uint32_t>(got.size()), 100), bytes.size());
    EXPECT_EQ(got, bytes);
    f.pPort->ClosePort();
}

TEST(PortComFake, TwoWriterThreadsLeaveEveryFrameWhole) {
    CFixture f;
    ASSERT_EQ(f.pPort->OpenPort(), 1u);
    constexpr size_t kFrame = 40;
    constexpr int kFrames = 100;
    auto writer = [&](uint8_t tag) {
        std::vector<uint8_t> frame(kFrame, tag);
        for (int i = 0; i < kFrames; ++i)
            EXPECT_EQ(f.pPort->WritePort(frame.data(), kFrame), static_cast<int32_t>(kFrame));
    };
    std::thread t1(writer, 0xA1), t2(writer, 0xB2);
    t1.join();
    t2.join();
    f.pPort->ClosePort();
    std::lock_guard lock(f.pLine->m);
    ASSERT_EQ(f.pLine->written.size(), 2 * kFrames * kFrame);
    for (size_t i = 0; i < f.pLine->written.size(); i += kFrame)
        for (size_t j = 1; j < kFrame; ++j)
            ASSERT_EQ(f.pLine->written[i + j], f.pLine->written[i]) << "frame at " << i << " cut at " << j;
}

TEST(PortComFake, ABluetoothOpenWaitsForTheLinesAndACloseEndsTheWait) {
    CFixture f(Option(1, 1));
    f.pLine->dwModem = 0;
    std::thread raise([&] {
        platform::SleepMs(300);
        f.pLine->dwModem = platform::kModemCts | platform::kModemDsr;
    });
    const uint64_t t0 = platform::TickMs();
    EXPECT_EQ(f.pPort->OpenPort(), 1u);
    EXPECT_GE(platform::TickMs() - t0, 290u) << "the open lasts until the link stands";
    raise.join();
    f.pPort->ClosePort();

    CFixture g(Option(1, 1));
    g.pLine->dwModem = platform::kModemCts;  // never connects
    std::atomic<uint32_t> dwResult{99};
    std::thread opener([&] { dwResult = g.pPort->OpenPort(); });
    platform::SleepMs(200);
    const uint64_t t1 = platform::TickMs();
    g.pPort->ClosePort();
    opener.join();
    EXPECT_LT(platform::TickMs() - t1, 1000u) << "the 10 s wait ends on close";
    EXPECT_EQ(dwResult, 0u);
    EXPECT_FALSE(g.pPort->HasDevice());
    EXPECT_TRUE(g.pLine->bDestroyed);
}

TEST(PortComFake, ACloseThroughTheRegistryEndsABluetoothOpenWaitingForItsLines) {
    // The registry tells a Bluetooth port by its link's target.
    CTempDir dir("registry-bt");
    std::ofstream(dir.Path() / "rfcomm0").put('x');
    std::filesystem::create_symlink(dir.Path() / "rfcomm0", dir.Path() / "COM5");
    CDeviceDirScope scope(dir.Path());
    auto pLine = std::make_shared<SFakeLine>();
    pLine->dwModem = platform::kModemCts;  // never connects
    std::atomic<int> nOpens{0};
    CPortListMng registry([&](uint32_t) {
        auto pPort = std::make_shared<CPortCom>();
        pPort->SetSerialEndpointFactory(FakeFactory(pLine, nOpens));
        return pPort;
    });
    const uint32_t dwPort = registry.CreatePort(u"COM5", ZAMO_PORT_COM);
    ASSERT_NE(dwPort, 0u);
    ASSERT_EQ(registry.SetDeviceOption(Option(1, 1), dwPort), 1u);
    std::atomic<uint32_t> dwResult{99};
    std::thread opener([&] { dwResult = registry.OpenPort(dwPort, 0); });
    platform::SleepMs(300);
    const uint64_t t0 = platform::TickMs();
    registry.ClosePort(dwPort, 0);
    opener.join();
    EXPECT_LT(platform::TickMs() - t0, 1500u) << "the close waits out no part of the 10 s";
    EXPECT_EQ(dwResult, 0u);
    EXPECT_TRUE(pLine->bDestroyed);
    // The cancel belongs to that open only: the next one connects.
    pLine->dwModem = platform::kModemCts | platform::kModemDsr;
    EXPECT_EQ(registry.OpenPort(dwPort, 0), 1u);
    registry.ClosePort(dwPort, 0);
    registry.RemovePort(dwPort);
}
