#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/TextCodec.h"

using namespace vexal::platform;

namespace {
// Each test names its code page, so the order of tests does not matter.
struct CodePageGuard {
    explicit CodePageGuard(const char* name) { setenv("VEXAL_ANSI_CODEPAGE", name, 1); }
    ~CodePageGuard() { unsetenv("VEXAL_ANSI_CODEPAGE"); }
};
}  // namespace

TEST(TextCodec, Cp1252RoundTripsEveryByte) {
    CodePageGuard cp("CP1252");
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::u16string wide = Utf16FromAnsi(all);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0x41], u'A');
    EXPECT_EQ(wide[0x80], u'\u20AC');  // euro sign
    EXPECT_EQ(wide[0xE9], u'\u00E9');
    // Bytes the code page leaves undefined keep their own value.
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[static_cast<size_t>(b)], static_cast<char16_t>(b)) << b;
    EXPECT_EQ(AnsiFromUtf16(wide), all);
}

TEST(TextCodec, UnrepresentableCharactersBecomeQuestionMarks) {
    CodePageGuard cp("CP1252");
    EXPECT_EQ(AnsiFromUtf16(u"a\u4E2Db"), "a?b");
    // A surrogate pair is one character and one '?'.
    EXPECT_EQ(AnsiFromUtf16(u"x\U0001F600y"), "x?y");
    EXPECT_EQ(AnsiFromUtf16(u"caf\u00E9 \u20AC"), "caf\xE9 \x80");
}

TEST(TextCodec, OtherCodePageFromEnvironment) {
    CodePageGuard cp("CP1251");
    EXPECT_EQ(AnsiCodePageName(), "CP1251");
    EXPECT_EQ(Utf16FromAnsi("\xC0"), u"\u0410");  // Cyrillic A
    EXPECT_EQ(AnsiFromUtf16(u"\u0410\u00E9"), "\xC0?");
}

TEST(TextCodec, UnknownCodePageStillConverts) {
    CodePageGuard cp("NO-SUCH-CODEPAGE");
    EXPECT_EQ(Utf16FromAnsi("Hi\xFF"), u"Hi\u00FF");
    EXPECT_EQ(AnsiFromUtf16(u"Hi\u00FF\u0100"), "Hi\xFF?");
}

TEST(TextCodec, Utf8RoundTripAndInvalidInput) {
    std::u16string text = u"Gr\u00FC\u00DFe \u20AC \U0001F600";
    EXPECT_EQ(Utf16FromUtf8(Utf8FromUtf16(text)), text);
    EXPECT_EQ(Utf16FromUtf8("a\xC3"), u"a\uFFFD");                                  // cut sequence
    EXPECT_EQ(Utf16FromUtf8("\xE0\x80\x80z"), u"\uFFFDz");                          // overlong form
    EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // lone surrogate
}
