// The ADO data-type codes of a field's "Type" setting and the facts derived from them:
// a coarse type group, the MySQL field-type number, whether the field holds text, and the
// quote that the generated code puts around a literal value.
#ifndef KEFCONVERT_CONVERT_TYPE_CODES_H_
#define KEFCONVERT_CONVERT_TYPE_CODES_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace kefconvert::detail {

/// The facts of one type code.
struct TypeCodeFacts {
  int code;                 // the ADO code; -1 in the row for every other number
  std::int16_t group;       // 1 to 6
  std::int16_t mysql_type;  // a MySQL client library field-type number
  bool is_text;
  std::string_view quote;  // "'" or ""
};

/// Reads a "Type" value as a number: an optional sign, digits with an optional fraction
/// (or a fraction alone), an optional exponent. No value when the text is anything else.
/// A number too large for a double reads as infinity, which equals no code.
std::optional<double> ParseTypeCode(std::string_view text);

/// The facts for the numeric code `code`; the catch-all row for a number no row names.
const TypeCodeFacts& FactsForCode(double code);

/// The facts of a field's "Type" value, read once. Throws Error(kTypeMismatch) when the
/// value is not a number.
const TypeCodeFacts& TypeFactsFor(std::string_view value);

/// What the most recent field "Type" line yielded; it completes every field's element.
/// Nothing resets it, neither between fields nor between conversions by one converter, so
/// a field without a "Type" line repeats the field before it.
struct FieldTypeState {
  std::int32_t CurMySQLDataType = 0;
  bool CurBasicSearch = false;
  std::string_view CurQuoteS;  // "'" or empty
  std::string_view CurQuoteE;

  /// Takes the facts of a field's type code.
  void Take(const TypeCodeFacts& facts) {
    CurMySQLDataType = facts.mysql_type;
    CurBasicSearch = facts.is_text;
    CurQuoteS = facts.quote;
    CurQuoteE = facts.quote;
  }
  bool operator==(const FieldTypeState&) const = default;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_TYPE_CODES_H_
