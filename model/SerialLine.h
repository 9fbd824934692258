// The line settings of a USB-to-serial adapter behind the hub, which the
// hub keeps as four index bytes, and the device IDs such adapters have.
#pragma once
#include "model/KeyValues.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::model {

// The values as index bytes; an index without a meaning is kept as read.
struct SSerialLine {
    uint8_t nBaud = 2;      // 0 2400, 1 4800, 2 9600, 3 19200, 4 38400, 5 57600, 6 115200, 7 230400
    uint8_t nDataBits = 1;  // 0 7 bits, 1 8 bits
    uint8_t nStopBits = 0;  // 0 one, 1 two
    uint8_t nParity = 0;    // 0 none, 1 even, 2 odd
    bool operator==(const SSerialLine&) const = default;
};

// What each index stands for, in index order.
inline constexpr std::array<uint32_t, 8> kBaudRates = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
inline constexpr std::array<int, 2> kDataBits = {7, 8};
inline constexpr std::array<int, 2> kStopBits = {1, 2};
inline constexpr std::array<const char*, 3> kParityNames = {"none", "even", "odd"};

// Adapters are the devices with IDs 100 to 129.
inline constexpr int kSerialAdapterFirstId = 100;
inline constexpr int kSerialAdapterLastId = 129;
inline bool IsSerialAdapterId(int nId) { return nId >= kSerialAdapterFirstId && nId <= kSerialAdapterLastId; }
// The adapters among the hub's device IDs, in the hub's order.
std::vector<int> SerialAdapters(const std::vector<int>& vecDeviceIds);
// A device ID as the hub's lists show it: two upper-case hexadecimal digits.
std::string DeviceIdText(int nDeviceId);
// An adapter's device ID given as text: decimal, or hexadecimal with 0x.
std::optional<int> ParseSerialDeviceId(std::string_view strText);

// Key values: baud, data, stop, parity.
const SGroupDef& SerialLineGroup();
GroupValues ToKeyValues(const SSerialLine& value);
void ApplyKeyValues(SSerialLine& value, const GroupValues& values);

}  // namespace vexal::model
