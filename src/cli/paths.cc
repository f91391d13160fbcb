#include "cli/paths.h"

#include <algorithm>
#include <system_error>

#include "convert/ascii.h"

namespace kefconvert::cli {
namespace {

using detail::EndsWithIgnoringAsciiCase;
using detail::LowerAscii;

// Windows compares file names without regard to letter case
std::string InOneCase(std::string path) {
#ifdef _WIN32
  std::transform(path.begin(), path.end(), path.begin(), LowerAscii);
#endif
  return path;
}

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string SameFileKey(std::string_view path) {
  std::error_code error;
  std::filesystem::path native = PathFromUtf8(path);
  std::filesystem::path resolved = std::filesystem::weakly_canonical(native, error);
  if (error) resolved = std::filesystem::absolute(native, error).lexically_normal();
  if (error) resolved = native.lexically_normal();
  return InOneCase(Utf8FromPath(resolved));
}

std::string SameEntryKey(std::string_view path) {
  std::filesystem::path native = PathFromUtf8(path);
  std::filesystem::path name = native.filename();
  if (name.empty() || name == "." || name == "..") return SameFileKey(path);
  std::filesystem::path folder = native.parent_path();
  if (folder.empty()) folder = ".";
  return SameFileKey(Utf8FromPath(folder)) + "/" + InOneCase(Utf8FromPath(name));
}

bool IsConvertedFileName(std::string_view path) {
  return EndsWithIgnoringAsciiCase(path, "_tmp.kef");
}

std::vector<std::string> ProjectFilesUnder(const std::string& folder) {
  std::vector<std::string> files;
  for (const std::filesystem::directory_entry& entry :
       std::filesystem::recursive_directory_iterator(PathFromUtf8(folder))) {
    if (!entry.is_regular_file()) continue;
    std::string path = Utf8FromPath(entry.path());
    if (EndsWithIgnoringAsciiCase(path, ".kef") && !IsConvertedFileName(path)) {
      files.push_back(std::move(path));
    }
  }
  // the order of a folder listing depends on the file system; the byte order of the paths
  // does not
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace kefconvert::cli
