#include "cfglib/ZamoText.h"

#include <algorithm>

namespace vexal::cfg {

namespace {

// Units of the current text that lie inside the storage.
uint32_t HeldLength(const ZamoText* pText) {
    if (pText == nullptr || pText->data == nullptr || pText->capacity == 0) return 0;
    return std::min(pText->length, pText->capacity - 1);
}

bool WriteAt(ZamoText* pText, uint32_t nAt, std::u16string_view text) {
    if (pText == nullptr || pText->data == nullptr || pText->capacity == 0) return false;
    const uint32_t nRoom = pText->capacity - 1 - nAt;
    const uint32_t nCopy = static_cast<uint32_t>(std::min<size_t>(text.size(), nRoom));
    std::copy_n(text.data(), nCopy, pText->data + nAt);
    pText->data[nAt + nCopy] = u'\0';
    pText->length = nAt + nCopy;
    return nCopy == text.size();
}

}  // namespace

bool ZamoTextAssign(ZamoText* pText, std::u16string_view text) { return WriteAt(pText, 0, text); }

bool ZamoTextAppend(ZamoText* pText, std::u16string_view text) { return WriteAt(pText, HeldLength(pText), text); }

std::u16string_view ZamoTextView(const ZamoText* pText) {
    const uint32_t n = HeldLength(pText);
    return n == 0 ? std::u16string_view() : std::u16string_view(pText->data, n);
}

std::u16string TextFromInput(const char16_t* pszText) {
    return pszText != nullptr ? std::u16string(pszText) : std::u16string();
}

}  // namespace vexal::cfg
