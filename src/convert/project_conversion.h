// The body of a conversion: reads the lines of a project file, switches sections on the
// marker lines, translates every other line into the element of its section, and
// completes each element with its default attributes.
//
// Every element is built in place at the end of one output buffer: the sections come in
// the order project, database, tables with their fields, which is the output order, so an
// element is complete before the next one starts.
//
// A large file may be converted in parts, each ending with a "<Table>" line: after such a
// line the state of the conversion is known but for a few facts (see Guesses), so a part
// can be converted before the parts above it, and checked against them afterwards.
#ifndef KEFCONVERT_CONVERT_PROJECT_CONVERSION_H_
#define KEFCONVERT_CONVERT_PROJECT_CONVERSION_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/defaults.h"
#include "convert/line_reader.h"
#include "convert/report_builder.h"
#include "convert/setting.h"
#include "convert/text_output.h"
#include "convert/type_codes.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {

/// One conversion: the state of reading one project file, or one part of it.
class ProjectConversion {
 public:
  /// `report`: where the file-wide findings go; `events`: the same, when the report wants
  /// the events of every line too, else null. `field_defaults` completes the fields, and
  /// may serve one conversion after another.
  ProjectConversion(SettingTranslator& translator, const FieldTypeState& field_types,
                    LineReader& lines, ReportBuilder* report, ReportBuilder* events,
                    TextOutput& output, FieldDefaults& field_defaults);
  ProjectConversion(const ProjectConversion&) = delete;
  ProjectConversion& operator=(const ProjectConversion&) = delete;

  /// Converts the whole file and writes the text out. False when it is not a project file
  /// of the old layout.
  bool Run();

  /// Converts the lines of the first part of a file, with its project line. `last`: the
  /// part is the whole file, and the closing text follows its lines. False when it is not
  /// a project file of the old layout. Errors name lines of the part.
  bool RunFirstPart(bool last);
  /// Converts the lines of a later part, which follow a "<Table>" line and its
  /// `tables_before` tables (0 when unknown: the count of the part's own tables is then
  /// checked against the limit afterwards). `last`: the closing text follows its lines.
  void RunLaterPart(std::int16_t tables_before, bool last);

  /// The tables counted so far, those before the part included.
  std::int16_t tables() const { return TableCount; }

 private:
  bool StartsProject(std::string_view first_line);
  void ConvertLines();
  void HandleLine(std::string_view line);
  void HandleMarker(Section marker);
  void HandleSetting(std::string_view text);
  void StartElement(Section section);
  void CompleteElement(const DefaultsText& defaults, std::string_view end);
  void CompleteCurrentElement();
  void AppendClosing();
  void NoteDatabaseAttribute(const SettingResult& result);
  bool FillDatabaseNames();

  SettingTranslator& translator_;
  const FieldTypeState& field_types_;
  LineReader& lines_;
  ReportBuilder* report_;
  ReportBuilder* events_;
  TextOutput& output_;
  // the new text not yet written; the element being assembled (the project, database,
  // table or field element) is its tail
  TextBuffer& OutputText;
  bool utf8_page_;
  bool reads_utf8_text_;  // the report looks for UTF-8 text read in a single-byte page
  Section CurrentSection = Section::kProject;
  std::int16_t TableCount = 0;
  std::int16_t FieldCount = 0;
  bool database_seen_ = false;
  bool table_written_ = false;
  std::vector<std::size_t> empty_database_names_;  // where a file name may go
  FieldDefaults& field_defaults_;
};

/// The end of a field element, after its defaults.
inline constexpr std::string_view kFieldEnd = "/>\r\n";

/// The login type attribute that takes the placeholder's place, for the type group
/// `group` (empty when no login field gave one).
std::string LoginTypeAttribute(std::string_view group);

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_PROJECT_CONVERSION_H_
