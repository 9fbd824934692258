// ZamoCfg.dll as a Windows program written for its interface uses it:
// loaded by name, its exports looked up with GetProcAddress, a session to a
// Linux simulator over Ethernet reading and writing every settings group,
// and sessions over a simulator's pty served as COM5.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "HubSimFixture.h"
#include "include/zamocfg.h"

namespace {

// clang-format off
#define SESSION_TEST_EXPORTS(X)                                                                                     \
    X(selectInterface) X(selectCommandMode) X(openService) X(closeService) X(getResult) X(getVexalName)            \
    X(getBluetoothName) X(getBluetoothPinCode) X(getBluetoothConnectionMode) X(getBluetoothAuthentication)        \
    X(setBluetoothInfo) X(getBluetoothAutoConnection) X(setBluetoothAutoConnection) X(getLanInfo) X(setLanInfo)   \
    X(getWlanInfo) X(setWlanInfo) X(getSerialConfiguration) X(setSerialConfiguration) X(getCustomDeviceList)      \
    X(addCustomDevice) X(getTelnetAvailable) X(setTelnetAvailable) X(getSNMPAvailable) X(setSNMPAvailable)        \
    X(getSNMPROCommunity) X(setSNMPROCommunity) X(getSNMPRWCommunity) X(setSNMPRWCommunity)                       \
    X(getInterfaceUsageStatus) X(setInterfaceUsageStatus)
// clang-format on

struct SApi {
#define SESSION_TEST_MEMBER(name) decltype(&::name) name = nullptr;
    SESSION_TEST_EXPORTS(SESSION_TEST_MEMBER)
#undef SESSION_TEST_MEMBER
};

// Loaded once, from the program's folder and the system's only, never unloaded.
const SApi& Api() {
    static const SApi api = [] {
        SApi a;
        HMODULE h =
            LoadLibraryExW(L"ZamoCfg.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (h == nullptr) return a;
// clang-format off
#define SESSION_TEST_BIND(name) \
    a.name = reinterpret_cast<decltype(&::name)>(reinterpret_cast<void*>(GetProcAddress(h, #name)));
        // clang-format on
        SESSION_TEST_EXPORTS(SESSION_TEST_BIND)
#undef SESSION_TEST_BIND
        return a;
    }();
    return api;
}

class CText {
public:
    ZamoText* Get() {
        m_text = ZamoText{m_storage, 256, 0};
        return &m_text;
    }
    std::u16string Str() const { return std::u16string(m_text.data, m_text.length); }

private:
    char16_t m_storage[256] = {};
    ZamoText m_text{};
};

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

TEST(Win32Session, EthernetSessionReadsAndWritesEveryGroup) {
    const SApi& api = Api();
    ASSERT_NE(api.setInterfaceUsageStatus, nullptr) << "ZamoCfg.dll or one of its names is missing";
    CHubSimFixture hub;
    const int32_t h = api.selectInterface(2, Widen("127.0.0.1:" + std::to_string(hub.Port())).c_str());
    ASSERT_GT(h, 0);
    ASSERT_EQ(api.selectCommandMode(h, 0), 0);
    ASSERT_EQ(api.openService(h), 10) << "result " << api.getResult(h);
    CText text;
    ASSERT_EQ(api.getVexalName(h, text.Get()), 0);
    EXPECT_EQ(text.Str(), u"VX-H400_VXL");

    // Bluetooth: the name through the ANSI code page both ways ('?' for what it cannot hold).
    ASSERT_EQ(api.setBluetoothInfo(h, '3', u"Caf\u00E9 \u03A9", u"8642", '0'), 0);
    EXPECT_EQ(hub.Control("GET bluetooth.name"), "OK Caf\xC3\xA9 ?");
    ASSERT_EQ(api.getBluetoothName(h, text.Get()), 0);
    EXPECT_EQ(text.Str(), u"Caf\u00E9 ?");
    ASSERT_EQ(api.getBluetoothPinCode(h, text.Get()), 0);
    EXPECT_EQ(text.Str(), u"8642");
    int32_t nValue = 0;
    ASSERT_EQ(api.getBluetoothConnectionMode(h, &nValue), 0);
    EXPECT_EQ(nValue, '3');
    ASSERT_EQ(api.getBluetoothAuthentication(h, &nValue), 0);
    EXPECT_EQ(nValue, '0');
    uint8_t byValue = 0xEE;
    ASSERT_EQ(api.setBluetoothAutoConnection(h, 0), 0);
    ASSERT_EQ(api.getBluetoothAutoConnection(h, &byValue), 0);
    EXPECT_EQ(byValue, 0);

    // LAN and WLAN blocks, changed and read back.
    uint8_t lan[30] = {};
    ASSERT_EQ(api.getLanInfo(h, lan), 0);
    EXPECT_EQ(lan[6], 192);
    const uint8_t address[4] = {10, 1, 2, 3};
    std::memcpy(lan + 6, address, 4);
    uint8_t byStatus = 0xEE;
    ASSERT_EQ(api.setLanInfo(h, lan, 30, &byStatus), 0);
    EXPECT_EQ(byStatus, 0);
    EXPECT_EQ(hub.Control("GET lan.ip"), "OK 10.1.2.3");
    uint8_t lanBack[30] = {};
    ASSERT_EQ(api.getLanInfo(h, lanBack), 0);
    EXPECT_EQ(std::memcmp(lan, lanBack, 30), 0);
    uint8_t wlan[592] = {};
    ASSERT_EQ(api.getWlanInfo(h, wlan), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(wlan + 65), "ShopFloor");
    std::memset(wlan + 65, 0, 32);
    std::memcpy(wlan + 65, "Backroom", 8);
    uint8_t ack[20] = {};
    ASSERT_EQ(api.setWlanInfo(h, wlan + 18, 574, ack), 0);
    EXPECT_EQ(ack[14], 'S');
    uint8_t wlanBack[592] = {};
    ASSERT_EQ(api.getWlanInfo(h, wlanBack), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(wlanBack + 65), "Backroom");

    // USB-to-serial adapter and custom devices.
    ASSERT_EQ(api.setSerialConfiguration(h, 100, 6, 0, 1, 2), 0);
    uint8_t line[4] = {};
    ASSERT_EQ(api.getSerialConfiguration(h, 100, &line[0], &line[1], &line[2], &line[3]), 0);
    EXPECT_EQ(std::string(line, line + 4), std::string("\x06\x00\x01\x02", 4));
    EXPECT_EQ(api.addCustomDevice(h, 1, u"1A2B", u"3C4D"), 0);
    ASSERT_EQ(api.getCustomDeviceList(h, 1, text.Get()), 0);
    EXPECT_EQ(text.Str(), u"1a2b&3c4d,");

    // Services and interface usage.
    ASSERT_EQ(api.setTelnetAvailable(h, 0), 0);
    ASSERT_EQ(api.getTelnetAvailable(h, &byValue), 0);
    EXPECT_EQ(byValue, 0);
    ASSERT_EQ(api.setSNMPAvailable(h, 1), 0);
    ASSERT_EQ(api.getSNMPAvailable(h, &byValue), 0);
    EXPECT_EQ(byValue, 1);
    ASSERT_EQ(api.setSNMPROCommunity(h, u"Z\u00FCrich"), 0);
    EXPECT_EQ(hub.Control("GET snmp_ro"), "OK Z\xC3\xBCrich");
    ASSERT_EQ(api.getSNMPROCommunity(h, text.Get()), 0);
    EXPECT_EQ(text.Str(), u"Z\u00FCrich");
    ASSERT_EQ(api.setSNMPRWCommunity(h, u"backoffice"), 0);
    ASSERT_EQ(api.getSNMPRWCommunity(h, text.Get()), 0);
    EXPECT_EQ(text.Str(), u"backoffice");
    int32_t nError = 0;
    ASSERT_EQ(api.setInterfaceUsageStatus(h, 2, 1, 1, 0, &nError), 0);
    EXPECT_EQ(nError, 0);
    int32_t usage[4] = {};
    ASSERT_EQ(api.getInterfaceUsageStatus(h, &usage[0], &usage[1], &usage[2], &usage[3]), 0);
    EXPECT_EQ(usage[1], 1);
    EXPECT_EQ(usage[2], 1);
    EXPECT_EQ(usage[3], 0);
    EXPECT_EQ(hub.Control("GET interfaces.wlan"), "OK 0");
    EXPECT_EQ(api.closeService(h, 0), 0);
}

// Both serial read paths over the pty: explicit line settings (bytes waiting
// asked first) and a default serial port (read in 512-byte slices that the
// port's time-outs end).
TEST(Win32Session, SerialSessionsOverAPtyServedAsCom5) {
    const SApi& api = Api();
    ASSERT_NE(api.setInterfaceUsageStatus, nullptr);
    CHubSimFixture::Options options;
    options.bPty = true;
    options.strComLink = "COM5";
    CHubSimFixture hub(options);
    for (const auto& [nInterface, strPort] : {std::pair<int32_t, std::u16string>{32, u"COM5:115200:8:0:0:2"},
                                              std::pair<int32_t, std::u16string>{4, u"COM5:9600"}}) {
        SCOPED_TRACE(nInterface);
        const int32_t h = api.selectInterface(nInterface, strPort.c_str());
        ASSERT_GT(h, 0);
        ASSERT_EQ(api.openService(h), 10) << "result " << api.getResult(h);
        CText text;
        ASSERT_EQ(api.getVexalName(h, text.Get()), 0);
        EXPECT_EQ(text.Str(), u"VX-H400_VXL");
        uint8_t lan[30] = {};
        ASSERT_EQ(api.getLanInfo(h, lan), 0);
        EXPECT_EQ(lan[0], 0x00);  // the MAC address 00:1B:...
        EXPECT_EQ(lan[1], 0x1B);
        const std::u16string strName = nInterface == 32 ? u"Over COM5" : u"Bluetooth COM5";
        ASSERT_EQ(api.setBluetoothInfo(h, '1', strName.c_str(), u"0000", '1'), 0);
        ASSERT_EQ(api.getBluetoothName(h, text.Get()), 0);
        EXPECT_EQ(text.Str(), strName);
        EXPECT_EQ(api.closeService(h, 0), 0);
    }
}
