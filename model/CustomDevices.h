// The hub's table of custom USB devices: per device type a list of vendor
// and product identifier pairs ("vvvv&pppp") it treats as that type, and the
// status bytes its add, delete and reset commands answer with.
#pragma once
#include "model/Identification.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace vexal::model {

inline constexpr int kCustomTypeCount = 10;
// "pos-printer" ... "scale": the names in the text form and backups.
const char* CustomTypeName(int nType);
// "POS Printer" ... "Scale": the names a user sees in lists.
const char* CustomTypeTitle(int nType);
// A type by name or title (case, spaces, "-" and "_" ignored) or number 0-9.
std::optional<int> ParseCustomType(std::string_view strText);

// The hub's status byte of add, delete and reset.
inline constexpr int32_t kCustomSuccess = 0;
inline constexpr int32_t kCustomOverlap = 4;  // the pair is already listed
inline bool IsCustomStatus(int32_t nResult) { return nResult >= 0 && nResult <= 6; }
// "success" for 0, "Fail-UnknownReason", "Fail-ErrorAPI", "Fail-UnknownDevType",
// "Fail-OverlapID", "Fail-NoSearchID", "Fail-ListFull" for 1 to 6, nullptr otherwise.
const char* CustomStatusMeaning(int32_t nStatus);

}  // namespace vexal::model
