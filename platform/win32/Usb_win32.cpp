// The USB facility on Windows: the device setup API lists the devices of the
// USB device interface class with the interface paths the system gives;
// a hub bound to WinUSB is opened by that path and moved bytes through its
// bulk pipes with overlapped requests. (A vendor driver other than WinUSB
// is not spoken to; the README says how to bind the hub.)
#include "platform/Usb.h"

#include "platform/win32/Win32Util.h"
// After <windows.h>: the setup and WinUSB headers build on it.
#include <setupapi.h>
#include <winusb.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <set>
#include <vector>

namespace vexal::platform {

namespace {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}: the system's USB device interface class.
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

constexpr DWORD kErrorNoSuchDevice = 433;  // not in every SDK's headers

EUsbResult FromError(DWORD dwError) {
    switch (dwError) {
    case ERROR_SUCCESS: return EUsbResult::Ok;
    case ERROR_SEM_TIMEOUT:
    case ERROR_TIMEOUT: return EUsbResult::TimedOut;
    case ERROR_OPERATION_ABORTED: return EUsbResult::Cancelled;
    case ERROR_ACCESS_DENIED: return EUsbResult::AccessDenied;
    case ERROR_INVALID_HANDLE: return EUsbResult::InvalidHandle;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case kErrorNoSuchDevice:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED: return EUsbResult::NoDevice;
    default: return EUsbResult::Failed;
    }
}

// Paths this process holds open: the open test never opens them again (a
// WinUSB device has one user at a time).
class CHeldPaths {
public:
    bool Hold(const std::string& strPath) {
        std::lock_guard lock(m_mutex);
        return m_paths.insert(UpperAscii(strPath)).second;
    }
    void Release(const std::string& strPath) {
        std::lock_guard lock(m_mutex);
        m_paths.erase(UpperAscii(strPath));
    }
    bool IsHeld(const std::string& strPath) const {
        std::lock_guard lock(m_mutex);
        return m_paths.count(UpperAscii(strPath)) != 0;
    }

private:
    mutable std::mutex m_mutex;
    std::set<std::string> m_paths;  // guarded by m_mutex
};

class CWinUsbDevice final : public IUsbDevice {
public:
    CWinUsbDevice(CHeldPaths& held, std::string strPath, win32::CHandle hFile, WINUSB_INTERFACE_HANDLE hUsb, UCHAR byIn,
                  UCHAR byOut)
        : m_held(held),
          m_strPath(std::move(strPath)),
          m_hFile(std::move(hFile)),
          m_hUsb(hUsb),
          m_byIn(byIn),
          m_byOut(byOut),
          m_hCancel(win32::MakeEvent()) {}
    ~CWinUsbDevice() override {
        Cancel();
        WinUsb_Free(m_hUsb);
        m_hFile.Close();
        m_held.Release(m_strPath);
    }
    CWinUsbDevice(const CWinUsbDevice&) = delete;
    CWinUsbDevice& operator=(const CWinUsbDevice&) = delete;

    EUsbResult Read(uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs, size_t& nDone) override {
        const EUsbResult eResult = Transfer(m_byIn, pBuffer, nSize, dwTimeoutMs, nDone);
        // A zero-length packet brought nothing: as a slice that timed out.
        return eResult == EUsbResult::Ok && nDone == 0 ? EUsbResult::TimedOut : eResult;
    }

    EUsbResult Write(const uint8_t* pData, size_t nLength, uint32_t dwTimeoutMs, size_t& nDone) override {
        const EUsbResult eResult = Transfer(m_byOut, const_cast<uint8_t*>(pData), nLength, dwTimeoutMs, nDone);
        return eResult == EUsbResult::Ok && nDone < nLength ? EUsbResult::TimedOut : eResult;
    }

    void Cancel() override {
        m_bCancelled = true;
        if (m_hCancel.IsValid()) SetEvent(m_hCancel.Get());
        WinUsb_AbortPipe(m_hUsb, m_byIn);
        WinUsb_AbortPipe(m_hUsb, m_byOut);
    }

private:
    EUsbResult Transfer(UCHAR byPipe, uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs, size_t& nDone) {
        nDone = 0;
        if (m_bCancelled) return EUsbResult::Cancelled;
        win32::CHandle hEvent = win32::MakeEvent();
        if (!hEvent.IsValid()) return EUsbResult::Failed;
        OVERLAPPED ov{};
        ov.hEvent = hEvent.Get();
        const auto dwAsk = static_cast<ULONG>(std::min<size_t>(nSize, 0x7FFFFFFF));
        const BOOL bStarted = (byPipe & 0x80) != 0 ? WinUsb_ReadPipe(m_hUsb, byPipe, pBuffer, dwAsk, nullptr, &ov)
                                                   : WinUsb_WritePipe(m_hUsb, byPipe, pBuffer, dwAsk, nullptr, &ov);
        if (!bStarted && GetLastError() != ERROR_IO_PENDING) return FromError(GetLastError());
        HANDLE handles[2] = {ov.hEvent, m_hCancel.Get()};
        const DWORD dwWait = WaitForMultipleObjects(m_hCancel.IsValid() ? 2 : 1, handles, FALSE, dwTimeoutMs);
        ULONG nTransferred = 0;
        if (dwWait != WAIT_OBJECT_0) {
            // The slice ended: abort the pipe's request and collect it.
            WinUsb_AbortPipe(m_hUsb, byPipe);
            WinUsb_GetOverlappedResult(m_hUsb, &ov, &nTransferred, TRUE);
            nDone = nTransferred;
            return dwWait == WAIT_OBJECT_0 + 1 || m_bCancelled ? EUsbResult::Cancelled : EUsbResult::TimedOut;
        }
        if (!WinUsb_GetOverlappedResult(m_hUsb, &ov, &nTransferred, FALSE)) {
            const DWORD dwError = GetLastError();
            nDone = nTransferred;
            if (m_bCancelled) return EUsbResult::Cancelled;
            // A stalled pipe is cleared for the next slice; a device that is
            // gone fails the reset as well.
            if (dwError == ERROR_GEN_FAILURE)
                return WinUsb_ResetPipe(m_hUsb, byPipe) ? EUsbResult::Stalled : EUsbResult::NoDevice;
            return FromError(dwError);
        }
        nDone = nTransferred;
        return EUsbResult::Ok;
    }

    CHeldPaths& m_held;
    const std::string m_strPath;
    win32::CHandle m_hFile;
    WINUSB_INTERFACE_HANDLE m_hUsb;
    const UCHAR m_byIn;
    const UCHAR m_byOut;
    win32::CHandle m_hCancel;  // set by Cancel: ends every slice at once
    std::atomic<bool> m_bCancelled{false};
};

class CWinUsbBus final : public IUsbBus {
public:
    std::vector<SUsbDeviceInfo> Enumerate() override {
        std::vector<SUsbDeviceInfo> devices;
        HDEVINFO hSet =
            SetupDiGetClassDevsW(&kUsbDeviceInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (hSet == INVALID_HANDLE_VALUE) return devices;
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD i = 0;; ++i) {
            if (!SetupDiEnumDeviceInterfaces(hSet, nullptr, &kUsbDeviceInterface, i, &data)) {
                if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
                continue;  // an index without an interface: the next may have one
            }
            const std::string strPath = InterfacePath(hSet, data);
            // Root hubs and other paths without vendor and product IDs are not hubs of ours.
            if (const auto parts = ParseUsbInterfacePath(strPath))
                devices.push_back({strPath, parts->wVendorId, parts->wProductId});
        }
        SetupDiDestroyDeviceInfoList(hSet);
        return devices;
    }

    EUsbResult TestOpen(const std::string& strPath) override {
        if (!ParseUsbInterfacePath(strPath)) return EUsbResult::NoDevice;
        if (m_held.IsHeld(strPath)) return EUsbResult::Ok;  // ours: open already
        const std::wstring path = win32::WideFromUtf8(strPath);
        win32::CHandle h(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (h.IsValid()) return EUsbResult::Ok;
        // WinUSB lets one program at a time open a device.
        const DWORD dwError = GetLastError();
        return dwError == ERROR_ACCESS_DENIED || dwError == ERROR_SHARING_VIOLATION ? EUsbResult::InUse
                                                                                    : FromError(dwError);
    }

    std::unique_ptr<IUsbDevice> Open(const std::string& strPath, EUsbResult& eResult) override {
        if (!ParseUsbInterfacePath(strPath)) {
            eResult = EUsbResult::NoDevice;
            return nullptr;
        }
        if (!m_held.Hold(strPath)) {
            eResult = EUsbResult::InUse;
            return nullptr;
        }
        auto release = [&](EUsbResult eWhy) -> std::unique_ptr<IUsbDevice> {
            m_held.Release(strPath);
            eResult = eWhy;
            return nullptr;
        };
        const std::wstring path = win32::WideFromUtf8(strPath);
        win32::CHandle hFile(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                                         nullptr));
        if (!hFile.IsValid()) {
            const DWORD dwError = GetLastError();
            return release(dwError == ERROR_ACCESS_DENIED || dwError == ERROR_SHARING_VIOLATION ? EUsbResult::InUse
                                                                                                : FromError(dwError));
        }
        WINUSB_INTERFACE_HANDLE hUsb = nullptr;
        if (!WinUsb_Initialize(hFile.Get(), &hUsb)) return release(EUsbResult::Failed);  // not bound to WinUSB
        UCHAR byIn = 0, byOut = 0;
        USB_INTERFACE_DESCRIPTOR interface {};
        if (WinUsb_QueryInterfaceSettings(hUsb, 0, &interface)) {
            for (UCHAR i = 0; i < interface.bNumEndpoints; ++i) {
                WINUSB_PIPE_INFORMATION pipe{};
                if (!WinUsb_QueryPipe(hUsb, 0, i, &pipe) || pipe.PipeType != UsbdPipeTypeBulk) continue;
                if ((pipe.PipeId & 0x80) != 0 && byIn == 0)
                    byIn = pipe.PipeId;
                else if ((pipe.PipeId & 0x80) == 0 && byOut == 0)
                    byOut = pipe.PipeId;
            }
        }
        if (byIn == 0 || byOut == 0) {
            WinUsb_Free(hUsb);
            return release(EUsbResult::Failed);
        }
        eResult = EUsbResult::Ok;
        return std::make_unique<CWinUsbDevice>(m_held, strPath, std::move(hFile), hUsb, byIn, byOut);
    }

private:
    static std::string InterfacePath(HDEVINFO hSet, SP_DEVICE_INTERFACE_DATA& data) {
        DWORD dwSize = 0;
        SetupDiGetDeviceInterfaceDetailW(hSet, &data, nullptr, 0, &dwSize, nullptr);
        if (dwSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return {};
        std::vector<uint8_t> buffer(dwSize + sizeof(wchar_t));
        auto* pDetail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(hSet, &data, pDetail, dwSize, nullptr, nullptr)) return {};
        return UpperAscii(win32::Utf8FromWide(pDetail->DevicePath));
    }

    CHeldPaths m_held;
};

}  // namespace

std::shared_ptr<IUsbBus> SystemUsbBus() {
    // Never destroyed: a port's threads may still use it while the program exits.
    static CWinUsbBus* pBus = new CWinUsbBus();  // NOLINT: intentional leak
    return std::shared_ptr<IUsbBus>(pBus, [](IUsbBus*) {});
}

}  // namespace vexal::platform
