// Texts as the hub stores them: bytes of the host's single-byte code page in
// fields of fixed size, NUL-terminated only when shorter than the field.
// Lengths are counted in those bytes, never in characters. Texts cross the
// model as UTF-8; the UTF-16 overloads serve callers that hold UTF-16.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vexal::model {

// Bytes the text takes in the hub's code page.
size_t HubByteLength(std::u16string_view text);
size_t HubByteLength(std::string_view strUtf8);

// True when every character converts to a byte of the code page and back
// (and, for UTF-8, the text is valid UTF-8): nothing would reach the hub as "?".
bool FitsHubCodePage(std::u16string_view text);
bool FitsHubCodePage(std::string_view strUtf8);

// A control character (below 0x20, or 0x7F) would end or break a hub record:
// the Bluetooth texts end at a CR, the block texts and communities at a NUL.
bool HasControlCharacter(std::u16string_view text);
bool HasControlCharacter(std::string_view strUtf8);

// The longest start of the text whose bytes fit nMaxBytes, cut between
// characters (a surrogate pair is never split).
std::u16string CutToHubBytes(std::u16string_view text, size_t nMaxBytes);

// The text of a field: the bytes up to the first NUL, or the whole field.
std::string ReadHubField(std::span<const uint8_t> field);
// Rewrites the whole field: the text's bytes as far as they fit (cut between
// characters), then zeros. Returns how many text bytes went in.
size_t WriteHubField(std::string_view strUtf8, std::span<uint8_t> field);

// A piece of a file or of the user's input as a message quotes it: control
// bytes and bytes beyond ASCII as \xNN, and only its first nMax bytes.
std::string Printable(std::string_view strText, size_t nMax = 80);

}  // namespace vexal::model
