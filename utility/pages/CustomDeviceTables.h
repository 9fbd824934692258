// Texts and tables of the custom device and USB-to-serial pages: the
// identifier lists the library returns, type names and the hub's answers.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::utility {

// ---- Custom devices ------------------------------------------------------
inline constexpr int kCustomDeviceTypeCount = 10;
extern const std::array<const char*, kCustomDeviceTypeCount> kCustomDeviceTypes;

struct SUsbIdEntry {
    std::u16string strVid;
    std::u16string strPid;
};
// "vvvv&pppp," entries: empty pieces (the trailing comma) give no row. When
// the text filled the library's text object (bCut) the piece after the last
// comma may be part of an entry and is dropped.
std::vector<SUsbIdEntry> ParseUsbIdList(std::u16string_view text, bool bCut);

// The kind of device the hub keeps under a device ID ("Unknown Device" for
// IDs the hub does not assign).
const char* DeviceTypeNameForId(int nDeviceId);
// The type list position a row's type name selects: "Local Printer" is a
// "POS Printer"; otherwise the first entry starting with the name, ignoring
// case; -1 for none.
int DeviceTypePositionForName(std::string_view name);

enum class ECustomDeviceAction { Add, Delete, ReInit };
// The text for a result of add, delete or reset: the hub's status 0..6, or
// a library result for which the hub gave none.
std::string CustomDeviceResultText(ECustomDeviceAction action, int32_t nResult);

// ---- USB-to-serial adapters ---------------------------------------------
inline constexpr int kUsbSerialFirstId = 100;
inline constexpr int kUsbSerialLastId = 129;
extern const std::array<const char*, 8> kBaudRates;
extern const std::array<const char*, 2> kDataLengths;
extern const std::array<const char*, 2> kStopBits;
extern const std::array<const char*, 3> kParities;

// The adapters among the hub's device IDs, as "%02X" texts, in the hub's order.
std::vector<std::string> UsbSerialDeviceTexts(const uint8_t* pIds, int32_t nCount);
std::string DeviceIdText(int nDeviceId);

}  // namespace vexal::utility
