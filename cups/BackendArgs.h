// What the CUPS backend is given: its device URI and the job's arguments,
// and the exit codes it ends with (man 7 backend). Pure parsing and
// formatting; the messages are meant for the job's log.
//
// Device URIs:
//   vexal://ADDR[:PORT]/DEVICE          a hub on the network (TCP 9100 unless given)
//   vexal:/usb/DEVICE                   the hub on USB
//   vexal:/usb/LOCATION/DEVICE          ... only when it sits at that place on the bus ("1-4.2")
//   vexal:/serial/COM<n>[:LINE]/DEVICE  a hub on a serial port, LINE as vexalcfg --serial takes it
//   vexal:/serial/dev/ttyUSB0/DEVICE    ... or on a device file (the path without its first '/')
// DEVICE is the device behind the hub, 1-254 (printers with status records
// are 10-19). %XX escapes are decoded in every part.
#pragma once
#include "client/HubDevices.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::cups {

// The exit codes CUPS reads (cups/backend.h gives them the same values).
enum EBackendExit : int {
    kBackendOk = 0,
    kBackendFailed = 1,
    kBackendAuthRequired = 2,
    kBackendHold = 3,
    kBackendStop = 4,
    kBackendCancel = 5,
    kBackendRetry = 6,
    kBackendRetryCurrent = 7,
};

inline constexpr std::string_view kScheme = "vexal";

enum class EHubLink { Network, Usb, Serial };

struct SDeviceUri {
    EHubLink eLink = EHubLink::Network;
    client::SHubAddress address;  // as a session opens it
    std::string strUsbLocation;   // USB: the place on the bus the URI insists on; empty: any
    int nDevice = 0;              // 1-254
};

std::optional<SDeviceUri> ParseDeviceUri(std::string_view strUri, std::string& strError);

// The URIs the backend lists for a printer it found.
std::string UsbDeviceUri(int nDevice);
std::string SerialDeviceUri(const std::string& strPort, int nDevice);

// One line of the device list: class, URI, make and model, info, IEEE 1284
// device ID, location; every text quoted (a '"' or '\' in one is dropped).
std::string DeviceListLine(const std::string& strUri, const std::string& strMakeModel, const std::string& strInfo,
                           const std::string& strDeviceId, const std::string& strLocation);

// job-id user title copies options [file]
struct SJobArgs {
    std::string strJobId, strUser, strTitle, strOptions;
    int nCopies = 1;
    std::optional<std::string> strFile;  // none: standard input
};

// The arguments after the program name, five or six of them (none asks
// for the device list instead: the caller tells that apart).
std::optional<SJobArgs> ParseJobArgs(const std::vector<std::string>& vecArgs, std::string& strError);

}  // namespace vexal::cups
