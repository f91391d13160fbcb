// KEFConvert upgrades a code generator's project file from the old line layout
// ("key=value" settings under "<Project>", "<Database>", "<Table>" and "<Field>" markers)
// to the element layout of project version "2.0.0.0".
//
// A `Convert` object reads the project file, writes the converted text to "NAME_tmp.kef"
// beside it (NAME being the project file's path less its last four characters) and
// returns that path. The project file itself is never modified. Failures are thrown as
// `kefconvert::Error`, which carries the error number and description that hosts of the
// COM component know, and the 1-based line of the project file where one applies.
//
//   kefconvert::Convert converter;
//   std::optional<std::string> out = converter.ConvertProject("/data/shop.kef");
//   if (!out) { /* not a project file of the old layout */ }
#ifndef KEFCONVERT_KEFCONVERT_H_
#define KEFCONVERT_KEFCONVERT_H_

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kefconvert {

/// Version of the library and of the command-line tool.
inline constexpr std::string_view kVersion = "1.0.0";

/// Error numbers. They are those of the automation runtime, so that the COM component
/// can hand them to its hosts unchanged (HRESULT 0x800A0000 + number).
enum ErrorNumber : int {
  kInvalidArgument = 5,       ///< "Invalid procedure call or argument"
  kOverflow = 6,              ///< "Overflow"
  kTypeMismatch = 13,         ///< "Type mismatch"
  kFileNotFound = 53,         ///< "File not found"
  kDeviceIOError = 57,        ///< "Device I/O error"
  kDiskFull = 61,             ///< "Disk full"
  kInputPastEndOfFile = 62,   ///< "Input past end of file"
  kPermissionDenied = 70,     ///< "Permission denied"
  kPathFileAccessError = 75,  ///< "Path/File access error"
  kPathNotFound = 76,         ///< "Path not found"
  kInvalidFileFormat = 321,   ///< "Invalid file format"
};

/// The fixed description of an error number ("Type mismatch" for 13); an empty view
/// for a number that the library never raises.
std::string_view ErrorDescription(int number);

/// Which file a file error is about.
enum class FileRole {
  kNone,           ///< not a file error, or one about no particular file
  kProjectFile,    ///< the project file that is read
  kConvertedFile,  ///< the converted file that is written
};

/// The one error type of the library: a number, its description, and the 1-based line of
/// the project file whose handling failed (0 when no line applies). A file error also
/// says which file it was about and, when the system gave one, the system's own reason
/// ("File name too long"); neither changes number() or what().
class Error : public std::exception {
 public:
  explicit Error(int number, std::int64_t line = 0);
  /// A file error: `file` names the file it is about, `system_reason` is what the system
  /// said (empty when it said nothing more than the number does).
  Error(int number, FileRole file, std::string system_reason);

  int number() const { return number_; }
  std::string_view description() const { return ErrorDescription(number_); }
  std::int64_t line() const { return line_; }
  FileRole file() const { return file_; }
  std::string_view system_reason() const { return system_reason_; }
  /// Why, in words, where the number and line do not tell it alone ("a field before any
  /// table" for an invalid file format); empty otherwise. Does not change what().
  std::string_view reason() const { return reason_; }
  /// "Type mismatch (line 42)", or the bare description when no line applies.
  const char* what() const noexcept override { return message_.c_str(); }

  /// The same error, tied to `line` of the project file.
  Error AtLine(std::int64_t line) const;
  /// The same error, saying `reason` why.
  Error WithReason(std::string reason) const;

 private:
  int number_;
  std::int64_t line_;
  FileRole file_ = FileRole::kNone;
  std::string system_reason_;
  std::string reason_;
  std::string message_;
};

/// True for the Windows code pages the converter supports: the single-byte pages 874 and
/// 1250 to 1258, the double-byte pages 932, 936, 949 and 950, and 65001 (UTF-8).
bool IsSupportedCodePage(int code_page);

/// The supported code page that `name` names: a number ("932"), "cp" or "windows-" and a
/// number ("cp932", "windows-1250"), or "utf-8" / "utf8" (65001), in any letter case. No
/// value for any other name, and for a page that is not supported.
std::optional<int> CodePageFromName(std::string_view name);

/// What to tell a user whose code page name CodePageFromName refused: "unsupported code
/// page 'NAME' (use 874, 1250 to 1258, ... and 65001, or names such as cp932, ...)".
std::string UnsupportedCodePageMessage(std::string_view name);

struct Options {
  /// The ANSI code page the project file is written in. Every byte that is copied is
  /// written back unchanged; the page decides how bytes are read as characters where
  /// they are counted or looked at: a field's variable name spells each character as a
  /// hex code, the 16-bit limits count UTF-16 code units, and the database file name
  /// starts after the last "\" that is a character of its own. In 65001 a byte order
  /// mark may begin the file, and the converted text then begins with one too.
  int code_page = 1252;
};

/// The converted file's name for the project file `projFile`: its path less its last four
/// characters (counted as hosts count them, in UTF-16 code units), followed by "_tmp.kef".
/// Throws Error(kInvalidArgument) when the four characters are not all in the file's own
/// name.
std::string ConvertedFileName(const std::string& projFile);

/// The four sections of the old layout, in the order of the file and of the new text.
enum class Section { kProject, kDatabase, kTable, kField };

/// "project", "database", "table" or "field".
std::string_view SectionName(Section section);

/// What a conversion tells about a line beyond its converted text.
enum class EventKind {
  kDropped,        ///< a setting that the new layout has no place for: its value is gone
  kUnknownKey,     ///< a setting whose key the section does not know: written under its own name
  kRewritten,      ///< a setting whose value a rule replaced (the version, the date format)
  kStrayText,      ///< a line without "=": kept inside its element as text
  kInheritedType,  ///< a field without a "Type" line: its type facts repeat an earlier field's
  kFilledName,     ///< an empty database name filled in from the file name in "PhyPath"
  kDuplicate,      ///< a setting whose attribute its element holds more than once
  kLooksLikeUtf8,  ///< a file read in a single-byte code page that is UTF-8 text (65001)
};

/// The kind's name in reports: "dropped", "unknown-key", "rewritten", "stray-text",
/// "inherited-type", "filled-name", "duplicate", "looks-like-utf8".
std::string_view EventKindName(EventKind kind);

/// One thing the migration report tells about one line of the project file.
struct Event {
  std::int64_t line = 0;  ///< 1-based line of the project file
  EventKind kind = EventKind::kDropped;
  Section section = Section::kProject;
  std::string key;      ///< the key as written, empty for a line that has none
  std::string message;  ///< what happened, for people ("no counterpart in the new layout")
};

/// What a conversion noticed, in the order of the lines. A failed conversion reports the
/// events of the lines before the failure.
struct Report {
  /// False: the events of single lines are left out (the file-wide `looks-like-utf8` stays),
  /// and the report costs next to nothing; `head` is filled in either way.
  bool events_wanted = true;
  std::vector<Event> events;
  /// The first bytes of the project file (up to 256), which tell what a file that is not
  /// a project file of the old layout is instead.
  std::string head;
};

/// Receives a converted text in order, in pieces.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void Write(std::string_view text) = 0;
};

/// The converter. One object may convert many files, one after another; the field type
/// state (what the most recent field "Type" line yielded) carries over from one conversion
/// to the next, as hosts of the component expect. Separate objects share nothing and may
/// be used on separate threads at once.
class Convert {
 public:
  /// Throws Error(kInvalidArgument) when options.code_page is not supported.
  explicit Convert(const Options& options = {});
  Convert(const Convert&) = delete;
  Convert& operator=(const Convert&) = delete;
  ~Convert();

  /// Converts the project file `projFile` into its converted file (ConvertedFileName) and
  /// returns that file's path, or no value when the file's first line is not "<Project>"
  /// (the converted file then exists and is empty). Throws Error on failure; a converted
  /// file that was already created is then left empty, and the project file is untouched
  /// either way. With `report`, fills it in as well; the converted text is the same.
  std::optional<std::string> ConvertProject(const std::string& projFile, Report* report = nullptr);

  /// Converts `projFile` into the file `output`, which is replaced in one step once the
  /// text is complete; `output` may name the project file itself. False, and `output` left
  /// as it was, when the file is not a project file of the old layout; on failure throws
  /// Error and leaves `output` as it was.
  bool ConvertProjectTo(const std::string& projFile, const std::string& output,
                        Report* report = nullptr);

  /// Converts `projFile` and hands the converted text to `sink` at the end; nothing is
  /// written to any file. False when the file is not a project file of the old layout.
  bool ConvertProjectTo(const std::string& projFile, Sink& sink, Report* report = nullptr);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kefconvert

#endif  // KEFCONVERT_KEFCONVERT_H_
