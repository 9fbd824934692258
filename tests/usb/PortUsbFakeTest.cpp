// The USB port against a fake bus: reads never exceed the caller's buffer,
// slices keep what they moved, failures take the reopen path, bad addresses
// fail cleanly, and a close ends a stuck transfer.
#include <gtest/gtest.h>

#include <numeric>

#include "FakeUsbBus.h"
#include "UsbTestSupport.h"
#include "portlib/PortUsb.h"

using namespace vexal;
using namespace vexal::test;

namespace {

class PortUsbFake : public ::testing::Test {
protected:
    void SetUp() override {
        m_pBus->SetDevices({{m_strPath, 0x5a4d, 0x5d}});
        m_pPort->SetUsbBus(m_pBus);
        m_pPort->PortLog().Initialise(true, m_dir.Wide(), u"");
        m_pPort->m_bPortLog = true;
    }
    void TearDown() override { m_pPort->ClosePort(); }

    uint32_t Configure(const std::string& strAddress) {
        m_strAddress.assign(strAddress.begin(), strAddress.end());
        DeviceOption option{};
        option.portName = m_strAddress.c_str();
        option.portType = 16;
        return m_pPort->SetDeviceOption(option);
    }
    void Open() {
        ASSERT_EQ(Configure(m_strPath), 1u);
        ASSERT_EQ(m_pPort->OpenPort(), 1u);
    }
    CFakeUsbDevice& Device() { return *m_pBus->LastDevice(); }
    uint32_t Link() const { return m_pPort->m_dwLinkState; }

    CTempDir m_dir{"usbfake"};
    std::string m_strPath = platform::MakeUsbInterfacePath(0x5a4d, 0x5d, "1-1");
    std::u16string m_strAddress;
    std::shared_ptr<CFakeUsbBus> m_pBus = std::make_shared<CFakeUsbBus>();
    std::shared_ptr<CPortUsb> m_pPort = std::make_shared<CPortUsb>();
};

}  // namespace

TEST_F(PortUsbFake, ReadsAskForNoMoreThanTheBufferAndKeepWhatATimedOutSliceMoved) {
    Open();
    std::vector<uint8_t> bytes(1024);
    std::iota(bytes.begin(), bytes.end(), 0);
    Device().ScriptRead({EUsbResult::Ok, bytes, 0});
    std::vector<uint8_t> small(10);  // exactly sized: ASan catches a byte past it
    EXPECT_EQ(m_pPort->ReadPort(small.data(), 10), 10);
    EXPECT_EQ(Device().m_nLastReadSize.load(), 10u);
    EXPECT_EQ(small, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10));
    Device().ScriptRead({EUsbResult::TimedOut, {7, 8, 9}, 0});
    EXPECT_EQ(m_pPort->ReadPort(bytes.data(), 1024), 3);
    EXPECT_EQ(bytes[2], 9);
}

TEST_F(PortUsbFake, WritesGoOnAfterTimedOutAndStalledSlicesWithoutLosingBytes) {
    Open();
    for (const SFakeSlice& s : {SFakeSlice{EUsbResult::TimedOut, {}, 3}, SFakeSlice{EUsbResult::Stalled, {}, 0},
                                SFakeSlice{EUsbResult::TimedOut, {}, 0}, SFakeSlice{EUsbResult::Ok, {}, 5}})
        Device().ScriptWrite(s);
    const std::vector<uint8_t> data{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(m_pPort->WritePort(data.data(), 8), 8);
    EXPECT_EQ(Device().Written(), data);
    EXPECT_EQ(Device().m_nWriteSlices.load(), 4);
    EXPECT_EQ(Link(), uint32_t{ZAMO_LINK_ONLINE});
}

TEST_F(PortUsbFake, DeniedOrClosedTakesTheReopenPathOtherErrorsAndAVanishedHubKeepTheCount) {
    m_pPort->m_strCaptureDir = m_dir.Wide();
    m_pPort->m_bCapture = true;
    Open();
    const uint8_t data[4] = {1, 2, 3, 4};
    // A hub that vanished is the check's to notice; the write keeps what went.
    Device().ScriptWrite({EUsbResult::NoDevice, {}, 2});
    EXPECT_EQ(m_pPort->WritePort(data, 4), 2);
    EXPECT_EQ(m_pBus->m_nOpens.load(), 1);

    Device().ScriptWrite({EUsbResult::AccessDenied, {}, 0});
    m_pBus->SetOpenResult(EUsbResult::AccessDenied);
    EXPECT_EQ(m_pPort->WritePort(data, 4), 0);
    EXPECT_FALSE(m_pPort->IsDeviceOpen());
    EXPECT_EQ(Link(), uint32_t{ZAMO_LINK_OFFLINE});
    EXPECT_EQ(m_pPort->WritePort(data, 4), 0);  // no handle: the invalid-handle case
    const std::string log = ReadLogText(m_dir.Path());
    for (const char* line : {"Write: Failed GetLastError 5 trying", "Write: Failed GetLastError 6 trying",
                             "disconnect in write", "access denied to"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("GetLastError 1167"), std::string::npos);
    // Every write reaches the capture with its full length, failed ones too.
    std::string strCapture;
    for (const auto& e : std::filesystem::directory_iterator(m_dir.Path() / "VQTLog"))
        if (e.path().extension() == ".bin") {
            std::ifstream in(e.path(), std::ios::binary);
            strCapture.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    EXPECT_EQ(strCapture, "\1\2\3\4\1\2\3\4\1\2\3\4") << "three writes so far";

    m_pBus->SetOpenResult(EUsbResult::Ok);
    ASSERT_TRUE(WaitFor([&] { return Link() == ZAMO_LINK_ONLINE; }, 3000));  // the check reopened it
    Device().ScriptWrite({EUsbResult::Failed, {}, 1});
    EXPECT_EQ(m_pPort->WritePort(data, 4), 1);
    EXPECT_TRUE(m_pPort->IsDeviceOpen());
}

TEST_F(PortUsbFake, AddressesThatAreNoInterfacePathFailWithoutAnOpen) {
    EXPECT_EQ(Configure(""), 0u);
    for (const std::string& bad : {std::string("USB001:"), m_strPath.substr(0, 24)}) {
        EXPECT_EQ(Configure(bad), 1u);
        EXPECT_EQ(m_pPort->OpenPort(), 0u);
    }
    EXPECT_EQ(m_pBus->m_nOpens.load(), 0);
    EXPECT_FALSE(m_pPort->IsCheckRunning());
}

TEST_F(PortUsbFake, CloseDuringAStuckReadReturnsWithin300Ms) {
    m_pBus->m_pfnPrepare = [](CFakeUsbDevice& d) { d.m_bStuck = true; };
    Open();
    ASSERT_TRUE(WaitFor([&] { return Device().m_bInStuckRead.load(); }, 3000));
    const uint64_t t0 = platform::TickMs();
    m_pPort->ClosePort();
    EXPECT_LT(platform::TickMs() - t0, 300u);
    EXPECT_FALSE(m_pPort->IsDeviceOpen());
    EXPECT_FALSE(m_pPort->IsReaderRunning());
    EXPECT_FALSE(m_pPort->IsCheckRunning());
}
