// The body of a conversion: reads the project file line by line, switches sections on
// the marker lines, translates every other line into the element of its section,
// completes each element with its default attributes, and hands the whole text over at
// the end.
//
// Every element is built in place at the end of one output buffer: the sections come in
// the order project, database, tables with their fields, which is the output order, so an
// element is complete before the next one starts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "convert/ascii.h"
#include "convert/converter.h"
#include "convert/defaults.h"
#include "convert/escape.h"
#include "convert/line_reader.h"
#include "convert/line_scan.h"
#include "convert/report_builder.h"
#include "convert/setting.h"
#include "convert/sql_block.h"
#include "convert/text_output.h"
#include "convert/words.h"

namespace kefconvert::detail {
namespace {

bool FindMarker(std::string_view text, Section& section) {
  // fast path: a setting line does not start with "<"
  if (text.empty() || text.front() != '<') return false;
  // the most frequent marker first
  for (Section candidate :
       {Section::kField, Section::kTable, Section::kDatabase, Section::kProject}) {
    if (SameText(text, MarkerOf(candidate))) {
      section = candidate;
      return true;
    }
  }
  return false;
}

// A line that is meant as a marker but is not one: a marker in other letter case or with
// tabs around it. Taking it for a setting would silently put the sections out of step.
// Returns why it is not a marker, or an empty string for a line that is not meant as one.
std::string MisspeltMarker(std::string_view text) {
  // fast path: a setting line starts with neither "<" nor a tab
  if (text.empty() || (text.front() != '<' && text.front() != '\t')) return {};
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos || text[begin] != '<') return {};
  std::size_t end = text.find_last_not_of(" \t");
  std::string_view core = text.substr(begin, end - begin + 1);
  for (Section section :
       {Section::kProject, Section::kDatabase, Section::kTable, Section::kField}) {
    std::string_view marker = MarkerOf(section);
    if (!EqualsIgnoringAsciiCase(core, marker)) continue;
    std::string reason = core == marker ? "a marker with a tab beside it"
                         : core.size() == text.size()
                             ? "a marker in other letter case"
                             : "a marker in other letter case with a tab beside it";
    return reason + ": write " + std::string(marker) + " alone on its line";
  }
  return {};
}

// the fast path reads a whole scan past the last line it is given
static_assert(LineReader::kPadding >= kScanLimit);

constexpr std::string_view kEmptyDatabaseName = "DBName=\"\"";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kPhysicalPathKey = "DBPhyPath";

/// One conversion: the state of reading one project file.
class ProjectConversion {
 public:
  /// `report`: where the file-wide findings go; `events`: the same, when the report wants
  /// the events of every line too, else null.
  ProjectConversion(SettingTranslator& translator, const FieldTypeState& field_types,
                    LineReader& lines, ReportBuilder* report, ReportBuilder* events,
                    TextOutput& output)
      : translator_(translator),
        field_types_(field_types),
        lines_(lines),
        report_(report),
        events_(events),
        output_(output),
        OutputText(output.text()),
        utf8_page_(translator.code_page().kind() == CodePage::Kind::kUtf8),
        reads_utf8_text_(report != nullptr &&
                         translator.code_page().kind() == CodePage::Kind::kSingleByte) {}
  ProjectConversion(const ProjectConversion&) = delete;
  ProjectConversion& operator=(const ProjectConversion&) = delete;

  /// Converts the whole file. False when it is not a project file of the old layout.
  bool Run();

 private:
  bool StartsProject(std::string_view first_line);
  void HandleLine(std::string_view line);
  void HandleMarker(Section marker);
  void HandleSetting(std::string_view text);
  void StartElement(Section section);
  void CompleteElement(const DefaultsText& defaults, std::string_view end);
  void CompleteCurrentElement();
  void Finish();
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
  FieldDefaults field_defaults_{"/>\r\n"};
};

bool ProjectConversion::Run() {
  std::string_view CurrentLine;
  if (!lines_.ReadLine(CurrentLine)) throw Error(kInputPastEndOfFile);
  if (!StartsProject(CurrentLine)) return false;
  for (;;) {
    // fast path: most lines are settings that only need their key renamed, and they are
    // taken many at a time; the database's lines are few and have rules of their own
    if (events_ == nullptr && CurrentSection != Section::kDatabase) {
      bool stop_at_non_ascii = reads_utf8_text_ && report_->ReadsText();
      PlainLines plain = translator_.ConvertPlainLines(CurrentSection, lines_.Buffered(),
                                                       OutputText, stop_at_non_ascii);
      lines_.Skip(plain.bytes, plain.lines);
    }
    if (!lines_.ReadLine(CurrentLine)) break;
    if (CurrentLine.empty()) continue;
    if (reads_utf8_text_) report_->TextRead(lines_.line_number(), CurrentLine);
    try {
      HandleLine(CurrentLine);
    } catch (const Error& error) {
      // a file error, say writing a block of the converted text, is about no line
      if (error.line() != 0 || error.file() != FileRole::kNone) throw;
      throw error.AtLine(lines_.line_number());
    }
  }
  Finish();
  return true;
}

// The first line is the project marker. In 65001 a byte order mark may stand before it,
// and the new text then begins with the same mark; in every other page a mark is text.
bool ProjectConversion::StartsProject(std::string_view first_line) {
  bool marked = utf8_page_ && first_line.starts_with(kByteOrderMark);
  if (marked) first_line.remove_prefix(kByteOrderMark.size());
  if (TrimBlanks(first_line) != MarkerOf(Section::kProject)) return false;
  if (marked) OutputText.Append(kByteOrderMark);
  StartElement(Section::kProject);
  return true;
}

void ProjectConversion::HandleLine(std::string_view line) {
  std::string_view text = TrimBlanks(line);
  // fast path: a setting starts with neither "<" nor a tab, so it is no marker of any kind
  if (text.empty() || (text.front() != '<' && text.front() != '\t')) return HandleSetting(text);
  Section marker;
  if (FindMarker(text, marker)) {
    HandleMarker(marker);
  } else if (std::string reason = MisspeltMarker(text); !reason.empty()) {
    throw Error(kInvalidFileFormat).WithReason(std::move(reason));
  } else {
    HandleSetting(text);
  }
}

void ProjectConversion::HandleMarker(Section marker) {
  EndSqlValueAtMarker(translator_.state);
  switch (marker) {
    case Section::kProject:
      // the project marker stands on the first line only
      throw Error(kInvalidFileFormat)
          .WithReason("a second project marker: <Project> stands on the first line only");
    case Section::kDatabase:
      if (database_seen_) {
        throw Error(kInvalidFileFormat)
            .WithReason("a second database section: a project has one <Database>");
      }
      database_seen_ = true;
      TableCount = 0;
      CompleteCurrentElement();
      break;
    case Section::kTable:
      if (!database_seen_) {
        throw Error(kInvalidFileFormat)
            .WithReason("a table before the database section: <Database> comes first");
      }
      if (TableCount == std::numeric_limits<std::int16_t>::max()) throw Error(kOverflow);
      ++TableCount;
      FieldCount = 0;
      CompleteCurrentElement();
      // the previous table's fields are all written: close it
      if (table_written_) OutputText.Append("</Table>\r\n");
      table_written_ = true;
      break;
    case Section::kField:
      if (CurrentSection != Section::kTable && CurrentSection != Section::kField) {
        throw Error(kInvalidFileFormat)
            .WithReason("a field before any table: a <Field> belongs to the <Table> above it");
      }
      if (FieldCount == std::numeric_limits<std::int16_t>::max()) throw Error(kOverflow);
      ++FieldCount;
      CompleteCurrentElement();
      break;
  }
  StartElement(marker);
}

void ProjectConversion::StartElement(Section section) {
  static constexpr std::string_view kOpenings[] = {"<Project ", "<Database ", "<Table ", "<Field "};
  // a complete element may go out: the login field's type group is a digit when a
  // login field has given one, or is likely to when the project names one
  const CrossLineState& state = translator_.state;
  output_.AtElementBoundary(!state.LoginFldTypeGroup.empty() ||
                            (!state.SecTblName.empty() && !state.SecLoginIDFldName.empty()));
  OutputText.Append(kOpenings[static_cast<int>(section)]);
  CurrentSection = section;
  if (events_ != nullptr) events_->ElementStarted(lines_.line_number(), section);
}

void ProjectConversion::HandleSetting(std::string_view text) {
  // the translation appends its text straight to the element being assembled
  SettingResult result = translator_.ConvertSetting(CurrentSection, text, OutputText);
  if (events_ != nullptr) {
    events_->Line(lines_.line_number(), CurrentSection, result);
    if (result.field_type) events_->FieldTypeGiven();
  }
  if (CurrentSection == Section::kDatabase &&
      (result.kind == LineKind::kAttribute || result.kind == LineKind::kStrayText)) {
    NoteDatabaseAttribute(result);
  }
}

// An empty "DBName" attribute before the "PhyPath" line receives the database's file name.
void ProjectConversion::NoteDatabaseAttribute(const SettingResult& result) {
  std::size_t at = result.appended_at;
  std::string_view text = OutputText.view().substr(at);
  for (std::size_t found = text.find(kEmptyDatabaseName); found != std::string_view::npos;
       found = text.find(kEmptyDatabaseName, found + 1)) {
    empty_database_names_.push_back(at + found + kEmptyDatabaseName.size() - 1);
  }
  if (text.find(kPhysicalPathKey) == std::string_view::npos) return;
  if (FillDatabaseNames() && events_ != nullptr) {
    events_->NameFilled(lines_.line_number(), result.key, translator_.state.DBNameFromPath);
  }
}

// Inserts the file name at every remembered place in one pass from the end, so that each
// byte of the database element moves once. True when there was a name and a place for it.
bool ProjectConversion::FillDatabaseNames() {
  std::string_view name = translator_.state.DBNameFromPath;
  if (name.empty() || empty_database_names_.empty()) return false;
  std::size_t old_size = OutputText.size();
  OutputText.Resize(old_size + empty_database_names_.size() * name.size());
  char* text = OutputText.data();
  std::size_t source_end = old_size;
  std::size_t target_end = OutputText.size();
  for (std::size_t i = empty_database_names_.size(); i-- > 0;) {
    std::size_t at = empty_database_names_[i];
    std::size_t tail = source_end - at;
    target_end -= tail;
    std::memmove(text + target_end, text + at, tail);
    target_end -= name.size();
    std::memcpy(text + target_end, name.data(), name.size());
    source_end = at;
  }
  empty_database_names_.clear();
  return true;
}

void ProjectConversion::CompleteElement(const DefaultsText& defaults, std::string_view end) {
  std::size_t placeholder = defaults.AppendTo(OutputText, &field_types_);
  if (placeholder != std::string_view::npos) output_.MarkPlaceholder(placeholder);
  OutputText.Append(end);
  if (events_ != nullptr) events_->ElementCompleted(defaults);
}

void ProjectConversion::CompleteCurrentElement() {
  switch (CurrentSection) {
    case Section::kProject: CompleteElement(DefaultsTextOf(Defaults::kProject), ">\r\n"); break;
    case Section::kDatabase:
      CompleteElement(DefaultsTextOf(Defaults::kDatabase), ">\r\n");
      empty_database_names_.clear();
      break;
    case Section::kTable: CompleteElement(DefaultsTextOf(Defaults::kTable), ">\r\n"); break;
    case Section::kField:
      // fast path: the field list, which has no placeholder, as text made for its state
      field_defaults_.AppendTo(OutputText, field_types_);
      if (events_ != nullptr) events_->ElementCompleted(DefaultsTextOf(Defaults::kField));
      break;
  }
}

void ProjectConversion::Finish() {
  switch (CurrentSection) {
    case Section::kProject:
      // a project without a database has nowhere to put its tables
      throw Error(kInvalidFileFormat, lines_.line_number())
          .WithReason("the file ends before its database section: <Database> is missing");
    case Section::kDatabase: CompleteCurrentElement(); break;
    case Section::kTable:
      // the last table without fields gets the closing defaults
      CompleteElement(DefaultsTextOf(Defaults::kLastTable), ">\r\n</Table>\r\n");
      break;
    case Section::kField:
      CompleteCurrentElement();
      OutputText.Append("</Table>\r\n");
      break;
  }
  OutputText.Append("</Database>\r\n</Project>");
  output_.Finish(" SecLoginIDFldDataType=\"" + translator_.state.LoginFldTypeGroup + "\"");
}

// Read blocks of 256 KiB, but no larger than a smaller file needs: most project files are
// a few kilobytes, and converting many of them should not cost a large buffer each. A block
// that size stays in the processor's nearest large cache while its lines are converted
// next to the output block; 1 MiB blocks were 3 to 4% slower on a 100 MB project.
std::size_t BlockSizeFor(std::uint64_t size_hint) {
#ifdef KEFCONVERT_INPUT_BLOCK_SIZE
  // builds for testing read a few dozen bytes at a time, so that lines cross blocks
  static_cast<void>(size_hint);
  return KEFCONVERT_INPUT_BLOCK_SIZE;
#else
  constexpr std::size_t kLargest = std::size_t{1} << 18;
  constexpr std::size_t kSmallest = 4096;
  if (size_hint == 0 || size_hint >= kLargest) return kLargest;
  return std::max(kSmallest, static_cast<std::size_t>(size_hint) + 1);
#endif
}

}  // namespace

bool Converter::ConvertInput(InputFile& input, Report* report, TextDestination& destination) {
  std::optional<ReportBuilder> builder;
  if (report != nullptr) builder.emplace(*report);
  LineReader lines(input, BlockSizeFor(input.SizeHint()));
  SettingTranslator translator(field_types_, *code_page_);
  TextOutput output(destination, input.SizeHint());
  ReportBuilder* findings = builder ? &*builder : nullptr;
  ProjectConversion conversion(translator, field_types_, lines, findings,
                               report != nullptr && report->events_wanted ? findings : nullptr,
                               output);
  // the report is complete however the conversion ends
  struct Completion {
    ~Completion() {
      if (report != nullptr) report->head.assign(lines.Head());
      if (builder != nullptr) builder->Finish();
    }
    Report* report;
    const LineReader& lines;
    ReportBuilder* builder;
  } completion{report, lines, builder ? &*builder : nullptr};
  bool converted = conversion.Run();
  return converted;
}

}  // namespace kefconvert::detail
