// What the devices behind the hub report about themselves: a printer's
// 4-byte status records (automatic status back) read as reasons, and the
// hub's write alarms (codes 1200-1204) by name. Pure: the client layer feeds
// the records and codes the port library hands out.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::model {

// Device identifiers a command may name: the devices behind the hub. 0 is
// the hub itself, 255 its presence channel.
inline constexpr int kFirstDeviceId = 1;
inline constexpr int kLastDeviceId = 254;
inline bool IsDeviceId(long nId) { return nId >= kFirstDeviceId && nId <= kLastDeviceId; }
// A decimal device identifier 1-254 (also "0x.." hexadecimal); nullopt otherwise.
std::optional<int> ParseDeviceId(std::string_view strText);

// Printers that may carry status records.
inline constexpr int kFirstPrinterId = 10;
inline constexpr int kLastPrinterId = 19;
inline bool IsPrinterId(int nId) { return nId >= kFirstPrinterId && nId <= kLastPrinterId; }

using CStatusRecord = std::array<uint8_t, 4>;

// Status records come in two kinds, told apart by the first byte: the
// printer's status (decoded into reasons) and a second kind of its own
// (0x35 first; reported raw).
enum class ERecordKind { Status, Second };
ERecordKind RecordKind(const CStatusRecord& record);
// "status" or "second".
const char* RecordKindName(ERecordKind eKind);

// The reasons a status record gives, each an IPP printer-state-reasons
// keyword where one fits, in byte and bit order: offline-report, cover-open,
// drawer-open; mechanical-error, cutter-error, unrecoverable-error,
// recoverable-error; media-low, media-empty. {"none"} when it names none; {}
// for a record of the second kind, which carries no reasons we know.
std::vector<std::string> RecordReasons(const CStatusRecord& record);

// "18000f00": lower-case hexadecimal, no separators (JSON and the exporter).
std::string RecordHex(const CStatusRecord& record);
// "18 00 0f 00": for people.
std::string RecordHexSpaced(const CStatusRecord& record);

// Write alarms: the hub reports a device's write status, which the port
// library maps to 1200-1204.
inline constexpr uint32_t kFirstAlarmCode = 1200;
inline constexpr uint32_t kLastAlarmCode = 1204;
// "write-refused" 1200, "device-busy" 1201, "device-offline" 1202,
// "write-timeout" 1203, "write-error" 1204; "unknown-alarm" for other codes.
const char* AlarmName(uint32_t nCode);

}  // namespace vexal::model
