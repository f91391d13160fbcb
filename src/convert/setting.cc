#include "convert/setting.h"

#include <array>
#include <cstdint>

#include "convert/key_maps.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {

constexpr std::array<bool, 256> kTakesEntity = [] {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("&\"><")) table[c] = true;
  return table;
}();

namespace {

std::string_view EntityOf(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '"': return "&quot;";
    case '>': return "&gt;";
    default: return "&lt;";
  }
}

}  // namespace

void AppendWithEntities(TextBuffer& out, std::string_view text) {
  const char* run = text.data();
  const char* end = text.data() + text.size();
  for (const char* p = run; p != end; ++p) {
    if (!kTakesEntity[static_cast<unsigned char>(*p)]) continue;
    out.Append(std::string_view(run, static_cast<std::size_t>(p - run)));
    out.Append(EntityOf(*p));
    run = p + 1;
  }
  out.Append(std::string_view(run, static_cast<std::size_t>(end - run)));
}

namespace {

const KeyIndex* KeyMapOf(std::string_view section) {
  if (IsText(section, kProjectMarker)) return &kProjectKeyIndex;
  if (IsText(section, kDatabaseMarker)) return &kDatabaseKeyIndex;
  if (IsText(section, kTableMarker)) return &kTableKeyIndex;
  if (IsText(section, kFieldMarker)) return &kFieldKeyIndex;
  return nullptr;
}

std::string_view MapDateFormat(std::string_view value) {
  for (const ValueMapping& row : kDateFormats) {
    if (row.from == value) return row.to;
  }
  return value;
}

// The part of `path` after its last backslash.
std::string_view FileNameOf(std::string_view path) {
  std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// the keys that open and close a multi-line SQL text, and the one that takes a variable name
constexpr std::string_view kSqlKey = "TblSQL";
constexpr std::string_view kSqlEndKey = "TblError";
constexpr std::string_view kFieldNameKey = "FldName";

}  // namespace
}  // namespace kefconvert::detail

namespace kefconvert {

using detail::CrossLineState;
using detail::KeyEffect;
using detail::SettingKind;
using detail::TextBuffer;

SettingKind Convert::ConvertSetting(std::string_view Section, std::string_view LineText,
                                    CrossLineState& state, TextBuffer& AttributeText) {
  std::size_t equals = LineText.find('=');
  if (equals != std::string_view::npos && equals + 1 >= detail::kFirstOverflowingPosition) {
    throw Error(kOverflow);
  }
  std::string_view key;
  std::string_view raw_value;
  if (equals != std::string_view::npos) {
    key = detail::TrimBlanks(LineText.substr(0, equals));
    raw_value = detail::TrimBlanks(LineText.substr(equals + 1));
  }

  // Inside a multi-line SQL text every line is one more piece of it, taken as written
  // (no key map, no side effects), until the line with the key "TblError".
  bool in_sql_block = detail::IsText(state.KeyName, detail::kSqlKey) &&
                      detail::IsText(Section, detail::kTableMarker);
  if (in_sql_block &&
      (equals == std::string_view::npos || !detail::IsText(key, detail::kSqlEndKey))) {
    if (equals == std::string_view::npos) {
      detail::AppendEscaped(AttributeText, detail::TrimBlanks(LineText));
    } else {
      detail::AppendEscaped(AttributeText, key);
      AttributeText.Append('=');
      detail::AppendEscaped(AttributeText, raw_value);
    }
    return SettingKind::kSqlPiece;
  }

  if (equals == std::string_view::npos) {
    if (detail::TrimBlanks(LineText).empty()) return SettingKind::kNothing;
    // escaped, so that stray text cannot break the element it lands in
    detail::AppendEscaped(AttributeText, LineText);
    return SettingKind::kText;
  }

  const detail::KeyIndex* map = detail::KeyMapOf(Section);
  const detail::KeyMapping* row = map != nullptr ? map->Find(key) : nullptr;
  std::string_view new_key = row != nullptr ? row->new_key : key;
  KeyEffect effect = row != nullptr ? row->effect : KeyEffect::kNone;
  if (new_key.empty()) return SettingKind::kNothing;

  AttributeText.Append(' ');
  AttributeText.Append(new_key);
  AttributeText.Append("=\"");
  std::size_t value_start = AttributeText.size();
  detail::AppendEscaped(AttributeText, raw_value);
  std::string_view value(AttributeText.data() + value_start, AttributeText.size() - value_start);

  switch (effect) {
    case KeyEffect::kNone: break;
    case KeyEffect::kVersion:
      AttributeText.Truncate(value_start);
      AttributeText.Append("2.0.0.0");
      break;
    case KeyEffect::kDateFormat: {
      std::string_view mapped = detail::MapDateFormat(value);
      if (mapped.data() != value.data()) {
        AttributeText.Truncate(value_start);
        AttributeText.Append(mapped);
      }
      break;
    }
    case KeyEffect::kCaptureSecLoginID: state.SecLoginIDFldName.assign(value); break;
    case KeyEffect::kCaptureSecTbl: state.SecTblName.assign(value); break;
    case KeyEffect::kCaptureDBFileName:
      state.DBNameFromPath.assign(detail::FileNameOf(value));
      break;
    case KeyEffect::kMatchSecTbl: state.InSecTbl = value == state.SecTblName; break;
    case KeyEffect::kMatchLoginFld:
      state.InLoginFld = value == state.SecLoginIDFldName && state.InSecTbl;
      break;
    case KeyEffect::kFieldType:
      // the first derivation fails on a code that is no number, before anything changes
      if (state.InLoginFld) {
        std::int16_t group = GetTypeGroup(value);
        state.LoginFldTypeGroup = std::to_string(group);
      }
      CurMySQLDataType = GetMySQLType(value);
      CurBasicSearch = IsTextType(value);
      SetQuoteChars(value);
      break;
  }
  AttributeText.Append('"');

  if (detail::IsText(new_key, detail::kFieldNameKey)) {
    // the name's variable name follows on an output line of its own; room for its longest
    // form is made first, so that the name stays where it is while the variable is written
    std::size_t name_size = AttributeText.size() - 1 - value_start;
    AttributeText.ReserveExtra(16 + 4 * name_size);
    std::string_view name(AttributeText.data() + value_start, name_size);
    AttributeText.Append("\r\n FldVar=\"");
    MakeFldVar(name, "x_", AttributeText);
    AttributeText.Append('"');
  }
  // clear and append: no check for overlap, which assign makes and a key never needs
  state.KeyName.clear();
  state.KeyName.append(new_key);
  return SettingKind::kAttribute;
}

}  // namespace kefconvert
