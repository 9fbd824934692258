// Safe filling of the caller-owned ZamoText objects. Every text output of the
// library goes through these, so no function writes past a caller's storage.
#pragma once
#include <string>
#include <string_view>

#include "include/zamocfg.h"

namespace vexal::cfg {

// Replaces the text. Cuts it when it does not fit (capacity counts the NUL)
// and always leaves data NUL-terminated. False when pText is null, has no
// storage, or the text had to be cut.
bool ZamoTextAssign(ZamoText* pText, std::u16string_view text);

// Adds after the current length (a stale length beyond the capacity is taken
// as full). Same cutting and result as ZamoTextAssign.
bool ZamoTextAppend(ZamoText* pText, std::u16string_view text);

// The text held now, never reaching past the capacity.
std::u16string_view ZamoTextView(const ZamoText* pText);

// A caller's NUL-terminated text input, copied; null counts as empty.
std::u16string TextFromInput(const char16_t* pszText);

}  // namespace vexal::cfg
