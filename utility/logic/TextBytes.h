// Text helpers the settings pages share: a text to the hub's single-byte code
// page, and a text of hexadecimal digit pairs to bytes. Both take the
// destination and its size and never write past it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vexal::utility {

// Writes the text in the ANSI code page followed by a zero byte and returns
// the bytes written, the zero included. A text that does not fit is cut so
// that the zero still fits; nSize 0 writes nothing and returns 0.
size_t TextToBytes(std::u16string_view text, uint8_t* pDest, size_t nSize);

// Decodes pairs of hexadecimal digits from the start of the text into pDest,
// one byte per pair, stopping at the first pair that starts at a zero
// character or when nSize bytes are written. Digits are case-blind; of any
// other character only the low four bits of (c - 0x37) count; the zero that
// ends an odd-length text counts as 0. Returns the converted text's length
// in the code page with its terminating zero (not the bytes decoded).
size_t HexTextToBytes(std::u16string_view text, uint8_t* pDest, size_t nSize);

}  // namespace vexal::utility
