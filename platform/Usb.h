// The USB facility: enumerate attached devices, test whether one could be
// opened without disturbing it, open one by its interface path and move bytes
// over its bulk endpoints in short slices.
//
// Backends: libusb-1.0 (the real bus) and the simulated bus of the hub
// simulator, chosen by VEXAL_USB_SIM_DIR; on Windows the device setup API and
// WinUSB; tests plug in fakes.
//
// A device's interface path has the shape
//   \\?\USB#VID_vvvv&PID_pppp#<location>#{A5DCBF10-6530-11D2-901F-00C04FB951ED}
// in upper case, vendor ID at position 12 and product ID at position 21. On
// Linux the location is made of the bus and port numbers ("1-4.2"), so it is
// stable for one physical port; on Windows it is the instance part the system
// gives. A path never contains "COM" or "LPT".
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::platform {

enum class EUsbResult {
    Ok,             // the slice moved what was asked (or, reading, some bytes)
    TimedOut,       // the slice ended; nDone tells what it moved before
    Cancelled,      // Cancel() was called
    Stalled,        // the endpoint stalled; the halt was cleared
    NoDevice,       // the device is gone (unplugged, link closed)
    AccessDenied,   // no permission (see "USB access" in the README)
    InvalidHandle,  // the handle is closed or was never open
    InUse,          // claimed by another program (open only)
    Failed,         // any other error
};

const char* UsbResultName(EUsbResult eResult);

struct SUsbDeviceInfo {
    std::string strPath;  // interface path, upper case
    uint16_t wVendorId = 0;
    uint16_t wProductId = 0;
};

// An open device with its interface claimed. Read, Write and Cancel may be
// called from different threads at once.
class IUsbDevice {
public:
    virtual ~IUsbDevice() = default;
    // One bulk IN slice of at most dwTimeoutMs: Ok with nDone > 0 as soon as
    // bytes came; TimedOut with nDone 0 when none did.
    virtual EUsbResult Read(uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs, size_t& nDone) = 0;
    // One bulk OUT slice of at most dwTimeoutMs: Ok when all went out;
    // otherwise nDone tells how much did.
    virtual EUsbResult Write(const uint8_t* pData, size_t nLength, uint32_t dwTimeoutMs, size_t& nDone) = 0;
    // Ends a slice in progress and every later one with Cancelled (sticky:
    // a cancelled device is about to be closed).
    virtual void Cancel() = 0;
};

class IUsbBus {
public:
    virtual ~IUsbBus() = default;
    // Every attached device (whatever its IDs).
    virtual std::vector<SUsbDeviceInfo> Enumerate() = 0;
    // Whether Open would succeed, without disturbing the device: no I/O, no
    // claim of a device this process holds, no connection that would replace
    // another. Ok, InUse, NoDevice, AccessDenied or Failed.
    virtual EUsbResult TestOpen(const std::string& strPath) = 0;
    // Opens and claims the device; a bound kernel driver is detached.
    virtual std::unique_ptr<IUsbDevice> Open(const std::string& strPath, EUsbResult& eResult) = 0;
};

// The system's bus: the simulated one when VEXAL_USB_SIM_DIR names a folder,
// otherwise libusb. Read on every call, so a test may set the variable first.
std::shared_ptr<IUsbBus> SystemUsbBus();

// The parts of an interface path; only a text of exactly the shape above
// (any case) gives them.
struct SUsbPathParts {
    uint16_t wVendorId = 0;
    uint16_t wProductId = 0;
    std::string strLocation;
};
std::optional<SUsbPathParts> ParseUsbInterfacePath(std::string_view strPath);
// Builds the path; empty when the location is not made of letters, digits,
// '-', '.', '&' and '_' (beginning and ending with a letter or digit) or holds
// "COM" or "LPT".
std::string MakeUsbInterfacePath(uint16_t wVendorId, uint16_t wProductId, std::string_view strLocation);

}  // namespace vexal::platform
