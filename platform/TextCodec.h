// Conversion between UTF-16 and the host's single-byte ANSI code page
// (VEXAL_ANSI_CODEPAGE, default CP1252), and UTF-8 for paths and messages.
#pragma once
#include <string>
#include <string_view>

namespace vexal::platform {

// A character the code page cannot hold becomes '?'; never stops part-way.
std::string AnsiFromUtf16(std::u16string_view text);
// Every byte maps to one UTF-16 unit; bytes the code page leaves undefined map
// to the code point of the same value.
std::u16string Utf16FromAnsi(std::string_view bytes);

std::string Utf8FromUtf16(std::u16string_view text);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);

// The code page in use (for messages and tests).
std::string AnsiCodePageName();

}  // namespace vexal::platform
