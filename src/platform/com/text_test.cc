#include "platform/com/text.h"

#include <gtest/gtest.h>

#include "platform/com/handles.h"

namespace kefconvert::com {
namespace {

OleString Ole(std::u16string_view text) { return OleString(text.begin(), text.end()); }

TEST(Utf8FromUtf16, KeepsAsciiAsItIs) {
  EXPECT_EQ(Utf8FromUtf16(Ole(u"/data/shop.kef")), "/data/shop.kef");
}

TEST(Utf8FromUtf16, EncodesLettersBeyondAscii) {
  EXPECT_EQ(Utf8FromUtf16(Ole(u"/Gr\u00FC\u00DFe/\u20AC.kef")),
            "/Gr\xC3\xBC\xC3\x9F"
            "e/\xE2\x82\xAC.kef");
}

TEST(Utf8FromUtf16, JoinsSurrogatePairs) {
  EXPECT_EQ(Utf8FromUtf16(Ole(u"\U0001F600")), "\xF0\x9F\x98\x80");
}

TEST(Utf8FromUtf16, RejectsHalfASurrogatePair) {
  OleString high_alone = Ole(u"a");
  high_alone += static_cast<OLECHAR>(0xD83D);
  OleString low_alone;
  low_alone += static_cast<OLECHAR>(0xDE00);
  low_alone += Ole(u"b");
  EXPECT_FALSE(Utf8FromUtf16(high_alone));
  EXPECT_FALSE(Utf8FromUtf16(low_alone));
}

TEST(Utf16FromUtf8, DecodesEveryLength) {
  EXPECT_EQ(Utf16FromUtf8("a\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80"),
            Ole(u"a\u00FC\u20AC\U0001F600"));
}

TEST(Utf16FromUtf8, ReplacesInvalidSequences) {
  EXPECT_EQ(Utf16FromUtf8("a\xFF"
                          "b"),
            Ole(u"a\uFFFDb"));
  EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), Ole(u"\uFFFD\uFFFD"));            // overlong "/"
  EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), Ole(u"\uFFFD\uFFFD\uFFFD"));  // a surrogate
  EXPECT_EQ(Utf16FromUtf8("\xE2\x82"), Ole(u"\uFFFD\uFFFD"));            // cut short
}

TEST(Bstr, KeepsNulsInsideTheText) {
  OleString text = Ole(u"a");
  text += static_cast<OLECHAR>(0);
  text += Ole(u"b");
  UniqueBstr bstr = NewBstr(text);
  EXPECT_EQ(bstr.view(), text);
  EXPECT_TRUE(BstrText(nullptr).empty());
}

TEST(EqualsIgnoringCase, IgnoresTheCaseOfAsciiLettersOnly) {
  using std::string_view_literals::operator""sv;
  EXPECT_TRUE(EqualsIgnoringCase(OleStringView(Ole(u"CONVERTproject")), "ConvertProject"sv));
  EXPECT_FALSE(EqualsIgnoringCase(OleStringView(Ole(u"ConvertProjects")), "ConvertProject"sv));
  EXPECT_FALSE(EqualsIgnoringCase(OleStringView(Ole(u"ConvertProjecu")), "ConvertProject"sv));
  EXPECT_FALSE(EqualsIgnoringCase(OleStringView(Ole(u"[")), "{"sv));
  EXPECT_TRUE(EqualsIgnoringCase("HKEY_CLASSES_ROOT\\A"sv, "hkey_classes_root\\a"sv));
  EXPECT_FALSE(EqualsIgnoringCase("\xC4"sv, "\xE4"sv));  // not ASCII: A and a with umlaut
}

}  // namespace
}  // namespace kefconvert::com
