#include "platform/Parallel.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/lp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/DeviceNames.h"
#include "platform/WakeSignal.h"

namespace vexal::platform {

namespace {

// The character-device major of the USB printer class driver (usblp).
constexpr unsigned kUsbPrinterMajor = 180;

bool NotReady(int nErr) { return nErr == EAGAIN || nErr == EBUSY; }

class CParallelDevice final : public IParallelEndpoint {
public:
    CParallelDevice(int hFd, uint8_t validBits) : m_hFd(hFd), m_validBits(validBits) {}
    ~CParallelDevice() override { close(m_hFd); }
    CParallelDevice(const CParallelDevice&) = delete;
    CParallelDevice& operator=(const CParallelDevice&) = delete;

    int Status(uint8_t& status, uint8_t& validBits) override {
        int value = 0;
        if (ioctl(m_hFd, LPGETSTATUS, &value) != 0)
            return errno;
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
            const ssize_t n = read(m_hFd, pBuffer, nSize);
            if (n > 0) {
                nRead = static_cast<size_t>(n);
                return EDeviceIo::Done;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && !NotReady(errno)) {
                nErr = errno;
                return EDeviceIo::Failed;
            }
            if (TickMs() - nStart >= ms)
                return EDeviceIo::TimedOut;
            if (Pause(pWake))
                return EDeviceIo::Woken;
        }
    }

    EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten, uint32_t ms, const CWakeSignal* pWake,
                    int& nErr) override {
        nWritten = 0;
        nErr = 0;
        const uint64_t nStart = TickMs();
        while (nWritten < nLength) {
            const ssize_t n = write(m_hFd, pData + nWritten, nLength - nWritten);
            if (n > 0) {
                nWritten += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && !NotReady(errno)) {
                nErr = errno;
                return EDeviceIo::Failed;
            }
            if (TickMs() - nStart >= ms)
                return EDeviceIo::TimedOut;
            if (Pause(pWake))
                return EDeviceIo::Woken;
        }
        return EDeviceIo::Done;
    }

private:
    // A pause between two tries; true when the wake signal ended it.
    static bool Pause(const CWakeSignal* pWake) {
        if (pWake != nullptr)
            return pWake->SleepMs(kParallelRetryMs);
        SleepMs(kParallelRetryMs);
        return false;
    }

    int m_hFd;
    uint8_t m_validBits;
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
    return std::make_unique<CParallelDevice>(hFd, validBits);
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
