#include "convert/report_builder.h"

#include <algorithm>
#include <numeric>

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
  attributes_.clear();
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
  attributes_.push_back({std::string(result.new_key), line, std::string(result.key)});
  if (result.new_key == kFieldNameKey) {
    attributes_.push_back({std::string(kFieldVariableKey), line, std::string(result.key)});
  }
}

void ReportBuilder::ElementCompleted(const DefaultsText& defaults) {
  AddDuplicates(defaults);
  if (section_ == Section::kField && !field_type_given_) {
    Add(element_line_, EventKind::kInheritedType, {},
        "no \"Type\" line: MySQLDataType, FldBasicSearch, FldQuoteS and FldQuoteE repeat the "
        "last field type read (or the starting values)");
  }
  attributes_.clear();
}

void ReportBuilder::AddDuplicates(const DefaultsText& defaults) {
  std::vector<std::size_t> order(attributes_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
    return attributes_[a].name < attributes_[b].name;
  });
  std::vector<bool> twice(attributes_.size());
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (attributes_[order[i]].name == attributes_[order[i - 1]].name) {
      twice[order[i]] = twice[order[i - 1]] = true;
    }
  }
  std::int64_t reported_line = 0;
  for (std::size_t i = 0; i < attributes_.size(); ++i) {
    const Attribute& attribute = attributes_[i];
    if (!twice[i] && !defaults.HasAttribute(attribute.name)) continue;
    // a name line's two attributes are one setting
    if (attribute.line == reported_line) continue;
    reported_line = attribute.line;
    Add(attribute.line, EventKind::kDuplicate, attribute.key,
        "attribute " + attribute.name + " stands more than once in the " +
            std::string(SectionName(section_)) + " element, which XML readers reject");
  }
}

void ReportBuilder::NameFilled(std::int64_t line, std::string_view key, std::string_view name) {
  Add(line, EventKind::kFilledName, key,
      "the empty database name is filled in with " + Quoted(name) + " from the path");
}

void ReportBuilder::Finish() {
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
                                                "duplicate"};
  return kNames[static_cast<int>(kind)];
}

}  // namespace kefconvert
