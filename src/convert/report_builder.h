// Collects the migration report while a project file is converted: what became of each
// line beyond its converted text. The driver tells it about every line and element; it
// costs nothing when no report is asked for, since the driver then has none.
#ifndef KEFCONVERT_CONVERT_REPORT_BUILDER_H_
#define KEFCONVERT_CONVERT_REPORT_BUILDER_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/defaults.h"
#include "convert/setting.h"
#include "convert/words.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {

class ReportBuilder {
 public:
  explicit ReportBuilder(Report& report) : report_(report) {}
  ReportBuilder(const ReportBuilder&) = delete;
  ReportBuilder& operator=(const ReportBuilder&) = delete;

  /// A line of `section` was translated into `result`.
  void Line(std::int64_t line, Section section, const SettingResult& result);
  /// A marker line starts an element of `section`.
  void ElementStarted(std::int64_t line, Section section);
  /// A field's "Type" line was read: the field's type facts are its own.
  void FieldTypeGiven() { field_type_given_ = true; }
  /// The element is complete: it ends with `defaults`.
  void ElementCompleted(const DefaultsText& defaults);
  /// The line `line` of a file read in a single-byte page holds `text`. A file whose lines
  /// are all UTF-8, some with characters beyond ASCII, is reported as such.
  void TextRead(std::int64_t line, std::string_view text) {
    // fast path: ASCII is UTF-8 and tells nothing, and once a line is not UTF-8, no later
    // line changes the finding
    if (utf8_so_far_ && !AllAscii(text)) NoteTextRead(line, text);
  }
  /// Whether TextRead still looks at the lines it is given: until a line is not UTF-8.
  bool ReadsText() const { return utf8_so_far_; }
  /// Takes the findings of TextRead from `later`, which was told about the lines after
  /// those this builder was told about, numbered from 1 after `lines_before` lines.
  void TakeTextFindings(const ReportBuilder& later, std::int64_t lines_before);
  /// An empty database name received `name` from the "PhyPath" line `line`.
  void NameFilled(std::int64_t line, std::string_view key, std::string_view name);
  /// Orders the events by line; the report is complete.
  void Finish();

 private:
  void NoteTextRead(std::int64_t line, std::string_view text);
  struct Attribute {
    std::string_view name;  // a key map's own text, or the copy below
    std::string_view key;
    std::string copy;  // an unknown key, which is its own attribute name
    std::int64_t line;
    bool twice;  // the element holds its name more than once
    std::string_view Name() const { return name.empty() ? std::string_view(copy) : name; }
    std::string_view Key() const { return key.empty() ? std::string_view(copy) : key; }
  };
  // a slot of the table that finds equal names: which attribute it holds, for which element
  struct Slot {
    std::uint32_t element = 0;
    std::uint32_t attribute = 0;
  };

  void Add(std::int64_t line, EventKind kind, std::string_view key, std::string message);
  void Remember(const SettingResult& result, std::string_view name, std::int64_t line);
  void AddDuplicates(const DefaultsText& defaults);
  void MarkNamesHeldTwice(const DefaultsText& defaults);
  void Enter(std::string_view name, std::uint32_t entry);
  std::string_view NameOf(std::uint32_t entry) const;

  Report& report_;
  Section section_ = Section::kProject;
  std::int64_t element_line_ = 1;
  bool field_type_given_ = false;
  // the attributes of the element being assembled: the first attribute_count_, the rest
  // kept for their strings' room, so that an element costs no allocation after the first
  std::vector<Attribute> attributes_;
  std::size_t attribute_count_ = 0;
  std::vector<Slot> slots_;
  std::uint32_t element_number_ = 0;
  std::span<const std::string_view> defaults_;  // of the element being checked
  bool utf8_so_far_ = true;                     // every line read is UTF-8
  std::int64_t first_utf8_line_ = 0;            // the first line with characters beyond ASCII
  Section first_utf8_section_ = Section::kProject;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_REPORT_BUILDER_H_
