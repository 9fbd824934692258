#include "utility/SecretText.h"

#include <algorithm>
#include <cctype>

namespace vexal::utility {

namespace {

bool IsWordByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

}  // namespace

bool IsSecretKey(std::string_view strGroup, std::string_view strKey) {
    if (strGroup == "wlan") return strKey == "wep_key" || strKey == "psk" || strKey == "eap_password";
    if (strGroup == "netproto") return strKey == "ro_community" || strKey == "rw_community";
    if (strGroup == "bluetooth") return strKey == "pin";
    return false;
}

void AddSecretValues(std::string_view strGroup, const model::GroupValues& values, std::vector<std::string>& secrets) {
    for (const auto& [strKey, strValue] : values)
        if (!strValue.empty() && IsSecretKey(strGroup, strKey) &&
            std::find(secrets.begin(), secrets.end(), strValue) == secrets.end())
            secrets.push_back(strValue);
}

void AddSecretValues(const model::SSettingsValues& settings, std::vector<std::string>& secrets) {
    for (const auto& [strGroup, values] : settings.groups) AddSecretValues(strGroup, values, secrets);
}

std::string MaskSecrets(std::string strText, const std::vector<std::string>& secrets) {
    // Longest first: a secret that holds another is masked whole.
    std::vector<std::string> ordered = secrets;
    std::sort(ordered.begin(), ordered.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const auto& strSecret : ordered) {
        if (strSecret.empty()) continue;
        const bool bAlone = strSecret.size() < 4;
        for (size_t nAt = strText.find(strSecret); nAt != std::string::npos; nAt = strText.find(strSecret, nAt)) {
            const size_t nEnd = nAt + strSecret.size();
            if (bAlone &&
                ((nAt > 0 && IsWordByte(strText[nAt - 1])) || (nEnd < strText.size() && IsWordByte(strText[nEnd])))) {
                ++nAt;
                continue;
            }
            strText.replace(nAt, strSecret.size(), kSecretMask);
            nAt += sizeof kSecretMask - 1;
        }
    }
    return strText;
}

}  // namespace vexal::utility
