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

void MakeFldVar(std::string_view name, std::string_view prefix, const UpperHalf& code_page,
                TextBuffer& out) {
  // the name's length and the position walking it are 16-bit quantities
  if (name.size() >= 32767) throw Error(kOverflow);
  for (char c : prefix) out.Append(c == ' ' ? '_' : c);
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (KeepsItsPlace(byte)) {
      out.Append(byte == ' ' ? '_' : c);
    } else {
      AppendHex(out, byte < 0x80 ? byte : code_page[byte - 0x80]);
    }
  }
}

}  // namespace kefconvert::detail
