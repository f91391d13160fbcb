#include "platform/com/guid_text.h"

#include <cstdint>
#include <cstdio>

#include "platform/com/text.h"

namespace kefconvert::com {
namespace {

int HexDigit(char c) {
  char32_t lower = AsciiLower(static_cast<unsigned char>(c));
  if (lower >= '0' && lower <= '9') return static_cast<int>(lower - '0');
  if (lower >= 'a' && lower <= 'f') return static_cast<int>(lower - 'a' + 10);
  return -1;
}

// Reads `digits` hex digits at text[i], advancing i.
std::optional<std::uint32_t> ReadHex(std::string_view text, std::size_t& i, int digits) {
  std::uint32_t value = 0;
  for (int k = 0; k < digits; ++k, ++i) {
    int digit = i < text.size() ? HexDigit(text[i]) : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

bool Expect(std::string_view text, std::size_t& i, char c) {
  if (i >= text.size() || text[i] != c) return false;
  ++i;
  return true;
}

}  // namespace

std::string GuidText(const GUID& guid) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

std::optional<GUID> ParseGuid(std::string_view text) {
  GUID guid;
  std::size_t i = 0;
  if (!Expect(text, i, '{')) return std::nullopt;
  auto data1 = ReadHex(text, i, 8);
  if (!data1 || !Expect(text, i, '-')) return std::nullopt;
  auto data2 = ReadHex(text, i, 4);
  if (!data2 || !Expect(text, i, '-')) return std::nullopt;
  auto data3 = ReadHex(text, i, 4);
  if (!data3 || !Expect(text, i, '-')) return std::nullopt;
  guid.Data1 = *data1;
  guid.Data2 = static_cast<std::uint16_t>(*data2);
  guid.Data3 = static_cast<std::uint16_t>(*data3);
  for (int k = 0; k < 8; ++k) {
    if (k == 2 && !Expect(text, i, '-')) return std::nullopt;
    auto byte = ReadHex(text, i, 2);
    if (!byte) return std::nullopt;
    guid.Data4[k] = static_cast<std::uint8_t>(*byte);
  }
  if (!Expect(text, i, '}') || i != text.size()) return std::nullopt;
  return guid;
}

}  // namespace kefconvert::com
