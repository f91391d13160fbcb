// Test support: a fresh folder per test, removed afterwards, and small file helpers.
#ifndef KEFCONVERT_TESTS_SUPPORT_TEMP_DIR_H_
#define KEFCONVERT_TESTS_SUPPORT_TEMP_DIR_H_

#include <string>
#include <string_view>

namespace kefconvert::testing {

class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::string& path() const { return path_; }
  /// The path of `name` inside the folder.
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  /// Writes `bytes` to `name` inside the folder and returns its path.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};

/// The whole content of `path`; throws std::runtime_error when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace kefconvert::testing

#endif  // KEFCONVERT_TESTS_SUPPORT_TEMP_DIR_H_
