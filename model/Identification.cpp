#include "model/Identification.h"

#include "model/TextFields.h"

#include <algorithm>
#include <cctype>

namespace vexal::model {

const char* DeviceTypeName(int nDeviceId) {
    struct SRange {
        int nFirst, nLast;
        const char* pszName;
    };
    static constexpr SRange kRanges[] = {
        {1, 9, "Label Printer"}, {10, 10, "Local Printer"},   {11, 19, "POS Printer"},   {20, 29, "HID Input"},
        {30, 39, "MSR"},         {40, 49, "Barcode Scanner"}, {60, 69, "RFID"},          {70, 79, "Dallas Key"},
        {80, 89, "NFC"},         {100, 109, "USB Serial"},    {110, 119, "BCD Display"}, {120, 129, "USB to Serial"},
        {130, 139, "Scale"},
    };
    for (const SRange& range : kRanges)
        if (nDeviceId >= range.nFirst && nDeviceId <= range.nLast) return range.pszName;
    return "Unknown Device";
}

std::vector<std::string> SplitListText(std::string_view strText, bool bCut) {
    if (bCut) {
        const size_t nLastComma = strText.rfind(',');
        strText = nLastComma == std::string_view::npos ? std::string_view() : strText.substr(0, nLastComma + 1);
    }
    std::vector<std::string> pieces;
    size_t nStart = 0;
    while (nStart < strText.size()) {
        size_t nEnd = strText.find(',', nStart);
        if (nEnd == std::string_view::npos) nEnd = strText.size();
        if (nEnd > nStart) pieces.emplace_back(strText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return pieces;
}

std::optional<std::string> ParseUsbId(std::string_view strText) {
    if (!IsUsbIdText(strText)) return std::nullopt;
    std::string out(strText);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::optional<std::string> ParseUsbIdEntry(std::string_view strPiece) {
    if (strPiece.size() != 9 || strPiece[4] != '&') return std::nullopt;
    const auto vid = ParseUsbId(strPiece.substr(0, 4));
    const auto pid = ParseUsbId(strPiece.substr(5));
    if (!vid || !pid) return std::nullopt;
    return *vid + "&" + *pid;
}

std::vector<std::string> ParseUsbIdList(std::string_view strText, bool bCut) {
    std::vector<std::string> entries;
    for (const std::string& strPiece : SplitListText(strText, bCut))
        if (auto entry = ParseUsbIdEntry(strPiece)) entries.push_back(*entry);
    return entries;
}

}  // namespace vexal::model
