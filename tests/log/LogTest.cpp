// The diagnostic log: argument formatter, line layouts, file names, hourly
// rotation (with a clock the test moves), the disabled default, the capture file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/VQTLog.h"

using namespace vexal;
namespace fs = std::filesystem;

namespace {

class CFakeClock : public platform::IClock {
public:
    uint64_t TickMs() override { return m_nTick; }
    platform::LocalTime Now() override {
        platform::LocalTime t;
        t.nYear = 2026;
        t.nMonth = 3;
        t.nDay = 17;
        const uint64_t nMinutes = 14 * 60 + 5 + m_nTick / 60000;
        t.nHour = static_cast<int>(nMinutes / 60 % 24);
        t.nMinute = static_cast<int>(nMinutes % 60);
        t.nSecond = static_cast<int>(m_nTick / 1000 % 60);
        t.nMillisecond = static_cast<int>(m_nTick % 1000);
        return t;
    }
    uint64_t m_nTick = 0;
};

std::u16string Fmt(std::string_view f, std::initializer_list<CLogArg> a) {
    return FormatLogMessage(f, std::span<const CLogArg>(a.begin(), a.size()));
}

class LogFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("vexal-log-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        unsetenv("VEXAL_LOG");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::u16string Dir16() const {
        const std::string s = dir.string();
        return std::u16string(s.begin(), s.end());
    }
    std::vector<fs::path> Files() const {
        std::vector<fs::path> v;
        if (fs::exists(dir / "VQTLog"))
            for (const auto& e : fs::directory_iterator(dir / "VQTLog")) v.push_back(e.path());
        std::sort(v.begin(), v.end());
        return v;
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // UTF-16LE bytes of an ASCII text.
    static std::string Le(std::string_view s) {
        std::string out;
        for (char c : s) {
            out.push_back(c);
            out.push_back('\0');
        }
        return out;
    }
    fs::path dir;
    CFakeClock clock;
};

}  // namespace

TEST(LogFormatter, Conversions) {
    EXPECT_EQ(Fmt("a%db%xc", {20, 255}), u"a20bffc");
    EXPECT_EQ(Fmt("%d", {-5}), u"-5");
    EXPECT_EQ(Fmt("%x", {0xFFFFFFFFu}), u"ffffffff");
    EXPECT_EQ(Fmt("<%s>", {u"COM3"}), u"<COM3>");
    EXPECT_EQ(Fmt("%f", {1.5}), u"1.5");
    EXPECT_EQ(Fmt("%f", {123456789.0}), u"1.2346e+08");
    EXPECT_EQ(Fmt("100%%", {}), u"100");
}

TEST(LogFormatter, OtherCharactersAfterPercentOutputNothingAndConsumeNothing) {
    EXPECT_EQ(Fmt("x=%c;%d", {7}), u"x=;7");
    EXPECT_EQ(Fmt("%5abc", {}), u"abc");
    EXPECT_EQ(Fmt("status:%02x", {0xAB}), u"status:2x");  // "0" eaten, "2x" copied
    EXPECT_EQ(Fmt("end%", {}), u"end");
}

TEST(LogFormatter, MissingOrWrongArgumentsFormatAsNothing) {
    EXPECT_EQ(Fmt("%d %s %f", {}), u"  ");
    EXPECT_EQ(Fmt("%d|%s", {u"text", 3}), u"|");  // wrong kinds are skipped, not misread
}

TEST(LogLayout, OneBlankBeforeErrorInPortLogsTwoInTheRegistryLog) {
    platform::LocalTime t;
    t.nHour = 9;
    t.nMinute = 5;
    t.nSecond = 3;
    t.nMillisecond = 7;
    EXPECT_EQ(FormatLogLine(ELogLayout::Port, 0, t, u"msg"), u"- (09:05:03.007) msg\r\n");
    EXPECT_EQ(FormatLogLine(ELogLayout::Port, 10, t, u"msg"), u"- (09:05:03.007) !ERROR: msg\r\n");
    EXPECT_EQ(FormatLogLine(ELogLayout::Registry, 0, t, u"msg"), u"- (09:05:03.007)  msg\r\n");
    EXPECT_EQ(FormatLogLine(ELogLayout::Registry, 100, t, u"msg"), u"- (09:05:03.007)  !ERROR: msg\r\n");
}

TEST(LogPaths, NamesCarryMonthDayHourMinute) {
    platform::LocalTime t;
    t.nMonth = 3;
    t.nDay = 17;
    t.nHour = 14;
    t.nMinute = 5;
    EXPECT_EQ(LogFilePath("/d", "", t), "/d/VQTLog/_Mon_0317.1405.log");
    EXPECT_EQ(LogFilePath("/d", "Port", t), "/d/VQTLog/Port_Mon_0317.1405.log");
    EXPECT_EQ(CaptureFilePath("/d", "Net", t), "/d/VQTLog/Net_0317.1405.bin");
}

TEST_F(LogFiles, EmptyDirectoryMeansTheLogDirVariable) {
    setenv("VEXAL_LOG_DIR", dir.c_str(), 1);
    platform::LocalTime t;
    EXPECT_EQ(LogFilePath("", "", t), (dir / "VQTLog" / "_Mon_0000.0000.log").string());
    unsetenv("VEXAL_LOG_DIR");
    EXPECT_EQ(LogFilePath("", "", t), "./VQTLog/_Mon_0000.0000.log");
}

TEST_F(LogFiles, DisabledLineCreatesNothingForcedLineCreatesFolderAndFile) {
    CVQTPortLogger log(clock);
    log.Initialise(false, Dir16(), u"");
    log.WriteLog(kLogInfo, "ordinary");
    log.WriteLog(kLogError, "error but not forced");
    EXPECT_FALSE(fs::exists(dir / "VQTLog"));
    log.WriteRegistryLog(kLogForced, "-CreatePort : fail to create port id : %d", {0});
    const auto files = Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "_Mon_0317.1405.log");
    // UTF-16LE, no byte-order mark, CR LF.
    EXPECT_EQ(Read(files[0]), Le("- (14:05:00.000)  !ERROR: -CreatePort : fail to create port id : 0\r\n"));
}

TEST_F(LogFiles, EnabledLogWritesEveryLevelInOrder) {
    CVQTPortLogger log(clock);
    log.Initialise(true, Dir16(), u"Port");
    ASSERT_EQ(Files().size(), 1u);  // opened at once
    log.WriteLog(kLogInfo, "a %d", {1});
    clock.m_nTick = 1234;
    log.WriteLog(kLogError, "b");
    EXPECT_EQ(Read(Files()[0]), Le("- (14:05:00.000) a 1\r\n- (14:05:01.234) !ERROR: b\r\n"));
    log.Close();
    EXPECT_FALSE(log.IsEnabled());
    log.WriteLog(kLogInfo, "after close");
    EXPECT_EQ(Read(Files()[0]).size(), Le("- (14:05:00.000) a 1\r\n- (14:05:01.234) !ERROR: b\r\n").size());
}

TEST_F(LogFiles, NewFileOnlyAfterMoreThanAnHour) {
    CVQTPortLogger log(clock);
    log.Initialise(true, Dir16(), u"");
    log.WriteLog(kLogInfo, "first");
    clock.m_nTick = 59 * 60000;
    log.WriteLog(kLogInfo, "59 minutes");
    EXPECT_EQ(Files().size(), 1u);
    clock.m_nTick = 61 * 60000;
    log.WriteLog(kLogInfo, "61 minutes");
    const auto files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].filename(), "_Mon_0317.1506.log");  // the minute of that line
    EXPECT_EQ(Read(files[1]), Le("- (15:06:00.000) 61 minutes\r\n"));
}

TEST_F(LogFiles, UnwritableFolderLosesLinesAndRetriesLater) {
    const fs::path blocker = dir / "blocked";
    std::ofstream(blocker) << "x";  // a file where the folder should be
    const std::string s = blocker.string();
    CVQTPortLogger log(clock);
    log.Initialise(true, std::u16string(s.begin(), s.end()), u"");
    log.WriteLog(kLogInfo, "lost");  // must not crash or throw
    fs::remove(blocker);
    fs::create_directories(blocker);
    log.WriteLog(kLogInfo, "kept");
    ASSERT_TRUE(fs::exists(blocker / "VQTLog"));
    const auto it = fs::directory_iterator(blocker / "VQTLog");
    EXPECT_EQ(Read(it->path()), Le("- (14:05:00.000) kept\r\n"));
}

TEST_F(LogFiles, DevelopmentSwitchEnablesOrdinaryLines) {
    setenv("VEXAL_LOG", "1", 1);
    CVQTPortLogger log(clock);
    log.Initialise(false, Dir16(), u"");
    EXPECT_TRUE(log.IsEnabled());
    unsetenv("VEXAL_LOG");
}

TEST_F(LogFiles, CaptureRecordsBytesAndRotates) {
    CVQTPortLogger log(clock);
    log.InitCapture(true, Dir16(), u"Net");
    const uint8_t a[] = {0x56, 0x51, 0x54, 0x00, 0xFF};
    log.WriteCapture(a, sizeof a);
    ASSERT_TRUE(log.IsCaptureOpen());
    auto files = Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "Net_0317.1405.bin");
    EXPECT_EQ(Read(files[0]), std::string(reinterpret_cast<const char*>(a), sizeof a));
    clock.m_nTick = 3600001;
    log.WriteCapture(a, 2);
    files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(Read(files[1]).size(), 2u);
    log.CloseCapture();
    EXPECT_FALSE(log.IsCaptureOpen());
    log.WriteCapture(a, 2);  // capture disabled: nothing reopens
    EXPECT_FALSE(log.IsCaptureOpen());
}
