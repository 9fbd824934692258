#include "platform/Serial.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/DeviceNames.h"
#include "platform/WakeSignal.h"
#include "platform/posix/PollWait.h"
#include "platform/posix/SerialBaud_posix.h"
#include "platform/posix/SerialOutput.h"

namespace vexal::platform {

namespace {

// The standard rates termios names; others go through termios2.
speed_t StandardSpeed(uint32_t dwBaud) {
    switch (dwBaud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;
    }
}

tcflag_t DataBitsFlag(uint32_t dwBits) {
    switch (dwBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

// A device without modem lines (a pty) answers the modem ioctls so.
bool HasNoModemLines(int nErr) { return nErr == ENOTTY || nErr == EINVAL; }

uint64_t Elapsed(uint64_t nStart) { return TickMs() - nStart; }

// The output calls on a tty's descriptor.
class CTtyOutputOps final : public ISerialOutputOps {
public:
    explicit CTtyOutputOps(int hFd) : m_hFd(hFd) {}
    ssize_t Put(const uint8_t* pData, size_t nLength, int& nErr) override {
        const ssize_t n = write(m_hFd, pData, nLength);
        nErr = n < 0 ? errno : 0;
        return n;
    }
    bool Queued(size_t& nQueued, int& nErr) override {
        int n = 0;
        if (ioctl(m_hFd, TIOCOUTQ, &n) != 0) {
            nErr = errno;
            return false;
        }
        nErr = 0;
        nQueued = static_cast<size_t>(std::max(n, 0));
        return true;
    }
    int Flush() override { return tcflush(m_hFd, TCOFLUSH) == 0 ? 0 : errno; }
    EPollOutcome WaitRoom(uint32_t ms, const CWakeSignal* pWake, short& nRevents, int& nErr) override {
        return PollWithWake(m_hFd, POLLOUT, ms, pWake, nRevents, nErr);
    }

private:
    const int m_hFd;
};

class CSerialDevice final : public ISerialEndpoint {
public:
    explicit CSerialDevice(int hFd) : m_hFd(hFd), m_outputOps(hFd), m_output(m_outputOps) {}
    ~CSerialDevice() override {
        // Release the line for the next user and drop unsent bytes first:
        // with CTS low a close would otherwise wait for them.
        ioctl(m_hFd, TIOCNXCL);
        tcflush(m_hFd, TCIOFLUSH);
        close(m_hFd);
        m_hFd = -1;
    }
    CSerialDevice(const CSerialDevice&) = delete;
    CSerialDevice& operator=(const CSerialDevice&) = delete;

    int MakeRaw() {
        termios tio{};
        if (tcgetattr(m_hFd, &tio) != 0) return errno;
        SetRaw(tio);
        return tcsetattr(m_hFd, TCSANOW, &tio) == 0 ? 0 : errno;
    }

    int ReadLine(SSerialLineState& state) override {
        termios tio{};
        if (tcgetattr(m_hFd, &tio) != 0) return errno;
        switch (tio.c_cflag & CSIZE) {
        case CS5: state.dwDataBits = 5; break;
        case CS6: state.dwDataBits = 6; break;
        case CS7: state.dwDataBits = 7; break;
        default: state.dwDataBits = 8; break;
        }
        if ((tio.c_cflag & PARENB) == 0)
            state.parity = EParity::None;
        else if (tio.c_cflag & CMSPAR)
            state.parity = (tio.c_cflag & PARODD) ? EParity::Mark : EParity::Space;
        else
            state.parity = (tio.c_cflag & PARODD) ? EParity::Odd : EParity::Even;
        state.bTwoStopBits = (tio.c_cflag & CSTOPB) != 0;
        state.bCtsHandshake = (tio.c_cflag & CRTSCTS) != 0;
        state.bXonXoff = (tio.c_iflag & IXON) != 0 && (tio.c_iflag & IXOFF) != 0;
        return GetBaud(m_hFd, state.dwBaud);
    }

    int ApplyLine(const SSerialLinePlan& plan) override {
        if (!plan.bValid) return EINVAL;
        termios tio{};
        if (tcgetattr(m_hFd, &tio) != 0) return errno;
        SetRaw(tio);
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        tio.c_cflag |= DataBitsFlag(plan.dwDataBits);
        switch (plan.parity) {
        case EParity::None: break;
        case EParity::Odd: tio.c_cflag |= PARENB | PARODD; break;
        case EParity::Even: tio.c_cflag |= PARENB; break;
        case EParity::Mark: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case EParity::Space: tio.c_cflag |= PARENB | CMSPAR; break;
        }
        // INPCK stays off: a byte with a parity error is delivered as it came,
        // never replaced by 0x00.
        if (plan.bTwoStopBits) tio.c_cflag |= CSTOPB;
        if (plan.bCtsHandshake) tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        if (plan.bXonXoff) tio.c_iflag |= IXON | IXOFF;
        const speed_t speed = StandardSpeed(plan.dwBaud);
        if (speed != B0) {
            cfsetispeed(&tio, speed);
            cfsetospeed(&tio, speed);
        }
        if (tcsetattr(m_hFd, TCSANOW, &tio) != 0) return errno;
        if (speed == B0) {
            if (int nErr = SetAnyBaud(m_hFd, plan.dwBaud); nErr != 0) return nErr;
        }
        int bits = TIOCM_DTR;
        if (ioctl(m_hFd, plan.bDtrOn ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !HasNoModemLines(errno)) return errno;
        // With CTS handshake the driver moves RTS itself.
        if (!plan.bCtsHandshake) {
            bits = TIOCM_RTS;
            if (ioctl(m_hFd, plan.bRtsOn ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !HasNoModemLines(errno)) return errno;
        }
        return 0;
    }

    void SetTimeouts(const SSerialTimeouts& timeouts) override { m_timeouts = timeouts; }

    int Purge(bool bInput, bool bOutput) override {
        int nErr = 0;
        if (bInput && tcflush(m_hFd, TCIFLUSH) != 0) nErr = errno;
        // Ends a write in progress too: the rest of its frame must not follow
        // a start that was just discarded.
        if (bOutput) {
            if (const int nOutErr = m_output.Purge(); nOutErr != 0) nErr = nOutErr;
        }
        return nErr;
    }

    bool ModemStatus(uint32_t& dwBits, int& nErr) override {
        dwBits = 0;
        nErr = 0;
        if (IsHungUp()) {
            nErr = EIO;
            return false;
        }
        int lines = 0;
        if (ioctl(m_hFd, TIOCMGET, &lines) != 0) {
            nErr = errno;
            if (!HasNoModemLines(nErr)) return false;
            // As a three-wire cable with looped handshake lines would.
            dwBits = kModemCts | kModemDsr;
            nErr = 0;
            return true;
        }
        if (lines & TIOCM_CTS) dwBits |= kModemCts;
        if (lines & TIOCM_DSR) dwBits |= kModemDsr;
        if (lines & TIOCM_RI) dwBits |= kModemRing;
        if (lines & TIOCM_CD) dwBits |= kModemCd;
        return true;
    }

    bool WaitingBytes(uint32_t& dwCount, int& nErr) override {
        dwCount = 0;
        nErr = 0;
        if (IsHungUp()) {
            nErr = EIO;
            return false;
        }
        int n = 0;
        if (ioctl(m_hFd, TIOCINQ, &n) != 0) {
            nErr = errno;
            return false;
        }
        dwCount = static_cast<uint32_t>(std::max(n, 0));
        return true;
    }

    EDeviceIo WaitReceive(uint32_t ms, const CWakeSignal* pWake, int& nErr) override {
        short nRevents = 0;
        switch (PollWithWake(m_hFd, POLLIN, ms, pWake, nRevents, nErr)) {
        case EPollOutcome::Ready:
            if ((nRevents & POLLIN) == 0 && (nRevents & (POLLHUP | POLLERR)) != 0) return EDeviceIo::HungUp;
            return EDeviceIo::Done;
        case EPollOutcome::TimedOut: return EDeviceIo::TimedOut;
        case EPollOutcome::Woken: return EDeviceIo::Woken;
        case EPollOutcome::Failed: break;
        }
        return EDeviceIo::Failed;
    }

    EDeviceIo Read(uint8_t* pBuffer, size_t nSize, size_t& nRead, const CWakeSignal* pWake, int& nErr) override {
        nRead = 0;
        nErr = 0;
        if (pBuffer == nullptr || nSize == 0) return EDeviceIo::Done;
        const SSerialTimeouts& t = m_timeouts;
        const uint64_t nTotal = static_cast<uint64_t>(t.dwReadTotalMultiplier) * nSize + t.dwReadTotalConstant;
        const bool bNoWait = t.dwReadInterval == 0 && nTotal == 0;
        const uint64_t nLimit = nTotal != 0 ? nTotal : kSerialReadCapMs;
        const uint64_t nStart = TickMs();
        uint64_t nLastByte = 0;
        for (;;) {
            const ssize_t n = read(m_hFd, pBuffer + nRead, nSize - nRead);
            if (n > 0) {
                nRead += static_cast<size_t>(n);
                nLastByte = TickMs();
                if (nRead == nSize) return EDeviceIo::Done;
                continue;
            }
            // With VMIN and VTIME 0 an empty tty reads 0 as a hung-up one
            // does; only the poll tells them apart.
            if (n == 0 && IsHungUp()) return EDeviceIo::HungUp;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EIO) return EDeviceIo::HungUp;
            if (n < 0 && errno != EAGAIN) {
                nErr = errno;
                return EDeviceIo::Failed;
            }
            if (bNoWait) return EDeviceIo::TimedOut;
            const uint64_t nSpent = Elapsed(nStart);
            if (nSpent >= nLimit) return EDeviceIo::TimedOut;
            uint64_t nWait = nLimit - nSpent;
            if (nRead > 0 && t.dwReadInterval != 0) {
                const uint64_t nGap = TickMs() - nLastByte;
                if (nGap >= t.dwReadInterval) return EDeviceIo::TimedOut;
                nWait = std::min<uint64_t>(nWait, t.dwReadInterval - nGap);
            }
            short nRevents = 0;
            switch (PollWithWake(m_hFd, POLLIN, static_cast<uint32_t>(nWait), pWake, nRevents, nErr)) {
            case EPollOutcome::Ready:
                if ((nRevents & POLLIN) == 0 && (nRevents & (POLLHUP | POLLERR)) != 0) return EDeviceIo::HungUp;
                break;
            case EPollOutcome::TimedOut: break;  // the checks above decide
            case EPollOutcome::Woken: return EDeviceIo::Woken;
            case EPollOutcome::Failed: return EDeviceIo::Failed;
            }
        }
    }

    EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten, const CWakeSignal* pWake,
                    int& nErr) override {
        const SSerialTimeouts& t = m_timeouts;
        const uint64_t nTotal = static_cast<uint64_t>(t.dwWriteTotalMultiplier) * nLength + t.dwWriteTotalConstant;
        return m_output.Write(pData, nLength, nTotal != 0 ? nTotal : kSerialWriteCapMs, pWake, nWritten, nErr);
    }

private:
    static void SetRaw(termios& tio) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
    }

    bool IsHungUp() const {
        pollfd fd{m_hFd, POLLIN, 0};
        int rc;
        do {
            rc = poll(&fd, 1, 0);
        } while (rc < 0 && errno == EINTR);
        return rc > 0 && (fd.revents & POLLHUP) != 0;
    }

    int m_hFd;
    SSerialTimeouts m_timeouts;
    CTtyOutputOps m_outputOps;
    CSerialOutput m_output;
};

}  // namespace

std::unique_ptr<ISerialEndpoint> OpenSerialDevice(const std::string& strPath, int& nErr) {
    nErr = 0;
    const int hFd = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (hFd < 0) {
        nErr = errno;
        return nullptr;
    }
    if (!isatty(hFd)) {
        close(hFd);
        nErr = ENOTTY;
        return nullptr;
    }
    if (ioctl(hFd, TIOCEXCL) != 0) {
        nErr = errno;
        close(hFd);
        return nullptr;
    }
    auto pDevice = std::make_unique<CSerialDevice>(hFd);
    nErr = pDevice->MakeRaw();
    if (nErr != 0) return nullptr;  // the destructor releases and closes it
    return pDevice;
}

std::unique_ptr<ISerialEndpoint> OpenSerialPort(std::u16string_view strName, int& nErr) {
    auto path = DevicePathOf(strName);
    if (!path) {
        const auto strNarrow = AsciiPortName(strName);
        if (strNarrow) path = ResolvePortName(*strNarrow, "COM", "/dev/ttyS");
    }
    if (!path) {
        nErr = ENOENT;
        return nullptr;
    }
    return OpenSerialDevice(*path, nErr);
}

}  // namespace vexal::platform
