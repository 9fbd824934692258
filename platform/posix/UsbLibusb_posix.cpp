// The libusb-1.0 backend: the real USB bus.
//
// Transfers are asynchronous so that Cancel can end one at once from another
// thread; each waits for its own completion with libusb's event handling,
// which several threads may share.
#include <libusb.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/posix/UsbBulkInterface.h"
#include "platform/posix/UsbLibusb.h"

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

SBulkInterface FindBulkInterface(libusb_device* pDevice) {
    libusb_config_descriptor* pRaw = nullptr;
    if (libusb_get_active_config_descriptor(pDevice, &pRaw) != LIBUSB_SUCCESS || pRaw == nullptr) return {};
    std::unique_ptr<libusb_config_descriptor, SConfigDeleter> pConfig(pRaw);
    return ChooseBulkInterface(*pConfig);
}

// Whether this process has the device's file open: the port library and the
// configuration library each carry a libusb context of their own, so only the
// process's descriptors tell whether one of them holds the hub.
bool IsOpenInThisProcess(libusb_device* pDevice) {
    char target[64];
    std::snprintf(target, sizeof target, "/dev/bus/usb/%03u/%03u", unsigned{libusb_get_bus_number(pDevice)},
                  unsigned{libusb_get_device_address(pDevice)});
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
        if (std::strcmp(link, target) == 0) {
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
        return Transfer(m_itf.byIn, pBuffer, nSize, dwTimeoutMs, nDone);
    }
    EUsbResult Write(const uint8_t* pData, size_t nLength, uint32_t dwTimeoutMs, size_t& nDone) override {
        // libusb's transfer buffer is not const, but an OUT transfer only reads it.
        return Transfer(m_itf.byOut, const_cast<uint8_t*>(pData), nLength, dwTimeoutMs, nDone);
    }
    void Cancel() override {
        std::lock_guard lock(m_cs);
        m_bCancelled = true;
        for (libusb_transfer* p : m_active) libusb_cancel_transfer(p);
    }

private:
    EUsbResult Transfer(uint8_t byEndpoint, uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs, size_t& nDone);

    CLibusbBus& m_bus;
    libusb_device_handle* m_hDevice;
    const SBulkInterface m_itf;
    const std::string m_strLocation;
    std::mutex m_cs;  // guards the two below
    bool m_bCancelled = false;
    std::set<libusb_transfer*> m_active;
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
        // Ours already (this library or the other one): no second open, no
        // claim, no I/O.
        if (IsHeld(parts->strLocation) || IsOpenInThisProcess(pDevice)) return EUsbResult::Ok;
        libusb_device_handle* hDevice = nullptr;
        const int nErr = libusb_open(pDevice, &hDevice);
        if (nErr != LIBUSB_SUCCESS) return FromError(nErr);
        const SBulkInterface itf = FindBulkInterface(pDevice);
        EUsbResult eResult = EUsbResult::Ok;
        if (itf.nInterface < 0) {
            eResult = EUsbResult::Failed;
        } else if (libusb_kernel_driver_active(hDevice, itf.nInterface) != 1) {
            // No kernel driver: a claim that fails means another program holds it.
            const int nClaim = libusb_claim_interface(hDevice, itf.nInterface);
            if (nClaim == LIBUSB_SUCCESS) libusb_release_interface(hDevice, itf.nInterface);
            else eResult = FromError(nClaim);
        }
        // A kernel driver (usblp, cdc_acm) is no program: the open detaches it.
        libusb_close(hDevice);
        return eResult;
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
    libusb_close(m_hDevice);
    m_bus.Forget(m_strLocation);
}

void LIBUSB_CALL OnTransferDone(libusb_transfer* pTransfer) {
    *static_cast<int*>(pTransfer->user_data) = 1;
}

EUsbResult CLibusbDevice::Transfer(uint8_t byEndpoint, uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs,
                                   size_t& nDone) {
    nDone = 0;
    if (nSize == 0) return EUsbResult::Ok;
    std::unique_ptr<libusb_transfer, STransferDeleter> pTransfer(libusb_alloc_transfer(0));
    if (!pTransfer) return EUsbResult::Failed;
    int nCompleted = 0;
    const int nLength = nSize > INT32_MAX ? INT32_MAX : static_cast<int>(nSize);
    libusb_fill_bulk_transfer(pTransfer.get(), m_hDevice, byEndpoint, pBuffer, nLength, OnTransferDone, &nCompleted,
                              dwTimeoutMs);
    {
        std::lock_guard lock(m_cs);
        if (m_bCancelled) return EUsbResult::Cancelled;
        const int nErr = libusb_submit_transfer(pTransfer.get());
        if (nErr != LIBUSB_SUCCESS) return FromError(nErr);
        m_active.insert(pTransfer.get());
    }
    while (nCompleted == 0) {
        const int nErr = libusb_handle_events_completed(m_bus.Context(), &nCompleted);
        if (nErr < 0 && nErr != LIBUSB_ERROR_INTERRUPTED) {
            libusb_cancel_transfer(pTransfer.get());
            // The cancellation still completes through the callback.
        }
    }
    {
        std::lock_guard lock(m_cs);
        m_active.erase(pTransfer.get());
    }
    nDone = static_cast<size_t>(pTransfer->actual_length);
    switch (pTransfer->status) {
        case LIBUSB_TRANSFER_COMPLETED: return EUsbResult::Ok;
        case LIBUSB_TRANSFER_TIMED_OUT: return EUsbResult::TimedOut;
        case LIBUSB_TRANSFER_CANCELLED: return EUsbResult::Cancelled;
        case LIBUSB_TRANSFER_NO_DEVICE: return EUsbResult::NoDevice;
        case LIBUSB_TRANSFER_STALL:
            libusb_clear_halt(m_hDevice, byEndpoint);
            return EUsbResult::Stalled;
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
