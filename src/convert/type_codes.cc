#include "convert/type_codes.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {
namespace {

// One row per code that any of the derivations names; the last row answers for every
// other number.
// clang-format off
constexpr TypeCodeFacts kTypeCodes[] = {
    // code  group  MySQL  text   quote
    {2, 1, 2, false, ""},        // adSmallInt
    {3, 1, 3, false, ""},        // adInteger
    {4, 1, 4, false, ""},        // adSingle
    {5, 1, 5, false, ""},        // adDouble
    {6, 1, 0, false, ""},        // adCurrency
    {7, 2, 0, false, "'"},       // adDate
    {8, 6, 0, false, "'"},       // adBSTR
    {11, 4, 0, false, ""},       // adBoolean
    {12, 6, 6, false, ""},       // adVariant
    {14, 6, 0, false, ""},       // adDecimal
    {16, 1, 1, false, ""},       // adTinyInt
    {17, 6, 1, false, ""},       // adUnsignedTinyInt
    {18, 6, 2, false, ""},       // adUnsignedSmallInt
    {19, 6, 3, false, ""},       // adUnsignedInt
    {20, 1, 8, false, ""},       // adBigInt
    {21, 6, 8, false, ""},       // adUnsignedBigInt
    {72, 5, 0, false, "'"},      // adGUID
    {129, 3, 0, true, "'"},      // adChar
    {130, 3, 0, true, "'"},      // adWChar
    {131, 1, 0, false, ""},      // adNumeric
    {133, 2, 10, false, "'"},    // adDBDate
    {134, 2, 11, false, "'"},    // adDBTime
    {135, 2, 7, false, "'"},     // adDBTimeStamp
    {139, 6, 0, false, ""},      // adVarNumeric
    {200, 3, 253, true, "'"},    // adVarChar
    {201, 3, 253, true, "'"},    // adLongVarChar
    {202, 3, 0, true, "'"},      // adVarWChar
    {203, 3, 0, true, "'"},      // adLongVarWChar
    {205, 6, 0, false, "'"},     // adLongVarBinary
    {-1, 6, 0, false, ""},       // any other number
};
// clang-format on

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the run of digits at the start of `text`.
std::size_t Digits(std::string_view text) {
  std::size_t n = 0;
  while (n < text.size() && IsDigit(text[n])) ++n;
  return n;
}

// True when all of `text` is [+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?
bool IsNumber(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t whole = Digits(text.substr(i));
  i += whole;
  std::size_t fraction = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    fraction = Digits(text.substr(i));
    i += fraction;
  }
  if (whole == 0 && fraction == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent = Digits(text.substr(i));
    if (exponent == 0) return false;
    i += exponent;
  }
  return i == text.size();
}

}  // namespace

std::optional<double> ParseTypeCode(std::string_view text) {
  // the usual code, a few plain digits, needs no general number parsing
  if (!text.empty() && text.size() <= 9 && Digits(text) == text.size()) {
    std::int32_t value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return static_cast<double>(value);
  }
  if (!IsNumber(text)) return std::nullopt;
  bool negative = text.front() == '-';
  if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // an exponent beyond the range of a double names no code
  if (error == std::errc::result_out_of_range) value = std::numeric_limits<double>::infinity();
  return negative ? -value : value;
}

namespace {

constexpr std::size_t kOtherCode = std::size(kTypeCodes) - 1;

// The row of each code below 256, from the table above: every code it names is one of them.
constexpr std::array<std::uint8_t, 256> kRowOfSmallCode = [] {
  std::array<std::uint8_t, 256> rows{};
  rows.fill(static_cast<std::uint8_t>(kOtherCode));
  // backwards, so that the first row of a code answers for it
  for (std::size_t i = kOtherCode; i-- > 0;) {
    rows[static_cast<std::size_t>(kTypeCodes[i].code)] = static_cast<std::uint8_t>(i);
  }
  return rows;
}();

}  // namespace

const TypeCodeFacts& FactsForCode(double code) {
  // fast path: a whole number below 256 (NaN fails both tests)
  if (code >= 0 && code < 256 && code == static_cast<double>(static_cast<int>(code))) {
    return kTypeCodes[kRowOfSmallCode[static_cast<std::size_t>(code)]];
  }
  return kTypeCodes[kOtherCode];
}

const TypeCodeFacts& TypeFactsFor(std::string_view value) {
  std::optional<double> number = ParseTypeCode(value);
  if (!number) throw Error(kTypeMismatch);
  return FactsForCode(*number);
}

}  // namespace kefconvert::detail
