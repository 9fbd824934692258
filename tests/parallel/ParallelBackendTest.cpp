// The parallel backend over a scripted printer port: a USB printer's write
// counts once its transfer completed, so a close right after it loses
// nothing; a printer that is off-line fails writes at once in the driver
// (never a wait the close cannot end) and is asked again within the time-out.
#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <future>
#include <mutex>

#include "platform/Clock.h"
#include "platform/WakeSignal.h"
#include "platform/posix/ParallelDevice.h"

using namespace vexal::platform;

namespace {

// What a test sees of the port, also after the device was closed.
struct SPrinterLine {
    std::mutex m;
    std::atomic<bool> bOffline{false};
    std::atomic<bool> bAbortOnError{false};  // the driver's LPABORT flag
    uint32_t dwTransferMs = 0;               // how long a submitted transfer takes
    uint64_t nDoneAt = 0;                    // the rest under m
    size_t nInFlight = 0, nDelivered = 0, nKilled = 0;
};

// usblp's write path: a write submits one transfer and returns at once;
// POLLOUT once it completed; closing kills one still in flight. Off-line, lp
// waits inside the driver (a wait no wake reaches) unless abort-on-error is set.
class CScriptedPrinter final : public IParallelOps {
public:
    explicit CScriptedPrinter(std::shared_ptr<SPrinterLine> p) : m_p(std::move(p)) {}
    ~CScriptedPrinter() override {
        std::lock_guard lock(m_p->m);
        m_p->nKilled += Settle();
    }
    int GetStatus(int& nStatus) override { return nStatus = 0xD8, 0; }
    ssize_t Get(uint8_t*, size_t, int& nErr) override { return nErr = EAGAIN, -1; }
    ssize_t Put(const uint8_t*, size_t nLength, int& nErr) override {
        if (m_p->bOffline) {
            if (!m_p->bAbortOnError) SleepMs(2000);  // stands for lp's 10 s wait on a printer error
            return nErr = EIO, -1;
        }
        std::lock_guard lock(m_p->m);
        if (Settle() > 0) return nErr = EAGAIN, -1;
        m_p->nInFlight = nLength;
        m_p->nDoneAt = TickMs() + m_p->dwTransferMs;
        return static_cast<ssize_t>(nLength);
    }
    EPollOutcome WaitWritten(uint32_t ms, const CWakeSignal* pWake, short& nRevents, int&) override {
        for (const uint64_t t0 = TickMs(); TickMs() - t0 < ms; SleepMs(2)) {
            std::lock_guard lock(m_p->m);
            if (Settle() == 0) {
                nRevents = POLLOUT;
                return EPollOutcome::Ready;
            }
            if (pWake != nullptr && pWake->IsSet()) return EPollOutcome::Woken;
        }
        return EPollOutcome::TimedOut;
    }
    bool GetAbortOnError(bool& bOn) override { return bOn = m_p->bAbortOnError, true; }
    bool SetAbortOnError(bool bOn) override { return m_p->bAbortOnError = bOn, true; }

private:
    // Completes a transfer whose time has come; what is still in flight.
    size_t Settle() {
        if (m_p->nInFlight > 0 && TickMs() >= m_p->nDoneAt) {
            m_p->nDelivered += m_p->nInFlight;
            m_p->nInFlight = 0;
        }
        return m_p->nInFlight;
    }
    std::shared_ptr<SPrinterLine> m_p;
};

std::unique_ptr<IParallelEndpoint> Open(const std::shared_ptr<SPrinterLine>& pLine) {
    return MakeParallelEndpoint(std::make_unique<CScriptedPrinter>(pLine), kUsbPrinterStatusBits);
}

}  // namespace

TEST(ParallelBackend, AUsbPrinterWriteCountsOnceItsTransferCompletedSoACloseRightAfterLosesNothing) {
    const std::vector<uint8_t> data(100, 0x41);
    auto pLine = std::make_shared<SPrinterLine>();
    pLine->dwTransferMs = 200;
    auto pDevice = Open(pLine);
    size_t nWritten = 0;
    int nErr = 0;
    const uint64_t t0 = TickMs();
    EXPECT_EQ(pDevice->Write(data.data(), data.size(), nWritten, 3000, nullptr, nErr), EDeviceIo::Done);
    EXPECT_GE(TickMs() - t0, 190u);
    EXPECT_EQ(nWritten, data.size());
    pDevice.reset();  // ClosePort
    {
        std::lock_guard lock(pLine->m);
        EXPECT_EQ(pLine->nKilled, 0u);
        EXPECT_EQ(pLine->nDelivered, data.size());
    }

    // A transfer that does not complete within the time-out was not written.
    pLine = std::make_shared<SPrinterLine>();
    pLine->dwTransferMs = 60000;
    pDevice = Open(pLine);
    EXPECT_EQ(pDevice->Write(data.data(), data.size(), nWritten, 300, nullptr, nErr), EDeviceIo::TimedOut);
    EXPECT_EQ(nWritten, 0u);
}

TEST(ParallelBackend, AnOfflinePrinterIsAskedAgainWithinTheTimeOutAndAWakeEndsTheWaitAtOnce) {
    const std::vector<uint8_t> data(50, 0x42);
    auto pLine = std::make_shared<SPrinterLine>();
    pLine->bOffline = true;
    {
        auto pDevice = Open(pLine);
        auto online = std::async(std::launch::async, [&] {
            SleepMs(300);
            pLine->bOffline = false;
        });
        size_t nWritten = 0;
        int nErr = 0;
        const uint64_t t0 = TickMs();
        EXPECT_EQ(pDevice->Write(data.data(), data.size(), nWritten, 3000, nullptr, nErr), EDeviceIo::Done);
        EXPECT_EQ(nWritten, data.size());
        EXPECT_GE(TickMs() - t0, 290u);
        EXPECT_LT(TickMs() - t0, 1500u) << "no wait inside the driver";

        pLine->bOffline = true;
        CWakeSignal close;
        auto waker = std::async(std::launch::async, [&] {
            SleepMs(100);
            close.Set();
        });
        const uint64_t t1 = TickMs();
        EXPECT_EQ(pDevice->Write(data.data(), data.size(), nWritten, 10000, &close, nErr), EDeviceIo::Woken);
        EXPECT_LT(TickMs() - t1, 600u) << "the close's wake ends the wait";
    }
    EXPECT_FALSE(pLine->bAbortOnError) << "the driver's flag is given back as it was";
}
