// The configuration library against a stand-in port library that records
// every call: the cases the real port library and the simulator cannot
// produce on demand (the device option record, write splitting, refused
// writes, late and malformed replies, alarms after a session is gone).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CfgLibrary.h"
#include "fakeport/FakePort.h"
#include "include/zamoport.h"

using namespace cfglib_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using Bytes = std::vector<uint8_t>;

// The stand-in's controls, from the copy the configuration library loaded.
struct SFake {
#define FAKE_FN(name) decltype(&::name) name = nullptr
    FAKE_FN(FakePort_Reset);
    FAKE_FN(FakePort_SetOpenResult);
    FAKE_FN(FakePort_SetWriteLimit);
    FAKE_FN(FakePort_SetWriteFailure);
    FAKE_FN(FakePort_SetPresent);
    FAKE_FN(FakePort_SetReply);
    FAKE_FN(FakePort_Enqueue);
    FAKE_FN(FakePort_RaiseAlarm);
    FAKE_FN(FakePort_CallLog);
    FAKE_FN(FakePort_Written);
    FAKE_FN(FakePort_LastOption);
    FAKE_FN(FakePort_References);
    FAKE_FN(FakePort_SetPowerStateDelay);
    FAKE_FN(FakePort_PowerStateCallers);
#undef FAKE_FN
    decltype(&::ReadAvailable) pfnReadAvailable = nullptr;

    static const SFake& Get() {
        static const SFake s_fake = [] {
            SCfgApi::Get();
            const std::string strDir = std::string(CFGLIB_DIR);
            void* h = dlopen((strDir + "/libzamoport.so").c_str(), RTLD_NOW | RTLD_LOCAL);
            void* hControl = dlopen((strDir + "/libzamoport_fakecontrol.so").c_str(), RTLD_NOW | RTLD_LOCAL);
            if (h == nullptr || hControl == nullptr) throw std::runtime_error("cannot load the stand-in port library");
            SFake fake;
#define FAKE_BIND(name) fake.name = reinterpret_cast<decltype(fake.name)>(dlsym(hControl, #name))
            FAKE_BIND(FakePort_Reset);
            FAKE_BIND(FakePort_SetOpenResult);
            FAKE_BIND(FakePort_SetWriteLimit);
            FAKE_BIND(FakePort_SetWriteFailure);
            FAKE_BIND(FakePort_SetPresent);
            FAKE_BIND(FakePort_SetReply);
            FAKE_BIND(FakePort_Enqueue);
            FAKE_BIND(FakePort_RaiseAlarm);
            FAKE_BIND(FakePort_CallLog);
            FAKE_BIND(FakePort_Written);
            FAKE_BIND(FakePort_LastOption);
            FAKE_BIND(FakePort_References);
            FAKE_BIND(FakePort_SetPowerStateDelay);
            FAKE_BIND(FakePort_PowerStateCallers);
#undef FAKE_BIND
            fake.pfnReadAvailable = reinterpret_cast<decltype(&::ReadAvailable)>(dlsym(h, "ReadAvailable"));
            return fake;
        }();
        return s_fake;
    }

    std::string CallLog() const {
        const uint32_t n = FakePort_CallLog(nullptr, 0);
        std::string s(n + 1, '\0');
        FakePort_CallLog(s.data(), n + 1);
        s.resize(n);
        return s;
    }
    Bytes Written() const {
        Bytes b(FakePort_Written(nullptr, 0));
        FakePort_Written(b.data(), static_cast<uint32_t>(b.size()));
        return b;
    }
    void Reply(uint8_t byCommand, const Bytes& reply, uint32_t dwDelayMs = 0) const {
        FakePort_SetReply(byCommand, reply.data(), static_cast<uint32_t>(reply.size()), dwDelayMs);
    }
};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Only the lines that the hub traffic and port lifetime leave behind.
std::vector<std::string> Lines(const std::string& strLog, const std::string& strPrefix) {
    std::vector<std::string> out;
    size_t nStart = 0;
    while (nStart < strLog.size()) {
        const size_t nEnd = strLog.find('\n', nStart);
        const std::string strLine = strLog.substr(nStart, nEnd - nStart);
        if (strLine.rfind(strPrefix, 0) == 0) out.push_back(strLine);
        nStart = nEnd == std::string::npos ? strLog.size() : nEnd + 1;
    }
    return out;
}

class FakePortTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.FakePort_Reset();
        // A hub that names itself and answers its version.
        fake.Reply(0x50, Concat({{0x50, 0x00}, Ascii("VX-100_VXL"), {0x00}}));
        fake.Reply(0x51, Concat({{0x51, 0x00}, Ascii("1.02"), {0x00}}));
        fake.FakePort_SetPresent(10, 1);
    }

    // A session over Ethernet (or another interface) opened on device 10.
    int32_t OpenSession(int32_t nInterface = 2, const char16_t* pszPort = u"192.168.0.10") {
        const int32_t h = api.selectInterface(nInterface, pszPort);
        EXPECT_GT(h, 0);
        EXPECT_EQ(api.openService(h), 10);
        return h;
    }

    const SCfgApi& api = SCfgApi::Get();
    const SFake& fake = SFake::Get();
};

std::vector<uint32_t> RecordFields(const SFake& fake, std::string& strName) {
    std::vector<uint32_t> fields(18);
    char szName[128];
    fake.FakePort_LastOption(fields.data(), szName, sizeof szName);
    strName = szName;
    return fields;
}

// ---- The device option record for each interface ----

TEST_F(FakePortTest, EthernetRecordTakesAddressAndTcpPort) {
    std::string strName;
    const int32_t h = OpenSession(2, u"192.168.0.10");
    auto f = RecordFields(fake, strName);
    EXPECT_EQ(strName, "192.168.0.10");
    EXPECT_EQ(f[1], 2u);
    EXPECT_EQ(f[2], 0u);
    EXPECT_EQ(f[3], 9100u);
    EXPECT_EQ(f[13], 4096u);
    EXPECT_EQ(f[14], 4096u);
    EXPECT_EQ(f[17], 0u);
    EXPECT_EQ(api.closeService(h, 0), 0);

    const int32_t h2 = OpenSession(2, u"192.168.0.10:9101");
    f = RecordFields(fake, strName);
    EXPECT_EQ(strName, "192.168.0.10");
    EXPECT_EQ(f[3], 9101u);
    EXPECT_EQ(api.closeService(h2, 0), 0);
}

TEST_F(FakePortTest, SerialRecordsTakeDefaultsOrTheGivenItems) {
    std::string strName;
    const int32_t h = OpenSession(4, u"COM3");
    auto f = RecordFields(fake, strName);
    EXPECT_EQ(strName, "COM3");
    EXPECT_EQ(f[1], 4u);
    const std::vector<uint32_t> expected4 = {9600, 8, 0, 0, 0, 2, 0, 50, 10, 5000, 4096, 4096, 1};
    EXPECT_EQ(std::vector<uint32_t>(f.begin() + 3, f.begin() + 16), expected4);
    EXPECT_EQ(api.closeService(h, 0), 0);

    // A later command-mode choice turns the Bluetooth check off.
    const int32_t h2 = api.selectInterface(4, u"COM3:19200");
    EXPECT_EQ(api.selectCommandMode(h2, 0), 0);
    EXPECT_EQ(api.openService(h2), 10);
    f = RecordFields(fake, strName);
    EXPECT_EQ(f[3], 19200u);
    EXPECT_EQ(f[15], 0u);
    EXPECT_EQ(api.closeService(h2, 0), 0);

    const int32_t h3 = OpenSession(32, u"COM3:115200:8:2:1:0");
    f = RecordFields(fake, strName);
    EXPECT_EQ(strName, "COM3");
    EXPECT_EQ(f[1], 32u);
    EXPECT_EQ(f[3], 115200u);
    EXPECT_EQ(f[4], 8u);
    EXPECT_EQ(f[5], 1u) << "stop-bits code from item 5";
    EXPECT_EQ(f[6], 2u) << "parity code from item 4";
    EXPECT_EQ(f[7], 0u);
    EXPECT_EQ(f[10], 50u);
    EXPECT_EQ(f[15], 0u);
    EXPECT_EQ(api.closeService(h3, 0), 0);

    // Consecutive colons are one separator; a non-number reads as 0.
    const int32_t h4 = OpenSession(32, u"COM5::57600:7:x");
    f = RecordFields(fake, strName);
    EXPECT_EQ(strName, "COM5");
    EXPECT_EQ(f[3], 57600u);
    EXPECT_EQ(f[4], 7u);
    EXPECT_EQ(f[6], 0u);
    EXPECT_EQ(api.closeService(h4, 0), 0);
}

TEST_F(FakePortTest, ParallelRecordAndRefusedInterfaceCodes) {
    std::string strName;
    const int32_t h = OpenSession(64, u"LPT1");
    auto f = RecordFields(fake, strName);
    EXPECT_EQ(strName, "LPT1");
    EXPECT_EQ(f[1], 64u);
    EXPECT_EQ(api.closeService(h, 0), 0);

    EXPECT_EQ(api.selectInterface(8, u"COM3"), 0);
    EXPECT_EQ(api.selectInterface(0, u"COM3"), 0);
    EXPECT_NE(LogText().find("[SelectInterface] error=1004."), std::string::npos);
}

TEST_F(FakePortTest, UsbWithoutHubGives1100AndCreatesNoPort) {
    const int32_t h = api.selectInterface(16, u"any");
    EXPECT_EQ(api.openService(h), 1100);
    EXPECT_EQ(fake.CallLog().find("CreatePort"), std::string::npos);
    EXPECT_EQ(api.isOpen(h), 0);
}

// ---- Framing and the write path ----

TEST_F(FakePortTest, LongFramedWriteHoldsTheWriteFlagAcrossItsPieces) {
    const int32_t h = OpenSession();
    fake.FakePort_Reset();
    Bytes data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(api.directIO(h, data.data(), 5000), 0);

    const std::vector<std::string> expected = {"SetWrite 1 10000", "Write 4096", "Write 6", "SetWrite 0 10000",
                                               "Write 910"};
    std::vector<std::string> both;
    for (const auto& l : Lines(fake.CallLog(), ""))
        if (l.rfind("Write", 0) == 0 || l.rfind("SetWrite", 0) == 0) both.push_back(l);
    EXPECT_EQ(both, expected);

    const Bytes written = fake.Written();
    const Bytes expectedBytes = Concat({{0x56, 0x51, 0x54, 0x0A, 0x10, 0x00},
                                        Bytes(data.begin(), data.begin() + 4096),
                                        {0x56, 0x51, 0x54, 0x0A, 0x03, 0x88},
                                        Bytes(data.begin() + 4096, data.end())});
    EXPECT_EQ(written, expectedBytes);
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(FakePortTest, PassThroughSendsChunksWithoutHeaders) {
    const int32_t h = api.selectInterface(2, u"192.168.0.10");
    ASSERT_EQ(api.selectCommandMode(h, 1), 0);
    EXPECT_EQ(api.openService(h), 0) << "pass-through has device ID 0";
    EXPECT_EQ(api.getDeviceId(h), 0);
    EXPECT_EQ(Lines(fake.CallLog(), "Write").size(), 0u) << "no model check or PnP in pass-through";
    CText name;
    EXPECT_EQ(api.getVexalName(h, &name.text), 1003);

    Bytes data(10000, 0x41);
    EXPECT_EQ(api.directIO(h, data.data(), 10000), 0);
    const std::vector<std::string> expected = {"Write 4096", "Write 4096", "Write 1808"};
    EXPECT_EQ(Lines(fake.CallLog(), "Write"), expected);
    EXPECT_EQ(fake.Written(), data);
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(FakePortTest, WritesThatMakeNoProgressGiveUpAfterFiveAttempts) {
    const int32_t h = OpenSession();
    for (int32_t nResult : {0, -1}) {
        fake.FakePort_Reset();
        fake.FakePort_SetWriteFailure(1, nResult);
        const Bytes data(20, 0x33);
        EXPECT_EQ(api.directIO(h, data.data(), 20), 1000);
        EXPECT_EQ(api.getResult(h), 1000);
        EXPECT_EQ(Lines(fake.CallLog(), "Write").size(), 5u) << "Write result " << nResult;
    }
    // Partial acceptance is progress: everything goes out in smaller pieces.
    fake.FakePort_Reset();
    fake.FakePort_SetWriteLimit(1000);
    const Bytes data(3000, 0x44);
    EXPECT_EQ(api.directIO(h, data.data(), 3000), 0);
    EXPECT_EQ(fake.Written().size(), 3006u);
    EXPECT_EQ(api.directIO(h, data.data(), -1), 1004);
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(FakePortTest, TransactionHoldsDataUntilItEnds) {
    const int32_t h = OpenSession();
    fake.FakePort_Reset();
    EXPECT_EQ(api.setTransaction(h, 2), 1004);
    EXPECT_EQ(api.setTransaction(h, 1), 0);
    const Bytes data = {1, 2, 3};
    EXPECT_EQ(api.directIO(h, data.data(), 3), 0);
    EXPECT_EQ(api.directIO(h, data.data(), 3), 0);
    EXPECT_TRUE(fake.Written().empty());
    EXPECT_EQ(api.setTransaction(h, 0), 0);
    EXPECT_EQ(fake.Written(), Bytes({0x56, 0x51, 0x54, 0x0A, 0x00, 0x06, 1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(api.closeService(h, 0), 0);
}

// ---- Replies ----

TEST_F(FakePortTest, LateReplyTimesOutAndStaysQueuedUntilTheNextExchange) {
    const int32_t h = OpenSession();
    CText list;
    fake.Reply(0x44, {0x44, 0x12, 0x34, 0x56, 0x78}, 2000);
    const auto start = Clock::now();
    EXPECT_EQ(api.getUsbList(h, &list.text), 1011);
    EXPECT_GE(ElapsedMs(start), 1450);
    EXPECT_LT(ElapsedMs(start), 1990) << "gave up before the reply came";
    std::this_thread::sleep_for(800ms);
    EXPECT_EQ(fake.pfnReadAvailable(10000, 0), 5u) << "the late reply waits in the queue";

    // The next exchange clears it and reads only its own reply.
    fake.Reply(0x44, {0x44, 0x0A, 0xBC, 0xDE, 0xF0});
    EXPECT_EQ(api.getUsbList(h, &list.text), 0);
    EXPECT_EQ(list.Ascii(), "0abc&def0,");
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(FakePortTest, HeaderChecksAcceptAnyMatchingByteAndRefuseShortReplies) {
    const int32_t h = OpenSession();
    CText vid(8), pid(8);
    // byte 0 wrong, byte 1 right: accepted
    fake.Reply(0x45, {0x99, 0x03, 0x12, 0x34, 0xAB, 0xCD});
    EXPECT_EQ(api.getUsbInfo(h, 3, &vid.text, &pid.text), 0);
    EXPECT_EQ(vid.Ascii(), "1234");
    EXPECT_EQ(pid.Ascii(), "abcd");
    // both wrong: refused
    fake.Reply(0x45, {0x99, 0x04, 0x12, 0x34, 0xAB, 0xCD});
    EXPECT_EQ(api.getUsbInfo(h, 3, &vid.text, &pid.text), 1000);
    // shorter than six bytes
    fake.Reply(0x45, {0x45, 0x03, 0x12, 0x34, 0xAB});
    EXPECT_EQ(api.getUsbInfo(h, 3, &vid.text, &pid.text), 1007);
    EXPECT_EQ(api.getResult(h), 1007);

    // A list reply ending in an incomplete record lists only complete ones;
    // the reply byte alone adds nothing.
    CText list;
    fake.Reply(0x44, {0x44, 0x12, 0x34, 0x56, 0x78, 0x0A, 0xBC});
    EXPECT_EQ(api.getUsbList(h, &list.text), 0);
    EXPECT_EQ(list.Ascii(), "1234&5678,");
    fake.Reply(0x44, {0x44});
    EXPECT_EQ(api.getUsbList(h, &list.text), 0);
    EXPECT_EQ(list.Ascii(), "1234&5678,") << "appends, never empties";
    fake.Reply(0x44, {0x45, 0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(api.getUsbList(h, &list.text), 1000);
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(FakePortTest, ModelNameHeaderAndCacheAndShortTextOutputs) {
    // 0x10 0x00: byte 1 matches, accepted at open.
    fake.Reply(0x50, Concat({{0x10, 0x00}, Ascii("Hub_HMX-T300"), {0x00}}));
    const int32_t h = OpenSession();
    fake.FakePort_Reset();
    fake.FakePort_SetPresent(10, 1);
    CText name, small(5);
    EXPECT_EQ(api.getVexalName(h, &name.text), 0);
    EXPECT_EQ(name.Ascii(), "Hub_HMX-T300");
    EXPECT_TRUE(Lines(fake.CallLog(), "Write").empty()) << "answered from the cache";
    EXPECT_EQ(api.getVexalName(h, nullptr), 1004);
    EXPECT_EQ(api.getVexalName(h, &small.text), 0);
    EXPECT_EQ(small.Ascii(), "Hub_");
    EXPECT_EQ(small.storage[4], u'\0') << "cut text stays NUL-terminated";
    EXPECT_EQ(api.closeService(h, 0), 0);

    // 0x10 0x01 and a reply of the command byte alone are refused with 1000,
    // leaving the last result at 0.
    SetUp();
    for (const Bytes& reply : {Bytes{0x10, 0x01, 'A', 0}, Bytes{0x50}}) {
        fake.Reply(0x51, reply);
        const int32_t h2 = OpenSession();
        CText version;
        EXPECT_EQ(api.getVexalVersion(h2, &version.text), 1000);
        EXPECT_EQ(api.getResult(h2), 0);
        EXPECT_EQ(api.closeService(h2, 0), 0);
    }
}

TEST_F(FakePortTest, UnknownModelNameStillOpens) {
    fake.Reply(0x50, Concat({{0x50, 0x00}, Ascii("NEWHUB-2000"), {0x00}}));
    const int32_t h = OpenSession();
    EXPECT_EQ(api.closeService(h, 0), 0);
}

// ---- Open and close ----

TEST_F(FakePortTest, OpenTwiceAndDeviceSearchWithHidConversion) {
    const int32_t h = OpenSession();
    EXPECT_EQ(api.openService(h), 1);
    EXPECT_EQ(api.setTimeout(h, 5), 1010);
    EXPECT_EQ(api.selectCommandMode(h, 1), 1010);
    EXPECT_EQ(api.closeService(h, 0), 0);

    fake.FakePort_SetPresent(25, 1);
    const int32_t h2 = api.selectInterface(2, u"192.168.0.10");
    EXPECT_EQ(api.convertHID(h2, 7), 0);
    EXPECT_EQ(api.openService(h2), 25);
    EXPECT_EQ(api.getDeviceId(h2), 25);
    EXPECT_EQ(api.closeService(h2, 0), 0);
}

TEST_F(FakePortTest, NoDeviceIdInTimeGives1007AndReleasesThePort) {
    fake.FakePort_SetPresent(10, 0);
    const int32_t h = api.selectInterface(2, u"192.168.0.10");
    EXPECT_EQ(api.setTimeout(h, -1), 1004);
    EXPECT_EQ(api.setTimeout(h, 0), 0);
    const auto start = Clock::now();
    EXPECT_EQ(api.openService(h), 1007);
    // The first-open checks take their fixed 200 ms pause, the search at
    // most one 100 ms pause more.
    EXPECT_GE(ElapsedMs(start), 200);
    EXPECT_LT(ElapsedMs(start), 1500);
    EXPECT_EQ(api.getResult(h), 1007);
    EXPECT_EQ(fake.FakePort_References(), 0u) << "a failed open removes the port it created";
    EXPECT_EQ(api.isOpen(h), 0);

    // One second of patience finds a device that appears meanwhile.
    EXPECT_EQ(api.setTimeout(h, 2), 0);
    std::thread later([&] {
        std::this_thread::sleep_for(700ms);
        fake.FakePort_SetPresent(10, 1);
    });
    EXPECT_EQ(api.openService(h), 10);
    later.join();
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(FakePortTest, FailedOpenOfSerialPortGives1006AndLeavesNoUser) {
    fake.FakePort_SetOpenResult(0);
    const int32_t h = api.selectInterface(4, u"COM3");
    EXPECT_EQ(api.openService(h), 1006);
    EXPECT_EQ(fake.FakePort_References(), 0u);
    EXPECT_EQ(api.getResult(h), 1006);
}

TEST_F(FakePortTest, EthernetOpenRetriesForThreeSeconds) {
    fake.FakePort_SetOpenResult(0);
    const int32_t h = api.selectInterface(2, u"192.168.0.10");
    const auto start = Clock::now();
    EXPECT_EQ(api.openService(h), 1006);
    EXPECT_GE(ElapsedMs(start), 2900);
    EXPECT_LT(ElapsedMs(start), 8000);
    EXPECT_GT(Lines(fake.CallLog(), "OpenPort").size(), 2u);
    EXPECT_EQ(fake.FakePort_References(), 0u);
}

TEST_F(FakePortTest, SecondSessionOnThePortAndCloseCounts) {
    const int32_t hA = OpenSession();
    const int32_t hB = OpenSession();
    EXPECT_EQ(fake.FakePort_References(), 2u);
    EXPECT_EQ(api.closeService(hB, 0), 1) << "the other session still uses the port";
    EXPECT_EQ(api.getResult(hB), 0) << "handle stays valid";
    EXPECT_EQ(api.closeService(hA, 0), 0);
    EXPECT_EQ(api.getResult(hA), 1000) << "released with the port's last user";
    EXPECT_EQ(api.closeService(hB, 0), 0);
    EXPECT_EQ(api.getResult(hB), 1000);
}

// ---- Callbacks ----

TEST_F(FakePortTest, PollThreadReportsPowerChangesAndData) {
    const int32_t h = api.selectInterface(2, u"192.168.0.10");
    api.setStatusUpdateEvent(h, &OnStatus);
    api.setDataEvent(h, &OnData);
    ASSERT_EQ(api.openService(h), 10);
    // On line at the first cycle: a change from 0.
    EXPECT_TRUE(WaitFor([] { return g_statuses == std::vector<int32_t>{0}; }, 2000ms));
    fake.FakePort_SetPresent(10, 0);
    EXPECT_TRUE(WaitFor([] { return g_statuses == std::vector<int32_t>{0, 1}; }, 2000ms));
    const Bytes hello = Ascii("hello");
    fake.FakePort_Enqueue(10, hello.data(), 5);
    EXPECT_TRUE(WaitFor([] { return g_data.size() == 1 && g_data[0] == u"hello"; }, 2000ms));
    EXPECT_EQ(api.closeService(h, 0), 0);
}

TEST_F(FakePortTest, AlarmsReachTheCurrentSessionAndNobodyAfterItIsGone) {
    const int32_t hA = api.selectInterface(2, u"192.168.0.10");
    api.setStatusUpdateEvent(hA, &OnStatus);
    ASSERT_EQ(api.openService(hA), 10);
    EXPECT_TRUE(WaitFor([] { return !g_statuses.empty(); }, 2000ms));
    fake.FakePort_RaiseAlarm(10, 1203);
    EXPECT_TRUE(WaitFor([] { return g_statuses.back() == 1203; }, 100ms));

    // A newer session becomes the current one; once it is destroyed, the
    // alarm registered by the first session reaches nobody.
    const int32_t hB = api.selectInterface(2, u"192.168.0.11");
    api.setStatusUpdateEvent(hB, &OnStatus);
    EXPECT_EQ(api.closeService(hB, 0), 0);
    const size_t nBefore = [] {
        std::lock_guard lock(g_eventLock);
        return g_statuses.size();
    }();
    fake.FakePort_RaiseAlarm(10, 1201);
    std::this_thread::sleep_for(50ms);
    {
        std::lock_guard lock(g_eventLock);
        EXPECT_EQ(g_statuses.size(), nBefore);
    }
    EXPECT_EQ(api.closeService(hA, 0), 0);
}

TEST_F(FakePortTest, CloseGivesUpOnAStuckPollThreadAfterTwoSeconds) {
    const int32_t hA = OpenSession();
    fake.FakePort_SetPowerStateDelay(3000);
    // Let the poll thread enter the stuck call.
    const auto entered = Clock::now() + 2000ms;
    while (fake.FakePort_PowerStateCallers() == 0 && Clock::now() < entered) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(fake.FakePort_PowerStateCallers(), 1u);
    auto start = Clock::now();
    EXPECT_EQ(api.closeService(hA, 0), 0);
    EXPECT_GE(ElapsedMs(start), 1900);
    EXPECT_LT(ElapsedMs(start), 2900);

    // A new session opens while the late thread is still stuck; that thread
    // later returns into a state it still owns (the sanitizer build checks
    // it) and ends on its own.
    fake.FakePort_SetPowerStateDelay(0);
    const int32_t hB = OpenSession();
    start = Clock::now();
    while (fake.FakePort_PowerStateCallers() != 0 && ElapsedMs(start) < 3000) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(fake.FakePort_PowerStateCallers(), 0u);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(api.isOpen(hB), 1);
    EXPECT_EQ(api.closeService(hB, 0), 0);
}

TEST_F(FakePortTest, ReadModeGoesToTheHubForTheSessionDevice) {
    const int32_t h = OpenSession();
    fake.FakePort_Reset();
    EXPECT_EQ(api.setReadMode(h, 3), 1004);
    EXPECT_EQ(api.setReadMode(h, 2), 0);
    EXPECT_EQ(fake.Written(), Bytes({0x56, 0x51, 0x54, 0x00, 0x00, 0x03, 0x72, 0x0A, 0x02}));
    EXPECT_EQ(api.closeService(h, 0), 0);
}

}  // namespace
