// A file layer that keeps its files in memory, for the fuzz targets and the tests of the
// driver: no system calls, so that millions of conversions run in minutes, and full sight
// of what the converter did to every file. Reads come back in short pieces of varying
// length, so that line ends fall on every possible place of the reader's blocks. The
// converted text goes to a hidden file (".NAME.tmp" beside it) that takes the converted
// name on commit, as on the real file systems.
#ifndef KEFCONVERT_FUZZ_MEMORY_FILE_SYSTEM_H_
#define KEFCONVERT_FUZZ_MEMORY_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/file_layer.h"

namespace kefconvert::fuzz {

class MemoryFileSystem final : public detail::FileSystem {
 public:
  /// `read_piece`: the most bytes one Read hands out; at least 1.
  explicit MemoryFileSystem(std::size_t read_piece) : read_piece_(read_piece) {}
  MemoryFileSystem(const MemoryFileSystem&) = delete;
  MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

  /// Reads fail (Error(kDeviceIOError)) once this many bytes of a file have been read.
  void FailReadingAt(std::size_t offset) { fail_reading_at_ = offset; }
  /// The write with this number (1 for the first) stores the first half of its text, then
  /// fails with Error(kDiskFull).
  void FailWritingAt(int write_number) { fail_writing_at_ = write_number; }

  void Put(const std::string& path, std::string_view bytes);
  /// The file's bytes, or nullptr when there is no such file.
  const std::string* Find(const std::string& path) const;
  /// The paths of all files, in order.
  std::vector<std::string> Paths() const;
  /// How often a file was created, written, committed and discarded.
  int creates() const { return creates_; }
  int writes() const { return writes_; }
  int commits() const { return commits_; }
  int discards() const { return discards_; }

  std::unique_ptr<detail::InputFile> OpenForReading(const std::string& path) override;
  std::unique_ptr<detail::OutputFile> CreateReplacing(const std::string& path,
                                                      const detail::InputFile* source,
                                                      detail::AfterFailure after_failure) override;

 private:
  friend class MemoryOutputFile;

  struct Entry {
    std::uint64_t id;
    std::string bytes;
  };
  Entry& EntryFor(const std::string& path);
  /// Gives the hidden file's bytes the converted name, as a new file.
  void Rename(const std::string& hidden, const std::string& path);

  std::size_t read_piece_;
  std::size_t fail_reading_at_ = SIZE_MAX;
  int fail_writing_at_ = 0;
  std::map<std::string, Entry> files_;
  std::uint64_t next_id_ = 1;
  int creates_ = 0;
  int writes_ = 0;
  int commits_ = 0;
  int discards_ = 0;
};

}  // namespace kefconvert::fuzz

#endif  // KEFCONVERT_FUZZ_MEMORY_FILE_SYSTEM_H_
