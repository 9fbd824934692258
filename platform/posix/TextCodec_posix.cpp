#include "platform/TextCodec.h"

#include <array>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/Process.h"

namespace vexal::platform {

namespace {

// A single-byte code page as two lookup tables, built once with iconv. Tables
// make every conversion total (no state, no part-way stop) and thread-safe.
struct CCodePage {
    std::string strName;
    std::array<char16_t, 256> toUnicode{};
    std::unordered_map<char16_t, uint8_t> fromUnicode;
};

std::unique_ptr<CCodePage> BuildCodePage(const std::string& strName) {
    auto page = std::make_unique<CCodePage>();
    page->strName = strName;
    iconv_t cd = iconv_open("UTF-16LE", strName.c_str());
    for (int b = 0; b < 256; ++b) {
        char16_t unit = static_cast<char16_t>(b);  // undefined bytes keep their value
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            char in = static_cast<char>(b);
            char out[8];
            char* pin = &in;
            char* pout = out;
            size_t nin = 1, nout = sizeof(out);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &pin, &nin, &pout, &nout) != static_cast<size_t>(-1) && nout == sizeof(out) - 2)
                unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                             (static_cast<unsigned char>(out[1]) << 8));
        }
        page->toUnicode[static_cast<size_t>(b)] = unit;
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    // Reverse map; the first byte wins when two map to one character.
    for (int b = 255; b >= 0; --b) page->fromUnicode[page->toUnicode[static_cast<size_t>(b)]] = static_cast<uint8_t>(b);
    return page;
}

const CCodePage& CurrentCodePage() {
    static std::mutex mutex;
    // Never destroyed: conversions may run on threads at process exit.
    static auto* pages = new std::unordered_map<std::string, std::unique_ptr<CCodePage>>();
    std::string name = GetEnv("VEXAL_ANSI_CODEPAGE").value_or("CP1252");
    if (name.empty()) name = "CP1252";
    std::lock_guard lock(mutex);
    auto& slot = (*pages)[name];
    if (!slot) slot = BuildCodePage(name);
    return *slot;
}

}  // namespace

std::string AnsiCodePageName() { return CurrentCodePage().strName; }

std::string AnsiFromUtf16(std::u16string_view text) {
    const CCodePage& page = CurrentCodePage();
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        auto it = page.fromUnicode.find(c);
        if (it != page.fromUnicode.end()) {
            out.push_back(static_cast<char>(it->second));
        } else {
            out.push_back('?');
            // A surrogate pair is one character: one '?'.
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                ++i;
        }
    }
    return out;
}

std::u16string Utf16FromAnsi(std::string_view bytes) {
    const CCodePage& page = CurrentCodePage();
    std::u16string out;
    out.reserve(bytes.size());
    for (char b : bytes) out.push_back(page.toUnicode[static_cast<unsigned char>(b)]);
    return out;
}

}  // namespace vexal::platform
