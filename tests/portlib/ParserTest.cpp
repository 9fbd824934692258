// Frame parser and dispatch: frames split across cycles, stray bytes, zero
// length, abandonment after 5000 ms, presence, alarms, raw mode, big frames.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FakePort.h"
#include "portlib/FrameParser.h"

using namespace vexal;
using vexal::test::CFakePort;
using vexal::test::Concat;
using vexal::test::Frame;

namespace {

struct CRecordingSink : IFrameSink {
    struct Got {
        uint32_t dev;
        std::vector<uint8_t> payload;
    };
    std::vector<Got> frames;
    std::vector<std::pair<EParserEvent, uint32_t>> events;
    void OnFrame(uint32_t d, const uint8_t* p, uint32_t n) override { frames.push_back({d, {p, p + n}}); }
    void OnParserEvent(EParserEvent e, uint32_t v) override { events.emplace_back(e, v); }
};

std::vector<uint8_t> Bytes(size_t n, uint8_t start = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(start + i);
    return v;
}

void Feed(CFrameParser& parser, const std::vector<uint8_t>& b, uint64_t now, IFrameSink& sink) {
    parser.Process(b.data(), static_cast<uint32_t>(b.size()), now, sink);
}

class PortParser : public ::testing::Test {
protected:
    void SetUp() override {
        port = std::make_shared<CFakePort>();
        port->SetTickSource([this] { return now; });
        DeviceOption opt{};
        port->SetDeviceOption(opt);  // device 0's queue
    }
    void Process(const std::vector<uint8_t>& b) { port->ProcessReadBytes(b.data(), static_cast<uint32_t>(b.size())); }
    std::vector<uint8_t> Drain(uint32_t dev) {
        std::vector<uint8_t> out(port->AvailableCount(dev));
        port->m_bOpen = true;
        if (!out.empty()) port->Read(dev, out.data(), static_cast<uint32_t>(out.size()), 0);
        return out;
    }
    uint64_t now = 1000;
    std::shared_ptr<CFakePort> port;
};

}  // namespace

TEST(FrameParser, TwoFramesWithAStrayByteBetweenThem) {
    CFrameParser parser;
    CRecordingSink sink;
    Feed(parser, Concat({Frame(3, {1, 2}), {0x41}, Frame(5, {3})}), 0, sink);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[0].dev, 3u);
    EXPECT_EQ(sink.frames[0].payload, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(sink.frames[1].dev, 5u);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].first, EParserEvent::InvalidByte);
    EXPECT_EQ(sink.events[0].second, 0x41u);
}

TEST(FrameParser, FailedMarkersSkipOneTwoOrThreeBytesWithOneLineAtMost) {
    CFrameParser parser;
    CRecordingSink sink;
    // "VX" skips two bytes silently, "VQX" three; only a non-'V' byte is reported.
    Feed(parser, Concat({{0x56, 0x58}, {0x56, 0x51, 0x58}, Frame(4, {9})}), 0, sink);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].dev, 4u);
    EXPECT_TRUE(sink.events.empty());
}

TEST(FrameParser, FrameSplitAcrossCyclesIsDispatchedOnceComplete) {
    CFrameParser parser;
    CRecordingSink sink;
    const auto frame = Frame(7, Bytes(300));
    Feed(parser, {frame.begin(), frame.begin() + 206}, 0, sink);  // header + 200
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_TRUE(parser.IsFrameInProgress());
    Feed(parser, {frame.begin() + 206, frame.end()}, 100, sink);  // the last 100 bytes
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].payload, Bytes(300));
    EXPECT_FALSE(parser.IsFrameInProgress());
}

TEST(FrameParser, ZeroLengthHeaderIsDroppedAndParsingContinues) {
    CFrameParser parser;
    CRecordingSink sink;
    Feed(parser, Concat({{0x56, 0x51, 0x54, 3, 0, 0}, Frame(3, {1})}), 0, sink);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].payload, (std::vector<uint8_t>{1}));
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].first, EParserEvent::ZeroLength);
}

TEST(FrameParser, HeaderSplitAcrossCyclesIsCarriedOver) {
    for (size_t cut = 1; cut < 6; ++cut) {
        CFrameParser parser;
        CRecordingSink sink;
        const auto frame = Frame(9, {0xAA, 0xBB});
        Feed(parser, {frame.begin(), frame.begin() + cut}, 0, sink);
        EXPECT_EQ(parser.HeldHeaderBytes(), cut);
        Feed(parser, {frame.begin() + cut, frame.end()}, 10, sink);
        ASSERT_EQ(sink.frames.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(sink.frames[0].dev, 9u);
        EXPECT_EQ(sink.frames[0].payload, (std::vector<uint8_t>{0xAA, 0xBB}));
        EXPECT_TRUE(sink.events.empty());
    }
}

TEST(FrameParser, CarriedPartialMarkerThatFailsIsSkippedLikeContiguousBytes) {
    CFrameParser parser;
    CRecordingSink sink;
    Feed(parser, {0x56}, 0, sink);
    Feed(parser, Concat({{0x58}, Frame(2, {5})}), 10, sink);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].dev, 2u);
    EXPECT_TRUE(sink.events.empty());
}

TEST(FrameParser, StalledFrameIsAbandonedAfter5000msWithoutBytes) {
    CFrameParser parser;
    CRecordingSink sink;
    const auto frame = Frame(7, Bytes(20));
    Feed(parser, {frame.begin(), frame.begin() + 10}, 1000, sink);
    parser.CheckIdle(6000);  // exactly 5000 ms: kept
    EXPECT_TRUE(parser.IsFrameInProgress());
    parser.CheckIdle(6001);
    EXPECT_FALSE(parser.IsFrameInProgress());
    // Later bytes are searched for a marker again: the rest of the old frame is stray.
    Feed(parser, Concat({{frame.begin() + 10, frame.end()}, Frame(8, {1})}), 7000, sink);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].dev, 8u);
}

TEST(FrameParser, LatePieceThatDoesNotCompleteTheFrameIsDroppedWithItsLine) {
    CFrameParser parser;
    CRecordingSink sink;
    const auto frame = Frame(7, Bytes(20));
    Feed(parser, {frame.begin(), frame.begin() + 10}, 1000, sink);
    Feed(parser, {frame.begin() + 10, frame.begin() + 12}, 7000, sink);
    EXPECT_FALSE(parser.IsFrameInProgress());
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].first, EParserEvent::PieceTimeout);
    EXPECT_EQ(sink.events[0].second, 6000u);
}

TEST(FrameParser, LatePieceThatCompletesTheFrameIsAcceptedWhateverTheDelay) {
    CFrameParser parser;
    CRecordingSink sink;
    const auto frame = Frame(7, Bytes(20));
    Feed(parser, {frame.begin(), frame.begin() + 10}, 1000, sink);
    Feed(parser, {frame.begin() + 10, frame.end()}, 90000, sink);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].payload, Bytes(20));
}

TEST(FrameParser, FramesLargerThan1024BytesGrowTheBufferInsteadOfOverrunning) {
    CFrameParser parser;
    CRecordingSink sink;
    const auto big = Bytes(5000, 3);
    const auto frame = Frame(4, big);
    // Delivered in 1024-byte cycles as the reader thread would.
    for (size_t i = 0; i < frame.size(); i += 1024) {
        const size_t end = std::min(frame.size(), i + 1024);
        Feed(parser, {frame.begin() + static_cast<long>(i), frame.begin() + static_cast<long>(end)}, 0, sink);
    }
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].payload, big);
    // The largest length the header can declare.
    const auto huge = Frame(4, Bytes(65535));
    Feed(parser, huge, 0, sink);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[1].payload.size(), 65535u);
}

TEST_F(PortParser, FramesGoToTheirDevicesQueuesAndUnknownDevicesAreDropped) {
    port->AddDevice(3);
    port->AddDevice(5);
    Process(Concat({Frame(3, {1, 2}), Frame(5, {3}), Frame(6, {4}), Frame(3, {7})}));
    EXPECT_EQ(Drain(3), (std::vector<uint8_t>{1, 2, 7}));
    EXPECT_EQ(Drain(5), (std::vector<uint8_t>{3}));
    EXPECT_EQ(port->AvailableCount(6), 0u);
}

TEST_F(PortParser, ClearDropsTheDevicesFrameInProgressButNotOthersOrLaterOnes) {
    port->AddDevice(3);
    const auto cut = Frame(0, {0x44, 1, 2, 3, 4, 5, 6, 7, 8});
    const auto other = Frame(3, {9, 9, 9, 9});
    Process({cut.begin(), cut.begin() + 8});  // a reply whose rest never comes
    port->Clear(0);                           // the next exchange begins
    const auto reply = Frame(0, {0x45, 0x0A, 0x5A, 0x4D, 0x0E, 0x28, 0x01, 0x02, 0x03});
    // Without the drop the reply's first bytes would fill the cut frame's gap.
    Process({reply.begin(), reply.begin() + 9});
    Process(Concat({{reply.begin() + 9, reply.end()}, {other.begin(), other.begin() + 7}}));
    EXPECT_EQ(Drain(0), (std::vector<uint8_t>{0x45, 0x0A, 0x5A, 0x4D, 0x0E, 0x28, 0x01, 0x02, 0x03}));
    port->Clear(0);  // a frame of another device in progress is kept
    Process({other.begin() + 7, other.end()});
    EXPECT_EQ(Drain(3), (std::vector<uint8_t>{9, 9, 9, 9}));
}

TEST_F(PortParser, PresenceReportReplacesTheWholeTable) {
    Process(Frame(0xFF, {1, 2}));
    EXPECT_EQ(port->IsPresent(1), 1u);
    Process(Frame(0xFF, {0x0A, 0x14}));
    EXPECT_EQ(port->IsPresent(10), 1u);
    EXPECT_EQ(port->IsPresent(20), 1u);
    EXPECT_EQ(port->IsPresent(1), 0u);
    EXPECT_EQ(port->IsPresent(2), 0u);
    EXPECT_EQ(port->IsPresent(300), 0u);  // past the table: unknown, absent
    EXPECT_EQ(port->FindPresentDevice(20, 29), 20u);
    EXPECT_EQ(port->FindPresentDevice(21, 29), 0u);
}

namespace {
std::vector<std::array<uint32_t, 3>> g_alarms;
void RecordAlarm(uint32_t a, uint32_t b, uint32_t c) { g_alarms.push_back({a, b, c}); }
}  // namespace

TEST_F(PortParser, WriteAlarmCallsTheRegisteredCallbackWithTheMappedCode) {
    g_alarms.clear();
    port->SetAlarmCallback(20, RecordAlarm);
    Process(Frame(0, {0x74, 20, 4}));
    ASSERT_EQ(g_alarms.size(), 1u);
    EXPECT_EQ(g_alarms[0], (std::array<uint32_t, 3>{0x74, 0, 1203}));
    Process(Frame(0, {0x74, 21, 0}));  // no callback for 21: only the line
    EXPECT_EQ(g_alarms.size(), 1u);
    port->SetAlarmCallback(20, nullptr);
    Process(Frame(0, {0x74, 20, 0}));
    EXPECT_EQ(g_alarms.size(), 1u);
    EXPECT_EQ(port->AvailableCount(0), 0u);  // alarms are never queued
}

TEST(AlarmCodes, StatusToCodeTable) {
    const uint32_t expected[] = {1200, 1201, 1202, 1204, 1203, 1204, 1203, 1204};
    for (uint8_t s = 0; s < 8; ++s) EXPECT_EQ(WriteAlarmCode(s), expected[s]) << int(s);
    EXPECT_EQ(WriteAlarmCode(0xFF), 1204u);
}

TEST_F(PortParser, HubChannelForwardedAndOtherData) {
    port->AddDevice(11);
    Process(Frame(0, {0x73, 0x0B, 0x00, 0x41, 0x42}));
    EXPECT_EQ(Drain(11), (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_EQ(port->AvailableCount(0), 0u);
    Process(Frame(0, {0x41, 0x42, 0x43}));
    EXPECT_EQ(Drain(0), (std::vector<uint8_t>{0x41, 0x42, 0x43}));
    Process(Frame(0, {0x73, 0x0B, 0x00}));  // forwarded, but no data bytes
    EXPECT_EQ(port->AvailableCount(11), 0u);
    Process(Frame(0, {0x75, 1, 2}));  // hub alarm: logged only
    EXPECT_EQ(port->AvailableCount(0), 0u);
}

TEST_F(PortParser, ShortHubChannelFramesAreDroppedWithoutReadingPastThem) {
    g_alarms.clear();
    for (uint8_t i = 0; i < 255; ++i) port->SetAlarmCallback(i, RecordAlarm);
    port->AddDevice(0x0B);
    for (uint8_t first : {0x73, 0x74, 0x75}) {
        Process(Frame(0, {first}));
        Process(Frame(0, {first, 0x0B}));
    }
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(port->AvailableCount(0), 0u);
    EXPECT_EQ(port->AvailableCount(0x0B), 0u);
}

TEST_F(PortParser, RawModeQueuesEverythingForDeviceZero) {
    DeviceOption raw{};
    raw.rawMode = 1;
    port->SetDeviceOption(raw);
    const auto frame = Frame(3, {1, 2});
    Process(frame);
    EXPECT_EQ(Drain(0), frame);
    port->m_nRawMode = 0;
    port->AddDevice(3);
    Process(frame);
    EXPECT_EQ(Drain(0).size(), 0u);
    EXPECT_EQ(Drain(3), (std::vector<uint8_t>{1, 2}));
}

TEST_F(PortParser, SecondSetDeviceOptionAddsAQueueAndTheFirstIsUsed) {
    DeviceOption opt{};
    port->SetDeviceOption(opt);
    EXPECT_EQ(port->ReceiveQueueCount(0), 2u);
    Process(Frame(0, {0x41}));
    EXPECT_EQ(port->AvailableCount(0), 1u);
    port->RemoveListData(0);
    EXPECT_EQ(port->ReceiveQueueCount(0), 1u);
    EXPECT_EQ(port->AvailableCount(0), 0u);  // the bytes went with the first queue
}

TEST_F(PortParser, AddAndRemoveDeviceManageStatusQueuesFor10To19) {
    port->AddDevice(12);
    port->AddDevice(12);
    port->AddDevice(20);
    EXPECT_EQ(port->ReceiveQueueCount(12), 1u);
    EXPECT_EQ(port->StatusQueueCount(12), 1u);
    EXPECT_EQ(port->StatusQueueCount(20), 0u);
    port->AddDevice(256);  // past the tables: ignored
    EXPECT_EQ(port->ReceiveQueueCount(256), 0u);
    port->RemoveListData(12);
    EXPECT_EQ(port->ReceiveQueueCount(12), 0u);
    EXPECT_EQ(port->StatusQueueCount(12), 0u);
}

namespace {
// Every log file under dir/VQTLog as ASCII (UTF-16LE with the high bytes dropped).
std::string ReadPortLogs(const std::filesystem::path& dir) {
    std::string text;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir / "VQTLog", ec)) {
        std::ifstream in(e.path(), std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i + 1 < raw.size(); i += 2) text.push_back(raw[i]);
    }
    return text;
}
}  // namespace

TEST_F(PortParser, ReaderLinesGoThroughThePortLogSwitchAndFilterLinesThroughTheTraceSwitch) {
    const auto dir = std::filesystem::temp_directory_path() / ("vexal-parserlog-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string d8 = dir.string();
    port->PortLog().Initialise(true, std::u16string(d8.begin(), d8.end()), u"");
    port->m_bPortLog = true;
    port->AddDevice(12);
    port->m_nAsbMode = 1;
    const auto block = Concat({{0x41},
                               Frame(0, {0x74, 20, 4}),
                               Frame(0, {0x75, 1, 2}),
                               Frame(0xFF, {12}),
                               {0x56, 0x51, 0x54, 3, 0, 0},
                               Frame(12, {0x41, 0x14, 0, 0, 0x0F, 0x42})});
    Process(block);  // trace switch off: no filter lines
    port->m_bPortTrace = true;
    Process(Frame(12, {0x10, 0x01, 0x03, 0x4F, 0x43}));
    uint8_t rec[4] = {};
    port->GetASBState(rec, 12);
    port->GetASBState(rec, 12);
    port->GetASBState(rec, 12);
    port->GetASBState(rec, 13);
    const std::string log = ReadPortLogs(dir);
    std::filesystem::remove_all(dir);
    // "%c" and "%02x" are not conversions of the log's formatter.
    EXPECT_NE(log.find(") !ERROR: Invalid Zamo data packet= in readthread\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(") ZAMO_MULTI_WRITE_ALARM : DevId:20, status:2x\r\n"), std::string::npos);
    EXPECT_NE(log.find(") ZAMO_MULTI_VXL_ALARM : Type:2x, Level:2x\r\n"), std::string::npos);
    EXPECT_NE(log.find(") Change Device's PNP\r\n"), std::string::npos);
    EXPECT_NE(log.find(") !ERROR: dwZamoDataLen is zero in readthread\r\n"), std::string::npos);
    EXPECT_NE(log.find(") EnqueueData(dwDeviceId=12, dwDataLen=2)\r\n"), std::string::npos);
    // Filter lines only for the second, traced block.
    EXPECT_EQ(log.find("ASBParseReadData(len=6)"), std::string::npos);
    EXPECT_NE(log.find(") ASBParseReadData(len=5)\r\n"), std::string::npos);
    EXPECT_NE(log.find(") Input ASB : 2x 2x 2x 2x\r\n"), std::string::npos);
    EXPECT_NE(log.find(") 2filter Input byte : 2x\r\n"), std::string::npos);
    EXPECT_NE(log.find(") Input 1bytes : 2x\r\n"), std::string::npos);
    EXPECT_NE(log.find(") +GetASBState\r\n- ("), std::string::npos);
    EXPECT_NE(log.find(") -GetASBState\r\n"), std::string::npos);
    EXPECT_NE(log.find(") !ERROR: -GetASBState : pVxlStatus data empty\r\n"), std::string::npos);
    EXPECT_NE(log.find(") !ERROR: -GetASBState : pVxlStatus is NULL\r\n"), std::string::npos);
}
