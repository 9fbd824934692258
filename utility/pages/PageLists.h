// What the settings dialogs' lists and rows show for the hub's values, and
// the dialogs' own texts for the hub's answers. The values, their codecs and
// their rules are the settings model's (model/); this is only how the
// dialogs present them. Pure, so that it can be checked on its own.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::utility {

// ---- List positions of the hub's values; -1: the value has no entry, the
// list shows none and the page sends the value back as read.
int EncryptionPosition(uint8_t nChar);       // '0' Disable, '1' Enable
int ConnectionModePosition(uint8_t nChar);   // '1'..'3' Mode 1..3
int AutoConnectionPosition(uint8_t nValue);  // 0 Disable, 1 Enable

// ---- WLAN list entries
std::vector<std::string> AuthenticationEntries(int nMode);
std::vector<std::string> CipherEntries(int nAuth);
extern const std::array<const char*, 5> kEapMethodEntries;

// ---- USB-to-serial list entries, in index order
std::vector<std::string> BaudRateEntries();
std::vector<std::string> DataLengthEntries();
std::vector<std::string> StopBitEntries();
std::vector<std::string> ParityEntries();

// ---- Interface usage rows: a value of 2 (not reported, or anything but 0
// and 1) leaves its row disabled and unchecked.
struct SUsageRow {
    bool bEnabled = false;
    bool bDisableChecked = false;
    bool bEnableChecked = false;
};
SUsageRow UsageRow(int32_t nValue);
// The value SET sends for a row: 2 stays 2, else 1 when "Enable" is checked.
int32_t TakeUsageRow(int32_t nValue, bool bEnableChecked);
// The message for the hub's error byte of a refused change.
std::string InterfaceUsageErrorText(int32_t nError);

// ---- Custom devices
// The VID and PID cells of a list entry: its first and last four characters.
struct SIdCells {
    std::string strVid, strPid;
};
SIdCells IdCells(std::string_view strPiece);
// The type list position a row's type name selects: "Local Printer" is a
// "POS Printer"; otherwise the first entry starting with the name, ignoring
// case; -1 for none.
int DeviceTypePositionForName(std::string_view strName);
enum class ECustomDeviceAction { Add, Delete, ReInit };
// The text for a result of add, delete or reset: the hub's status 0..6, or
// a library result for which the hub gave none.
std::string CustomDeviceResultText(ECustomDeviceAction eAction, int32_t nResult);

// "Maximum length is N", for a text over its field's limit.
std::string MaximumLengthText(size_t nMax);

}  // namespace vexal::utility
