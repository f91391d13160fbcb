// The body of ConvertProject: reads the project file line by line, switches sections on
// the marker lines, translates every setting line into the element of its section,
// completes each element with its default attributes, and writes the whole text at once.
//
// Every element is built in place at the end of one output buffer: the sections come in
// the order project, database, tables with their fields, which is the output order, so an
// element is complete before the next one starts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "convert/code_page.h"
#include "convert/defaults.h"
#include "convert/file_layer.h"
#include "convert/line_reader.h"
#include "convert/setting.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert {

using detail::SettingKind;
using detail::TrimBlanks;

namespace {

enum class Section { kProject, kDatabase, kTable, kField };

constexpr std::string_view kMarkers[] = {detail::kProjectMarker, detail::kDatabaseMarker,
                                         detail::kTableMarker, detail::kFieldMarker};

std::string_view MarkerOf(Section section) { return kMarkers[static_cast<int>(section)]; }

bool FindMarker(std::string_view text, Section& section) {
  // fast path: a setting line does not start with "<"
  if (text.empty() || text.front() != '<') return false;
  for (int i = 0; i < 4; ++i) {
    if (text == kMarkers[i]) {
      section = static_cast<Section>(i);
      return true;
    }
  }
  return false;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// A line that is meant as a marker but is not one: a marker in other letter case or with
// tabs around it. Taking it for a setting would silently put the sections out of step.
bool IsMisspeltMarker(std::string_view text) {
  // fast path: a setting line starts with neither "<" nor a tab
  if (text.empty() || (text.front() != '<' && text.front() != '\t')) return false;
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos || text[begin] != '<') return false;
  std::size_t end = text.find_last_not_of(" \t");
  std::string_view core = text.substr(begin, end - begin + 1);
  for (std::string_view marker : kMarkers) {
    if (EqualsIgnoringCase(core, marker)) return true;
  }
  return false;
}

constexpr std::string_view kSqlKey = "TblSQL";
constexpr std::string_view kEmptyDatabaseName = "DBName=\"\"";
constexpr std::string_view kPhysicalPathKey = "DBPhyPath";

}  // namespace

/// One conversion: the state of one ConvertProject call.
class ProjectConversion {
 public:
  ProjectConversion(Convert& converter, detail::LineReader& lines, std::uint64_t size_hint)
      : converter_(converter), lines_(lines) {
    // the new text is a little larger than the old; realloc takes care of the rest
    if (size_hint < std::numeric_limits<std::size_t>::max() / 4) {
      OutputText.Reserve(static_cast<std::size_t>(size_hint + size_hint / 2) + 4096);
    }
  }
  ProjectConversion(const ProjectConversion&) = delete;
  ProjectConversion& operator=(const ProjectConversion&) = delete;

  /// Converts the whole file. False when it is not a project file of the old layout.
  bool Run();

  /// The converted text, in the pieces it is written in.
  std::array<std::string_view, 3> Pieces() const;

 private:
  void HandleLine(std::string_view line);
  void HandleMarker(Section marker);
  void HandleSetting(std::string_view text);
  void CompleteElement();
  void Finish();
  void NoteDatabaseAttribute(std::size_t at);
  void FillDatabaseNames();
  detail::FieldTypeValues FieldTypes() const;

  Convert& converter_;
  detail::LineReader& lines_;
  detail::CrossLineState state_;
  // the new text; the element being assembled (ProjectElement, DatabaseElement,
  // TableElement or FieldElement) is its tail
  detail::TextBuffer OutputText;
  Section CurrentSection = Section::kProject;
  std::int16_t TableCount = 0;
  std::int16_t FieldCount = 0;
  bool database_seen_ = false;
  bool table_written_ = false;
  std::size_t placeholder_ = std::string_view::npos;
  std::vector<std::size_t> empty_database_names_;  // where a file name may go
  std::string login_type_;
};

bool ProjectConversion::Run() {
  std::string_view CurrentLine;
  if (!lines_.ReadLine(CurrentLine)) throw Error(kInputPastEndOfFile);
  if (TrimBlanks(CurrentLine) != detail::kProjectMarker) return false;
  OutputText.Append("<Project ");
  while (lines_.ReadLine(CurrentLine)) {
    if (CurrentLine.empty()) continue;
    try {
      HandleLine(CurrentLine);
    } catch (const Error& error) {
      if (error.line() != 0) throw;
      throw error.AtLine(lines_.line_number());
    }
  }
  Finish();
  return true;
}

void ProjectConversion::HandleLine(std::string_view line) {
  std::string_view text = TrimBlanks(line);
  Section marker;
  if (FindMarker(text, marker)) {
    HandleMarker(marker);
  } else if (IsMisspeltMarker(text)) {
    throw Error(kInvalidFileFormat);
  } else {
    HandleSetting(text);
  }
}

void ProjectConversion::HandleMarker(Section marker) {
  // a marker ends a multi-line SQL text that has no "TblError" line
  if (state_.KeyName == kSqlKey) state_.KeyName.clear();
  switch (marker) {
    case Section::kProject:
      // the project marker stands on the first line only
      throw Error(kInvalidFileFormat);
    case Section::kDatabase:
      if (database_seen_) throw Error(kInvalidFileFormat);
      database_seen_ = true;
      TableCount = 0;
      CompleteElement();
      OutputText.Append("<Database ");
      break;
    case Section::kTable:
      if (!database_seen_) throw Error(kInvalidFileFormat);
      if (TableCount == std::numeric_limits<std::int16_t>::max()) throw Error(kOverflow);
      ++TableCount;
      FieldCount = 0;
      CompleteElement();
      // the previous table's fields are all written: close it
      if (table_written_) OutputText.Append("</Table>\r\n");
      table_written_ = true;
      OutputText.Append("<Table ");
      break;
    case Section::kField:
      if (CurrentSection != Section::kTable && CurrentSection != Section::kField) {
        throw Error(kInvalidFileFormat);
      }
      if (FieldCount == std::numeric_limits<std::int16_t>::max()) throw Error(kOverflow);
      ++FieldCount;
      CompleteElement();
      OutputText.Append("<Field ");
      break;
  }
  CurrentSection = marker;
}

void ProjectConversion::HandleSetting(std::string_view text) {
  // the translation appends its AttributeText straight to the element being assembled
  std::size_t at = OutputText.size();
  SettingKind kind = converter_.ConvertSetting(MarkerOf(CurrentSection), text, state_, OutputText);
  switch (kind) {
    case SettingKind::kNothing: return;
    case SettingKind::kSqlPiece:
      // the piece follows the closing quote of the open table's SQL attribute: that quote
      // becomes the blank that joins the piece on, and a quote closes the value again
      OutputText.data()[at - 1] = ' ';
      OutputText.Append('"');
      return;
    case SettingKind::kText:
    case SettingKind::kAttribute:
      if (CurrentSection == Section::kDatabase) NoteDatabaseAttribute(at);
      return;
  }
}

// An empty "DBName" attribute before the "PhyPath" line receives the database's file name.
void ProjectConversion::NoteDatabaseAttribute(std::size_t at) {
  std::string_view text = OutputText.view().substr(at);
  for (std::size_t found = text.find(kEmptyDatabaseName); found != std::string_view::npos;
       found = text.find(kEmptyDatabaseName, found + 1)) {
    empty_database_names_.push_back(at + found + kEmptyDatabaseName.size() - 1);
  }
  if (text.find(kPhysicalPathKey) != std::string_view::npos) FillDatabaseNames();
}

// Inserts the file name at every remembered place in one pass from the end, so that each
// byte of the database element moves once.
void ProjectConversion::FillDatabaseNames() {
  std::string_view name = state_.DBNameFromPath;
  if (name.empty() || empty_database_names_.empty()) return;
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
}

detail::FieldTypeValues ProjectConversion::FieldTypes() const {
  return {converter_.CurMySQLDataType, converter_.CurBasicSearch, converter_.CurQuoteS,
          converter_.CurQuoteE};
}

void ProjectConversion::CompleteElement() {
  switch (CurrentSection) {
    case Section::kProject:
      placeholder_ = detail::ProjectDefaultsText().AppendTo(OutputText);
      OutputText.Append(">\r\n");
      break;
    case Section::kDatabase:
      detail::DatabaseDefaultsText().AppendTo(OutputText);
      OutputText.Append(">\r\n");
      empty_database_names_.clear();
      break;
    case Section::kTable:
      detail::TableDefaultsText().AppendTo(OutputText);
      OutputText.Append(">\r\n");
      break;
    case Section::kField: {
      detail::FieldTypeValues types = FieldTypes();
      detail::FieldDefaultsText().AppendTo(OutputText, &types);
      OutputText.Append("/>\r\n");
      break;
    }
  }
}

void ProjectConversion::Finish() {
  switch (CurrentSection) {
    case Section::kProject:
      // a project without a database has nowhere to put its tables
      throw Error(kInvalidFileFormat, lines_.line_number());
    case Section::kDatabase: CompleteElement(); break;
    case Section::kTable:
      // the last table without fields gets the closing defaults
      detail::LastTableDefaultsText().AppendTo(OutputText);
      OutputText.Append(">\r\n</Table>\r\n");
      break;
    case Section::kField:
      CompleteElement();
      OutputText.Append("</Table>\r\n");
      break;
  }
  OutputText.Append("</Database>\r\n</Project>");
  login_type_ = " SecLoginIDFldDataType=\"" + state_.LoginFldTypeGroup + "\"";
}

std::array<std::string_view, 3> ProjectConversion::Pieces() const {
  std::string_view text = OutputText.view();
  std::size_t after = placeholder_ + detail::kLoginTypePlaceholder.size();
  return {text.substr(0, placeholder_), login_type_, text.substr(after)};
}

namespace {

// Where the last `count` characters of `path` start, counted in the UTF-16 code units that
// hosts pass paths in (a character beyond the basic plane counts two). A path whose end is
// not UTF-8 counts bytes. npos when there are fewer characters, or when the count would
// split a character in two.
std::size_t StartOfLastCharacters(std::string_view path, std::size_t count) {
  std::size_t at = path.size();
  std::size_t units = 0;
  while (units < count) {
    if (at == 0) return std::string_view::npos;
    std::size_t start = at - 1;
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(path[i]); };
    while (start > 0 && (byte(start) & 0xC0) == 0x80 && at - start < 4) --start;
    std::size_t length = at - start;
    unsigned char lead = byte(start);
    std::size_t expected = lead < 0x80             ? 1
                           : (lead & 0xE0) == 0xC0 ? 2
                           : (lead & 0xF0) == 0xE0 ? 3
                           : (lead & 0xF8) == 0xF0 ? 4
                                                   : 0;
    if (length != expected) {
      // not UTF-8: a byte is a character
      return path.size() >= count ? path.size() - count : std::string_view::npos;
    }
    units += length == 4 ? 2 : 1;
    at = start;
  }
  return units == count ? at : std::string_view::npos;
}

// The converted file's name: the project file's path less its last four characters,
// followed by "_tmp.kef". The four characters must belong to the file's own name, or the
// converted file would land in another folder under another file's name.
std::string TempFileNameFor(const std::string& projFile) {
  std::size_t kept = StartOfLastCharacters(projFile, 4);
  if (kept == std::string_view::npos) throw Error(kInvalidArgument);
  std::string_view dropped = std::string_view(projFile).substr(kept);
#ifdef _WIN32
  constexpr std::string_view kSeparators = "/\\:";
#else
  constexpr std::string_view kSeparators = "/";
#endif
  if (dropped.find_first_of(kSeparators) != std::string_view::npos) {
    throw Error(kInvalidArgument);
  }
  return projFile.substr(0, kept) + "_tmp.kef";
}

// Read blocks of 1 MiB, but no larger than a smaller file needs: most project files are a
// few kilobytes, and converting many of them should not cost a megabyte buffer each.
std::size_t BlockSizeFor(std::uint64_t size_hint) {
  constexpr std::size_t kLargest = std::size_t{1} << 20;
  constexpr std::size_t kSmallest = 4096;
  if (size_hint == 0 || size_hint >= kLargest) return kLargest;
  return std::max(kSmallest, static_cast<std::size_t>(size_hint) + 1);
}

}  // namespace

Convert::Convert(const Options& options) : Convert(options, detail::FileSystem::Native()) {}

Convert::Convert(const Options& options, detail::FileSystem& files) : files_(&files) {
  const detail::UpperHalf* page = detail::FindCodePage(options.code_page);
  if (page == nullptr) throw Error(kInvalidArgument);
  upper_half_ = page->data();
}

Convert::~Convert() = default;

std::optional<std::string> Convert::ConvertProject(const std::string& projFile) {
  std::string TempFileName = TempFileNameFor(projFile);
  std::unique_ptr<detail::InputFile> input = files_->OpenForReading(projFile);
  std::unique_ptr<detail::OutputFile> output = files_->CreateReplacing(TempFileName, *input);
  try {
    detail::LineReader lines(*input, BlockSizeFor(input->SizeHint()));
    ProjectConversion conversion(*this, lines, input->SizeHint());
    bool converted = conversion.Run();
    input->CheckUnchanged();
    if (converted) output->WriteAt(0, conversion.Pieces());
    output->Commit();
    if (!converted) return std::nullopt;
    return TempFileName;
  } catch (...) {
    // a failed conversion leaves the converted file empty, never partly written
    output->Discard();
    throw;
  }
}

}  // namespace kefconvert
