#include "convert/field_var.h"

#include <cstdint>

#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {
namespace {

bool KeepsItsPlace(unsigned char c) {
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

}  // namespace

void MakeFldVar(std::string_view name, std::string_view prefix, const CodePage& code_page,
                TextBuffer& out) {
  // the name's length in code units and the position walking it are 16-bit quantities; a
  // name has no more code units than bytes
  if (name.size() >= 32767 && code_page.CountUnits(name) >= 32767) throw Error(kOverflow);
  for (char c : prefix) out.Append(c == ' ' ? '_' : c);
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
