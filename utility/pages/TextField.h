// Texts in the hub's fixed-size fields: bytes of the host's code page, cut
// at a character boundary, NUL-terminated only when shorter than the field.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vexal::utility {

// Bytes the text takes in the host's code page (what the hub stores).
size_t AnsiLength(std::u16string_view text);

// The longest start of the text whose conversion fits nMaxBytes, cut between
// characters (a surrogate pair is never split).
std::u16string CutToAnsiBytes(std::u16string_view text, size_t nMaxBytes);

// The text of a field: up to the first NUL, or the whole field without one.
std::u16string ReadTextField(std::span<const uint8_t> field);

// Rewrites the whole field: the text's bytes as far as they fit, then zeros.
// Returns how many text bytes went in.
size_t WriteTextField(std::u16string_view text, std::span<uint8_t> field);

}  // namespace vexal::utility
