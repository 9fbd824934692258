#include "utility/logic/SecretText.h"

#include "model/KeyValues.h"

#include <algorithm>
#include <cctype>

namespace vexal::utility {

namespace {

bool IsWordByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

}  // namespace

bool IsSecretKey(std::string_view strGroup, std::string_view strKey) {
    const model::SGroupDef* pGroup = model::FindGroup(strGroup);
    const model::SKeyDef* pKey = pGroup != nullptr ? pGroup->Find(strKey) : nullptr;
    return pKey != nullptr && pKey->bSecret;
}

void AddSecretValues(std::string_view strGroup, const model::GroupValues& values, std::vector<std::string>& secrets) {
    const model::SGroupDef* pGroup = model::FindGroup(strGroup);
    if (pGroup == nullptr) return;
    for (auto& strValue : model::SecretValues(*pGroup, values))
        if (std::find(secrets.begin(), secrets.end(), strValue) == secrets.end())
            secrets.push_back(std::move(strValue));
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
            nAt += std::string_view(kSecretMask).size();
        }
    }
    return strText;
}

}  // namespace vexal::utility
