#include "utility/pages/PageLists.h"

#include "model/CustomDevices.h"
#include "model/SerialLine.h"
#include "model/Wlan.h"

#include <algorithm>
#include <cctype>

namespace vexal::utility {

const std::array<const char*, 5> kEapMethodEntries = {"EAP-PEAP", "EAP-TTLS", "EAP-TLS", "EAP-LEAP", "EAP-FAST"};

int EncryptionPosition(uint8_t nChar) { return nChar == '0' ? 0 : nChar == '1' ? 1 : -1; }

int ConnectionModePosition(uint8_t nChar) { return nChar >= '1' && nChar <= '3' ? nChar - '1' : -1; }

int AutoConnectionPosition(uint8_t nValue) { return nValue <= 1 ? nValue : -1; }

std::vector<std::string> AuthenticationEntries(int nMode) {
    static const char* const kEntries[] = {"Open System", "Shared Key", "WPA-PSK", "WPA2-PSK", "WPA-EAP", "WPA2-EAP"};
    return std::vector<std::string>(kEntries, kEntries + model::AuthCount(nMode));
}

std::vector<std::string> CipherEntries(int nAuth) {
    static const char* const kEntries[] = {"NONE", "WEP64/128", "TKIP", "AES", "AES + TKIP"};
    std::vector<std::string> entries;
    for (uint8_t nCipher : model::CiphersFor(nAuth)) entries.emplace_back(kEntries[nCipher]);
    return entries;
}

std::vector<std::string> BaudRateEntries() {
    std::vector<std::string> entries;
    for (uint32_t nBaud : model::kBaudRates) entries.push_back(std::to_string(nBaud));
    return entries;
}

std::vector<std::string> DataLengthEntries() {
    std::vector<std::string> entries;
    for (int nBits : model::kDataBits) entries.push_back(std::to_string(nBits));
    return entries;
}

std::vector<std::string> StopBitEntries() {
    std::vector<std::string> entries;
    for (int nBits : model::kStopBits) entries.push_back(std::to_string(nBits) + " Stop Bit");
    return entries;
}

std::vector<std::string> ParityEntries() { return {"None", "Even", "Odd"}; }

SUsageRow UsageRow(int32_t nValue) {
    SUsageRow row;
    row.bEnabled = nValue == 0 || nValue == 1;
    row.bDisableChecked = nValue == 0;
    row.bEnableChecked = nValue == 1;
    return row;
}

int32_t TakeUsageRow(int32_t nValue, bool bEnableChecked) {
    if (nValue != 0 && nValue != 1) return nValue;
    return bEnableChecked ? 1 : 0;
}

std::string InterfaceUsageErrorText(int32_t nError) {
    switch (nError) {
    case 1: return "Failed to set interface usage. Unknown error.";
    case 2: return "Failed to set interface usage. Error API.";
    case 3: return "Failed to set interface usage. Range out.";
    case 4: return "Failed to set interface usage. NotAvailable error.";
    case 5: return "Failed to set interface usage. Impossiable All Block.";
    default: return "Failed to set interface usage.";
    }
}

SIdCells IdCells(std::string_view strPiece) {
    const size_t nTake = std::min<size_t>(4, strPiece.size());
    return {std::string(strPiece.substr(0, nTake)), std::string(strPiece.substr(strPiece.size() - nTake))};
}

int DeviceTypePositionForName(std::string_view strName) {
    if (strName == "Local Printer") return 0;
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    for (int i = 0; i < model::kCustomTypeCount; ++i) {
        const std::string_view entry = model::CustomTypeTitle(i);
        if (entry.size() >= strName.size() && std::equal(strName.begin(), strName.end(), entry.begin(),
                                                         [&](char a, char b) { return lower(a) == lower(b); }))
            return i;
    }
    return -1;
}

std::string CustomDeviceResultText(ECustomDeviceAction eAction, int32_t nResult) {
    if (nResult == model::kCustomSuccess) {
        const char* pszDone = eAction == ECustomDeviceAction::Add      ? "Add"
                              : eAction == ECustomDeviceAction::Delete ? "Delete"
                                                                       : "Re-Init";
        return std::string(pszDone) + " custom device success";
    }
    if (const char* pszMeaning = model::CustomStatusMeaning(nResult)) return pszMeaning;
    // No status from the hub (a library result, or a byte it never sends):
    // say so rather than show an empty box.
    const char* pszVerb = eAction == ECustomDeviceAction::Add      ? "add"
                          : eAction == ECustomDeviceAction::Delete ? "delete"
                                                                   : "re-init";
    return "Failed to " + std::string(pszVerb) + " custom device (error " + std::to_string(nResult) + ").";
}

std::string MaximumLengthText(size_t nMax) { return "Maximum length is " + std::to_string(nMax); }

}  // namespace vexal::utility
