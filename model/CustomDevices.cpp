#include "model/CustomDevices.h"

#include <array>
#include <cctype>
#include <charconv>
#include <string>

namespace vexal::model {

namespace {

constexpr std::array<const char*, kCustomTypeCount> kTypeNames = {
    "pos-printer", "label-printer", "msr",         "barcode-scanner", "rfid",
    "dallas-key",  "nfc",           "bcd-display", "usb-to-serial",   "scale"};
constexpr std::array<const char*, kCustomTypeCount> kTypeTitles = {
    "POS Printer", "Label Printer", "MSR",         "Barcode Scanner", "RFID",
    "Dallas Key",  "NFC",           "BCD Display", "USB to Serial",   "Scale"};

std::string Squeeze(std::string_view str) {
    std::string out;
    for (unsigned char c : str)
        if (c != ' ' && c != '-' && c != '_') out += static_cast<char>(std::tolower(c));
    return out;
}

}  // namespace

const char* CustomTypeName(int nType) {
    return nType >= 0 && nType < kCustomTypeCount ? kTypeNames[static_cast<size_t>(nType)] : "?";
}

const char* CustomTypeTitle(int nType) {
    return nType >= 0 && nType < kCustomTypeCount ? kTypeTitles[static_cast<size_t>(nType)] : "?";
}

std::optional<int> ParseCustomType(std::string_view strText) {
    int n = 0;
    const auto [p, ec] = std::from_chars(strText.data(), strText.data() + strText.size(), n);
    if (!strText.empty() && ec == std::errc() && p == strText.data() + strText.size())
        return n >= 0 && n < kCustomTypeCount ? std::optional<int>(n) : std::nullopt;
    const std::string strWanted = Squeeze(strText);
    for (int i = 0; i < kCustomTypeCount; ++i)
        if (!strWanted.empty() && Squeeze(kTypeNames[static_cast<size_t>(i)]) == strWanted) return i;
    return std::nullopt;
}

const char* CustomStatusMeaning(int32_t nStatus) {
    static constexpr const char* kMeanings[] = {
        "success",        "Fail-UnknownReason", "Fail-ErrorAPI", "Fail-UnknownDevType",
        "Fail-OverlapID", "Fail-NoSearchID",    "Fail-ListFull"};
    return IsCustomStatus(nStatus) ? kMeanings[nStatus] : nullptr;
}

}  // namespace vexal::model
