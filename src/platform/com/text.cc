#include "platform/com/text.h"

namespace kefconvert::com {
namespace {

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(char32_t code_point, std::string& out) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

void AppendUtf16(char32_t code_point, OleString& out) {
  if (code_point < 0x10000) {
    out += static_cast<OLECHAR>(code_point);
  } else {
    code_point -= 0x10000;
    out += static_cast<OLECHAR>(0xD800 + (code_point >> 10));
    out += static_cast<OLECHAR>(0xDC00 + (code_point & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at text[i], advancing i; U+FFFD for an invalid one (overlong
// forms, surrogates and values above U+10FFFF included), which consumes one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 1) return text[i++];
  if (length == 0 || lead > 0xF4 || i + length > text.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t code_point = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    code_point = (code_point << 6) | (next & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code_point < kSmallest[length] || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += length;
  return code_point;
}

}  // namespace

std::optional<std::string> Utf8FromUtf16(OleStringView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = static_cast<char16_t>(text[i]);
    if (IsHighSurrogate(unit) && i + 1 < text.size() &&
        IsLowSurrogate(static_cast<char16_t>(text[i + 1]))) {
      char32_t low = static_cast<char16_t>(text[++i]);
      AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      return std::nullopt;
    } else {
      AppendUtf8(unit, out);
    }
  }
  return out;
}

OleString Utf16FromUtf8(std::string_view text) {
  OleString out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) AppendUtf16(DecodeUtf8(text, i), out);
  return out;
}

}  // namespace kefconvert::com
