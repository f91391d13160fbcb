#include "convert/field_var.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "convert/words.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {
namespace {

constexpr bool KeepsItsPlace(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ' ';
}

// Writes `code` in upper-case hex digits, as few as it takes, at `to`; returns their end.
char* PutHex(char* to, std::uint32_t code) {
  int digits = code == 0 ? 1 : (std::bit_width(code) + 3) / 4;
  for (int i = digits; i-- > 0; code >>= 4) to[i] = "0123456789ABCDEF"[code & 0xF];
  return to + digits;
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

constexpr std::uint64_t kHighBits = 0x80 * kEveryByte;

// 0x80 in each byte of `word` from `low` to `high`; every byte of `word` is below 0x80, so
// that no sum carries into the next byte
std::uint64_t BytesInRange(std::uint64_t word, unsigned char low, unsigned char high) {
  return (word + (0x80 - low) * kEveryByte) & ~(word + (0x7F - high) * kEveryByte) & kHighBits;
}

// Spells eight name bytes at `to` when each is a letter, digit, "_" or blank; false when
// one is anything else.
bool PutPlainWord(std::uint64_t word, char* to) {
  if ((word & kHighBits) != 0) return false;
  std::uint64_t blanks = BytesEqual(word, ' ');
  // a letter's lower-case form is the same letter, and nothing else's is a letter
  std::uint64_t keeps = BytesInRange(word | 0x20 * kEveryByte, 'a', 'z') |
                        BytesInRange(word, '0', '9') | BytesEqual(word, '_') | blanks;
  if (keeps != kHighBits) return false;
  std::uint64_t spelled = word ^ (blanks >> 7) * (' ' ^ '_');
  std::memcpy(to, &spelled, sizeof spelled);
  return true;
}

// fast path: most names are letters, digits and blanks, which keep their place; eight
// bytes are spelt at a time. False for a name with any other character.
bool PutPlainName(std::string_view name, char* to) {
  std::size_t size = name.size();
  if (size < 8) {
    // the bytes past the name are letters, which pass
    char padded[8];
    std::memset(padded, 'a', sizeof padded);
    CopyBytes(padded, name.data(), size);
    char spelled[8];
    if (!PutPlainWord(LoadWord(padded), spelled)) return false;
    CopyBytes(to, spelled, size);
    return true;
  }
  for (std::size_t at = 0; at + 8 < size; at += 8) {
    if (!PutPlainWord(LoadWord(name.data() + at), to + at)) return false;
  }
  // the last word may overlap the one before it, which it spells alike
  return PutPlainWord(LoadWord(name.data() + size - 8), to + size - 8);
}

// in every code page an ASCII byte is a character and code unit of its own
char* PutAsciiName(std::string_view name, char* to) {
  for (char c : name) {
    const AsciiSpelling& spelling = kAsciiSpellings[static_cast<unsigned char>(c)];
    std::memcpy(to, spelling.text, 2);
    to += spelling.size;
  }
  return to;
}

}  // namespace

void MakeFldVar(std::string_view name, std::string_view prefix, const CodePage& code_page,
                TextBuffer& out) {
  // the name's length in code units and the position walking it are 16-bit quantities; a
  // name has no more code units than bytes
  if (name.size() >= 32767 && code_page.CountUnits(name) >= 32767) throw Error(kOverflow);
  // room for the longest spelling: a byte is at most one code unit of four hex digits, or
  // half of a pair of units
  char* to = out.MakeRoom(prefix.size() + 4 * name.size());
  for (char c : prefix) *to++ = c == ' ' ? '_' : c;
  if (PutPlainName(name, to)) return out.CommitUpTo(to + name.size());
  if (AllAscii(name)) return out.CommitUpTo(PutAsciiName(name, to));
  code_page.ForEachCharacter(name, [&to](std::u16string_view units, std::string_view bytes) {
    // a trail byte that looks like a letter is part of its character, not a letter
    if (bytes.size() == 1 && KeepsItsPlace(static_cast<unsigned char>(bytes[0]))) {
      *to++ = bytes[0] == ' ' ? '_' : bytes[0];
      return;
    }
    for (char16_t unit : units) to = PutHex(to, unit);
  });
  out.CommitUpTo(to);
}

}  // namespace kefconvert::detail
