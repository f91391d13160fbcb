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
#include <optional>
#include <string>
#include <string_view>

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
  /// "Type mismatch (line 42)", or the bare description when no line applies.
  const char* what() const noexcept override { return message_.c_str(); }

  /// The same error, tied to `line` of the project file.
  Error AtLine(std::int64_t line) const;

 private:
  int number_;
  std::int64_t line_;
  FileRole file_ = FileRole::kNone;
  std::string system_reason_;
  std::string message_;
};

/// True for the single-byte Windows code pages the converter supports: 874 and 1250 to 1258.
bool IsSupportedCodePage(int code_page);

struct Options {
  /// The ANSI code page the project file is written in. It decides only which character a
  /// byte above 0x7F stands for when a field's variable name spells it as a hex code; every
  /// byte that is copied is written back unchanged.
  int code_page = 1252;
};

namespace detail {
class FileSystem;
class TextBuffer;
struct CrossLineState;
enum class SettingKind;
}  // namespace detail

/// The converter. One object may convert many files, one after another; the field type
/// state (what the most recent field "Type" line yielded) carries over from one conversion
/// to the next, as hosts of the component expect. Separate objects share nothing and may
/// be used on separate threads at once.
class Convert {
 public:
  /// Throws Error(kInvalidArgument) when options.code_page is not supported.
  explicit Convert(const Options& options = {});
  /// As above, with the files opened through `files` instead of the platform's own file
  /// layer; `files` must outlive the object.
  Convert(const Options& options, detail::FileSystem& files);
  Convert(const Convert&) = delete;
  Convert& operator=(const Convert&) = delete;
  ~Convert();

  /// Converts the project file `projFile` and returns the path of the converted file, or
  /// no value when the file's first line is not "<Project>" (the converted file then
  /// exists and is empty). Throws Error on failure; a converted file that was already
  /// created is then left empty, and the project file is untouched either way.
  std::optional<std::string> ConvertProject(const std::string& projFile);

 private:
  friend struct ConvertTesting;
  friend class ProjectConversion;

  /// Translates one setting line and appends its text to `AttributeText`; appends nothing
  /// when the line contributes nothing.
  detail::SettingKind ConvertSetting(std::string_view Section, std::string_view LineText,
                                     detail::CrossLineState& state,
                                     detail::TextBuffer& AttributeText);
  void MakeFldVar(std::string_view name, std::string_view prefix, detail::TextBuffer& out) const;
  std::int16_t GetTypeGroup(std::string_view code) const;
  std::int16_t GetMySQLType(std::string_view code) const;
  bool IsTextType(std::string_view code) const;
  void SetQuoteChars(std::string_view code);

  const char16_t* upper_half_;  // code points of the bytes 0x80 to 0xFF
  detail::FileSystem* files_;

  // The field type state: what the most recent field "Type" line yielded.
  std::int32_t CurMySQLDataType = 0;
  bool CurBasicSearch = false;
  std::string CurQuoteS;
  std::string CurQuoteE;
};

}  // namespace kefconvert

#endif  // KEFCONVERT_KEFCONVERT_H_
