#include "convert/code_page.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kefconvert::detail {
namespace {

const CodePage& Page(int number) {
  const CodePage* page = CodePage::Find(number);
  if (page == nullptr) throw std::invalid_argument("no code page " + std::to_string(number));
  return *page;
}

// The characters of `text` in `page` as "UNITS/BYTES" groups, "+" between the units of a
// surrogate pair: "8868/2 41/1".
std::string Characters(int page, std::string_view text) {
  std::string out;
  Page(page).ForEachCharacter(text, [&](std::u16string_view units, std::string_view bytes) {
    if (!out.empty()) out += ' ';
    for (std::size_t i = 0; i < units.size(); ++i) {
      char hex[8];
      std::snprintf(hex, sizeof hex, i == 0 ? "%X" : "+%X", static_cast<unsigned>(units[i]));
      out += hex;
    }
    out += '/' + std::to_string(bytes.size());
  });
  return out;
}

struct DecodeCase {
  int page;
  std::string_view bytes;
  std::string_view characters;
  std::string_view what;
};

TEST(CodePage, DecodesEachCharacterIntoCodeUnits) {
  const DecodeCase cases[] = {
      {1252, "a\\\x80\xFF", "61/1 5C/1 20AC/1 FF/1", "single bytes, 1252"},
      {1252, "\x95\x5C", "2022/1 5C/1", "no pairs in a single-byte page"},
      {1251, "\xC0", "410/1", "Cyrillic A"},
      {932, "\x8C\xDA\x8B\x71ID", "9867/2 5BA2/2 49/1 44/1", "Kanji then ASCII"},
      {932, "\x95\x5C", "8868/2", "trail byte 0x5C"},
      {932, "\x83\x41\x83\x5F", "30A2/2 30C0/2", "trail bytes that look like A and _"},
      {932, "\xB1", "FF71/1", "half-width katakana is a single byte"},
      {932, "\x95", "95/1", "lead byte cut off by the end"},
      {932, "\x85\x40", "85/1 40/1", "undefined pair"},
      {932, "\x95\x0A", "95/1 A/1", "lead byte before a byte that is no trail"},
      {932, "\x80\xA0\xFD\xFF", "80/1 A0/1 FD/1 FF/1", "undefined single bytes"},
      {932, "\xF0\x40", "E000/2", "user-defined area"},
      {936, "\x81\x5C", "4E57/2", "trail byte 0x5C"},
      {936, "\x80", "20AC/1", "the euro sign is a single byte"},
      {936, "\x81\x41\x81\x5F", "4E04/2 4E62/2", "trail bytes that look like A and _"},
      {936, "\xFF", "FF/1", "undefined single byte"},
      {949, "\xB0\xA1\x81\x41", "AC00/2 AC02/2", "Hangul, a trail that looks like A"},
      {949, "\x81\x5F", "81/1 5F/1", "undefined pair"},
      {950, "\xA5\x5C", "529F/2", "trail byte 0x5C"},
      {950, "\xA4\x41\xA4\x5F", "4E59/2 4E8E/2", "trail bytes that look like A and _"},
      {950, "\xA3\xE1", "20AC/2", "the euro sign is a pair"},
      {65001, "\xC3\xA9\xE2\x82\xAC", "E9/2 20AC/3", "two and three bytes"},
      {65001, "\xF0\x9F\x98\x80", "D83D+DE00/4", "above U+FFFF: a surrogate pair"},
      {65001, "\xF4\x8F\xBF\xBF", "DBFF+DFFF/4", "the last code point"},
      {65001, "\xEF\xBB\xBF", "FEFF/3", "byte order mark"},
      {65001, "\xC0\x80", "C0/1 80/1", "overlong two bytes"},
      {65001, "\xC1\xBF", "C1/1 BF/1", "overlong two bytes, highest"},
      {65001, "\xE0\x9F\xBF", "E0/1 9F/1 BF/1", "overlong three bytes"},
      {65001, "\xF0\x8F\xBF\xBF", "F0/1 8F/1 BF/1 BF/1", "overlong four bytes"},
      {65001, "\xED\xA0\x80", "ED/1 A0/1 80/1", "encoded surrogate"},
      {65001, "\xED\x9F\xBF", "D7FF/3", "last code point before the surrogates"},
      {65001, "\xF4\x90\x80\x80", "F4/1 90/1 80/1 80/1", "above U+10FFFF"},
      {65001, "\xF5\x80\xFE\xFF", "F5/1 80/1 FE/1 FF/1", "bytes that never occur"},
      {65001, "\x80x", "80/1 78/1", "lone continuation byte"},
      {65001, "\xE2\x82", "E2/1 82/1", "sequence cut off by the end"},
      {65001, "\xE2\x82x", "E2/1 82/1 78/1", "sequence cut off by ASCII"},
      {65001, "\xC3\xC3\xA9", "C3/1 E9/2", "lead byte, then a whole sequence"},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(Characters(c.page, c.bytes), c.characters) << c.page << ": " << c.what;
  }
}

TEST(CodePage, CountsCodeUnits) {
  const struct {
    int page;
    std::string_view text;
    std::size_t units;
  } cases[] = {
      {1252, "", 0},
      {1252, "\x95\x5C\xFF", 3},
      {932, "abcdefghijklmnopq", 17},
      {932, "\x8C\xDA\x8B\x71ID", 4},
      {932, "\x85\x40", 2},
      {950, "a\xA5\x5C", 2},
      {65001, "\xF0\x9F\x98\x80", 2},
      {65001, "x\xC3\xA9\xE2\x82", 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Page(c.page).CountUnits(c.text), c.units) << c.page << ": " << c.text;
  }
}

TEST(CodePage, FileNameStartsAfterTheLastWholeBackslash) {
  const struct {
    int page;
    std::string_view path;
    std::size_t start;
  } cases[] = {
      {1252, "C:\\data\\shop.mdb", 8},
      {1252, "shop.mdb", 0},
      {1252, "C:\\data\\", 8},
      {1252, "C:\\data\\\x95\x5C", 10},  // two characters in 1252
      {932, "C:\\data\\\x95\x5C.mdb", 8},
      {932, "C:\\\x95\x5C\\\x95\x5C.mdb", 6},
      {932, "\x95\x5C", 0},
      {932,
       "\x85\x5C"
       "a",
       2},  // an undefined pair: the 0x5C is a backslash
      {936, "D:\\\x81\x5C", 3},
      {950, "E:\\\xA5\x5C\xA5\x5C", 3},
      {949, "C:\\\xB0\xA1\\x", 6},
      {65001, "C:\\\xE8\xA1\xA8\\x", 7},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Page(c.page).FileNameStart(c.path), c.start) << c.page << ": " << c.path;
  }
}

TEST(CodePage, FindsTheSupportedPagesOnly) {
  for (int number :
       {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 932, 936, 949, 950, 65001}) {
    const CodePage* page = CodePage::Find(number);
    ASSERT_NE(page, nullptr) << number;
    EXPECT_EQ(page->number(), number);
    EXPECT_EQ(page, CodePage::Find(number)) << "one object per page";
  }
  for (int number : {0, -1, 437, 1249, 1259, 1200, 20932, 51932, 54936, 65000}) {
    EXPECT_EQ(CodePage::Find(number), nullptr) << number;
  }
}

TEST(CodePage, ParsesNumbersAndNames) {
  const struct {
    std::string_view name;
    std::optional<int> number;
  } cases[] = {
      {"932", 932},
      {"1250", 1250},
      {"65001", 65001},
      {"cp932", 932},
      {"CP936", 936},
      {"Cp1258", 1258},
      {"windows-1250", 1250},
      {"Windows-949", 949},
      {"cp65001", 65001},
      {"utf-8", 65001},
      {"UTF8", 65001},
      {"", std::nullopt},
      {"cp", std::nullopt},
      {"437", std::nullopt},
      {"cp437", std::nullopt},
      {"+932", std::nullopt},
      {"932 ", std::nullopt},
      {" 932", std::nullopt},
      {"932x", std::nullopt},
      {"windows932", std::nullopt},
      {"utf-16", std::nullopt},
      {"shift_jis", std::nullopt},
      {"99999999999", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCodePageName(c.name), c.number) << "'" << c.name << "'";
  }
}

TEST(CodePage, MessageNamesTheAcceptedPages) {
  EXPECT_EQ(UnsupportedCodePageMessage("437"),
            "unsupported code page '437' (use 874, 1250 to 1258, 932, 936, 949, 950 and 65001, "
            "or names such as cp932, windows-1252 and utf-8)");
}

TEST(CodePage, TellsUtf8TextWithCharactersBeyondAscii) {
  const struct {
    std::string_view text;
    bool looks_like_utf8;
  } cases[] = {
      {"", false},
      {"plain ASCII", false},
      {"Gr\xC3\xB6\xC3\x9F"
       "e",
       true},
      {"\xF0\x9F\x98\x80", true},
      {"Gr\xF6\xDF"
       "e",
       false},                      // 1252
      {"\x8C\xDA\x8B\x71", false},  // 932
      {"\xC3\xA9\xC0\x80", false},  // an overlong form
      {"\xED\xA0\x80", false},      // an encoded surrogate
      {"\xC3\xA9\xE2\x82", false},  // cut off
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LooksLikeUtf8(c.text), c.looks_like_utf8) << c.text;
  }
}

TEST(CodePage, AsciiScanSeesEveryByte) {
  std::string text(37, 'a');
  EXPECT_TRUE(IsAscii(text));
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string high = text;
    high[i] = '\x80';
    EXPECT_FALSE(IsAscii(high)) << i;
  }
}

}  // namespace
}  // namespace kefconvert::detail
