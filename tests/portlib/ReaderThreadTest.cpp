// The reader thread: reads, parses and queues; stops on close, also when the
// transport's read is stuck; a port can be opened again after a close.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "FakePort.h"
#include "platform/Clock.h"

using namespace vexal;
using vexal::test::CFakePort;
using vexal::test::Frame;

namespace {
bool WaitFor(const std::function<bool()>& pred, uint32_t ms) {
    const uint64_t t0 = platform::TickMs();
    while (!pred()) {
        if (platform::TickMs() - t0 > ms) return false;
        platform::SleepMs(5);
    }
    return true;
}

// Every log file under dir/VQTLog as ASCII (UTF-16LE with the high bytes dropped).
std::string ReadLogText(const std::filesystem::path& dir) {
    std::string text;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir / "VQTLog", ec)) {
        std::ifstream in(e.path(), std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i + 1 < raw.size(); i += 2) text.push_back(raw[i]);
    }
    return text;
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

std::shared_ptr<CFakePort> MakePort() {
    auto port = std::make_shared<CFakePort>();
    DeviceOption opt{};
    port->SetDeviceOption(opt);
    port->AddDevice(3);
    return port;
}
}  // namespace

TEST(ReaderThread, ReadsParsesAndQueuesUntilClosed) {
    auto port = MakePort();
    port->m_dwReaderPause = 10;
    const auto f = Frame(3, {1, 2, 3});
    port->Feed({f.begin(), f.begin() + 4});  // split header, carried to the next cycle
    port->Feed({f.begin() + 4, f.end()});
    port->Feed(Frame(0, {0x41}));
    ASSERT_EQ(port->OpenPort(), 1u);
    EXPECT_TRUE(WaitFor([&] { return port->AvailableCount(3) == 3 && port->AvailableCount(0) == 1; }, 5000));
    const uint64_t t0 = platform::TickMs();
    port->ClosePort();
    EXPECT_LT(platform::TickMs() - t0, 1500u);  // a prompt reader needs no waiting rounds
    EXPECT_FALSE(port->IsReaderRunning());
    const int nReads = port->m_nReads;
    platform::SleepMs(100);
    EXPECT_EQ(port->m_nReads, nReads);  // nothing reads after the close
}

TEST(ReaderThread, PortCanBeOpenedAgainAfterAClose) {
    auto port = MakePort();
    port->m_dwReaderPause = 10;
    ASSERT_EQ(port->OpenPort(), 1u);
    port->ClosePort();
    port->Feed(Frame(3, {9}));
    ASSERT_EQ(port->OpenPort(), 1u);
    EXPECT_TRUE(WaitFor([&] { return port->AvailableCount(3) == 1; }, 5000));
    port->ClosePort();
}

TEST(ReaderThread, CloseGivesUpOnAStuckReadAfterAboutTwoSeconds) {
    std::weak_ptr<CFakePort> weak;
    {
        auto port = MakePort();
        weak = port;
        port->BlockReads();
        ASSERT_EQ(port->OpenPort(), 1u);
        ASSERT_TRUE(WaitFor([&] { return port->m_bInBlockedRead.load(); }, 5000));
        const uint64_t t0 = platform::TickMs();
        port->ClosePort();
        const uint64_t elapsed = platform::TickMs() - t0;
        EXPECT_GE(elapsed, 1500u);
        EXPECT_LT(elapsed, 6000u);
        // The late thread still shares the port: dropping ours frees nothing yet.
        port->Feed(Frame(3, {7}));
        port->Release();
    }
    // Once its read returns, the late thread sees its own stop flag, queues
    // nothing and lets the port go.
    EXPECT_TRUE(WaitFor([&] { return weak.expired(); }, 5000));
}

TEST(ReaderThread, TenWaitRoundsWriteTheCountOverLineEvenIfTheThreadEndedInTheLast) {
    const auto dir = std::filesystem::temp_directory_path() / ("vexal-countover-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string d8 = dir.string();
    auto port = MakePort();
    port->PortLog().Initialise(true, std::u16string(d8.begin(), d8.end()), u"");
    port->m_bPortLog = true;
    port->BlockReads();
    ASSERT_EQ(port->OpenPort(), 1u);
    ASSERT_TRUE(WaitFor([&] { return port->m_bInBlockedRead.load(); }, 5000));
    // Let the stuck read go once the tenth waiting round has begun: the thread
    // then ends during the tenth pause.
    std::thread releaser([&] {
        WaitFor([&] { return CountOf(ReadLogText(dir), "ClosePort : wait Terminate Port ReadThread.") >= 10; }, 10000);
        port->Release();
    });
    port->ClosePort();
    releaser.join();
    const std::string text = ReadLogText(dir);
    std::filesystem::remove_all(dir);
    EXPECT_EQ(CountOf(text, "ClosePort : wait Terminate Port ReadThread."), 10u) << text;
    EXPECT_EQ(CountOf(text, "ClosePort : TerminateThread Port ReadThread."), 0u) << text;  // it did end in time
    EXPECT_EQ(CountOf(text, "ClosePort : wait Terminate count over."), 1u) << text;
}

TEST(ReaderThread, LateThreadOfAnEarlierRunIsNotRevivedByANewOpen) {
    auto port = MakePort();
    port->m_dwReaderPause = 10;
    port->BlockReads();
    ASSERT_EQ(port->OpenPort(), 1u);
    ASSERT_TRUE(WaitFor([&] { return port->m_bInBlockedRead.load(); }, 5000));
    port->ClosePort();                // detaches the stuck thread
    ASSERT_EQ(port->OpenPort(), 1u);  // new run; its reads block too
    port->Release();
    // The earlier run's thread ends on its own stop flag: only the test and
    // the new run's thread still own the port.
    EXPECT_TRUE(WaitFor([&] { return port.use_count() == 2; }, 5000));
    port->Feed(Frame(3, {1}));
    EXPECT_TRUE(WaitFor([&] { return port->AvailableCount(3) == 1; }, 5000));
    port->ClosePort();
    EXPECT_EQ(port.use_count(), 1);
    EXPECT_EQ(port->AvailableCount(3), 1u);
}

TEST(ReaderThread, AlarmCallbackMayClosePortFromTheReaderThread) {
    static std::shared_ptr<CFakePort> s_port;
    static std::atomic<bool> s_called{false};
    s_port = MakePort();
    s_port->m_dwReaderPause = 10;
    s_port->SetAlarmCallback(5, [](uint32_t, uint32_t, uint32_t) {
        s_port->ClosePort();
        s_called = true;
    });
    s_port->Feed(Frame(0, {0x74, 5, 0}));
    ASSERT_EQ(s_port->OpenPort(), 1u);
    EXPECT_TRUE(WaitFor([&] { return s_called.load(); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return !s_port->IsReaderRunning(); }, 5000));
    s_port.reset();
}

TEST(ReaderThread, OpenWithoutSharedOwnershipIsRefused) {
    CFakePort port;
    EXPECT_EQ(port.OpenPort(), 0u);
}
