// What the hub tells about itself and what is plugged into it: model and
// firmware, the device IDs present on its link, the USB devices behind it.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::model {

// One present device and its USB identifiers ("5a4d", "0e28").
struct SUsbDevice {
    int nDeviceId = 0;
    std::string strVid, strPid;
    bool operator==(const SUsbDevice&) const = default;
};

struct SHubInfo {
    std::string strModel, strFirmware;
    std::vector<int> vecDeviceIds;
    std::vector<std::string> vecUsbList;  // "vvvv&pppp" of the USB devices behind the hub
    std::vector<SUsbDevice> vecDevices;   // each present device with its identifiers
};

// The kind of device the hub keeps under a device ID ("Local Printer" for
// 10, "HID Input" for 20-29, "Unknown Device" for IDs the hub does not assign).
const char* DeviceTypeName(int nDeviceId);

// The pieces of a list text of "vvvv&pppp," entries, the trailing comma
// included, empty pieces dropped. When the text filled the object it came
// in (bCut), the piece after the last comma may be part of an entry and is
// dropped too.
std::vector<std::string> SplitListText(std::string_view strText, bool bCut);
// A piece as an entry: four hexadecimal digits, "&", four more; lower-case.
std::optional<std::string> ParseUsbIdEntry(std::string_view strPiece);
// The well-formed entries of a list text.
std::vector<std::string> ParseUsbIdList(std::string_view strText, bool bCut = false);
// A vendor or product identifier of four hexadecimal digits, lower-case.
std::optional<std::string> ParseUsbId(std::string_view strText);

}  // namespace vexal::model
