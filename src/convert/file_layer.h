// The few file operations the converter relies on: open the project file for reading,
// create the converted file (replacing one of that name), read, write the whole text at
// once, close. Each platform implements them; tests put failures in between.
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
  /// Throws Error(kDeviceIOError) when reading fails.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  /// The file's size when it was opened, as a hint for buffers; 0 when unknown.
  virtual std::uint64_t SizeHint() const = 0;
  virtual FileIdentity Identity() const = 0;
};

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  /// Writes `pieces`, in order, as the file's whole text. Throws Error(kDiskFull) or
  /// Error(kDeviceIOError) when writing fails.
  virtual void Write(std::span<const std::string_view> pieces) = 0;
  /// Closes the file; throws like Write when the last bytes cannot be stored.
  virtual void Close() = 0;
  /// After a failure: leaves the file empty (best effort) and closed. Never throws.
  virtual void Discard() noexcept = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Opens an existing file for reading. Throws Error(kFileNotFound), Error(kPathNotFound),
  /// Error(kPermissionDenied) or Error(kPathFileAccessError), e.g. for a folder.
  virtual std::unique_ptr<InputFile> OpenForReading(const std::string& path) = 0;
  /// Creates `path` empty, replacing a file of that name, unless that file is `source`:
  /// the project file is never truncated through another of its names
  /// (Error(kPathFileAccessError)). Throws like OpenForReading otherwise.
  virtual std::unique_ptr<OutputFile> CreateReplacing(const std::string& path,
                                                      const InputFile& source) = 0;

  /// Replaces the file `path` by one that holds `text`, in one step: a reader sees the old
  /// file or the whole new one, and a failure leaves the old one as it was.
  virtual void Replace(const std::string& path, std::string_view text) = 0;

  /// The platform's own file layer.
  static FileSystem& Native();
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_FILE_LAYER_H_
