#include "convert/setting.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>

#include "convert/escape.h"
#include "convert/field_var.h"
#include "convert/line_scan.h"
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

// The rows of one section's map that the fast path takes, one bit per row.
struct FastRows {
  // the whole translation is the new name: no rule on the value, not dropped, not the
  // field's name (its variable name follows) and not the SQL text (the lines after it may
  // continue it)
  std::uint64_t plain = 0;
  // the value stands as it is, but a rule reads it: the table's and the field's names
  // and the field's type
  std::uint64_t ruled = 0;
};

bool KeepsValue(KeyEffect effect) {
  return effect == KeyEffect::kNone || effect == KeyEffect::kMatchSecTbl ||
         effect == KeyEffect::kMatchLoginFld || effect == KeyEffect::kFieldType;
}

const FastRows& FastRowsOf(Section section) {
  static const std::array<FastRows, 4> kFastRows = [] {
    std::array<FastRows, 4> rows{};
    for (std::size_t map = 0; map < rows.size(); ++map) {
      const KeyIndex& index = *kKeyMaps[map];
      for (std::size_t row = 0; row < index.size(); ++row) {
        const KeyMapping& mapping = index.Row(row);
        if (index.OpeningOf(row).size == 0 || mapping.new_key == kSqlKey ||
            !KeepsValue(mapping.effect)) {
          continue;
        }
        bool plain = mapping.effect == KeyEffect::kNone && mapping.new_key != kFieldNameKey;
        (plain ? rows[map].plain : rows[map].ruled) |= std::uint64_t{1} << row;
      }
    }
    return rows;
  }();
  return kFastRows[static_cast<std::size_t>(section)];
}

// Where the key and the value of a short setting line stand, trimmed.
struct PlainSetting {
  unsigned key_begin = 0;
  unsigned key_end = 0;
  unsigned value_begin = 0;
  unsigned value_end = 0;
  std::uint64_t entities = 0;  // the value's characters that stand as entities, from bit 0
};

// Reads the setting of the line of `length` bytes (less than kScanLimit) whose masks are
// `masks`. False for a line that is no setting with a key (blanks only, no "=", no key) or
// that has a byte in `stopping_high`. A marker, or a misspelt one, has no "=", or a key
// that begins with "<" or a tab, which no key map names.
bool LocatePlainSetting(unsigned length, const LineMasks& masks, std::uint64_t stopping_high,
                        PlainSetting& setting) {
  std::uint64_t in_line = (std::uint64_t{1} << length) - 1;
  std::uint64_t nonblank = ~masks.blank & in_line;
  std::uint64_t equals = masks.equals & in_line;
  if (nonblank == 0 || equals == 0 || (masks.high & in_line & stopping_high) != 0) return false;
  auto first = static_cast<unsigned>(std::countr_zero(nonblank));
  auto at = static_cast<unsigned>(std::countr_zero(equals));
  std::uint64_t key = nonblank & ((std::uint64_t{1} << at) - 1);
  if (key == 0) return false;
  setting.key_begin = first;
  setting.key_end = 64 - static_cast<unsigned>(std::countl_zero(key));
  // at < 63, so the shift stays inside the word
  std::uint64_t after_equals = ~((std::uint64_t{2} << at) - 1);
  std::uint64_t value = nonblank & after_equals;
  setting.value_begin = value != 0 ? static_cast<unsigned>(std::countr_zero(value)) : at + 1;
  setting.value_end =
      value != 0 ? 64 - static_cast<unsigned>(std::countl_zero(value)) : setting.value_begin;
  setting.entities = (masks.entity & in_line & after_equals) >> setting.value_begin;
  return true;
}

// Whether the fast path may apply the rules of `row` to the line's value: a type code must
// be a number, so that a line that fails is left to the full path, which names it. A type
// code's facts go to `type`, so that the code is read once.
bool RulesTake(const KeyMapping& row, const char* line, const PlainSetting& setting,
               const TypeCodeFacts*& type) {
  if (row.effect != KeyEffect::kFieldType) return true;
  if (setting.entities != 0) return false;
  std::string_view value(line + setting.value_begin, setting.value_end - setting.value_begin);
  std::optional<double> code = ParseTypeCode(value);
  if (!code) return false;
  type = &FactsForCode(*code);
  return true;
}

// Copies `size` bytes sixteen at a time: the bytes after them, up to the next multiple of
// sixteen, are read and written too, so both sides must have that much room.
char* CopyInChunks(char* to, const char* from, std::size_t size) {
  for (std::size_t at = 0; at < size; at += 16) std::memcpy(to + at, from + at, 16);
  return to + size;
}

// The most a short line writes, with the room that CopyInChunks and whole entities need:
// the opening, every byte an entity, the closing quote.
constexpr std::size_t kMostPlainAttribute = KeyIndex::kOpeningRoom + 6 * kScanLimit + 32;
// Room is made for this many at a time, so that most lines write without asking for it.
constexpr std::size_t kPlainRoom = 16 * kMostPlainAttribute;

// Writes the attribute at `to`, which has kMostPlainAttribute bytes of room; returns its end.
char* WritePlainAttribute(const KeyIndex::Opening& opening, const char* line,
                          const PlainSetting& setting, char* to) {
  std::memcpy(to, opening.text.data(), opening.text.size());
  to += opening.size;
  const char* value = line + setting.value_begin;
  std::size_t run = 0;  // the value's bytes before `run` are written
  for (std::uint64_t entities = setting.entities; entities != 0; entities &= entities - 1) {
    auto at = static_cast<std::size_t>(std::countr_zero(entities));
    to = CopyInChunks(to, value + run, at - run);
    const Entity& entity = EntityFor(value[at]);
    std::memcpy(to, entity.text, sizeof entity.text);
    to += entity.size;
    run = at + 1;
  }
  std::size_t rest = setting.value_end - setting.value_begin - run;
  // most values are short: one copy of fixed size, whatever their length
  if (rest <= 32) {
    std::memcpy(to, value + run, 32);
    to += rest;
  } else {
    to = CopyInChunks(to, value + run, rest);
  }
  *to++ = '"';
  return to;
}

// Where a run of bare lines ended.
struct BareRun {
  const char* line;    // the first line not taken
  char* to;            // the end of the text written
  std::int64_t lines;  // how many lines were taken
  int last_row;        // the row of the last line taken, -1 when none was
};

// The longest bare line, line end included.
constexpr std::size_t kBareLineLimit = 32;
// The most a bare line adds to the text: its opening, and a value shorter than the line
// with its closing quote.
constexpr std::size_t kMostBareAttribute = KeyIndex::kOpeningRoom + kBareLineLimit;
static_assert(kMostBareAttribute <= kMostPlainAttribute);

// The common line on its own: no longer than kBareLineLimit, a key of at most sixteen
// bytes whose row of `index` is among `plain_rows`, one "=", and no blank, entity
// character or byte above 0x7F. Such a line needs no trimming, escaping or rule, and its
// value fits one fixed-size copy, so a run of them goes through a loop that does nothing
// else; it stops at the first other line, near the end of the text (`end`), or once less
// than kMostPlainAttribute bytes of room are left before `room_end`.
BareRun ConvertBareLines(const KeyIndex& index, std::uint64_t plain_rows, const char* line,
                         const char* end, char* to, const char* room_end) {
  int last_row = -1;
  // a line that starts before `last_start` has all its scanned bytes in the text, so the
  // line feed found among them is the text's own
  const char* const last_start = end - kBareLineLimit;
  // a line that starts writing at `last_to` or before has room for whatever it writes
  const char* const last_to = room_end - kMostPlainAttribute;
  // bit 0 stands for no row at all
  const std::uint64_t plain_entries = plain_rows << 1;
  std::int64_t lines = 0;
  for (; line < last_start && to <= last_to; ++lines) {
    LineSpots spots = ScanSpots<kBareLineLimit>(line);
    if (spots.newline == 0) break;
    auto feed = static_cast<unsigned>(std::countr_zero(spots.newline));
    // the bytes up to the first line feed; a carriage return before it is no special byte
    std::uint64_t special = spots.special & (spots.newline ^ (spots.newline - 1));
    if ((special & (special - 1)) != 0) break;
    // a line without a special byte has its "=" at 64, out of range
    auto at = static_cast<unsigned>(std::countr_zero(special));
    if (at - 1 >= 16 || line[at] != '=') break;
    std::size_t entry = index.FindEntryOfShortPaddedKey(std::string_view(line, at));
    if (((plain_entries >> entry) & 1) == 0) break;
    unsigned length = feed - (line[feed - 1] == '\r');
    // WritePlainAttribute without its entities and long values: merely passing over them
    // cost a whole conversion 17% more instructions
    std::size_t row = entry - 1;
    const KeyIndex::Opening& opening = index.OpeningOf(row);
    std::memcpy(to, opening.text.data(), opening.text.size());
    to += opening.size;
    std::memcpy(to, line + at + 1, kBareLineLimit);
    to += length - at - 1;
    *to++ = '"';
    last_row = static_cast<int>(row);
    line += feed + 1;
  }
  return {line, to, lines, last_row};
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

PlainLines SettingTranslator::ConvertPlainLines(Section section, std::string_view text,
                                                TextBuffer& AttributeText, bool stop_at_non_ascii) {
  PlainLines done;
  // an open SQL value takes the next lines as they stand
  if (section == Section::kTable && SameText(state.KeyName, kSqlKey)) return done;
  const KeyIndex& index = *kKeyMaps[static_cast<int>(section)];
  const FastRows& rows = FastRowsOf(section);
  const std::uint64_t stopping_high = stop_at_non_ascii ? ~std::uint64_t{0} : 0;
  const char* line = text.data();
  const char* const end = line + text.size();
  int last_row = -1;
  char* to = AttributeText.MakeRoom(kPlainRoom);
  const char* room_end = to + kPlainRoom;
  while (line < end) {
    if (static_cast<std::size_t>(room_end - to) < kMostPlainAttribute) {
      AttributeText.CommitUpTo(to);
      to = AttributeText.MakeRoom(kPlainRoom);
      room_end = to + kPlainRoom;
    }
    BareRun bare = ConvertBareLines(index, rows.plain, line, end, to, room_end);
    line = bare.line;
    to = bare.to;
    done.lines += bare.lines;
    if (bare.last_row >= 0) last_row = bare.last_row;
    if (line >= end) break;
    // the bare lines are taken: this one needs the full masks
    LineMasks masks = ScanLine(line);
    // a long line, or one that goes on past the text, is left to the line-by-line path
    if (masks.newline == 0) break;
    auto feed = static_cast<unsigned>(std::countr_zero(masks.newline));
    if (line + feed >= end) break;
    unsigned length = feed - (feed > 0 && line[feed - 1] == '\r');
    if (length > 0) {
      PlainSetting setting;
      if (!LocatePlainSetting(length, masks, stopping_high, setting)) break;
      int row = index.FindRowInPaddedText(
          std::string_view(line + setting.key_begin, setting.key_end - setting.key_begin));
      if (row < 0) break;
      const std::uint64_t row_bit = std::uint64_t{1} << row;
      bool ruled = (rows.ruled & row_bit) != 0;
      const TypeCodeFacts* type = nullptr;
      if ((rows.plain & row_bit) == 0 &&
          !(ruled && RulesTake(index.Row(row), line, setting, type))) {
        break;
      }
      if (static_cast<std::size_t>(room_end - to) < kMostPlainAttribute) {
        AttributeText.CommitUpTo(to);
        to = AttributeText.MakeRoom(kPlainRoom);
        room_end = to + kPlainRoom;
      }
      const KeyIndex::Opening& opening = index.OpeningOf(static_cast<std::size_t>(row));
      const char* value_at = to + opening.size;
      to = WritePlainAttribute(opening, line, setting, to);
      if (ruled) {
        std::size_t value_start = static_cast<std::size_t>(value_at - AttributeText.data());
        AttributeText.CommitUpTo(to);
        ApplyRulesThatKeepTheValue(index.Row(static_cast<std::size_t>(row)), type, value_start,
                                   AttributeText);
        to = AttributeText.MakeRoom(kPlainRoom);
        room_end = to + kPlainRoom;
      }
      last_row = row;
    }
    line += feed + 1;
    ++done.lines;
  }
  AttributeText.CommitUpTo(to);
  if (last_row >= 0) state.KeyName = index.Row(static_cast<std::size_t>(last_row)).new_key;
  done.bytes = static_cast<std::size_t>(line - text.data());
  return done;
}

// The attribute of `row` ends the text, its value from `value_start` on as the line gave
// it: the rules that read the value (a type code's facts, `type`, were read already), and
// the field's variable name after its name.
void SettingTranslator::ApplyRulesThatKeepTheValue(const KeyMapping& row, const TypeCodeFacts* type,
                                                   std::size_t value_start,
                                                   TextBuffer& AttributeText) {
  if (type != nullptr) return TakeTypeFacts(*type);
  std::string_view value(AttributeText.data() + value_start,
                         AttributeText.size() - 1 - value_start);
  ApplyEffect(row.effect, value, value_start, AttributeText);
  if (SameText(row.new_key, kFieldNameKey)) AppendFldVar(value_start, AttributeText);
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

  if (SameText(result.new_key, kFieldNameKey)) AppendFldVar(value_start, AttributeText);
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
    case KeyEffect::kMatchSecTbl:
      state.InSecTbl = value == state.SecTblName;
      guesses.in_sec_tbl_known = true;
      break;
    case KeyEffect::kMatchLoginFld: {
      bool named = value == state.SecLoginIDFldName;
      if (named && !guesses.in_sec_tbl_known) guesses.used_in_sec_tbl = true;
      state.InLoginFld = named && state.InSecTbl;
      guesses.in_login_fld_known = true;
      break;
    }
    case KeyEffect::kFieldType:
      // read once; a code that is no number fails here, before anything changes
      TakeTypeFacts(TypeFactsFor(value));
      break;
  }
  return false;
}

// A field's "Type" line: the facts of its code complete the field's element, and the login
// field's group goes into the project element.
void SettingTranslator::TakeTypeFacts(const TypeCodeFacts& facts) {
  if (!guesses.in_login_fld_known) guesses.used_in_login_fld = true;
  if (state.InLoginFld) state.LoginFldTypeGroup = std::to_string(facts.group);
  field_types_.Take(facts);
  guesses.field_types_known = true;
}

// The field's variable name follows its name attribute on an output line of its own.
void SettingTranslator::AppendFldVar(std::size_t value_start, TextBuffer& AttributeText) const {
  // room for the longest form is made first, so that the name stays where it is while
  // the variable is written
  std::size_t name_size = AttributeText.size() - 1 - value_start;
  AttributeText.ReserveExtra(16 + 4 * name_size);
  std::string_view name(AttributeText.data() + value_start, name_size);
  AttributeText.Append("\r\n FldVar=\"x_");
  MakeFldVar(name, {}, code_page_, AttributeText);
  AttributeText.Append('"');
}

}  // namespace kefconvert::detail
