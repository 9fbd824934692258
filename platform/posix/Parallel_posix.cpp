#include "platform/Parallel.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/DeviceNames.h"
#include "platform/WakeSignal.h"
#include "platform/posix/ParallelDevice.h"

namespace vexal::platform {

namespace {

// The character-device major of the USB printer class driver (usblp).
constexpr unsigned kUsbPrinterMajor = 180;

bool NotReady(int nErr) { return nErr == EAGAIN || nErr == EBUSY; }
// With abort-on-error set, lp answers an off-line, paper-out or failing
// printer at once with these instead of waiting inside the driver.
bool NotReadyToWrite(int nErr) { return NotReady(nErr) || nErr == EIO || nErr == ENOSPC; }
// A transfer still in flight when the device closes gets this long to end:
// closing would kill it half sent.
constexpr uint32_t kCloseDrainMs = 1000;

// The calls on an lp or usblp descriptor.
class CLpOps final : public IParallelOps {
public:
    explicit CLpOps(int hFd) : m_hFd(hFd) {}
    ~CLpOps() override { close(m_hFd); }
    CLpOps(const CLpOps&) = delete;
    CLpOps& operator=(const CLpOps&) = delete;

    int GetStatus(int& nStatus) override { return ioctl(m_hFd, LPGETSTATUS, &nStatus) == 0 ? 0 : errno; }
    ssize_t Get(uint8_t* pBuffer, size_t nSize, int& nErr) override {
        const ssize_t n = read(m_hFd, pBuffer, nSize);
        nErr = n < 0 ? errno : 0;
        return n;
    }
    ssize_t Put(const uint8_t* pData, size_t nLength, int& nErr) override {
        const ssize_t n = write(m_hFd, pData, nLength);
        nErr = n < 0 ? errno : 0;
        return n;
    }
    EPollOutcome WaitWritten(uint32_t ms, const CWakeSignal* pWake, short& nRevents, int& nErr) override {
        return PollWithWake(m_hFd, POLLOUT, ms, pWake, nRevents, nErr);
    }
    bool GetAbortOnError(bool& bOn) override {
        int nFlags = 0;
        if (ioctl(m_hFd, LPGETFLAGS, &nFlags) != 0) return false;
        bOn = (nFlags & LP_ABORT) != 0;
        return true;
    }
    bool SetAbortOnError(bool bOn) override { return ioctl(m_hFd, LPABORT, bOn ? 1 : 0) == 0; }

private:
    const int m_hFd;
};

class CParallelDevice final : public IParallelEndpoint {
public:
    CParallelDevice(std::unique_ptr<IParallelOps> pOps, uint8_t validBits)
        : m_pOps(std::move(pOps)), m_validBits(validBits) {
        // Without it lp waits about 10 s inside each write to a printer that
        // is not ready, where no wake of ours reaches it.
        bool bOn = false;
        if (m_pOps->GetAbortOnError(bOn) && !bOn) m_bRestoreAbort = m_pOps->SetAbortOnError(true);
    }
    ~CParallelDevice() override {
        short nRevents = 0;
        int nErr = 0;
        m_pOps->WaitWritten(kCloseDrainMs, nullptr, nRevents, nErr);
        if (m_bRestoreAbort) m_pOps->SetAbortOnError(false);  // the flag belongs to the port, not to this open
    }
    CParallelDevice(const CParallelDevice&) = delete;
    CParallelDevice& operator=(const CParallelDevice&) = delete;

    int Status(uint8_t& status, uint8_t& validBits) override {
        int value = 0;
        if (const int nErr = m_pOps->GetStatus(value); nErr != 0) return nErr;
        status = static_cast<uint8_t>(value);
        validBits = m_validBits;
        return 0;
    }

    EDeviceIo Read(uint8_t* pBuffer, size_t nSize, size_t& nRead, uint32_t ms, const CWakeSignal* pWake,
                   int& nErr) override {
        nRead = 0;
        nErr = 0;
        const uint64_t nStart = TickMs();
        for (;;) {
            const ssize_t n = m_pOps->Get(pBuffer, nSize, nErr);
            if (n > 0) {
                nRead = static_cast<size_t>(n);
                nErr = 0;
                return EDeviceIo::Done;
            }
            if (n < 0 && nErr == EINTR) continue;
            if (n < 0 && !NotReady(nErr)) return EDeviceIo::Failed;
            nErr = 0;
            if (TickMs() - nStart >= ms) return EDeviceIo::TimedOut;
            if (Pause(pWake)) return EDeviceIo::Woken;
        }
    }

    EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten, uint32_t ms, const CWakeSignal* pWake,
                    int& nErr) override {
        nWritten = 0;
        nErr = 0;
        const uint64_t nStart = TickMs();
        while (nWritten < nLength) {
            const ssize_t n = m_pOps->Put(pData + nWritten, nLength - nWritten, nErr);
            if (n > 0) {
                // usblp counts a transfer still in flight as written, and a
                // close kills it: only its completion makes the bytes written.
                const uint64_t nSpent = TickMs() - nStart;
                short nRevents = 0;
                switch (
                    m_pOps->WaitWritten(static_cast<uint32_t>(nSpent >= ms ? 0 : ms - nSpent), pWake, nRevents, nErr)) {
                case EPollOutcome::Ready:
                    if ((nRevents & POLLOUT) == 0) {
                        nErr = EIO;  // hung up or failed, not completed
                        return EDeviceIo::Failed;
                    }
                    nWritten += static_cast<size_t>(n);
                    continue;
                case EPollOutcome::TimedOut: return EDeviceIo::TimedOut;
                case EPollOutcome::Woken: return EDeviceIo::Woken;
                case EPollOutcome::Failed: return EDeviceIo::Failed;
                }
            }
            if (n < 0 && nErr == EINTR) continue;
            if (n < 0 && !NotReadyToWrite(nErr)) return EDeviceIo::Failed;
            nErr = 0;
            if (TickMs() - nStart >= ms) return EDeviceIo::TimedOut;
            if (Pause(pWake)) return EDeviceIo::Woken;
        }
        return EDeviceIo::Done;
    }

private:
    // A pause between two tries; true when the wake signal ended it.
    static bool Pause(const CWakeSignal* pWake) {
        if (pWake != nullptr) return pWake->SleepMs(kParallelRetryMs);
        SleepMs(kParallelRetryMs);
        return false;
    }

    std::unique_ptr<IParallelOps> m_pOps;
    uint8_t m_validBits;
    bool m_bRestoreAbort = false;
};

}  // namespace

std::unique_ptr<IParallelEndpoint> OpenParallelDevice(const std::string& strPath, int& nErr) {
    nErr = 0;
    const int hFd = open(strPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (hFd < 0) {
        nErr = errno;
        return nullptr;
    }
    struct stat st {};
    uint8_t validBits = kParallelStatusBits;
    if (fstat(hFd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == kUsbPrinterMajor)
        validBits = kUsbPrinterStatusBits;
    return MakeParallelEndpoint(std::make_unique<CLpOps>(hFd), validBits);
}

std::unique_ptr<IParallelEndpoint> MakeParallelEndpoint(std::unique_ptr<IParallelOps> pOps, uint8_t validBits) {
    return std::make_unique<CParallelDevice>(std::move(pOps), validBits);
}

std::unique_ptr<IParallelEndpoint> OpenParallelPort(std::u16string_view strName, int& nErr) {
    const auto strNarrow = AsciiPortName(strName);
    const auto path = strNarrow ? ResolvePortName(*strNarrow, "LPT", "/dev/lp") : std::nullopt;
    if (!path) {
        nErr = ENOENT;
        return nullptr;
    }
    return OpenParallelDevice(*path, nErr);
}

}  // namespace vexal::platform
