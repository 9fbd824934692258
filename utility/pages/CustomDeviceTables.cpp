#include "utility/pages/CustomDeviceTables.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vexal::utility {

const std::array<const char*, kCustomDeviceTypeCount> kCustomDeviceTypes = {
    "POS Printer", "Label Printer", "MSR", "Barcode Scanner", "RFID",
    "Dallas Key",  "NFC",           "BCD Display", "USB to Serial", "Scale"};

const std::array<const char*, 8> kBaudRates = {"2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400"};
const std::array<const char*, 2> kDataLengths = {"7", "8"};
const std::array<const char*, 2> kStopBits = {"1 Stop Bit", "2 Stop Bit"};
const std::array<const char*, 3> kParities = {"None", "Even", "Odd"};

std::vector<SUsbIdEntry> ParseUsbIdList(std::u16string_view text, bool bCut) {
    if (bCut) {
        size_t nLastComma = text.rfind(u',');
        text = nLastComma == std::u16string_view::npos ? std::u16string_view() : text.substr(0, nLastComma + 1);
    }
    std::vector<SUsbIdEntry> entries;
    size_t nStart = 0;
    while (nStart < text.size()) {
        size_t nEnd = text.find(u',', nStart);
        if (nEnd == std::u16string_view::npos)
            nEnd = text.size();
        std::u16string_view piece = text.substr(nStart, nEnd - nStart);
        if (!piece.empty()) {
            size_t nTake = std::min<size_t>(4, piece.size());
            entries.push_back({std::u16string(piece.substr(0, nTake)), std::u16string(piece.substr(piece.size() - nTake))});
        }
        nStart = nEnd + 1;
    }
    return entries;
}

const char* DeviceTypeNameForId(int nDeviceId) {
    struct SRange {
        int nFirst, nLast;
        const char* pszName;
    };
    static constexpr SRange kRanges[] = {
        {1, 9, "Label Printer"},    {10, 10, "Local Printer"},    {11, 19, "POS Printer"}, {20, 29, "HID Input"},
        {30, 39, "MSR"},            {40, 49, "Barcode Scanner"},  {60, 69, "RFID"},        {70, 79, "Dallas Key"},
        {80, 89, "NFC"},            {100, 109, "USB Serial"},     {110, 119, "BCD Display"},
        {120, 129, "USB to Serial"}, {130, 139, "Scale"},
    };
    for (const SRange& range : kRanges)
        if (nDeviceId >= range.nFirst && nDeviceId <= range.nLast)
            return range.pszName;
    return "Unknown Device";
}

int DeviceTypePositionForName(std::string_view name) {
    if (name == "Local Printer")
        return 0;
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    for (int i = 0; i < kCustomDeviceTypeCount; ++i) {
        std::string_view entry = kCustomDeviceTypes[static_cast<size_t>(i)];
        if (entry.size() >= name.size() &&
            std::equal(name.begin(), name.end(), entry.begin(), [&](char a, char b) { return lower(a) == lower(b); }))
            return i;
    }
    return -1;
}

std::string CustomDeviceResultText(ECustomDeviceAction action, int32_t nResult) {
    static constexpr const char* kFailures[] = {"Fail-UnknownReason", "Fail-ErrorAPI", "Fail-UnknownDevType",
                                                "Fail-OverlapID",     "Fail-NoSearchID", "Fail-ListFull"};
    const char* pszVerb = action == ECustomDeviceAction::Add      ? "add"
                          : action == ECustomDeviceAction::Delete ? "delete"
                                                                  : "re-init";
    if (nResult == 0) {
        const char* pszDone = action == ECustomDeviceAction::Add      ? "Add"
                              : action == ECustomDeviceAction::Delete ? "Delete"
                                                                      : "Re-Init";
        return std::string(pszDone) + " custom device success";
    }
    if (nResult >= 1 && nResult <= 6)
        return kFailures[nResult - 1];
    // No status from the hub (a library result, or a byte it never sends):
    // say so rather than show an empty box.
    return "Failed to " + std::string(pszVerb) + " custom device (error " + std::to_string(nResult) + ").";
}

std::vector<std::string> UsbSerialDeviceTexts(const uint8_t* pIds, int32_t nCount) {
    std::vector<std::string> texts;
    for (int32_t i = 0; i < nCount; ++i)
        if (pIds[i] >= kUsbSerialFirstId && pIds[i] <= kUsbSerialLastId)
            texts.push_back(DeviceIdText(pIds[i]));
    return texts;
}

std::string DeviceIdText(int nDeviceId) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02X", nDeviceId & 0xFF);
    return text;
}

}  // namespace vexal::utility
