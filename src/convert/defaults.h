// The attributes that the new layout has and the old one lacks. Every element is completed
// with one of these lists, appended after the attributes that its setting lines gave.
#ifndef KEFCONVERT_CONVERT_DEFAULTS_H_
#define KEFCONVERT_CONVERT_DEFAULTS_H_

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/text_buffer.h"
#include "convert/type_codes.h"

namespace kefconvert::detail {

/// Where a default attribute's value comes from.
enum class DefaultSource {
  kFixed,             // the value given in the row
  kPlaceholder,       // not an attribute: the place of the login field's type group
  kCurMySQLDataType,  // the field type state, written unescaped
  kCurBasicSearch,
  kCurQuoteS,
  kCurQuoteE,
};

struct DefaultAttribute {
  std::string_view name;
  std::string_view value;
  DefaultSource source = DefaultSource::kFixed;
};

/// The text that stands for the login field's type group until the end of the file.
inline constexpr std::string_view kLoginTypePlaceholder = "<--##SecLoginIDFldDataType##-->";

/// A list of defaults turned into text once. Most of a list is fixed text; only the field
/// type state and the login-type placeholder vary, so completing an element appends a few
/// ready pieces instead of every attribute by name and value.
class DefaultsText {
 public:
  explicit DefaultsText(std::span<const DefaultAttribute> defaults);

  /// Appends the list to `out`, each entry as a blank, the name, "=" and the quoted value,
  /// the varying values taken from `field`. Returns the offset of the login-type
  /// placeholder in `out`, or npos when the list has none.
  std::size_t AppendTo(TextBuffer& out, const FieldTypeState* field = nullptr) const;

  /// The names of the list's attributes, in order.
  std::span<const std::string_view> names() const { return names_; }

 private:
  struct Piece {
    std::string text;       // fixed text, up to the varying part
    DefaultSource varying;  // what follows the text; kFixed for nothing
  };
  std::vector<Piece> pieces_;
  std::vector<std::string_view> names_;
};

/// The lists, one for each element, and one more for the table that is still open when the
/// file ends, that is a last table without fields.
enum class Defaults { kProject, kDatabase, kTable, kLastTable, kField };

/// A list as text, made on first use.
const DefaultsText& DefaultsTextOf(Defaults list);

/// The field list as text, followed by the element's end, for the field type states met in
/// one conversion. The fields of a project have a few types between them, so completing a
/// field mostly copies one text whole instead of writing a number and picking its values.
class FieldDefaults {
 public:
  explicit FieldDefaults(std::string_view end) : end_(end) {}

  /// Appends the field list for `state` to `out`, as DefaultsTextOf(Defaults::kField) does,
  /// and the end.
  void AppendTo(TextBuffer& out, const FieldTypeState& state);

 private:
  struct Entry {
    FieldTypeState state;
    std::string text;
    bool filled = false;
  };
  static constexpr std::size_t kEntries = 64;
  std::string_view end_;
  // a state has one place, so a lookup is one comparison; two states in one place take
  // turns, which costs time and changes nothing
  std::array<Entry, kEntries> entries_;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_DEFAULTS_H_
