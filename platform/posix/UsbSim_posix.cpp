// The simulated USB bus: descriptors and Unix stream sockets in one folder.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/Clock.h"
#include "platform/UsbSim.h"
#include "platform/WakeSignal.h"
#include "platform/posix/PollWait.h"

namespace vexal::platform {

namespace {
constexpr std::string_view kDescriptorSuffix = ".json";
constexpr size_t kMaxDescriptorBytes = 4096;

std::optional<SUsbSimDescriptor> ReadDescriptor(const std::string& strFile) {
    std::ifstream in(strFile, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(kMaxDescriptorBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return ParseUsbSimDescriptor(text);
}

class CUsbSimDevice final : public IUsbDevice {
public:
    explicit CUsbSimDevice(int hSocket) : m_hSocket(hSocket) {}
    ~CUsbSimDevice() override {
        if (m_hSocket >= 0) ::close(m_hSocket);
        m_hSocket = -1;
    }

    EUsbResult Read(uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs, size_t& nDone) override {
        nDone = 0;
        if (m_wake.IsSet()) return EUsbResult::Cancelled;
        short nRevents = 0;
        int nErr = 0;
        switch (PollWithWake(m_hSocket, POLLIN, dwTimeoutMs, &m_wake, nRevents, nErr)) {
        case EPollOutcome::TimedOut: return EUsbResult::TimedOut;
        case EPollOutcome::Woken: return EUsbResult::Cancelled;
        case EPollOutcome::Failed: return EUsbResult::Failed;
        case EPollOutcome::Ready: break;
        }
        for (;;) {
            const ssize_t n = ::recv(m_hSocket, pBuffer, nSize, MSG_DONTWAIT);
            if (n > 0) {
                nDone = static_cast<size_t>(n);
                return EUsbResult::Ok;
            }
            // End of stream or a hang-up: the hub left the bus.
            if (n == 0) return EUsbResult::NoDevice;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return (nRevents & (POLLHUP | POLLERR)) ? EUsbResult::NoDevice : EUsbResult::TimedOut;
            return errno == ECONNRESET || errno == ENOTCONN ? EUsbResult::NoDevice : EUsbResult::Failed;
        }
    }

    EUsbResult Write(const uint8_t* pData, size_t nLength, uint32_t dwTimeoutMs, size_t& nDone) override {
        nDone = 0;
        const uint64_t nStart = TickMs();
        while (nDone < nLength) {
            if (m_wake.IsSet()) return EUsbResult::Cancelled;
            // Never SIGPIPE: a closed peer is a gone device, not the program's end.
            const ssize_t n = ::send(m_hSocket, pData + nDone, nLength - nDone, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                nDone += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN ? EUsbResult::NoDevice
                                                                                  : EUsbResult::Failed;
            const uint64_t nElapsed = TickMs() - nStart;
            if (nElapsed >= dwTimeoutMs) return EUsbResult::TimedOut;
            short nRevents = 0;
            int nErr = 0;
            switch (PollWithWake(m_hSocket, POLLOUT, static_cast<uint32_t>(dwTimeoutMs - nElapsed), &m_wake, nRevents,
                                 nErr)) {
            case EPollOutcome::TimedOut: return EUsbResult::TimedOut;
            case EPollOutcome::Woken: return EUsbResult::Cancelled;
            case EPollOutcome::Failed: return EUsbResult::Failed;
            case EPollOutcome::Ready:
                if ((nRevents & (POLLHUP | POLLERR)) && !(nRevents & POLLOUT)) return EUsbResult::NoDevice;
                break;
            }
        }
        return EUsbResult::Ok;
    }

    void Cancel() override { m_wake.Set(); }

private:
    int m_hSocket = -1;
    CWakeSignal m_wake;
};

class CUsbSimBus final : public IUsbBus {
public:
    explicit CUsbSimBus(std::string strDirectory) : m_strDirectory(std::move(strDirectory)) {}

    std::vector<SUsbDeviceInfo> Enumerate() override {
        std::vector<SUsbDeviceInfo> devices;
        DIR* pDir = ::opendir(m_strDirectory.c_str());
        if (pDir == nullptr) return devices;
        while (const dirent* pEntry = ::readdir(pDir)) {
            const std::string_view name(pEntry->d_name);
            if (name.size() <= kDescriptorSuffix.size() || !name.ends_with(kDescriptorSuffix)) continue;
            const std::string strLocation(name.substr(0, name.size() - kDescriptorSuffix.size()));
            const auto descriptor = ReadDescriptor(m_strDirectory + "/" + std::string(name));
            if (!descriptor) continue;  // half written or not a hub's
            // A location that is not made of bus and port numbers gives no path.
            std::string strPath = MakeUsbInterfacePath(descriptor->wVendorId, descriptor->wProductId, strLocation);
            if (strPath.empty()) continue;
            devices.push_back({std::move(strPath), descriptor->wVendorId, descriptor->wProductId});
        }
        ::closedir(pDir);
        // Directory order is arbitrary: list by location, as a bus would by port.
        std::sort(devices.begin(), devices.end(),
                  [](const SUsbDeviceInfo& a, const SUsbDeviceInfo& b) { return a.strPath < b.strPath; });
        return devices;
    }

    // The descriptor alone decides: no connection is made, so a hub this
    // process holds is never disturbed.
    EUsbResult TestOpen(const std::string& strPath) override {
        const auto parts = ParseUsbInterfacePath(strPath);
        if (!parts) return EUsbResult::NoDevice;
        const auto descriptor = ReadDescriptor(Base(*parts) + ".json");
        if (!descriptor || descriptor->wVendorId != parts->wVendorId || descriptor->wProductId != parts->wProductId)
            return EUsbResult::NoDevice;
        return descriptor->bExclusive ? EUsbResult::InUse : EUsbResult::Ok;
    }

    std::unique_ptr<IUsbDevice> Open(const std::string& strPath, EUsbResult& eResult) override {
        eResult = TestOpen(strPath);
        if (eResult != EUsbResult::Ok) return nullptr;
        const std::string strSocket = Base(*ParseUsbInterfacePath(strPath)) + ".sock";
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (strSocket.size() >= sizeof address.sun_path) {
            eResult = EUsbResult::Failed;
            return nullptr;
        }
        std::memcpy(address.sun_path, strSocket.c_str(), strSocket.size() + 1);
        const int hSocket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (hSocket < 0) {
            eResult = EUsbResult::Failed;
            return nullptr;
        }
        int nRc;
        do {
            nRc = ::connect(hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        } while (nRc != 0 && errno == EINTR);
        if (nRc != 0) {
            const int nErr = errno;
            ::close(hSocket);
            eResult = nErr == EACCES || nErr == EPERM ? EUsbResult::AccessDenied : EUsbResult::NoDevice;
            return nullptr;
        }
        eResult = EUsbResult::Ok;
        return std::make_unique<CUsbSimDevice>(hSocket);
    }

private:
    // Locations come from paths that passed the shape check: digits, '-' and '.'.
    std::string Base(const SUsbPathParts& parts) const { return m_strDirectory + "/" + parts.strLocation; }

    const std::string m_strDirectory;
};
}  // namespace

std::shared_ptr<IUsbBus> MakeUsbSimBus(const std::string& strDirectory) {
    return std::make_shared<CUsbSimBus>(strDirectory);
}

}  // namespace vexal::platform
