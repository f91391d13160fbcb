// The variable name under which generated code refers to a field's value: a prefix, then
// the field name with blanks turned into underscores and every character other than an
// ASCII letter, digit or underscore spelled as its hexadecimal character code.
#include <cstdint>

#include "convert/setting.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert {
namespace {

bool KeepsItsPlace(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ' ';
}

void AppendHex(detail::TextBuffer& out, std::uint32_t code) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[code & 0xF];
    code >>= 4;
  } while (code != 0);
  while (n > 0) out.Append(digits[--n]);
}

}  // namespace

void Convert::MakeFldVar(std::string_view name, std::string_view prefix,
                         detail::TextBuffer& out) const {
  // the name's length and the position walking it are 16-bit quantities
  if (name.size() >= 32767) throw Error(kOverflow);
  for (char c : prefix) out.Append(c == ' ' ? '_' : c);
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (KeepsItsPlace(byte)) {
      out.Append(byte == ' ' ? '_' : c);
    } else {
      AppendHex(out, byte < 0x80 ? byte : upper_half_[byte - 0x80]);
    }
  }
}

}  // namespace kefconvert
