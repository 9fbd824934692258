// Serial and parallel port names. COM<n> and LPT<n> are symbolic links in one
// device directory (VEXAL_DEVICE_DIR, default /dev/vexal) pointing at device
// files, as a udev rule or the user lays them out. On Linux a name that
// begins with '/' is a device path instead and names its device file itself.
// On Windows they are the system's own names (\\.\COM<n>), listed from the
// "Ports" setup class and the serial and parallel device maps, with the
// driver's provider name.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::platform {

inline constexpr const char* kDefaultDeviceDir = "/dev/vexal";

// VEXAL_DEVICE_DIR when set and not empty, otherwise kDefaultDeviceDir.
std::string DeviceDirectory();

// The number n of a name "<prefix><n>" (prefix compared exactly, n digits
// only, from 1); nothing for any other text ("COM0", "COM1/../x", "com1").
std::optional<uint32_t> ParsePortNumber(std::string_view strName, std::string_view strPrefix);

// One COM<n> or LPT<n> link of the device directory.
struct PortLink {
    uint32_t nNumber = 0;
    std::string strName;    // "COM7"
    std::string strTarget;  // the device file it names (resolved), empty when dangling
    // What drives the port, told by the link chain: "rfcomm" for a Bluetooth
    // serial port (an rfcomm device anywhere on the chain), else empty.
    std::string strProvider;
};

// The device file a port name names by itself: on Linux a name that begins
// with '/' (a COM<n> or LPT<n> name never does), as UTF-8, nothing when it
// holds a NUL. Nothing for every other name, and for every name on Windows,
// whose ports have system names only.
std::optional<std::string> DevicePathOf(std::u16string_view strName);

// The links "<prefix><n>" present in the device directory, by number.
std::vector<PortLink> ListPortLinks(std::string_view strPrefix);

// The highest COM number present in the device directory; 0 when none.
uint32_t HighestComNumber();

// The device file for a port name: the target of its link; a dangling link or
// a name that is not "<prefix><n>" gives nothing; only a missing link falls
// back to strFallback followed by n-1 ("/dev/ttyS" for COM, "/dev/lp" for LPT).
std::optional<std::string> ResolvePortName(std::string_view strName, std::string_view strPrefix,
                                           std::string_view strFallback);

// The provider of a port link as in PortLink::strProvider; empty when the
// name has no link or is not "<prefix><n>". A device path (DevicePathOf) is
// judged by its own link chain.
std::string PortProvider(std::string_view strName, std::string_view strPrefix);

// A port name as the ASCII text the directory uses; nothing when it holds
// anything else (NUL, non-ASCII).
std::optional<std::string> AsciiPortName(std::u16string_view strName);

}  // namespace vexal::platform
