// Hub sessions over a serial link: the configuration library, beside the
// real port library, against vexal-hubsim on a pty reached as COM<n>.
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "CfgLibrary.h"
#include "HubSimFixture.h"
#include "SerialTestSupport.h"

using namespace cfglib_test;
namespace fs = std::filesystem;

namespace {

class ComSession : public ::testing::Test {
protected:
    ComSession() : m_scope(m_dir.Path()), m_hub(Options(m_dir)) {}

    static CHubSimFixture::Options Options(const serial_test::CTempDir& dir) {
        CHubSimFixture::Options options;
        options.bPty = true;
        options.strComLink = (dir.Path() / "COM5").string();
        return options;
    }

    // Opens a session, reads the model name and the LAN block, closes.
    void ConfigureOver(int32_t nInterface, const char16_t* pszPort) {
        const int32_t h = api.selectInterface(nInterface, pszPort);
        ASSERT_GT(h, 0);
        ASSERT_EQ(api.openService(h), 10);
        CText name;
        EXPECT_EQ(api.getVexalName(h, &name.text), 0);
        EXPECT_EQ(name.Ascii(), "VX-H400_VXL");
        using GetLanInfo = int32_t (*)(int32_t, uint8_t*);
        const auto pfnGetLanInfo = reinterpret_cast<GetLanInfo>(api.Symbol("getLanInfo"));
        ASSERT_NE(pfnGetLanInfo, nullptr);
        uint8_t block[30] = {};
        EXPECT_EQ(pfnGetLanInfo(h, block), 0);
        const uint8_t kAddress[4] = {192, 168, 0, 10};
        EXPECT_EQ(std::memcmp(block + 6, kAddress, 4), 0);
        EXPECT_NE(m_hub.Control("RX 0").find("24"), std::string::npos) << "the hub saw the LAN query";
        EXPECT_EQ(api.closeService(h, 0), 0);
    }

    const SCfgApi& api = SCfgApi::Get();
    serial_test::CTempDir m_dir{"com-session"};
    serial_test::CDeviceDirScope m_scope;
    CHubSimFixture m_hub;
};

}  // namespace

TEST_F(ComSession, SerialWithDefaultSettings) { ConfigureOver(4, u"COM5"); }

TEST_F(ComSession, SerialWithExplicitSettingsWhichTheLineCarries) {
    // Held from before the session: the session's line is then exclusive.
    const int hLine = open(m_hub.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(hLine, 0);
    ConfigureOver(32, u"COM5:115200:8:2:1:0");
    termios2 tio{};
    ASSERT_EQ(ioctl(hLine, TCGETS2, &tio), 0);
    close(hLine);
    EXPECT_EQ(tio.c_ospeed, 115200u);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u) << "1.5 stop bits with 8 data bits go out as 2";
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
}

TEST_F(ComSession, DevicePathsAreOpenedAsTheyStandWhateverLettersTheyHold) {
    // "USB" in a path chooses no USB transport, an rfcomm path is a Bluetooth
    // port; the device directory (COM5 only) has no part in either.
    fs::create_symlink(m_hub.PtyPath(), m_dir.Path() / "ttyUSB0");
    const std::u16string strUsb = (m_dir.Path() / "ttyUSB0").u16string();
    ConfigureOver(4, strUsb.c_str());
    ConfigureOver(32, (strUsb + u":115200:8:0:0:0").c_str());
    fs::create_symlink(m_hub.PtyPath(), m_dir.Path() / "rfcomm0");
    ConfigureOver(4, (m_dir.Path() / "rfcomm0").u16string().c_str());
}

TEST_F(ComSession, BluetoothSerialPortThroughAnRfcommDevice) {
    fs::create_symlink(m_hub.PtyPath(), m_dir.Path() / "rfcomm0");
    fs::create_symlink(m_dir.Path() / "rfcomm0", m_dir.Path() / "COM6");
    ConfigureOver(4, u"COM6");
}
