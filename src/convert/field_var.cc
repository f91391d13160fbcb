#include "convert/field_var.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {
namespace {

constexpr bool KeepsItsPlace(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ' ';
}

void AppendHex(TextBuffer& out, std::uint32_t code) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[code & 0xF];
    code >>= 4;
  } while (code != 0);
  while (n > 0) out.Append(digits[--n]);
}

// What each ASCII character becomes in a variable name: itself, "_" for a blank, or its
// code in hex, which for a byte below 0x80 is one or two digits.
struct AsciiSpelling {
  char text[2];
  unsigned char size;
};

constexpr std::array<AsciiSpelling, 0x80> MakeAsciiSpellings() {
  std::array<AsciiSpelling, 0x80> spellings{};
  for (unsigned c = 0; c < 0x80; ++c) {
    AsciiSpelling& spelling = spellings[c];
    if (KeepsItsPlace(static_cast<unsigned char>(c))) {
      spelling = {{c == ' ' ? '_' : static_cast<char>(c), 0}, 1};
    } else if (c < 0x10) {
      spelling = {{"0123456789ABCDEF"[c], 0}, 1};
    } else {
      spelling = {{"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 0xF]}, 2};
    }
  }
  return spellings;
}

constexpr std::array<AsciiSpelling, 0x80> kAsciiSpellings = MakeAsciiSpellings();

// fast path: in every code page an ASCII byte is a character and code unit of its own
void AppendAsciiFldVar(std::string_view name, TextBuffer& out) {
  char* start = out.MakeRoom(2 * name.size() + 2);
  char* to = start;
  for (char c : name) {
    const AsciiSpelling& spelling = kAsciiSpellings[static_cast<unsigned char>(c)];
    std::memcpy(to, spelling.text, 2);
    to += spelling.size;
  }
  out.CommitUpTo(to);
}

}  // namespace

void MakeFldVar(std::string_view name, std::string_view prefix, const CodePage& code_page,
                TextBuffer& out) {
  // the name's length in code units and the position walking it are 16-bit quantities; a
  // name has no more code units than bytes
  if (name.size() >= 32767 && code_page.CountUnits(name) >= 32767) throw Error(kOverflow);
  for (char c : prefix) out.Append(c == ' ' ? '_' : c);
  if (IsAscii(name)) return AppendAsciiFldVar(name, out);
  code_page.ForEachCharacter(name, [&out](std::u16string_view units, std::string_view bytes) {
    // a trail byte that looks like a letter is part of its character, not a letter
    if (bytes.size() == 1 && KeepsItsPlace(static_cast<unsigned char>(bytes[0]))) {
      out.Append(bytes[0] == ' ' ? '_' : bytes[0]);
      return;
    }
    for (char16_t unit : units) AppendHex(out, unit);
  });
}

}  // namespace kefconvert::detail
