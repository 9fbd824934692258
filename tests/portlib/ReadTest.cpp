// Read with time-out, available count and clear. Waits are checked with
// generous bounds so a loaded machine does not make them flaky.
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

namespace {
class PortRead : public ::testing::Test {
protected:
    void SetUp() override {
        port = std::make_shared<CFakePort>();
        DeviceOption opt{};
        port->SetDeviceOption(opt);
        port->m_bOpen = true;  // no reader thread: the test plays the reader
    }
    void Put(std::vector<uint8_t> bytes) { port->EnqueueData(0, bytes.data(), static_cast<uint32_t>(bytes.size())); }
    std::shared_ptr<CFakePort> port;
};
}  // namespace

TEST_F(PortRead, DataArrivingDuringTheWaitIsDeliveredInOrder) {
    Put({1, 2, 3, 4});
    // The clock starts before the late writer's sleep, so a busy machine
    // that delays this thread cannot make the wait look shorter than it was.
    const uint64_t t0 = platform::TickMs();
    std::thread late([&] {
        platform::SleepMs(150);
        Put({5, 6, 7, 8, 9, 10});
    });
    uint8_t buf[10] = {};
    // A long time-out, so a loaded machine cannot make the late bytes miss it.
    const uint32_t n = port->Read(0, buf, 10, 5000);
    const uint64_t elapsed = platform::TickMs() - t0;
    late.join();
    ASSERT_EQ(n, 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buf[i], i + 1);
    EXPECT_GE(elapsed, 150u);
    EXPECT_LT(elapsed, 4500u);  // returns once everything is there, not at the time-out
}

TEST_F(PortRead, TimeOutDeliversWhatWaitedAndEmptiesTheQueue) {
    const auto dir = std::filesystem::temp_directory_path() / ("vexal-read-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string d8 = dir.string();
    port->PortLog().Initialise(true, std::u16string(d8.begin(), d8.end()), u"");
    port->m_bPortLog = true;
    Put({1, 2, 3, 4});
    uint8_t buf[10] = {};
    const uint64_t t0 = platform::TickMs();
    const uint32_t n = port->Read(0, buf, 10, 300);
    const uint64_t elapsed = platform::TickMs() - t0;
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(buf[3], 4);
    EXPECT_EQ(port->AvailableCount(0), 0u);
    EXPECT_GE(elapsed, 300u);
    EXPECT_LT(elapsed, 3000u);
    // The failure line carries the delivered and the wanted count.
    std::string text;
    for (const auto& e : std::filesystem::directory_iterator(dir / "VQTLog")) {
        std::ifstream in(e.path(), std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i < raw.size(); i += 2) text.push_back(raw[i]);
    }
    std::filesystem::remove_all(dir);
    EXPECT_NE(text.find(") !ERROR: -Ethernet Read fail (4/10)\r\n"), std::string::npos) << text;
}

TEST_F(PortRead, PartialReadLeavesTheRestInOrder) {
    Put({1, 2, 3, 4, 5, 6, 7, 8});
    uint8_t buf[8] = {};
    EXPECT_EQ(port->Read(0, buf, 3, 100), 3u);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(port->AvailableCount(0), 5u);
    EXPECT_EQ(port->Read(0, buf, 1, 100), 1u);
    EXPECT_EQ(buf[0], 4);
}

TEST_F(PortRead, InvalidArgumentsAndClosedPortReturnAtOnce) {
    Put({1, 2});
    uint8_t buf[4] = {};
    const uint64_t t0 = platform::TickMs();
    EXPECT_EQ(port->Read(0, buf, 0, 5000), 0u);
    EXPECT_EQ(port->Read(0, nullptr, 2, 5000), 0u);
    port->m_bOpen = false;
    EXPECT_EQ(port->Read(0, buf, 2, 5000), 0u);
    EXPECT_LT(platform::TickMs() - t0, 2000u);
    EXPECT_EQ(port->AvailableCount(0), 2u);  // nothing taken
    port->m_bOpen = true;
    EXPECT_EQ(port->Read(77, buf, 2, 5000), 0u);  // device without a queue
    EXPECT_LT(platform::TickMs() - t0, 2000u);
}

TEST_F(PortRead, ClearEmptiesOnlyTheFirstQueueAndLaterBytesQueueNormally) {
    DeviceOption opt{};
    port->SetDeviceOption(opt);  // a second queue for device 0
    Put({1, 2, 3});
    port->Clear(0);
    EXPECT_EQ(port->AvailableCount(0), 0u);
    Put({4});
    uint8_t b = 0;
    EXPECT_EQ(port->Read(0, &b, 1, 100), 1u);
    EXPECT_EQ(b, 4);
    port->Clear(99);  // no queue: nothing happens
}

TEST_F(PortRead, QueueRemovedDuringTheWaitEndsTheRead) {
    std::thread remover([&] {
        platform::SleepMs(150);
        port->RemoveListData(0);
    });
    uint8_t buf[4] = {};
    const uint64_t t0 = platform::TickMs();
    EXPECT_EQ(port->Read(0, buf, 4, 10000), 0u);
    EXPECT_LT(platform::TickMs() - t0, 5000u);
    remover.join();
}
