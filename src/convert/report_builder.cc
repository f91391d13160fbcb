#include "convert/report_builder.h"

#include <algorithm>

#include "convert/code_page.h"
#include "convert/sql_block.h"

namespace kefconvert::detail {
namespace {

// the attribute that a field's name line writes besides its own
constexpr std::string_view kFieldNameKey = "FldName";
constexpr std::string_view kFieldVariableKey = "FldVar";

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append(1, '"').append(text).append(1, '"');
  return quoted;
}

}  // namespace

void ReportBuilder::Add(std::int64_t line, EventKind kind, std::string_view key,
                        std::string message) {
  Event& event = report_.events.emplace_back();
  event.line = line;
  event.kind = kind;
  event.section = section_;
  event.key.assign(key);
  event.message = std::move(message);
}

void ReportBuilder::ElementStarted(std::int64_t line, Section section) {
  section_ = section;
  element_line_ = line;
  field_type_given_ = false;
  attribute_count_ = 0;
}

void ReportBuilder::Remember(const SettingResult& result, std::string_view name,
                             std::int64_t line) {
  if (attribute_count_ == attributes_.size()) attributes_.emplace_back();
  Attribute& attribute = attributes_[attribute_count_++];
  attribute.line = line;
  if (result.known_key) {
    // the key map's texts last: no copy
    attribute.name = name;
    attribute.key = result.key;
  } else {
    attribute.copy.assign(result.key);
    attribute.name = name == result.new_key ? std::string_view() : name;
    attribute.key = {};
  }
}

void ReportBuilder::Line(std::int64_t line, Section section, const SettingResult& result) {
  section_ = section;
  switch (result.kind) {
    case LineKind::kBlank:
    case LineKind::kSqlPiece: return;
    case LineKind::kStrayText:
      Add(line, EventKind::kStrayText, {},
          "text without \"=\" kept inside the element, which XML readers reject");
      return;
    case LineKind::kDropped:
      Add(line, EventKind::kDropped, result.key, "no counterpart in the new layout");
      return;
    case LineKind::kAttribute: break;
  }
  // the SQL value's keys are known to the rules for multi-line values, not to a key map
  if (!result.known_key && result.key != kSqlKey && result.key != kSqlEndKey) {
    Add(line, EventKind::kUnknownKey, result.key,
        "not a key of the " + std::string(SectionName(section)) +
            " section; written under its own name");
  }
  if (result.rewritten) {
    Add(line, EventKind::kRewritten, result.key,
        "value " + Quoted(result.value) + " written as " + Quoted(result.written_value));
  }
  Remember(result, result.new_key, line);
  if (result.new_key == kFieldNameKey) Remember(result, kFieldVariableKey, line);
}

void ReportBuilder::ElementCompleted(const DefaultsText& defaults) {
  AddDuplicates(defaults);
  if (section_ == Section::kField && !field_type_given_) {
    Add(element_line_, EventKind::kInheritedType, {},
        "no \"Type\" line: MySQLDataType, FldBasicSearch, FldQuoteS and FldQuoteE repeat the "
        "last field type read (or the starting values)");
  }
  attribute_count_ = 0;
}

// Entries of the table of names from this number on stand for the element's defaults.
constexpr std::uint32_t kFirstDefault = 1u << 31;

// Marks the attributes whose name another attribute of the element or one of its
// defaults has, with a hash table that a new element empties by its number alone.
void ReportBuilder::MarkNamesHeldTwice(const DefaultsText& defaults) {
  std::size_t wanted = 2 * (attribute_count_ + defaults.names().size());
  if (slots_.size() < wanted) {
    std::size_t size = 64;
    while (size < wanted) size *= 2;
    slots_.assign(size, Slot{});
    element_number_ = 0;
  }
  ++element_number_;
  defaults_ = defaults.names();
  for (std::size_t i = 0; i < defaults_.size(); ++i) {
    Enter(defaults_[i], kFirstDefault + static_cast<std::uint32_t>(i));
  }
  for (std::size_t i = 0; i < attribute_count_; ++i) {
    attributes_[i].twice = false;
    Enter(attributes_[i].Name(), static_cast<std::uint32_t>(i));
  }
}

std::string_view ReportBuilder::NameOf(std::uint32_t entry) const {
  return entry >= kFirstDefault ? defaults_[entry - kFirstDefault] : attributes_[entry].Name();
}

// Attribute names are short words that differ in length and at their ends: a look at a few
// bytes tells most apart, at a fraction of the cost of hashing every byte.
static std::size_t QuickHash(std::string_view name) {
  std::size_t n = name.size();
  if (n == 0) return 0;
  auto at = [name](std::size_t i) { return static_cast<unsigned char>(name[i]); };
  return n * 61 + at(0) * 7 + at(n - 1) * 131 + at(n / 2) * 17 + at(n - n / 3 - 1) * 29;
}

void ReportBuilder::Enter(std::string_view name, std::uint32_t entry) {
  std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = QuickHash(name) & mask;; slot = (slot + 1) & mask) {
    Slot& held = slots_[slot];
    if (held.element != element_number_) {
      held = {element_number_, entry};
      return;
    }
    if (NameOf(held.attribute) != name) continue;
    if (held.attribute < kFirstDefault) attributes_[held.attribute].twice = true;
    if (entry < kFirstDefault) attributes_[entry].twice = true;
    return;
  }
}

void ReportBuilder::AddDuplicates(const DefaultsText& defaults) {
  MarkNamesHeldTwice(defaults);
  std::int64_t reported_line = 0;
  for (std::size_t i = 0; i < attribute_count_; ++i) {
    const Attribute& attribute = attributes_[i];
    if (!attribute.twice) continue;
    // a name line's two attributes are one setting
    if (attribute.line == reported_line) continue;
    reported_line = attribute.line;
    Add(attribute.line, EventKind::kDuplicate, attribute.Key(),
        "attribute " + std::string(attribute.Name()) + " stands more than once in the " +
            std::string(SectionName(section_)) + " element, which XML readers reject");
  }
}

void ReportBuilder::NameFilled(std::int64_t line, std::string_view key, std::string_view name) {
  Add(line, EventKind::kFilledName, key,
      "the empty database name is filled in with " + Quoted(name) + " from the path");
}

void ReportBuilder::NoteTextRead(std::int64_t line, std::string_view text) {
  if (!LooksLikeUtf8(text)) {
    utf8_so_far_ = false;
    return;
  }
  if (first_utf8_line_ == 0) {
    first_utf8_line_ = line;
    first_utf8_section_ = section_;
  }
}

void ReportBuilder::TakeTextFindings(const ReportBuilder& later, std::int64_t lines_before) {
  // once a line is not UTF-8, no later line changes the finding
  if (!utf8_so_far_) return;
  utf8_so_far_ = later.utf8_so_far_;
  if (first_utf8_line_ == 0 && later.first_utf8_line_ != 0) {
    first_utf8_line_ = lines_before + later.first_utf8_line_;
    first_utf8_section_ = later.first_utf8_section_;
  }
}

void ReportBuilder::Finish() {
  if (utf8_so_far_ && first_utf8_line_ != 0) {
    Add(first_utf8_line_, EventKind::kLooksLikeUtf8, {},
        "the file is UTF-8 text read in a single-byte code page; read in 65001, its names "
        "keep their characters");
    report_.events.back().section = first_utf8_section_;
  }
  std::stable_sort(report_.events.begin(), report_.events.end(),
                   [](const Event& a, const Event& b) { return a.line < b.line; });
}

}  // namespace kefconvert::detail

namespace kefconvert {

std::string_view SectionName(Section section) {
  static constexpr std::string_view kNames[] = {"project", "database", "table", "field"};
  return kNames[static_cast<int>(section)];
}

std::string_view EventKindName(EventKind kind) {
  static constexpr std::string_view kNames[] = {"dropped",    "unknown-key",    "rewritten",
                                                "stray-text", "inherited-type", "filled-name",
                                                "duplicate",  "looks-like-utf8"};
  return kNames[static_cast<int>(kind)];
}

}  // namespace kefconvert
