// The USB port against a fake bus: reads never exceed the caller's buffer,
// slices keep what they moved, failures map to the reopen path or to
// off-line, bad addresses fail cleanly, and a close ends a stuck transfer.
#include <gtest/gtest.h>

#include <numeric>

#include "FakeUsbBus.h"
#include "UsbTestSupport.h"
#include "portlib/PortUsb.h"

using namespace vexal;
using platform::EUsbResult;
using vexal::test::CFakeUsbBus;
using vexal::test::CFakeUsbDevice;
using vexal::test::CTempDir;
using vexal::test::ReadLogText;
using vexal::test::SFakeSlice;
using vexal::test::WaitFor;

namespace {

class PortUsbFake : public ::testing::Test {
protected:
    void SetUp() override {
        m_strPath = platform::MakeUsbInterfacePath(0x5a4d, 0x5d, "1-1");
        m_pBus->SetDevices({{m_strPath, 0x5a4d, 0x5d}});
        const std::thread::id test = std::this_thread::get_id();
        m_pBus->m_pfnPrepare = [test](CFakeUsbDevice& d) { d.ServeOnly(test); };
        m_pPort->SetUsbBus(m_pBus);
        m_pPort->PortLog().Initialise(true, m_dir.Wide(), u"");
        m_pPort->m_bPortLog = true;
    }
    void TearDown() override { m_pPort->ClosePort(); }

    uint32_t Configure(const std::u16string& strAddress) {
        DeviceOption option{};
        option.portName = strAddress.c_str();
        option.portType = 16;
        return m_pPort->SetDeviceOption(option);
    }
    void Open() {
        const std::u16string strPath(m_strPath.begin(), m_strPath.end());
        ASSERT_EQ(Configure(strPath), 1u);
        ASSERT_EQ(m_pPort->OpenPort(), 1u);
        ASSERT_NE(m_pBus->LastDevice(), nullptr);
    }
    CFakeUsbDevice& Device() { return *m_pBus->LastDevice(); }
    std::string Log() { return ReadLogText(m_dir.Path()); }

    CTempDir m_dir{"usbfake"};
    std::string m_strPath;
    std::shared_ptr<CFakeUsbBus> m_pBus = std::make_shared<CFakeUsbBus>();
    std::shared_ptr<CPortUsb> m_pPort = std::make_shared<CPortUsb>();
};

}  // namespace

TEST_F(PortUsbFake, ReadsAskForNoMoreThanTheBufferAndKeepWhatASliceMoved) {
    Open();
    std::vector<uint8_t> bytes(1024);
    std::iota(bytes.begin(), bytes.end(), 0);
    Device().ScriptRead({EUsbResult::Ok, bytes, 0});
    // Exactly sized: under ASan any byte written past it is caught.
    std::vector<uint8_t> small(10);
    EXPECT_EQ(m_pPort->ReadPort(small.data(), static_cast<uint32_t>(small.size())), 10);
    EXPECT_EQ(Device().m_nLastReadSize.load(), 10u);
    EXPECT_EQ(small, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10));
    // A slice that timed out after some bytes still delivers them.
    Device().ScriptRead({EUsbResult::TimedOut, {7, 8, 9}, 0});
    std::vector<uint8_t> buffer(1024);
    EXPECT_EQ(m_pPort->ReadPort(buffer.data(), 1024), 3);
    EXPECT_EQ(buffer[2], 9);
}

TEST_F(PortUsbFake, WritesGoOnAfterTimedOutAndStalledSlicesWithoutLosingBytes) {
    Open();
    Device().ScriptWrite({EUsbResult::TimedOut, {}, 3});
    Device().ScriptWrite({EUsbResult::Stalled, {}, 0});
    Device().ScriptWrite({EUsbResult::TimedOut, {}, 0});
    Device().ScriptWrite({EUsbResult::Ok, {}, 5});
    const std::vector<uint8_t> data{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(m_pPort->WritePort(data.data(), 8), 8);
    EXPECT_EQ(Device().Written(), data);
    EXPECT_EQ(Device().m_nWriteSlices.load(), 4);
    EXPECT_EQ(m_pPort->m_dwLinkState.load(), uint32_t{ZAMO_LINK_ONLINE});
}

TEST_F(PortUsbFake, AGoneDeviceOrDeniedAccessTakesTheReopenPathAndSetsTheLinkByItsOutcome) {
    Open();
    const uint8_t data[4] = {1, 2, 3, 4};
    Device().ScriptWrite({EUsbResult::NoDevice, {}, 2});
    EXPECT_EQ(m_pPort->WritePort(data, 4), 0);
    EXPECT_GE(m_pBus->m_nOpens.load(), 2);  // closed and opened again
    EXPECT_TRUE(m_pPort->IsDeviceOpen());
    EXPECT_EQ(m_pPort->m_dwLinkState.load(), uint32_t{ZAMO_LINK_ONLINE});

    Device().ScriptWrite({EUsbResult::AccessDenied, {}, 0});
    m_pBus->SetOpenResult(EUsbResult::AccessDenied);
    EXPECT_EQ(m_pPort->WritePort(data, 4), 0);
    EXPECT_FALSE(m_pPort->IsDeviceOpen());
    EXPECT_EQ(m_pPort->m_dwLinkState.load(), uint32_t{ZAMO_LINK_OFFLINE});
    const std::string log = Log();
    EXPECT_NE(log.find("Write: Failed GetLastError 1167 trying close/open"), std::string::npos) << log;
    EXPECT_NE(log.find("Write: Failed GetLastError 5 trying close/open"), std::string::npos) << log;
    EXPECT_NE(log.find("disconnect in write"), std::string::npos) << log;
    EXPECT_NE(log.find("access denied to"), std::string::npos) << log;  // the user is told why
    // Other failures keep the count that went out, and the handle.
    m_pBus->SetOpenResult(EUsbResult::Ok);
    m_pBus->SetDevices({{m_strPath, 0x5a4d, 0x5d}});
    ASSERT_TRUE(WaitFor([&] { return m_pPort->m_dwLinkState == ZAMO_LINK_ONLINE; }, 3000));  // the check reopened
    Device().ScriptWrite({EUsbResult::Failed, {}, 1});
    EXPECT_EQ(m_pPort->WritePort(data, 4), 1);
    EXPECT_TRUE(m_pPort->IsDeviceOpen());
}

TEST_F(PortUsbFake, AReadThatFindsTheDeviceGoneGoesOfflineAndLaterReadsReturnAtOnce) {
    Open();
    m_pBus->SetDevices({});  // and the check will not find it either
    Device().ScriptRead({EUsbResult::NoDevice, {}, 0});
    std::vector<uint8_t> buffer(64);
    EXPECT_EQ(m_pPort->ReadPort(buffer.data(), 64), 0);
    EXPECT_EQ(m_pPort->m_dwLinkState.load(), uint32_t{ZAMO_LINK_OFFLINE});
    auto pGone = m_pBus->LastDevice();
    const uint64_t t0 = platform::TickMs();
    EXPECT_EQ(m_pPort->ReadPort(buffer.data(), 64), 0);
    EXPECT_LT(platform::TickMs() - t0, 50u);
    EXPECT_TRUE(WaitFor([&] { return !m_pPort->IsDeviceOpen(); }, 2000));  // the check closed it
    EXPECT_EQ(pGone->m_nReadSlices.load(), 1);  // the later read touched nothing
    EXPECT_EQ(vexal::test::CountOf(Log(), "usb disconnect"), 1u);
}

TEST_F(PortUsbFake, AddressesThatAreNoInterfacePathFailWithoutAnOpen) {
    EXPECT_EQ(Configure(u""), 0u);
    EXPECT_EQ(Configure(u"USB001:"), 1u);
    EXPECT_EQ(m_pPort->OpenPort(), 0u);
    const std::string shortPath = m_strPath.substr(0, 24);
    EXPECT_EQ(Configure(std::u16string(shortPath.begin(), shortPath.end())), 1u);
    EXPECT_EQ(m_pPort->OpenPort(), 0u);
    EXPECT_EQ(m_pBus->m_nOpens.load(), 0);
    EXPECT_FALSE(m_pPort->IsCheckRunning());
}

TEST_F(PortUsbFake, CloseDuringAStuckReadReturnsWithin300Ms) {
    m_pBus->m_pfnPrepare = [](CFakeUsbDevice& d) { d.BlockUntilCancel(); };
    Open();
    ASSERT_TRUE(WaitFor([&] { return Device().m_bInBlockedRead.load(); }, 3000));
    const uint64_t t0 = platform::TickMs();
    m_pPort->ClosePort();
    const uint64_t dt = platform::TickMs() - t0;
    EXPECT_LT(dt, 300u);
    EXPECT_FALSE(m_pPort->IsDeviceOpen());
    EXPECT_FALSE(m_pPort->IsReaderRunning());
    EXPECT_FALSE(m_pPort->IsCheckRunning());
}
