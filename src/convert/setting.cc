#include "convert/setting.h"

#include "convert/escape.h"
#include "convert/field_var.h"
#include "convert/sql_block.h"
#include "convert/words.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {
namespace {

constexpr std::string_view kMarkers[] = {"<Project>", "<Database>", "<Table>", "<Field>"};

// The 1-based position of a line's first "=" is a 16-bit quantity, and so is the position
// after it: a line whose first "=" stands at this position or later cannot be converted.
constexpr std::size_t kFirstOverflowingPosition = 32767;

// the key map of each section, in the order of Section
constexpr const KeyIndex* kKeyMaps[] = {&kProjectKeyIndex, &kDatabaseKeyIndex, &kTableKeyIndex,
                                        &kFieldKeyIndex};

// the project version that every converted file has
constexpr std::string_view kNewVersion = "2.0.0.0";

// the key whose attribute is followed by the field's variable name
constexpr std::string_view kFieldNameKey = "FldName";

std::string_view MapDateFormat(std::string_view value) {
  for (const ValueMapping& row : kDateFormats) {
    if (row.from == value) return row.to;
  }
  return value;
}

// The part of `path` after its last backslash; a trail byte 0x5C is no backslash.
std::string_view FileNameOf(std::string_view path, const CodePage& code_page) {
  return path.substr(code_page.FileNameStart(path));
}

// Writes ` key="` at `p`, which has room for it; returns where the value goes.
char* PutAttributeOpening(char* p, std::string_view key) {
  p[0] = ' ';
  CopyBytes(p + 1, key.data(), key.size());
  p += 1 + key.size();
  p[0] = '=';
  p[1] = '"';
  return p + 2;
}

// Appends the attribute `key` with `value`, which needs no entity, in one extension of
// the buffer.
void AppendPlainAttribute(std::string_view key, std::string_view value, TextBuffer& out) {
  char* p = PutAttributeOpening(out.Extend(key.size() + value.size() + 4), key);
  CopyBytes(p, value.data(), value.size());
  p[value.size()] = '"';
}

// Appends the attribute `key` with the escaped `value`, without its closing quote, and
// returns where the value begins.
std::size_t AppendAttributeStart(std::string_view key, std::string_view value, TextBuffer& out) {
  bool plain = !HoldsEntityCharacter(value);
  std::size_t value_start = out.size() + key.size() + 3;
  // most values need no entity: the whole attribute is written through one extension
  char* p = PutAttributeOpening(out.Extend(key.size() + 3 + (plain ? value.size() : 0)), key);
  if (plain) {
    CopyBytes(p, value.data(), value.size());
  } else {
    AppendWithEntities(out, value);
  }
  return value_start;
}

/// Cuts `text` at its first "=". Throws Error(kOverflow) when that "=" stands at a
/// position, in UTF-16 code units of `code_page`, that a 16-bit number cannot hold.
SplitLine SplitSetting(std::string_view text, const CodePage& code_page) {
  SplitLine line;
  line.text = text;
  std::size_t equals = FindByte(text, '=');
  if (equals == std::string_view::npos) return line;
  // a line has no more code units than bytes: only a long one needs counting
  if (equals + 1 >= kFirstOverflowingPosition &&
      code_page.CountUnits(text.substr(0, equals)) + 1 >= kFirstOverflowingPosition) {
    throw Error(kOverflow);
  }
  line.has_equals = true;
  line.key = TrimBlanks(text.substr(0, equals));
  line.value = TrimBlanks(text.substr(equals + 1));
  return line;
}

}  // namespace

std::string_view MarkerOf(Section section) { return kMarkers[static_cast<int>(section)]; }

SettingResult SettingTranslator::ConvertSetting(Section section, std::string_view LineText,
                                                TextBuffer& AttributeText) {
  SplitLine line = SplitSetting(LineText, code_page_);
  SettingResult result;
  result.key = line.key;
  result.appended_at = AttributeText.size();
  if (ContinuesSqlValue(state, section, line)) {
    AppendSqlPiece(AttributeText, line);
    result.kind = LineKind::kSqlPiece;
    return result;
  }
  if (line.has_equals) {
    ConvertKeyedSetting(section, line, AttributeText, result);
    return result;
  }
  if (line.text.empty()) return result;
  // escaped, so that stray text cannot break the element it lands in
  AppendEscaped(AttributeText, line.text);
  result.kind = LineKind::kStrayText;
  return result;
}

bool SettingTranslator::ConvertPlainSetting(Section section, std::string_view line,
                                            TextBuffer& AttributeText) {
  std::string_view text = TrimBlanks(line);
  // markers, misspelt ones included, and blank lines take the full path
  if (text.empty() || text.front() == '<' || text.front() == '\t') return false;
  std::size_t equals = FindByte(text, '=');
  if (equals == std::string_view::npos || equals + 1 >= kFirstOverflowingPosition) return false;
  std::string_view key = TrimBlanks(text.substr(0, equals));
  if (section == Section::kTable && state.KeyName == kSqlKey) return false;
  const KeyMapping* row = kKeyMaps[static_cast<int>(section)]->Find(key);
  if (row == nullptr || row->effect != KeyEffect::kNone || row->new_key.empty() ||
      SameText(row->new_key, kFieldNameKey)) {
    return false;
  }
  std::string_view value = TrimBlanks(text.substr(equals + 1));
  if (HoldsEntityCharacter(value)) {
    AppendAttributeStart(row->new_key, value, AttributeText);
    AttributeText.Append('"');
  } else {
    AppendPlainAttribute(row->new_key, value, AttributeText);
  }
  state.KeyName = row->new_key;
  return true;
}

// Fills in `result`, which holds the line's key and where its text begins.
void SettingTranslator::ConvertKeyedSetting(Section section, const SplitLine& line,
                                            TextBuffer& AttributeText, SettingResult& result) {
  result.value = line.value;
  const KeyMapping* row = kKeyMaps[static_cast<int>(section)]->Find(line.key);
  result.known_key = row != nullptr;
  // a known key's own text lasts, where the line's is gone with the next line
  if (row != nullptr) result.key = row->old_key;
  result.new_key = row != nullptr ? row->new_key : line.key;
  if (result.new_key.empty()) {
    result.kind = LineKind::kDropped;
    return;
  }

  std::size_t value_start = AppendAttributeStart(result.new_key, line.value, AttributeText);
  std::string_view value(AttributeText.data() + value_start, AttributeText.size() - value_start);
  if (row != nullptr && row->effect != KeyEffect::kNone) {
    result.rewritten = ApplyEffect(row->effect, value, value_start, AttributeText);
    result.field_type = row->effect == KeyEffect::kFieldType;
  }
  std::size_t value_size = AttributeText.size() - value_start;
  AttributeText.Append('"');

  if (result.new_key == kFieldNameKey) AppendFldVar(value_start, AttributeText);
  result.written_value = std::string_view(AttributeText.data() + value_start, value_size);
  if (row != nullptr) {
    state.KeyName = row->new_key;
  } else {
    unmapped_key_.assign(result.new_key);
    state.KeyName = unmapped_key_;
  }
  result.kind = LineKind::kAttribute;
}

// Carries out what a key map row does beyond renaming. True when it rewrote the value.
bool SettingTranslator::ApplyEffect(KeyEffect effect, std::string_view value,
                                    std::size_t value_start, TextBuffer& AttributeText) {
  switch (effect) {
    case KeyEffect::kNone: break;
    case KeyEffect::kVersion: {
      // compared before the value's bytes are overwritten
      bool rewritten = value != kNewVersion;
      AttributeText.Truncate(value_start);
      AttributeText.Append(kNewVersion);
      return rewritten;
    }
    case KeyEffect::kDateFormat: {
      std::string_view mapped = MapDateFormat(value);
      if (mapped.data() == value.data()) return false;
      AttributeText.Truncate(value_start);
      AttributeText.Append(mapped);
      return true;
    }
    case KeyEffect::kCaptureSecLoginID: state.SecLoginIDFldName.assign(value); break;
    case KeyEffect::kCaptureSecTbl: state.SecTblName.assign(value); break;
    case KeyEffect::kCaptureDBFileName:
      state.DBNameFromPath.assign(FileNameOf(value, code_page_));
      break;
    case KeyEffect::kMatchSecTbl: state.InSecTbl = value == state.SecTblName; break;
    case KeyEffect::kMatchLoginFld:
      state.InLoginFld = value == state.SecLoginIDFldName && state.InSecTbl;
      break;
    case KeyEffect::kFieldType: {
      // read once; a code that is no number fails here, before anything changes
      const TypeCodeFacts& facts = TypeFactsFor(value);
      if (state.InLoginFld) state.LoginFldTypeGroup = std::to_string(facts.group);
      field_types_.Take(facts);
      break;
    }
  }
  return false;
}

// The field's variable name follows its name attribute on an output line of its own.
void SettingTranslator::AppendFldVar(std::size_t value_start, TextBuffer& AttributeText) const {
  // room for the longest form is made first, so that the name stays where it is while
  // the variable is written
  std::size_t name_size = AttributeText.size() - 1 - value_start;
  AttributeText.ReserveExtra(16 + 4 * name_size);
  std::string_view name(AttributeText.data() + value_start, name_size);
  AttributeText.Append("\r\n FldVar=\"");
  MakeFldVar(name, "x_", code_page_, AttributeText);
  AttributeText.Append('"');
}

}  // namespace kefconvert::detail
