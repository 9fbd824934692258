// The libusb-1.0 backend: the real USB bus.
//
// Transfers are asynchronous so that Cancel can end one at once from another
// thread; each waits for its own completion with libusb's event handling,
// which several threads may share, for at most its time-out and a grace
// period (UsbTransferWait.h). The open test of discovery neither opens nor
// claims a hub: sysfs tells whether a program holds it.
#include <libusb.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/posix/UsbBulkInterface.h"
#include "platform/posix/UsbLibusb.h"
#include "platform/posix/UsbTransferWait.h"

namespace vexal::platform {

namespace {
EUsbResult FromError(int nErr) {
    switch (nErr) {
    case LIBUSB_SUCCESS: return EUsbResult::Ok;
    case LIBUSB_ERROR_TIMEOUT: return EUsbResult::TimedOut;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return EUsbResult::NoDevice;
    case LIBUSB_ERROR_ACCESS: return EUsbResult::AccessDenied;
    case LIBUSB_ERROR_BUSY: return EUsbResult::InUse;
    case LIBUSB_ERROR_PIPE: return EUsbResult::Stalled;
    case LIBUSB_ERROR_INTERRUPTED: return EUsbResult::Cancelled;
    default: return EUsbResult::Failed;
    }
}

std::string LocationOf(libusb_device* pDevice) {
    uint8_t ports[8];
    const int nPorts = libusb_get_port_numbers(pDevice, ports, sizeof ports);
    return UsbLocationText(libusb_get_bus_number(pDevice), ports, nPorts);
}

struct SDeviceListDeleter {
    void operator()(libusb_device** p) const { libusb_free_device_list(p, 1); }
};
using CDeviceList = std::unique_ptr<libusb_device*, SDeviceListDeleter>;

struct SConfigDeleter {
    void operator()(libusb_config_descriptor* p) const { libusb_free_config_descriptor(p); }
};

struct STransferDeleter {
    void operator()(libusb_transfer* p) const { libusb_free_transfer(p); }
};

// The interface to claim, and the value of the active configuration it
// belongs to (0 when the device is not configured).
SBulkInterface FindBulkInterface(libusb_device* pDevice, uint8_t* pbyConfiguration = nullptr) {
    libusb_config_descriptor* pRaw = nullptr;
    if (libusb_get_active_config_descriptor(pDevice, &pRaw) != LIBUSB_SUCCESS || pRaw == nullptr) return {};
    std::unique_ptr<libusb_config_descriptor, SConfigDeleter> pConfig(pRaw);
    if (pbyConfiguration != nullptr) *pbyConfiguration = pConfig->bConfigurationValue;
    return ChooseBulkInterface(*pConfig);
}

// The device file libusb opens for the device.
std::string DeviceFileOf(libusb_device* pDevice) {
    char path[64];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03u/%03u", unsigned{libusb_get_bus_number(pDevice)},
                  unsigned{libusb_get_device_address(pDevice)});
    return path;
}

// The driver an interface is bound to, from sysfs where libusb finds the
// device (bus and port numbers): "usbfs" while a program has claimed it, a
// kernel driver's name, or empty when none is bound.
std::string InterfaceDriver(libusb_device* pDevice, uint8_t byConfiguration, int nInterface) {
    const std::string strLink = "/sys/bus/usb/devices/" + LocationOf(pDevice) + ":" + std::to_string(byConfiguration) +
                                "." + std::to_string(nInterface) + "/driver";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(strLink.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    const std::string strTarget(target, static_cast<size_t>(n));
    const size_t nSlash = strTarget.rfind('/');
    return nSlash == std::string::npos ? strTarget : strTarget.substr(nSlash + 1);
}

// Whether this process has the device's file open: the port library and the
// configuration library each carry a libusb context of their own, so only the
// process's descriptors tell whether one of them holds the hub.
bool IsOpenInThisProcess(libusb_device* pDevice) {
    const std::string strTarget = DeviceFileOf(pDevice);
    DIR* pDir = ::opendir("/proc/self/fd");
    if (pDir == nullptr) return false;
    bool bOpen = false;
    char link[64];
    while (const dirent* pEntry = ::readdir(pDir)) {
        if (pEntry->d_name[0] == '.') continue;
        char fdPath[300];
        std::snprintf(fdPath, sizeof fdPath, "/proc/self/fd/%s", pEntry->d_name);
        const ssize_t n = ::readlink(fdPath, link, sizeof link - 1);
        if (n <= 0) continue;
        link[n] = '\0';
        if (strTarget == link) {
            bOpen = true;
            break;
        }
    }
    ::closedir(pDir);
    return bOpen;
}

class CLibusbBus;

class CLibusbDevice final : public IUsbDevice {
public:
    CLibusbDevice(CLibusbBus& bus, libusb_device_handle* hDevice, const SBulkInterface& itf, std::string strLocation)
        : m_bus(bus), m_hDevice(hDevice), m_itf(itf), m_strLocation(std::move(strLocation)) {}
    ~CLibusbDevice() override;

    EUsbResult Read(uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs, size_t& nDone) override {
        return Transfer(m_itf.byIn, nullptr, pBuffer, nSize, dwTimeoutMs, nDone);
    }
    EUsbResult Write(const uint8_t* pData, size_t nLength, uint32_t dwTimeoutMs, size_t& nDone) override {
        return Transfer(m_itf.byOut, pData, nullptr, nLength, dwTimeoutMs, nDone);
    }
    void Cancel() override {
        std::lock_guard lock(m_cs);
        m_bCancelled = true;
        for (libusb_transfer* p : m_active) libusb_cancel_transfer(p);
    }

private:
    // One transfer and the memory libusb and the kernel may use until it
    // completes: the bytes move through its own buffer, never the caller's,
    // so a transfer that was given up cannot write into memory the caller
    // has taken back.
    struct STransferSlot {
        std::unique_ptr<libusb_transfer, STransferDeleter> pTransfer;
        std::vector<uint8_t> buffer;
        int nCompleted = 0;  // set by the callback (atomically: see OnTransferDone)
    };

    // pOut for OUT endpoints, pIn for IN endpoints.
    EUsbResult Transfer(uint8_t byEndpoint, const uint8_t* pOut, uint8_t* pIn, size_t nSize, uint32_t dwTimeoutMs,
                        size_t& nDone);

    CLibusbBus& m_bus;
    libusb_device_handle* m_hDevice;
    const SBulkInterface m_itf;
    const std::string m_strLocation;
    std::mutex m_cs;  // guards the three below
    bool m_bCancelled = false;
    std::set<libusb_transfer*> m_active;
    // Given up while still in flight; freed once closing the handle has ended them.
    std::vector<std::unique_ptr<STransferSlot>> m_abandoned;
};

class CLibusbBus final : public IUsbBus {
public:
    CLibusbBus() {
        const int nErr = libusb_init(&m_pContext);
        if (nErr != LIBUSB_SUCCESS) m_pContext = nullptr;  // no USB on this machine: the bus is empty
    }
    // Never destroyed (see LibusbBus).

    libusb_context* Context() const { return m_pContext; }

    std::vector<SUsbDeviceInfo> Enumerate() override {
        std::vector<SUsbDeviceInfo> devices;
        CDeviceList list = GetList();
        if (!list) return devices;
        for (libusb_device** p = list.get(); *p != nullptr; ++p) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(*p, &descriptor) != LIBUSB_SUCCESS) continue;
            std::string strPath = MakeUsbInterfacePath(descriptor.idVendor, descriptor.idProduct, LocationOf(*p));
            if (strPath.empty()) continue;
            devices.push_back({std::move(strPath), descriptor.idVendor, descriptor.idProduct});
        }
        return devices;
    }

    EUsbResult TestOpen(const std::string& strPath) override {
        const auto parts = ParseUsbInterfacePath(strPath);
        if (!parts) return EUsbResult::NoDevice;
        CDeviceList list = GetList();
        libusb_device* pDevice = Find(list, *parts);
        if (pDevice == nullptr) return EUsbResult::NoDevice;
        // Ours already (this library or the other one): its interface shows
        // usbfs because we claimed it.
        if (IsHeld(parts->strLocation) || IsOpenInThisProcess(pDevice)) return EUsbResult::Ok;
        // Neither opened nor claimed: opening wakes a suspended hub, and a
        // claim, however short, makes another program's claim fail.
        if (::access(DeviceFileOf(pDevice).c_str(), R_OK | W_OK) != 0) {
            if (errno == EACCES || errno == EPERM || errno == EROFS) return EUsbResult::AccessDenied;
            return errno == ENOENT ? EUsbResult::NoDevice : EUsbResult::Failed;
        }
        uint8_t byConfiguration = 0;
        const SBulkInterface itf = FindBulkInterface(pDevice, &byConfiguration);
        if (itf.nInterface < 0) return EUsbResult::Failed;
        // usbfs is the driver of an interface a program claimed; a kernel
        // driver (usblp, cdc_acm) is no program: the open detaches it.
        if (InterfaceDriver(pDevice, byConfiguration, itf.nInterface) == "usbfs") return EUsbResult::InUse;
        return EUsbResult::Ok;
    }

    std::unique_ptr<IUsbDevice> Open(const std::string& strPath, EUsbResult& eResult) override {
        const auto parts = ParseUsbInterfacePath(strPath);
        if (!parts || m_pContext == nullptr) {
            eResult = EUsbResult::NoDevice;
            return nullptr;
        }
        CDeviceList list = GetList();
        libusb_device* pDevice = Find(list, *parts);
        if (pDevice == nullptr) {
            eResult = EUsbResult::NoDevice;
            return nullptr;
        }
        const SBulkInterface itf = FindBulkInterface(pDevice);
        if (itf.nInterface < 0) {
            eResult = EUsbResult::Failed;
            return nullptr;
        }
        libusb_device_handle* hDevice = nullptr;
        int nErr = libusb_open(pDevice, &hDevice);
        if (nErr != LIBUSB_SUCCESS) {
            eResult = FromError(nErr);
            return nullptr;
        }
        libusb_set_auto_detach_kernel_driver(hDevice, 1);
        nErr = libusb_claim_interface(hDevice, itf.nInterface);
        if (nErr != LIBUSB_SUCCESS) {
            libusb_close(hDevice);
            eResult = FromError(nErr);
            return nullptr;
        }
        {
            std::lock_guard lock(m_csHeld);
            m_held.insert(parts->strLocation);
        }
        eResult = EUsbResult::Ok;
        return std::make_unique<CLibusbDevice>(*this, hDevice, itf, parts->strLocation);
    }

    void Forget(const std::string& strLocation) {
        std::lock_guard lock(m_csHeld);
        auto it = m_held.find(strLocation);
        if (it != m_held.end()) m_held.erase(it);
    }

private:
    CDeviceList GetList() {
        if (m_pContext == nullptr) return nullptr;
        libusb_device** pList = nullptr;
        if (libusb_get_device_list(m_pContext, &pList) < 0) return nullptr;
        return CDeviceList(pList);
    }

    static libusb_device* Find(const CDeviceList& list, const SUsbPathParts& parts) {
        if (!list) return nullptr;
        for (libusb_device** p = list.get(); *p != nullptr; ++p) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(*p, &descriptor) != LIBUSB_SUCCESS) continue;
            if (descriptor.idVendor == parts.wVendorId && descriptor.idProduct == parts.wProductId &&
                LocationOf(*p) == parts.strLocation)
                return *p;
        }
        return nullptr;
    }

    bool IsHeld(const std::string& strLocation) {
        std::lock_guard lock(m_csHeld);
        return m_held.count(strLocation) != 0;
    }

    libusb_context* m_pContext = nullptr;
    std::mutex m_csHeld;
    std::multiset<std::string> m_held;  // locations this process has open
};

CLibusbDevice::~CLibusbDevice() {
    libusb_release_interface(m_hDevice, m_itf.nInterface);  // the kernel driver comes back (auto-detach)
    // Ends every transfer of the handle, those given up included: libusb
    // forgets them, so their memory may go after this.
    libusb_close(m_hDevice);
    m_abandoned.clear();
    m_bus.Forget(m_strLocation);
}

// libusb reads the flag under its own locks; the waiter may read it outside them.
void LIBUSB_CALL OnTransferDone(libusb_transfer* pTransfer) {
    std::atomic_ref<int>(*static_cast<int*>(pTransfer->user_data)).store(1);
}

EUsbResult CLibusbDevice::Transfer(uint8_t byEndpoint, const uint8_t* pOut, uint8_t* pIn, size_t nSize,
                                   uint32_t dwTimeoutMs, size_t& nDone) {
    nDone = 0;
    if (nSize == 0) return EUsbResult::Ok;
    auto pSlot = std::make_unique<STransferSlot>();
    pSlot->pTransfer.reset(libusb_alloc_transfer(0));
    if (!pSlot->pTransfer) return EUsbResult::Failed;
    const int nLength = nSize > INT32_MAX ? INT32_MAX : static_cast<int>(nSize);
    pSlot->buffer.assign(static_cast<size_t>(nLength), 0);
    if (pOut != nullptr) std::memcpy(pSlot->buffer.data(), pOut, pSlot->buffer.size());
    libusb_transfer* pTransfer = pSlot->pTransfer.get();
    // No zero-length packet after an OUT transfer of whole packets: the hub
    // cuts its input into frames by their own length field, never by a short
    // packet, and plain writes to the device file never add one either.
    libusb_fill_bulk_transfer(pTransfer, m_hDevice, byEndpoint, pSlot->buffer.data(), nLength, OnTransferDone,
                              &pSlot->nCompleted, dwTimeoutMs);
    {
        std::lock_guard lock(m_cs);
        if (m_bCancelled) return EUsbResult::Cancelled;
        const int nErr = libusb_submit_transfer(pTransfer);
        if (nErr != LIBUSB_SUCCESS) return FromError(nErr);
        m_active.insert(pTransfer);
    }
    int& nCompleted = pSlot->nCompleted;
    const SUsbTransferWait wait{
        [&](uint32_t dwWaitMs) {
            timeval tv{static_cast<time_t>(dwWaitMs / 1000), static_cast<suseconds_t>(dwWaitMs % 1000) * 1000};
            return libusb_handle_events_timeout_completed(m_bus.Context(), &tv, &nCompleted);
        },
        [&] { libusb_cancel_transfer(pTransfer); }, [&] { return std::atomic_ref<int>(nCompleted).load() != 0; }};
    const bool bCompleted = AwaitUsbTransfer(wait, dwTimeoutMs);
    {
        std::lock_guard lock(m_cs);
        m_active.erase(pTransfer);
        if (!bCompleted) {
            // Event handling kept failing or the cancel never came back: the
            // call fails, and the transfer stays with the handle until it closes.
            m_abandoned.push_back(std::move(pSlot));
            return EUsbResult::Failed;
        }
    }
    nDone = static_cast<size_t>(std::clamp(pTransfer->actual_length, 0, nLength));
    if (pIn != nullptr) std::memcpy(pIn, pSlot->buffer.data(), nDone);
    switch (pTransfer->status) {
    case LIBUSB_TRANSFER_COMPLETED: return EUsbResult::Ok;
    case LIBUSB_TRANSFER_TIMED_OUT: return EUsbResult::TimedOut;
    case LIBUSB_TRANSFER_CANCELLED: return EUsbResult::Cancelled;
    case LIBUSB_TRANSFER_NO_DEVICE: return EUsbResult::NoDevice;
    case LIBUSB_TRANSFER_STALL: libusb_clear_halt(m_hDevice, byEndpoint); return EUsbResult::Stalled;
    default: return EUsbResult::Failed;
    }
}
}  // namespace

std::shared_ptr<IUsbBus> LibusbBus() {
    // Never destroyed: a port's threads may still use it while the program exits.
    static CLibusbBus* pBus = new CLibusbBus();
    return std::shared_ptr<IUsbBus>(pBus, [](IUsbBus*) {});
}

}  // namespace vexal::platform
