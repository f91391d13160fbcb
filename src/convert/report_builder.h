// Collects the migration report while a project file is converted: what became of each
// line beyond its converted text. The driver tells it about every line and element; it
// costs nothing when no report is asked for, since the driver then has none.
#ifndef KEFCONVERT_CONVERT_REPORT_BUILDER_H_
#define KEFCONVERT_CONVERT_REPORT_BUILDER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/defaults.h"
#include "convert/setting.h"
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
  /// An empty database name received `name` from the "PhyPath" line `line`.
  void NameFilled(std::int64_t line, std::string_view key, std::string_view name);
  /// Orders the events by line; the report is complete.
  void Finish();

 private:
  struct Attribute {
    std::string name;
    std::int64_t line;
    std::string key;
  };

  void Add(std::int64_t line, EventKind kind, std::string_view key, std::string message);
  void AddDuplicates(const DefaultsText& defaults);

  Report& report_;
  Section section_ = Section::kProject;
  std::int64_t element_line_ = 1;
  bool field_type_given_ = false;
  std::vector<Attribute> attributes_;  // of the element being assembled
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_REPORT_BUILDER_H_
