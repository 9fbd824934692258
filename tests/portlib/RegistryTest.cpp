// The registry: identifiers, sharing by name, type from the name, open
// counts, unknown ports, presence queries and device option handling.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "FakePort.h"
#include "platform/Clock.h"
#include "portlib/PortListMng.h"

using namespace vexal;
using vexal::test::CFakePort;
using vexal::test::Frame;

namespace {
class Registry : public ::testing::Test {
protected:
    Registry()
        : reg([this](uint32_t type) {
              types.push_back(type);
              auto p = std::make_shared<CFakePort>();
              made.push_back(p);
              return p;
          }) {}
    std::shared_ptr<CFakePort> Fake(uint32_t id) { return std::static_pointer_cast<CFakePort>(reg.Find(id)); }
    std::vector<uint32_t> types;
    std::vector<std::shared_ptr<CFakePort>> made;
    CPortListMng reg;
};
}  // namespace

TEST(PortType, ChosenByCaseSensitiveSubstrings) {
    EXPECT_EQ(PortTypeFromName(u"COM3"), ZAMO_PORT_COM);
    EXPECT_EQ(PortTypeFromName(u"USBCOM"), ZAMO_PORT_COM);  // "COM" wins over "USB"
    EXPECT_EQ(PortTypeFromName(u"USB001:"), ZAMO_PORT_USB);
    EXPECT_EQ(PortTypeFromName(u"LPT1"), ZAMO_PORT_LPT);
    EXPECT_EQ(PortTypeFromName(u"com3"), ZAMO_PORT_NET);
    EXPECT_EQ(PortTypeFromName(u"192.168.0.5"), ZAMO_PORT_NET);
    EXPECT_EQ(PortTypeFromName(u""), 0u);
    // A device path is a serial device, whatever letters it holds.
    EXPECT_EQ(PortTypeFromName(u"/dev/ttyUSB0"), ZAMO_PORT_COM);
    EXPECT_EQ(PortTypeFromName(u"/dev/rfcomm0"), ZAMO_PORT_COM);
}

TEST_F(Registry, IdentifiersStartAt10000AndAreNeverReused) {
    const uint32_t a = reg.CreatePort(u"COM3", 0);
    const uint32_t b = reg.CreatePort(u"10.0.0.1", 0);
    EXPECT_EQ(a, 10000u);
    EXPECT_EQ(b, 10001u);
    EXPECT_EQ(reg.RemovePort(a), 0u);
    EXPECT_EQ(reg.CreatePort(u"COM3", 0), 10002u);
    EXPECT_EQ(reg.CreatePort(u"", 0), 0u);
    EXPECT_EQ(types, (std::vector<uint32_t>{ZAMO_PORT_COM, ZAMO_PORT_NET, ZAMO_PORT_COM}));
}

TEST_F(Registry, SameNameSharesOnePortWithReferenceCounting) {
    const uint32_t a = reg.CreatePort(u"COM3", 0);
    EXPECT_EQ(reg.CreatePort(u"COM3", 0), a);
    EXPECT_EQ(made.size(), 1u);
    EXPECT_EQ(reg.RemovePort(a), 1u);
    EXPECT_NE(reg.Find(a), nullptr);
    EXPECT_EQ(reg.RemovePort(a), 0u);
    EXPECT_EQ(reg.Find(a), nullptr);
    EXPECT_EQ(reg.RemovePort(a), 0u);  // unknown now
}

TEST_F(Registry, NamesAreComparedExactly) {
    const uint32_t a = reg.CreatePort(u"COM3", 0);
    EXPECT_NE(reg.CreatePort(u"COM3 ", 0), a);
    EXPECT_NE(reg.CreatePort(u"com3", 0), a);
    EXPECT_EQ(reg.PortCount(), 3u);
    EXPECT_EQ(types.back(), ZAMO_PORT_NET);
}

TEST_F(Registry, CounterWrapRefusesNewPorts) {
    reg.SetNextPortId(0xFFFFFFFFu);
    EXPECT_EQ(reg.CreatePort(u"a", 0), 0xFFFFFFFFu);
    EXPECT_EQ(reg.CreatePort(u"b", 0), 0u);
    EXPECT_EQ(reg.PortCount(), 1u);
}

TEST_F(Registry, OpenCountsSharedOpensAndLastCloseClosesTheTransport) {
    const uint32_t id = reg.CreatePort(u"10.0.0.1", 0);
    auto port = Fake(id);
    DeviceOption opt{};
    opt.portType = ZAMO_PORT_NET;
    EXPECT_EQ(reg.SetDeviceOption(opt, id), 1u);
    EXPECT_EQ(reg.OpenPort(id, 10), 1u);
    EXPECT_EQ(reg.OpenPort(id, 11), 2u);
    EXPECT_EQ(port->m_nOpenCalls, 1);
    EXPECT_EQ(port->ReceiveQueueCount(11), 1u);  // the second device gets a queue
    reg.ClosePort(id, 11);
    EXPECT_EQ(port->m_nCloseCalls, 0);
    EXPECT_EQ(port->m_dwOpenCount, 1u);
    reg.ClosePort(id, 10);
    EXPECT_EQ(port->m_nCloseCalls, 1);
    EXPECT_EQ(port->m_dwOpenCount, 0u);
    EXPECT_EQ(port->ReceiveQueueCount(0), 0u);
    EXPECT_EQ(reg.RemovePort(id), 0u);
}

TEST_F(Registry, FailedFirstOpenLeavesTheCountAtZeroAndIsRetried) {
    const uint32_t id = reg.CreatePort(u"10.0.0.1", 0);
    auto port = Fake(id);
    port->m_bOpenSucceeds = false;
    EXPECT_EQ(reg.OpenPort(id, 10), 0u);
    EXPECT_EQ(reg.OpenPort(id, 10), 0u);
    EXPECT_EQ(port->m_nOpenCalls, 2);
    port->m_bOpenSucceeds = true;
    EXPECT_EQ(reg.OpenPort(id, 10), 1u);
    reg.ClosePort(id, 10);
}

TEST_F(Registry, UnknownPortResults) {
    uint8_t buf[4] = {};
    DeviceOption opt{};
    EXPECT_EQ(reg.SetDeviceOption(opt, 5), 0u);
    EXPECT_EQ(reg.OpenPort(5, 0), 0u);
    reg.ClosePort(5, 0);
    EXPECT_EQ(reg.Read(buf, 4, 10, 5, 0), 0u);
    EXPECT_EQ(reg.ReadAvailable(5, 0), 0u);
    EXPECT_EQ(reg.Write(buf, 4, 5), 0);
    EXPECT_EQ(reg.IsPowerState(5, 0), 0u);
    EXPECT_EQ(reg.GetASBState(buf, 5, 0), 0u);
    EXPECT_EQ(reg.AvailableDevId(5, 0, 255), 0u);
    EXPECT_EQ(reg.SetAsbMode(1, 5, 0), 1000u);
    EXPECT_EQ(reg.GetAsbMode(5, 0), 1000u);
    EXPECT_EQ(reg.SetPnPMode(1, 5, 0), 1000u);
    EXPECT_EQ(reg.GetPnPMode(5, 0), 1000u);
    EXPECT_EQ(reg.RemovePort(5), 0u);
}

TEST_F(Registry, ModesAreStoredPerPort) {
    const uint32_t id = reg.CreatePort(u"h", 0);
    EXPECT_EQ(reg.GetAsbMode(id, 0), 0u);
    EXPECT_EQ(reg.SetAsbMode(1, id, 0), 0u);
    EXPECT_EQ(reg.GetAsbMode(id, 0), 1u);
    EXPECT_EQ(reg.SetPnPMode(1, id, 0), 0u);
    EXPECT_EQ(reg.GetPnPMode(id, 0), 1u);
    EXPECT_EQ(Fake(id)->StatusQueueCount(0), 0u);  // not raw: no status queue added
}

TEST_F(Registry, SetAsbModeOnARawPortAppendsAStatusQueueEachTime) {
    const uint32_t id = reg.CreatePort(u"h", 0);
    DeviceOption opt{};
    opt.rawMode = 1;
    reg.SetDeviceOption(opt, id);
    reg.SetAsbMode(1, id, 0);
    reg.SetAsbMode(1, id, 0);
    EXPECT_EQ(Fake(id)->StatusQueueCount(0), 2u);
}

TEST_F(Registry, AvailableDevIdFindsTheLowestPresentDeviceAndGivesItAQueue) {
    const uint32_t id = reg.CreatePort(u"h", 0);
    auto port = Fake(id);
    const auto presence = Frame(0xFF, {3, 25});
    port->ProcessReadBytes(presence.data(), static_cast<uint32_t>(presence.size()));
    EXPECT_EQ(reg.AvailableDevId(id, 20, 29), 25u);
    EXPECT_EQ(port->ReceiveQueueCount(25), 1u);
    EXPECT_EQ(reg.AvailableDevId(id, 26, 29), 0u);
    EXPECT_EQ(port->ReceiveQueueCount(0), 1u);         // 0 is added too
    EXPECT_EQ(reg.AvailableDevId(id, 250, 4000), 0u);  // range past the table is cut
}

TEST_F(Registry, PowerStateIsZeroWhileOffLine) {
    const uint32_t id = reg.CreatePort(u"h", 0);
    auto port = Fake(id);
    const auto presence = Frame(0xFF, {10});
    port->ProcessReadBytes(presence.data(), static_cast<uint32_t>(presence.size()));
    EXPECT_EQ(reg.IsPowerState(id, 10), 1u);
    EXPECT_EQ(reg.IsPowerState(id, 11), 0u);
    EXPECT_EQ(reg.IsPowerState(id, 266), 0u);  // 266 must not alias device 10
    port->m_dwLinkState = ZAMO_LINK_OFFLINE;
    EXPECT_EQ(reg.IsPowerState(id, 10), 0u);
}

TEST_F(Registry, DeviceIdentifiersAbove255AreUnknownDevices) {
    const uint32_t id = reg.CreatePort(u"h", 0);
    uint8_t buf[4] = {};
    reg.SetAlarmCallback(id, 1000, [](uint32_t, uint32_t, uint32_t) {});
    EXPECT_EQ(reg.OpenPort(id, 300), 1u);
    EXPECT_EQ(reg.OpenPort(id, 300), 2u);
    EXPECT_EQ(reg.ReadAvailable(id, 300), 0u);
    EXPECT_EQ(reg.GetASBState(buf, id, 300), 0u);
    reg.ClosePort(id, 300);
    reg.ClosePort(id, 300);
}

TEST_F(Registry, SerialRecordGetsItsNameAndStackFieldBeforeTheTransport) {
    const uint32_t id = reg.CreatePort(u"COM3:9600", 0);
    DeviceOption opt{};
    opt.portName = u"COM3";
    opt.portType = ZAMO_PORT_COM;
    opt.bluetoothCheck = 1;
    opt.bluetoothStack = 7;
    opt.speed = 9600;
    reg.SetDeviceOption(opt, id);
    auto port = Fake(id);
    EXPECT_EQ(port->m_strPortName, u"COM3");
    EXPECT_EQ(reg.CreatePort(u"COM3", 0), id);  // found under its new name
    // No Bluetooth stack is known on this host: the field is filled with 0.
    EXPECT_EQ(port->m_lastOption.bluetoothStack, 0u);
    EXPECT_EQ(port->m_lastOption.speed, 9600u);
    // Other types pass unchanged.
    DeviceOption net{};
    net.portType = ZAMO_PORT_NET;
    net.portName = u"10.1.1.1";
    net.bluetoothStack = 7;
    EXPECT_EQ(reg.SetDeviceOption(net, id), 1u);
    EXPECT_EQ(port->m_lastOption.bluetoothStack, 7u);
    EXPECT_EQ(port->m_strPortName, u"COM3");
}

TEST_F(Registry, PortsStayAliveWhileCallsUseThemAndRemovalRaces) {
    // Poll threads read while another thread creates and removes ports.
    const uint32_t id = reg.CreatePort(u"stay", 0);
    std::atomic<bool> stop{false};
    std::thread poller([&] {
        while (!stop) {
            for (uint32_t p = 10000; p < 10010; ++p) {
                reg.ReadAvailable(p, 0);
                reg.IsPowerState(p, 10);
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        const uint32_t t = reg.CreatePort(u"tmp" + std::u16string(1, static_cast<char16_t>(u'a' + i % 5)), 0);
        reg.SetDeviceOption(DeviceOption{}, t);
        reg.RemovePort(t);
    }
    stop = true;
    poller.join();
    EXPECT_NE(reg.Find(id), nullptr);
}

namespace {
// Reads every log file under dir/VQTLog as ASCII (UTF-16LE with the high bytes dropped).
std::string ReadLogs(const std::filesystem::path& dir, std::vector<std::string>* pNames = nullptr) {
    std::string all;
    if (!std::filesystem::exists(dir / "VQTLog")) return all;
    for (const auto& e : std::filesystem::directory_iterator(dir / "VQTLog")) {
        if (pNames) pNames->push_back(e.path().filename().string());
        std::ifstream in(e.path(), std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i + 1 < raw.size(); i += 2) all.push_back(raw[i]);
    }
    return all;
}

class RegistryLog : public Registry {
protected:
    void SetUp() override {
        dir =
            std::filesystem::temp_directory_path() / ("vexal-reglog-" + std::to_string(getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        setenv("VEXAL_LOG_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("VEXAL_LOG_DIR");
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
};
}  // namespace

TEST_F(RegistryLog, NothingIsWrittenWhileTheSwitchesAreOff) {
    reg.CreatePort(u"COM3", 7);
    reg.GetAsbMode(5, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "VQTLog"));
}

TEST_F(RegistryLog, ForcedLineOnCounterWrapIsWrittenWhateverTheSwitches) {
    reg.SetNextPortId(0);
    EXPECT_EQ(reg.CreatePort(u"x", 0), 0u);
    EXPECT_NE(ReadLogs(dir).find(")  !ERROR: -CreatePort : fail to create port id : 0\r\n"), std::string::npos);
}

TEST_F(RegistryLog, SwitchedOnLinesUseTheRegistryLayoutInThePortFile) {
    reg.SetLogSwitches(1, 1);
    const uint32_t id = reg.CreatePort(u"COM3", 7);
    reg.CreatePort(u"COM3", 7);
    reg.GetAsbMode(5, 0);
    reg.RemovePort(id);
    reg.RemovePort(id);
    std::vector<std::string> names;
    const std::string log = ReadLogs(dir, &names);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("Port_Mon_", 0), 0u);
    EXPECT_NE(log.find(")  +CreatePort <strPort : COM3, dwDeviceType : 7>\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  -CreatePort : new created id : 10000\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  -CreatePort: existing id used <10000>\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  !ERROR: GetAsbMode : pPortInterface is NULL\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  -RemovePort : partial remove. remain port count:1\r\n"), std::string::npos);
    EXPECT_NE(log.find("RemovePort : All Remove. delete port.\r\n- ("), std::string::npos);
}

TEST_F(RegistryLog, SwitchAAloneCarriesOpenCloseAndUnknownPortLinesButNoOthers) {
    reg.SetLogSwitches(1, 0);
    const uint32_t id = reg.CreatePort(u"10.0.0.1", 0);
    DeviceOption opt{};
    opt.portType = ZAMO_PORT_NET;
    reg.SetDeviceOption(opt, id);
    reg.OpenPort(id, 10);
    reg.OpenPort(id, 11);
    uint8_t buf[2] = {};
    Fake(id)->EnqueueData(0, buf, 2);
    reg.Read(buf, 2, 10, id, 0);
    reg.ReadAvailable(5, 0);
    reg.ClosePort(id, 11);
    reg.ClosePort(id, 10);
    reg.RemovePort(id);
    const std::string log = ReadLogs(dir);
    EXPECT_NE(log.find(")  +OpenPort <dwPortId : 10000>\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(")  -OpenPort <retVal : 1>\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  -OpenPort : already port open=2\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  +ClosePort <dwPortId : 10000>\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  -ClosePort : another device using port=1.\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  -ClosePort\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  +RemovePort <dwPortId : 10000,  dwPortId : 10000>\r\n"), std::string::npos);
    EXPECT_NE(log.find(")  -RemovePort : close port\r\n"), std::string::npos);
    // An unknown port is reported through switch A at the error level.
    EXPECT_NE(log.find(")  !ERROR: ReadAvailable : pPortInterface is NULL\r\n"), std::string::npos);
    // Entry and exit lines of the other functions need switch B.
    EXPECT_EQ(log.find("SetDeviceOption <"), std::string::npos);
    EXPECT_EQ(log.find("Read <"), std::string::npos);
}
