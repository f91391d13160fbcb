#include "convert/code_page.h"

#include <charconv>
#include <iterator>

#include "convert/ascii.h"
#include "kefconvert/kefconvert.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

namespace kefconvert::detail {
namespace {

#ifndef _WIN32
// kCp932Singles, kCp932Pairs, ... for 932, 936, 949 and 950, made from iconv at build time
#include "convert/double_byte_tables.inc"
#endif

// The bytes 0x80 to 0xFF of 65001 read alone: each is a code unit of its own value.
constexpr SingleByteTable kUtf8Singles = [] {
  SingleByteTable singles{};
  for (unsigned i = 0; i < 128; ++i) singles[i] = static_cast<char16_t>(0x80 + i);
  return singles;
}();

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The character at `at` in UTF-8, or no value when the bytes there are not one: a lone
// continuation byte, a sequence cut short, an overlong form, an encoded surrogate, or a
// code point above U+10FFFF. The second byte's range rules out the last three.
std::optional<Character> DecodeUtf8(const unsigned char* at, const unsigned char* end) {
  unsigned char lead = at[0];
  std::size_t size;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xBF;
  std::uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // U+D800 to U+DFFF
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return std::nullopt;
  }
  if (static_cast<std::size_t>(end - at) < size) return std::nullopt;
  if (at[1] < low || at[1] > high) return std::nullopt;
  for (std::size_t i = 1; i < size; ++i) {
    if (!IsContinuation(at[i])) return std::nullopt;
    code = code << 6 | (at[i] & 0x3F);
  }
  auto length = static_cast<std::uint8_t>(size);
  if (code < 0x10000) return Character{{static_cast<char16_t>(code), 0}, 1, length};
  code -= 0x10000;
  return Character{{static_cast<char16_t>(0xD800 + (code >> 10)),
                    static_cast<char16_t>(0xDC00 + (code & 0x3FF))},
                   2,
                   length};
}

}  // namespace

bool IsAscii(std::string_view text) {
  const char* at = text.data();
  const char* end = at + text.size();
  // eight bytes at a time: any high bit among them
  for (; end - at >= 8; at += 8) {
    std::uint64_t block;
    std::memcpy(&block, at, 8);
    if ((block & 0x8080808080808080u) != 0) return false;
  }
  for (; at != end; ++at) {
    if (static_cast<unsigned char>(*at) >= 0x80) return false;
  }
  return true;
}

bool LooksLikeUtf8(std::string_view text) {
  if (IsAscii(text)) return false;
  auto* at = reinterpret_cast<const unsigned char*>(text.data());
  auto* end = at + text.size();
  while (at != end) {
    if (*at < 0x80) {
      ++at;
      continue;
    }
    std::optional<Character> c = DecodeUtf8(at, end);
    if (!c) return false;
    at += c->size;
  }
  return true;
}

// The tables of the pages, and the objects that read them.
struct CodePageTables {
#ifdef _WIN32
  // On Windows the double-byte pages are Windows' own: each table is filled from
  // MultiByteToWideChar on the first use of its page.
  struct Filled {
    SingleByteTable singles{};
    std::vector<char16_t> pairs = std::vector<char16_t>(CodePage::kPairCount);
  };

  // The one code unit that `bytes` are in `page`, or 0 when they are not one character
  // there. Windows hands out the page's default character for some undefined pairs even
  // when asked to fail: such a unit counts only when it converts back to the same bytes.
  static char16_t DecodeOne(UINT page, const char* bytes, int size, char16_t default_char) {
    wchar_t units[4];
    int count = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, size, units, 4);
    if (count != 1) return 0;
    if (units[0] == default_char) {
      char back[4];
      BOOL used_default = FALSE;
      int back_size =
          ::WideCharToMultiByte(page, 0, units, 1, back, sizeof back, nullptr, &used_default);
      if (used_default || back_size != size || std::memcmp(back, bytes, size) != 0) return 0;
    }
    return static_cast<char16_t>(units[0]);
  }

  static Filled Fill(int number) {
    auto page = static_cast<UINT>(number);
    CPINFOEXW info{};
    char16_t default_char = ::GetCPInfoExW(page, 0, &info) ? info.UnicodeDefaultChar : 0;
    Filled table;
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
      char byte = static_cast<char>(b);
      char16_t unit = DecodeOne(page, &byte, 1, default_char);
      table.singles[b - 0x80] = unit != 0 ? unit : static_cast<char16_t>(b);
    }
    std::size_t at = 0;
    for (unsigned lead = CodePage::kFirstLead; lead <= CodePage::kLastLead; ++lead) {
      for (unsigned trail = CodePage::kFirstTrail; trail <= CodePage::kLastTrail; ++trail) {
        char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        table.pairs[at++] = DecodeOne(page, bytes, 2, default_char);
      }
    }
    return table;
  }

  template <int kNumber>
  static const CodePage* DoubleByte() {
    // filled once, by the first thread that asks, while the others wait
    static const Filled table = Fill(kNumber);
    static const CodePage page(kNumber, CodePage::Kind::kDoubleByte, table.singles.data(),
                               table.pairs.data());
    return &page;
  }
#else
  template <int kNumber>
  static const CodePage* DoubleByte() {
    static_assert(kNumber == 932 || kNumber == 936 || kNumber == 949 || kNumber == 950);
    constexpr const char16_t* singles = kNumber == 932   ? kCp932Singles
                                        : kNumber == 936 ? kCp936Singles
                                        : kNumber == 949 ? kCp949Singles
                                                         : kCp950Singles;
    constexpr const char16_t* pairs = kNumber == 932   ? kCp932Pairs
                                      : kNumber == 936 ? kCp936Pairs
                                      : kNumber == 949 ? kCp949Pairs
                                                       : kCp950Pairs;
    static_assert(std::size(kCp932Pairs) == CodePage::kPairCount);
    static constexpr CodePage page(kNumber, CodePage::Kind::kDoubleByte, singles, pairs);
    return &page;
  }
#endif

  static CodePage MakeSingleByte(int number) {
    return CodePage(number, CodePage::Kind::kSingleByte, FindSingleByteTable(number)->data(),
                    nullptr);
  }

  static const CodePage* SingleByte(int number) {
    if (FindSingleByteTable(number) == nullptr) return nullptr;
    static const CodePage pages[] = {
        MakeSingleByte(874),  MakeSingleByte(1250), MakeSingleByte(1251), MakeSingleByte(1252),
        MakeSingleByte(1253), MakeSingleByte(1254), MakeSingleByte(1255), MakeSingleByte(1256),
        MakeSingleByte(1257), MakeSingleByte(1258)};
    for (const CodePage& page : pages) {
      if (page.number_ == number) return &page;
    }
    return nullptr;
  }

  static const CodePage* Utf8() {
    static constexpr CodePage page(65001, CodePage::Kind::kUtf8, kUtf8Singles.data(), nullptr);
    return &page;
  }
};

const CodePage* CodePage::Find(int number) {
  switch (number) {
    case 932: return CodePageTables::DoubleByte<932>();
    case 936: return CodePageTables::DoubleByte<936>();
    case 949: return CodePageTables::DoubleByte<949>();
    case 950: return CodePageTables::DoubleByte<950>();
    case 65001: return CodePageTables::Utf8();
    default: return CodePageTables::SingleByte(number);
  }
}

Character CodePage::DecodeUtf8OrByte(const char* at, const char* end) const {
  auto* bytes = reinterpret_cast<const unsigned char*>(at);
  std::optional<Character> c = DecodeUtf8(bytes, reinterpret_cast<const unsigned char*>(end));
  // a byte that begins no character is a code unit of its own value
  if (!c) return {{bytes[0], 0}, 1, 1};
  return *c;
}

std::size_t CodePage::CountUnitsBeyondAscii(std::string_view text) const {
  std::size_t units = 0;
  ForEachCharacter(text, [&](std::u16string_view c, std::string_view) { units += c.size(); });
  return units;
}

std::size_t CodePage::FileNameStartBeyondAscii(std::string_view path) const {
  std::size_t start = 0;
  ForEachCharacter(path, [&](std::u16string_view, std::string_view bytes) {
    if (bytes.size() == 1 && bytes[0] == '\\') {
      start = static_cast<std::size_t>(bytes.data() - path.data()) + 1;
    }
  });
  return start;
}

const std::string_view kSupportedCodePages = "874, 1250 to 1258, 932, 936, 949, 950 and 65001";

std::optional<int> ParseCodePageName(std::string_view name) {
  if (EqualsIgnoringAsciiCase(name, "utf-8") || EqualsIgnoringAsciiCase(name, "utf8")) return 65001;
  std::string_view digits = name;
  if (StartsWithIgnoringAsciiCase(name, "cp")) {
    digits = name.substr(2);
  } else if (StartsWithIgnoringAsciiCase(name, "windows-")) {
    digits = name.substr(8);
  }
  // digits only: no sign, no blanks
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') return std::nullopt;
  int number = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (CodePage::Find(number) == nullptr) return std::nullopt;
  return number;
}

std::string UnsupportedCodePageMessage(std::string_view name) {
  std::string message = "unsupported code page '";
  message += name;
  message += "' (use ";
  message += kSupportedCodePages;
  message += ", or names such as cp932, windows-1252 and utf-8)";
  return message;
}

}  // namespace kefconvert::detail

namespace kefconvert {

std::optional<int> CodePageFromName(std::string_view name) {
  return detail::ParseCodePageName(name);
}

std::string UnsupportedCodePageMessage(std::string_view name) {
  return detail::UnsupportedCodePageMessage(name);
}

}  // namespace kefconvert
