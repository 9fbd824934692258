// The configuration library through its exports, beside the real port
// library, against vexal-hubsim over TCP on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CfgLibrary.h"
#include "HubSimFixture.h"

using namespace cfglib_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class HubTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard lock(g_eventLock);
        g_statuses.clear();
        g_data.clear();
    }

    std::u16string PortText() const {
        const std::string s = hub.Address() + ":" + std::to_string(hub.Port());
        return std::u16string(s.begin(), s.end());
    }
    int32_t Select() { return api.selectInterface(2, PortText().c_str()); }
    int32_t OpenSession() {
        const int32_t h = Select();
        EXPECT_GT(h, 0);
        EXPECT_EQ(api.openService(h), 10);
        return h;
    }
    // The payloads the hub received for a device, in hex, space-separated.
    std::string Received(int nDevice) { return hub.Control("RX " + std::to_string(nDevice)); }

    const SCfgApi& api = SCfgApi::Get();
    CHubSimFixture hub;
};

TEST_F(HubTest, OpenReadsTheHubListsItsDevicesAndCloses) {
    const int32_t h = OpenSession();
    EXPECT_EQ(api.getDeviceId(h), 10);
    const std::string strHubSaw = Received(0);
    EXPECT_NE(strHubSaw.find("50"), std::string::npos) << strHubSaw;
    EXPECT_NE(strHubSaw.find("51"), std::string::npos) << strHubSaw;
    EXPECT_EQ(Received(255), "OK 01") << "PnP enabled once";

    CText name, version, list, vid(8), pid(8);
    EXPECT_EQ(api.getVexalName(h, &name.text), 0);
    EXPECT_EQ(name.Ascii(), "VX-H400_VXL");
    EXPECT_EQ(api.getVexalVersion(h, &version.text), 0);
    EXPECT_EQ("OK " + version.Ascii(), hub.Control("GET firmware"));
    EXPECT_EQ(api.getUsbList(h, &list.text), 0);
    EXPECT_EQ(list.Ascii(), "5a4d&0e28,5a4d&1200,5a4d&6001,5a4d&2303,");
    EXPECT_EQ(api.getUsbInfo(h, 20, &vid.text, &pid.text), 0);
    EXPECT_EQ(vid.Ascii() + ":" + pid.Ascii(), "5a4d:1200");
    uint8_t ids[254] = {};
    int32_t nCount = 0;
    EXPECT_EQ(api.getDevIdList(h, ids, &nCount), 0);
    EXPECT_EQ(std::vector<uint8_t>(ids, ids + nCount), (std::vector<uint8_t>{10, 20, 100, 101}));
    EXPECT_EQ(api.isOpen(h), 1);
    EXPECT_EQ(api.closeService(h, 0), 0);
    EXPECT_EQ(api.isOpen(h), 0) << "released";
}

TEST_F(HubTest, FramesSeenByTheHub) {
    const int32_t h = OpenSession();
    hub.Control("RX CLEAR");
    CText list;
    EXPECT_EQ(api.getUsbList(h, &list.text), 0);
    EXPECT_EQ(Received(0), "OK 44") << "a one-byte query is one frame with one payload byte";

    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
    EXPECT_EQ(api.directIO(h, data.data(), 5000), 0);
    std::string strExpected = "OK ";
    auto hex = [](const uint8_t* p, size_t n) {
        static const char* const kDigits = "0123456789ABCDEF";
        std::string s;
        for (size_t i = 0; i < n; ++i) {
            s += kDigits[p[i] >> 4];
            s += kDigits[p[i] & 15];
        }
        return s;
    };
    strExpected += hex(data.data(), 4096) + " " + hex(data.data() + 4096, 904);
    std::string strSaw;
    for (int i = 0; i < 100 && strSaw != strExpected; ++i, std::this_thread::sleep_for(20ms)) strSaw = Received(10);
    EXPECT_EQ(strSaw.size(), strExpected.size());
    EXPECT_TRUE(strSaw == strExpected) << "two frames of 4096 and 904 payload bytes";
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(HubTest, PassThroughSendsBytesUnframed) {
    const int32_t h = Select();
    ASSERT_EQ(api.selectCommandMode(h, 1), 0);
    EXPECT_EQ(api.openService(h), 0);
    EXPECT_EQ(api.getDeviceId(h), 0);
    CText name;
    EXPECT_EQ(api.getVexalName(h, &name.text), 1003);
    // The bytes go out as given: here they happen to form a frame themselves.
    const uint8_t frame[] = {0x56, 0x51, 0x54, 0x0A, 0x00, 0x03, 0x41, 0x42, 0x43};
    EXPECT_EQ(api.directIO(h, frame, sizeof frame), 0);
    std::string strSaw;
    for (int i = 0; i < 100 && strSaw != "OK 414243"; ++i, std::this_thread::sleep_for(20ms)) strSaw = Received(10);
    EXPECT_EQ(strSaw, "OK 414243");
    EXPECT_EQ(Received(0), "OK") << "no model check, no PnP";
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(HubTest, LateReplyTimesOutAndIsClearedByTheNextExchange) {
    const int32_t h = OpenSession();
    ASSERT_EQ(hub.Control("FAULT DELAY 2000"), "OK");
    CText list, vid(8), pid(8);
    const auto start = Clock::now();
    EXPECT_EQ(api.getUsbList(h, &list.text), 1011);
    EXPECT_GE(ElapsedMs(start), 1450);
    EXPECT_LT(ElapsedMs(start), 1990);
    ASSERT_EQ(hub.Control("FAULT DELAY OFF"), "OK");
    std::this_thread::sleep_for(1000ms);  // the late 0x44 reply is queued now
    // Read as the next reply it would fail the 0x45 header check.
    EXPECT_EQ(api.getUsbInfo(h, 10, &vid.text, &pid.text), 0);
    EXPECT_EQ(vid.Ascii() + ":" + pid.Ascii(), "5a4d:0e28");
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(HubTest, WrongHeadersAndShortRepliesAreRefused) {
    const int32_t h = OpenSession();
    CText list, vid(8), pid(8);
    ASSERT_EQ(hub.Control("FAULT WRONGHEADER 44"), "OK");
    EXPECT_EQ(api.getUsbList(h, &list.text), 1000);
    EXPECT_EQ(list.Ascii(), "");
    ASSERT_EQ(hub.Control("FAULT SHORT 45 5"), "OK");
    EXPECT_EQ(api.getUsbInfo(h, 20, &vid.text, &pid.text), 1007);
    ASSERT_EQ(hub.Control("FAULT CLEAR"), "OK");
    EXPECT_EQ(api.getUsbInfo(h, 20, &vid.text, &pid.text), 0);
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(HubTest, DeviceIdSearch) {
    const int32_t h = Select();
    EXPECT_EQ(api.convertHID(h, 1), 0);
    EXPECT_EQ(api.openService(h), 20) << "the HID device comes first after convertHID";
    EXPECT_EQ(api.closeService(h, 0), 0);

    ASSERT_EQ(hub.Control("UNPLUG 10"), "OK");
    const int32_t h2 = Select();
    EXPECT_EQ(api.setTimeout(h2, 0), 0);
    const auto start = Clock::now();
    EXPECT_EQ(api.openService(h2), 1007);
    EXPECT_LT(ElapsedMs(start), 3000);
    EXPECT_EQ(api.isOpen(h2), 0);
    // The failed open released the port: a new open starts afresh.
    ASSERT_EQ(hub.Control("PLUG 10 printer"), "OK");
    EXPECT_EQ(api.setTimeout(h2, 3), 0);
    EXPECT_EQ(api.openService(h2), 10);
    EXPECT_EQ(api.closeService(h2, 0), 0);
}

TEST_F(HubTest, SecondSessionSharesThePort) {
    const int32_t hA = OpenSession();
    const int32_t hB = OpenSession();
    EXPECT_EQ(Received(255), "OK 01") << "the first user alone enables PnP";
    CText list;
    EXPECT_EQ(api.getUsbList(hB, &list.text), 0);
    EXPECT_EQ(api.closeService(hB, 0), 1);
    EXPECT_EQ(api.getResult(hB), 0) << "still registered";
    EXPECT_EQ(api.getUsbList(hA, &list.text), 0) << "the first session still talks to the hub";
    EXPECT_EQ(api.closeService(hA, 0), 0);
    EXPECT_EQ(api.closeService(hB, 0), 0) << "closed again, now without other users";
}

TEST_F(HubTest, PollThreadAndAlarmCallbacks) {
    const int32_t h = Select();
    api.setStatusUpdateEvent(h, &OnStatus);
    api.setDataEvent(h, &OnData);
    ASSERT_EQ(api.openService(h), 10);
    EXPECT_TRUE(WaitFor([] { return g_statuses == std::vector<int32_t>{0}; }, 3000ms));

    ASSERT_EQ(hub.Control("UNPLUG 10"), "OK");
    EXPECT_TRUE(WaitFor([] { return g_statuses == std::vector<int32_t>{0, 1}; }, 3000ms));
    ASSERT_EQ(hub.Control("PLUG 10 printer"), "OK");
    EXPECT_TRUE(WaitFor([] { return g_statuses == std::vector<int32_t>{0, 1, 0}; }, 3000ms));

    ASSERT_EQ(hub.Control("SEND 10 48 75 62"), "OK");
    EXPECT_TRUE(WaitFor([] { return g_data == std::vector<std::u16string>{u"Hub"}; }, 3000ms));

    ASSERT_EQ(hub.Control("ALARM WRITE 10 4"), "OK");
    EXPECT_TRUE(WaitFor([] { return !g_statuses.empty() && g_statuses.back() == 1203; }, 3000ms));
    EXPECT_EQ(api.closeService(h, 0), 0);
}

}  // namespace
