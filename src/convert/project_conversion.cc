#include "convert/project_conversion.h"

#include <cstring>
#include <limits>

#include "convert/ascii.h"
#include "convert/escape.h"
#include "convert/line_scan.h"
#include "convert/sql_block.h"
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

}  // namespace

ProjectConversion::ProjectConversion(SettingTranslator& translator,
                                     const FieldTypeState& field_types, LineReader& lines,
                                     ReportBuilder* report, ReportBuilder* events,
                                     TextOutput& output, FieldDefaults& field_defaults)
    : translator_(translator),
      field_types_(field_types),
      lines_(lines),
      report_(report),
      events_(events),
      output_(output),
      OutputText(output.text()),
      utf8_page_(translator.code_page().kind() == CodePage::Kind::kUtf8),
      reads_utf8_text_(report != nullptr &&
                       translator.code_page().kind() == CodePage::Kind::kSingleByte),
      field_defaults_(field_defaults) {}

bool ProjectConversion::Run() {
  if (!RunFirstPart(true)) return false;
  output_.Finish(LoginTypeAttribute(translator_.state.LoginFldTypeGroup));
  return true;
}

bool ProjectConversion::RunFirstPart(bool last) {
  std::string_view first_line;
  if (!lines_.ReadLine(first_line)) throw Error(kInputPastEndOfFile);
  if (!StartsProject(first_line)) return false;
  ConvertLines();
  if (last) AppendClosing();
  return true;
}

// After a "<Table>" line: its table element is open, and everything before it is written.
void ProjectConversion::RunLaterPart(std::int16_t tables_before, bool last) {
  CurrentSection = Section::kTable;
  TableCount = tables_before;
  FieldCount = 0;
  database_seen_ = true;
  table_written_ = true;
  ConvertLines();
  if (last) AppendClosing();
}

void ProjectConversion::ConvertLines() {
  std::string_view CurrentLine;
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
      translator_.guesses.FieldCompleted();
      // fast path: the field list, which has no placeholder, as text made for its state
      field_defaults_.AppendTo(OutputText, field_types_);
      if (events_ != nullptr) events_->ElementCompleted(DefaultsTextOf(Defaults::kField));
      break;
  }
}

void ProjectConversion::AppendClosing() {
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
}

std::string LoginTypeAttribute(std::string_view group) {
  return " SecLoginIDFldDataType=\"" + std::string(group) + "\"";
}

}  // namespace kefconvert::detail
