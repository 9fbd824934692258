// The USB port and the hub list on the simulated bus of vexal-hubsim: what
// is listed, that a held hub is never disturbed, unplug and replug, and a
// frame cut by an unplug.
#include <gtest/gtest.h>

#include "HubSimFixture.h"
#include "UsbTestSupport.h"
#include "common/RegistUsb.h"
#include "platform/UsbSim.h"
#include "portlib/PortUsb.h"

using namespace vexal;
using vexal::test::CountOf;
using vexal::test::CTempDir;
using vexal::test::ReadLogText;
using vexal::test::WaitFor;

namespace {

std::vector<uint8_t> Frame(uint8_t device, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> f{0x56,
                           0x51,
                           0x54,
                           device,
                           static_cast<uint8_t>(payload.size() >> 8),
                           static_cast<uint8_t>(payload.size() & 0xFF)};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

SHubSimOptions HubAt(const CTempDir& dir, const std::string& strLocation, const std::string& strVid = "5A4D",
                     const std::string& strPid = "005D") {
    SHubSimOptions options;
    options.strUsbSimDir = dir.Str();
    options.extraArgs = {"--usb-location", strLocation, "--usb-vid", strVid, "--usb-pid", strPid};
    return options;
}

std::u16string PathOf(uint16_t vid, uint16_t pid, const char* loc) {
    const std::string s = platform::MakeUsbInterfacePath(vid, pid, loc);
    return std::u16string(s.begin(), s.end());
}

class UsbSimPort : public ::testing::Test {
protected:
    void SetUp() override {
        m_pPort->SetUsbBus(platform::MakeUsbSimBus(m_dir.Str()));
        m_pPort->PortLog().Initialise(true, m_logDir.Wide(), u"");
        m_pPort->m_bPortLog = true;
        DeviceOption option{};
        option.portName = m_strPath.c_str();
        option.portType = 16;
        ASSERT_EQ(m_pPort->SetDeviceOption(option), 1u);
        m_pPort->AddDevice(3);
        ASSERT_EQ(m_pPort->OpenPort(), 1u);
    }
    void TearDown() override { m_pPort->ClosePort(); }

    std::vector<uint8_t> Take(uint32_t dwDevice) {
        std::vector<uint8_t> out(m_pPort->AvailableCount(dwDevice));
        if (!out.empty()) m_pPort->Read(dwDevice, out.data(), static_cast<uint32_t>(out.size()), 0);
        return out;
    }
    // A command to the hub arrives, and a frame from it reaches device 3's queue.
    void ExpectDataBothWays(uint8_t byCommand) {
        const auto f = Frame(0, {byCommand});
        EXPECT_EQ(m_pPort->WritePort(f.data(), static_cast<uint32_t>(f.size())), static_cast<int32_t>(f.size()));
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byCommand);
        EXPECT_TRUE(WaitFor([&] { return m_hub.Control("RX 0").find(hex) != std::string::npos; }, 2000));
        ASSERT_EQ(m_hub.Control("SEND 3 41 42 43"), "OK");
        EXPECT_TRUE(WaitFor([&] { return m_pPort->AvailableCount(3) == 3; }, 3000));
        EXPECT_EQ(Take(3), (std::vector<uint8_t>{0x41, 0x42, 0x43}));
    }
    bool Online() const { return m_pPort->m_dwLinkState == ZAMO_LINK_ONLINE && m_pPort->IsDeviceOpen(); }

    CTempDir m_dir{"usbsim"};
    CTempDir m_logDir{"usbsimlog"};
    CHubSimFixture m_hub{HubAt(m_dir, "1-1")};
    std::u16string m_strPath = PathOf(0x5a4d, 0x5d, "1-1");
    std::shared_ptr<CPortUsb> m_pPort = std::make_shared<CPortUsb>();
};

}  // namespace

TEST(UsbSimBus, ListsAcceptedOpenableHubsWithIndexesAndNames) {
    CTempDir dir("usblist");
    CHubSimFixture a(HubAt(dir, "1-1"));
    CHubSimFixture b(HubAt(dir, "1-2"));
    CHubSimFixture other(HubAt(dir, "1-3", "5A4E", "1234"));  // a pair-row vendor, another product
    CHubSimFixture busy(HubAt(dir, "1-4", "5A4D", "0066"));
    CHubSimFixture pair(HubAt(dir, "1-5", "5A4E", "0066"));
    ASSERT_EQ(busy.Control("USB EXCLUSIVE ON"), "OK");
    CRegistUsb list(platform::MakeUsbSimBus(dir.Str()));
    list.EnumDevices();
    const auto& l = list.Devices();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0].m_strDevicePath, PathOf(0x5a4d, 0x5d, "1-1"));
    EXPECT_EQ(l[0].m_dwIndex, 1u);
    EXPECT_EQ(l[0].m_strPortName, u"USB001:");
    EXPECT_EQ(l[1].m_strDevicePath, PathOf(0x5a4d, 0x5d, "1-2"));
    EXPECT_EQ(l[1].m_dwIndex, 2u);
    EXPECT_EQ(l[1].m_strPortName, u"USB002:");
    EXPECT_EQ(l[2].m_strDevicePath, PathOf(0x5a4e, 0x66, "1-5"));
    EXPECT_EQ(l[2].m_dwIndex, 1u);
    // Listing never connected to any hub.
    for (CHubSimFixture* p : {&a, &b, &other, &pair}) EXPECT_EQ(p->Control("USB CONNECTIONS"), "OK 0");
}

TEST(UsbSimBus, AGoneHubEndsAReadAtOnceAndAWriteWithoutASignal) {
    CTempDir dir("usbgone");
    CHubSimFixture hub(HubAt(dir, "1-1"));
    const auto pBus = platform::MakeUsbSimBus(dir.Str());
    platform::EUsbResult eResult{};
    auto pDevice = pBus->Open(platform::MakeUsbInterfacePath(0x5a4d, 0x5d, "1-1"), eResult);
    ASSERT_TRUE(pDevice);
    ASSERT_EQ(hub.Control("USB UNPLUG"), "OK");
    uint8_t buffer[64];
    size_t nDone = 0;
    const uint64_t t0 = platform::TickMs();
    while (pDevice->Read(buffer, sizeof buffer, 2000, nDone) == platform::EUsbResult::Ok) {
    }  // the greeting may still be waiting
    EXPECT_LT(platform::TickMs() - t0, 1000u);
    // Sends to a closed peer: SIGPIPE would end this program here.
    platform::EUsbResult eWrite = platform::EUsbResult::Ok;
    for (int i = 0; i < 5 && eWrite == platform::EUsbResult::Ok; ++i) eWrite = pDevice->Write(buffer, 8, 100, nDone);
    EXPECT_EQ(eWrite, platform::EUsbResult::NoDevice);
    EXPECT_EQ(pBus->TestOpen(platform::MakeUsbInterfacePath(0x5a4d, 0x5d, "1-1")), platform::EUsbResult::NoDevice);
}

TEST_F(UsbSimPort, AHeldHubSeesOneConnectionAndDataFlowsBothWays) {
    ExpectDataBothWays(0x50);
    platform::SleepMs(2500);  // some twenty-five connection checks
    EXPECT_EQ(m_hub.Control("USB CONNECTIONS"), "OK 1");
    EXPECT_TRUE(Online());
}

TEST_F(UsbSimPort, UnplugGoesOfflineAtOnceAndReplugReopensWithDataFlowing) {
    // A hub of the same product elsewhere must not hide the loss of this one.
    CHubSimFixture twin(HubAt(m_dir, "1-2"));
    ASSERT_TRUE(WaitFor([&] { return m_hub.Control("USB CONNECTIONS") == "OK 1"; }, 2000));
    const uint64_t t0 = platform::TickMs();
    ASSERT_EQ(m_hub.Control("USB UNPLUG"), "OK");
    ASSERT_TRUE(WaitFor([&] { return m_pPort->m_dwLinkState == ZAMO_LINK_OFFLINE; }, 2000));
    EXPECT_LT(platform::TickMs() - t0, 600u);
    EXPECT_TRUE(WaitFor([&] { return !m_pPort->IsDeviceOpen(); }, 2000));
    // Unplugged: a read returns at once, and the link stays off-line.
    std::vector<uint8_t> buffer(1024);
    const uint64_t t1 = platform::TickMs();
    EXPECT_EQ(m_pPort->ReadPort(buffer.data(), 1024), 0);
    EXPECT_LT(platform::TickMs() - t1, 50u);
    platform::SleepMs(300);
    EXPECT_EQ(m_pPort->m_dwLinkState.load(), uint32_t{ZAMO_LINK_OFFLINE});

    ASSERT_EQ(m_hub.Control("USB PLUG"), "OK");
    ASSERT_TRUE(WaitFor([&] { return Online(); }, 3000));
    EXPECT_TRUE(WaitFor([&] { return m_hub.Control("USB CONNECTIONS") == "OK 2"; }, 2000));
    ExpectDataBothWays(0x51);
    EXPECT_EQ(twin.Control("USB CONNECTIONS"), "OK 0");
    const std::string log = ReadLogText(m_logDir.Path());
    EXPECT_EQ(CountOf(log, "usb disconnect"), 1u) << log;
    EXPECT_EQ(CountOf(log, "  usb connect"), 1u) << log;
}

TEST_F(UsbSimPort, AFrameCutByAnUnplugIsNotCompletedByTheNextConnection) {
    ASSERT_TRUE(WaitFor([&] { return m_hub.Control("USB CONNECTIONS") == "OK 1"; }, 2000));
    ASSERT_EQ(m_hub.Control("FAULT SPLIT 8 400"), "OK");
    ASSERT_EQ(m_hub.Control("SEND 3 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14"), "OK");
    platform::SleepMs(200);  // the header and two payload bytes are in
    ASSERT_EQ(m_hub.Control("USB UNPLUG"), "OK");
    ASSERT_TRUE(WaitFor([&] { return m_pPort->m_dwLinkState == ZAMO_LINK_OFFLINE; }, 2000));
    ASSERT_EQ(m_hub.Control("FAULT CLEAR"), "OK");
    ASSERT_EQ(m_hub.Control("USB PLUG"), "OK");
    ASSERT_TRUE(WaitFor([&] { return Online(); }, 3000));
    // Without a new generation these bytes would fill the old frame's gap.
    ASSERT_EQ(m_hub.Control("SEND 3 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF B0"), "OK");
    ASSERT_TRUE(WaitFor([&] { return m_pPort->AvailableCount(3) >= 16; }, 3000));
    platform::SleepMs(200);
    std::vector<uint8_t> expected;
    for (uint8_t b = 0xA1; b <= 0xB0; ++b) expected.push_back(b);
    EXPECT_EQ(Take(3), expected);
}
