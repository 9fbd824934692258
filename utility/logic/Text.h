// Text helpers of the page logic: the UI's text is UTF-16 (what both
// toolkits use), the hub's and the files' text is bytes or UTF-8.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexal::utility {

// An ASCII or Latin-1 text, each byte one character.
std::u16string Latin1ToU16(std::string_view text);
// UTF-8 both ways (the platform layer's codec: a malformed sequence or a
// lone surrogate becomes U+FFFD).
std::u16string Utf8ToU16(std::string_view text);
std::string U16ToUtf8(std::u16string_view text);
std::u16string NumberText(long long nValue);
// A decimal number of digits only (no sign, no blanks) within nMin..nMax.
std::optional<long> ParseNumber(std::u16string_view text, long nMin, long nMax);
// "%1" .. "%9" in strPattern replaced by the arguments, in one pass (an
// argument holding "%2" is not replaced again).
std::u16string Arg(std::u16string_view strPattern, std::u16string_view a1);
std::u16string Arg(std::u16string_view strPattern, std::u16string_view a1, std::u16string_view a2);
std::u16string Arg(std::u16string_view strPattern, std::u16string_view a1, std::u16string_view a2,
                   std::u16string_view a3);

}  // namespace vexal::utility
