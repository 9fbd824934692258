// The output side of the serial backend on a scripted line whose driver queue
// drains only as far as CTS lets it: a write reports what left the line, not
// what was queued, and a purge ends a write in progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <mutex>
#include <poll.h>
#include <vector>

#include "platform/Clock.h"
#include "platform/WakeSignal.h"
#include "platform/posix/SerialOutput.h"

using namespace vexal::platform;

namespace {

// A driver output queue of fixed size in front of a line: queued bytes leave
// only while the allowance (what CTS lets through) lasts.
class CScriptedLine final : public ISerialOutputOps {
public:
    explicit CScriptedLine(size_t nCapacity) : m_nCapacity(nCapacity) {}

    ssize_t Put(const uint8_t* pData, size_t nLength, int& nErr) override {
        std::lock_guard lock(m);
        const size_t n = std::min(nLength, m_nCapacity - Transmit());
        nErr = n == 0 ? EAGAIN : 0;
        queue.insert(queue.end(), pData, pData + n);
        nPutAfterPurge += bPurged ? n : 0;
        return n == 0 ? -1 : static_cast<ssize_t>(n);
    }
    bool Queued(size_t& nQueued, int& nErr) override {
        std::lock_guard lock(m);
        nQueued = Transmit();
        nErr = 0;
        return true;
    }
    int Flush() override {
        std::lock_guard lock(m);
        queue.clear();
        bPurged = true;
        return 0;
    }
    EPollOutcome WaitRoom(uint32_t ms, const CWakeSignal* pWake, short& nRevents, int&) override {
        for (const uint64_t t0 = TickMs(); TickMs() - t0 < ms; SleepMs(2)) {
            std::lock_guard lock(m);
            if (Transmit() < m_nCapacity) {
                nRevents = POLLOUT;
                return EPollOutcome::Ready;
            }
            if (pWake != nullptr && pWake->IsSet()) return EPollOutcome::Woken;
        }
        return EPollOutcome::TimedOut;
    }
    void Allow(size_t n) {
        std::lock_guard lock(m);
        nAllowance += n;
        Transmit();
    }

    std::mutex m;
    std::vector<uint8_t> queue, sent;
    size_t nAllowance = 0, nPutAfterPurge = 0;
    bool bPurged = false;

private:
    // Moves what the allowance lets through; what stays queued.
    size_t Transmit() {
        const auto n = static_cast<ptrdiff_t>(std::min(nAllowance, queue.size()));
        sent.insert(sent.end(), queue.begin(), queue.begin() + n);
        queue.erase(queue.begin(), queue.begin() + n);
        nAllowance -= static_cast<size_t>(n);
        return queue.size();
    }
    const size_t m_nCapacity;
};

std::vector<uint8_t> Frame(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    return bytes;
}

}  // namespace

TEST(SerialOutput, AWriteCountsOnlyWhatLeftTheLineAndDropsTheRestAtItsTimeOut) {
    const std::vector<uint8_t> frame = Frame(40);
    {
        CScriptedLine line(64);
        CSerialOutput output(line);
        line.Allow(10);  // CTS drops after 10 bytes
        size_t nSent = 99;
        int nErr = 0;
        const uint64_t t0 = TickMs();
        EXPECT_EQ(output.Write(frame.data(), frame.size(), 300, nullptr, nSent, nErr), EDeviceIo::TimedOut);
        EXPECT_GE(TickMs() - t0, 290u) << "the write waits for the bytes to leave";
        EXPECT_LT(TickMs() - t0, 1500u);
        EXPECT_EQ(nSent, 10u);
        line.Allow(100);  // CTS back: nothing of the timed-out write may leave now
        std::lock_guard lock(line.m);
        EXPECT_EQ(line.sent, std::vector<uint8_t>(frame.begin(), frame.begin() + 10));
    }
    CScriptedLine line(16);  // smaller than the frame: it waits for room, then for the drain
    CSerialOutput output(line);
    auto cts = std::async(std::launch::async, [&] {
        SleepMs(150);
        line.Allow(100);
    });
    size_t nSent = 0;
    int nErr = 0;
    const uint64_t t0 = TickMs();
    EXPECT_EQ(output.Write(frame.data(), frame.size(), 3000, nullptr, nSent, nErr), EDeviceIo::Done);
    EXPECT_GE(TickMs() - t0, 140u);
    EXPECT_EQ(nSent, frame.size());
    std::lock_guard lock(line.m);
    EXPECT_EQ(line.sent, frame);
}

TEST(SerialOutput, APurgeEndsAWriteInProgressWhichSendsNothingMoreAndReportsWhatLeft) {
    const std::vector<uint8_t> frame = Frame(40);
    CScriptedLine line(16);
    CSerialOutput output(line);
    CWakeSignal close;
    size_t nSent = 99;
    int nErr = 0;
    auto writer = std::async(std::launch::async,
                             [&] { return output.Write(frame.data(), frame.size(), 5000, &close, nSent, nErr); });
    line.Allow(8);  // 8 bytes leave, 8 more are taken: the queue is full again
    SleepMs(100);
    const uint64_t t0 = TickMs();
    EXPECT_EQ(output.Purge(), 0);  // the line went off-line
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(3)), std::future_status::ready) << "the purge did not end the write";
    EXPECT_EQ(writer.get(), EDeviceIo::Woken);
    EXPECT_LT(TickMs() - t0, 200u);
    EXPECT_EQ(nSent, 8u);
    line.Allow(100);
    std::lock_guard lock(line.m);
    EXPECT_EQ(line.nPutAfterPurge, 0u) << "the rest of a frame whose start was discarded went out";
    EXPECT_EQ(line.sent.size(), 8u);
}
