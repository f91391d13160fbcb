// The few file operations the converter relies on: open the project file for reading,
// write the converted text into a new hidden file beside the converted name, and put it in
// place under that name in one atomic step. Each platform implements them; tests put
// failures in between.
#ifndef KEFCONVERT_CONVERT_FILE_LAYER_H_
#define KEFCONVERT_CONVERT_FILE_LAYER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kefconvert::detail {

/// What tells two names of one file apart from two files.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};

class InputFile {
 public:
  virtual ~InputFile() = default;
  /// Reads up to `size` bytes into `buffer`; returns how many, 0 at the end of the file.
  /// Throws Error(kDeviceIOError) with FileRole::kProjectFile when reading fails.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  /// The file's size when it was opened, as a hint for buffers; 0 when unknown.
  virtual std::uint64_t SizeHint() const = 0;
  virtual FileIdentity Identity() const = 0;
  /// Throws Error(kDeviceIOError) with FileRole::kProjectFile when the file's size or
  /// modification time is no longer what it was when it was opened: another program wrote
  /// to it while it was read, so the text read is neither the old file nor the new one.
  virtual void CheckUnchanged() const = 0;
};

class OutputFile {  // the converted text, written into a new hidden file beside the converted name
 public:
  virtual ~OutputFile() = default;
  /// Writes `pieces`, in order, at byte `offset` of the hidden file (the driver appends at
  /// the end, and at the very end may write the head into a gap it left at offset 0, or
  /// move its body by a byte). Throws Error(kDiskFull) or Error(kDeviceIOError) with
  /// FileRole::kConvertedFile.
  virtual void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) = 0;
  /// Reads up to `size` bytes at `offset` back from the hidden file (for the move); returns how
  /// many.
  virtual std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) = 0;
  /// Puts the complete text in place under the converted name in one atomic step that
  /// replaces the name itself (a link at that name is replaced, never followed). Throws like
  /// WriteAt, or Error(kPermissionDenied) when the folder does not let the name be replaced.
  virtual void Commit() = 0;
  /// After a failure: no hidden file left, and the converted name holds an empty file (as
  /// before) or is left as it was, as CreateReplacing was told. Never throws.
  virtual void Discard() noexcept = 0;
  /// Cuts the hidden file to `size` bytes. Throws like WriteAt.
  virtual void Truncate(std::uint64_t size) = 0;
  /// Whether WriteAt may be called from two threads at once, at places that do not overlap.
  virtual bool TakesWritesAtOnce() const { return false; }
};

/// What a failed conversion leaves at the converted name.
enum class AfterFailure {
  kEmptyFile,  // an empty file, as the component's hosts know it
  kAsItWas,    // whatever was there before, or nothing
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Opens an existing file for reading. Throws Error(kFileNotFound), Error(kPathNotFound),
  /// Error(kPermissionDenied) or Error(kPathFileAccessError), e.g. for a folder, with
  /// FileRole::kProjectFile and the system's reason.
  virtual std::unique_ptr<InputFile> OpenForReading(const std::string& path) = 0;
  /// Creates the hidden file that will replace `path`. Refused with Error(kPathFileAccessError)
  /// when `path` names `source`, unless that is null (the project file is never replaced
  /// through another of its names, unless the caller asks for it) or is no regular file or link (a folder, FIFO or device; found without opening
  /// it, so nothing blocks), and with Error(kPermissionDenied) when `path` is a file the
  /// caller may not write. Throws like OpenForReading otherwise, with
  /// FileRole::kConvertedFile. Nothing is created when it throws.
  virtual std::unique_ptr<OutputFile> CreateReplacing(const std::string& path,
                                                      const InputFile* source,
                                                      AfterFailure after_failure) = 0;

  /// The platform's own file layer.
  static FileSystem& Native();
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_FILE_LAYER_H_
