// A configuration session over interface 16 on the simulated bus, end to end
// through the two libraries as a client loads them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "CfgLibrary.h"
#include "HubSimFixture.h"
#include "UsbTestSupport.h"

using namespace cfglib_test;
using vexal::test::CTempDir;

namespace {

class UsbSession : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("VEXAL_USB_SIM_DIR", m_dir.Str().c_str(), 1); }
    void TearDown() override { ::unsetenv("VEXAL_USB_SIM_DIR"); }

    SHubSimOptions Hub(const std::string& strPid, const std::string& strLocation = "1-1") {
        SHubSimOptions options;
        options.strUsbSimDir = m_dir.Str();
        options.extraArgs = {"--usb-location", strLocation, "--usb-pid", strPid};
        return options;
    }

    const SCfgApi& api = SCfgApi::Get();
    CTempDir m_dir{"usbsession"};
};

}  // namespace

TEST_F(UsbSession, OpensReadsSurvivesAReplugAndCloses) {
    CHubSimFixture hub(Hub("005D"));
    const int32_t h = api.selectInterface(16, u"");
    ASSERT_GT(h, 0);
    ASSERT_EQ(api.openService(h), 10);
    CText name;
    EXPECT_EQ(api.getVexalName(h, &name.text), 0);
    EXPECT_EQ(name.Ascii(), "VX-H400_VXL");
    CText list;
    EXPECT_EQ(api.getUsbList(h, &list.text), 0);
    EXPECT_EQ(list.Ascii().rfind("5a4d&0e28,", 0), 0u) << list.Ascii();
    EXPECT_EQ(hub.Control("USB CONNECTIONS"), "OK 1");

    ASSERT_EQ(hub.Control("USB UNPLUG"), "OK");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(api.isOpen(h), 0);  // off-line
    ASSERT_EQ(hub.Control("USB PLUG"), "OK");
    ASSERT_TRUE(WaitFor([&] { return hub.Control("USB CONNECTIONS") == "OK 2"; }, std::chrono::seconds(3)));
    // A settings read over the new connection.
    using TGetText = int32_t (*)(int32_t, ZamoText*);
    const auto getBluetoothName = reinterpret_cast<TGetText>(api.Symbol("getBluetoothName"));
    ASSERT_NE(getBluetoothName, nullptr);
    CText btName;
    EXPECT_EQ(getBluetoothName(h, &btName.text), 0);
    EXPECT_EQ("OK " + btName.Ascii(), hub.Control("GET bluetooth.name"));

    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(api.closeService(h, 0), 0);
    EXPECT_LT(ElapsedMs(t0), 2500);
}

TEST_F(UsbSession, NoHubWithAKnownProductGives1100) {
    CHubSimFixture hub(Hub("1234"));  // our vendor, but not a hub's product
    const int32_t h = api.selectInterface(16, u"");
    ASSERT_GT(h, 0);
    EXPECT_EQ(api.openService(h), 1100);
    EXPECT_EQ(hub.Control("USB CONNECTIONS"), "OK 0");
}
