// The serial port on a real pseudo-terminal: raw bytes both ways, the line
// as the other end sees it, names that must fail, and a hub that goes away.
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

#include "HubSimFixture.h"
#include "SerialTestSupport.h"
#include "platform/Clock.h"
#include "portlib/PortCom.h"
#include "portlib/PortListMng.h"

using namespace vexal;
using namespace serial_test;
namespace fs = std::filesystem;

namespace {

// A pty whose slave end stands for the device; the test holds the master.
struct CPty {
    CPty() {
        hMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(hMaster, 0);
        grantpt(hMaster);
        unlockpt(hMaster);
        char name[128] = {};
        ptsname_r(hMaster, name, sizeof name);
        strSlave = name;
    }
    ~CPty() { close(hMaster); }
    // The slave's settings as any holder of the line sees them.
    termios2 Settings() const {
        termios2 tio{};
        EXPECT_EQ(ioctl(hMaster, TCGETS2, &tio), 0);
        return tio;
    }
    void WriteAll(const std::vector<uint8_t>& bytes) const {
        size_t n = 0;
        while (n < bytes.size()) {
            const ssize_t k = write(hMaster, bytes.data() + n, bytes.size() - n);
            ASSERT_GT(k, 0);
            n += static_cast<size_t>(k);
        }
    }
    std::vector<uint8_t> ReadFor(size_t nWanted, int ms) const {
        std::vector<uint8_t> out;
        const uint64_t t0 = platform::TickMs();
        while (out.size() < nWanted && platform::TickMs() - t0 < static_cast<uint64_t>(ms)) {
            pollfd fd{hMaster, POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0) continue;
            uint8_t buf[512];
            const ssize_t k = read(hMaster, buf, sizeof buf);
            if (k > 0) out.insert(out.end(), buf, buf + k);
        }
        return out;
    }
    int hMaster = -1;
    std::string strSlave;
};

DeviceOption Option(const char16_t* pszName, uint32_t dwBaud = 9600, uint32_t dwFlow = 0) {
    DeviceOption opt{};
    opt.portName = pszName;
    opt.portType = ZAMO_PORT_COM;
    opt.rawMode = 1;
    opt.speed = dwBaud;
    opt.dataBits = 8;
    opt.flowControl = dwFlow;
    opt.readIntervalTimeout = 2;
    opt.readTotalTimeoutConstant = 50;
    opt.writeTotalTimeoutMultiplier = 10;
    opt.writeTotalTimeoutConstant = 5000;
    return opt;
}

std::vector<uint8_t> EveryByte() {
    std::vector<uint8_t> bytes;
    for (int round = 0; round < 2; ++round)
        for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<uint8_t>(b));
    return bytes;
}

}  // namespace

TEST(PortComPty, EveryByteValuePassesUnchangedBothWaysAlsoFromCookedMode) {
    CPty pty;
    CTempDir dir("com-pty");
    CDeviceDirScope scope(dir.Path());
    fs::create_symlink(pty.strSlave, dir.Path() / "COM7");
    {
        // Leave the line cooked, as a terminal program would.
        const int hSlave = open(pty.strSlave.c_str(), O_RDWR | O_NOCTTY);
        termios2 tio{};
        ASSERT_EQ(ioctl(hSlave, TCGETS2, &tio), 0);
        tio.c_iflag |= ICRNL | IXON | ISTRIP;
        tio.c_oflag |= OPOST | ONLCR;
        tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        ASSERT_EQ(ioctl(hSlave, TCSETS2, &tio), 0);
        close(hSlave);
    }
    auto pPort = std::make_shared<CPortCom>();
    ASSERT_EQ(pPort->SetDeviceOption(Option(u"COM7")), 1u);
    ASSERT_EQ(pPort->OpenPort(), 1u);

    const std::vector<uint8_t> bytes = EveryByte();
    pty.WriteAll(bytes);
    ASSERT_TRUE(WaitFor([&] { return pPort->AvailableCount(0) >= bytes.size(); }, 5000)) << pPort->AvailableCount(0);
    std::vector<uint8_t> got(bytes.size());
    EXPECT_EQ(pPort->Read(0, got.data(), static_cast<uint32_t>(got.size()), 100), bytes.size());
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(pPort->AvailableCount(0), 0u) << "nothing echoed or added";

    EXPECT_EQ(pPort->WritePort(bytes.data(), static_cast<uint32_t>(bytes.size())), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(pty.ReadFor(bytes.size() + 1, 1000), bytes);
    EXPECT_EQ(pPort->m_dwLinkState, ZAMO_LINK_ONLINE) << "a pty has no modem lines: CTS and DSR count as on";
    pPort->ClosePort();
}

TEST(PortComPty, TheOtherEndSeesTheLineSettings) {
    CPty pty;
    CTempDir dir("com-line");
    CDeviceDirScope scope(dir.Path());
    fs::create_symlink(pty.strSlave, dir.Path() / "COM2");
    struct Row {
        uint32_t dwBaud, dwFlow;
        bool bCts, bXon;
    };
    for (const Row row : {Row{115200, 0, true, false}, Row{250000, 1, true, true}, Row{4800, 2, false, false}}) {
        SCOPED_TRACE(row.dwBaud);
        auto pPort = std::make_shared<CPortCom>();
        ASSERT_EQ(pPort->SetDeviceOption(Option(u"COM2", row.dwBaud, row.dwFlow)), 1u);
        ASSERT_EQ(pPort->OpenPort(), 1u);
        const termios2 tio = pty.Settings();
        EXPECT_EQ(tio.c_ospeed, row.dwBaud);
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, row.bCts);
        EXPECT_EQ((tio.c_iflag & IXON) != 0, row.bXon);
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, row.bXon);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u) << "raw";
        EXPECT_EQ(tio.c_iflag & INPCK, 0u);
        EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
        pPort->ClosePort();
    }
}

TEST(PortComPty, NamesTheSystemDoesNotKnowFailToOpen) {
    CPty pty;
    CTempDir dir("com-names");
    CDeviceDirScope scope(dir.Path());
    fs::create_symlink(dir.Path() / "gone", dir.Path() / "COM3");  // dangling
    fs::create_symlink(pty.strSlave, dir.Path() / "COM4");
    for (const char16_t* pszName : {u"COM3", u"COM1/../x", u"COM4/", u"COMX", u"COM250", u"COM\u00c44"}) {
        auto pPort = std::make_shared<CPortCom>();
        ASSERT_EQ(pPort->SetDeviceOption(Option(pszName)), 1u);
        EXPECT_EQ(pPort->OpenPort(), 0u);
        EXPECT_FALSE(pPort->HasDevice());
        EXPECT_FALSE(pPort->IsReaderRunning());
    }
    // The line is taken exclusively; a user without the privilege to break
    // that would be refused, which root is not, so only the flag is checked.
    auto pPort = std::make_shared<CPortCom>();
    ASSERT_EQ(pPort->SetDeviceOption(Option(u"COM4")), 1u);
    ASSERT_EQ(pPort->OpenPort(), 1u);
    pPort->ClosePort();
}

TEST(PortComPty, HubsThatGoAwayLeaveACableOpenAndOfflineAndCloseABluetoothPortWithoutABusyLoop) {
    CTempDir dir("com-hub");
    CDeviceDirScope scope(dir.Path());
    CHubSimFixture::Options options;
    options.bPty = true;
    CHubSimFixture cableHub(options), bluetoothHub(options);
    fs::create_symlink(cableHub.PtyPath(), dir.Path() / "COM5");
    fs::create_symlink(bluetoothHub.PtyPath(), dir.Path() / "rfcomm3");
    fs::create_symlink(dir.Path() / "rfcomm3", dir.Path() / "COM6");
    EXPECT_EQ(GetBluetoothStackType(u"COM6"), 1u);
    EXPECT_EQ(GetBluetoothStackType(u"COM5"), 0u);
    // By path: the rfcomm device itself, or a link chain that reaches one.
    EXPECT_EQ(GetBluetoothStackType((dir.Path() / "rfcomm3").u16string()), 1u);
    EXPECT_EQ(GetBluetoothStackType((dir.Path() / "COM6").u16string()), 1u);
    EXPECT_EQ(GetBluetoothStackType(fs::path(cableHub.PtyPath()).u16string()), 0u);

    DeviceOption bt = Option(u"COM6");
    bt.bluetoothCheck = 1;
    bt.bluetoothStack = 1;
    auto pCable = std::make_shared<CPortCom>();
    auto pBluetooth = std::make_shared<CPortCom>();
    ASSERT_EQ(pCable->SetDeviceOption(Option(u"COM5")), 1u);
    ASSERT_EQ(pBluetooth->SetDeviceOption(bt), 1u);
    ASSERT_EQ(pCable->OpenPort(), 1u);
    ASSERT_EQ(pBluetooth->OpenPort(), 1u);
    ASSERT_TRUE(WaitFor(
        [&] { return pCable->m_dwLinkState == ZAMO_LINK_ONLINE && pBluetooth->m_dwLinkState == ZAMO_LINK_ONLINE; },
        3000));

    cableHub.Stop();
    bluetoothHub.Stop();
    ASSERT_TRUE(WaitFor([&] { return pCable->m_dwLinkState == ZAMO_LINK_OFFLINE && !pBluetooth->HasDevice(); }, 3000));
    EXPECT_EQ(pBluetooth->m_dwLinkState, ZAMO_LINK_OFFLINE);
    EXPECT_TRUE(pCable->HasDevice()) << "a cable stays open and keeps polling";
    const uint64_t nCpu0 = ProcessCpuMs();
    platform::SleepMs(1000);
    EXPECT_LT(ProcessCpuMs() - nCpu0, 200u) << "no busy loop after the hang-up";
    EXPECT_EQ(pCable->WritePort(reinterpret_cast<const uint8_t*>("x"), 1), 0) << "nothing goes out on a hung-up line";
    const uint64_t t0 = platform::TickMs();
    pBluetooth->ClosePort();
    EXPECT_LT(platform::TickMs() - t0, 300u) << "the 2000 ms pause ends on close";
    pCable->ClosePort();
}
