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

namespace {

// `folder_key`, a resolved folder, with `name` in it
std::string InFolder(const std::string& folder_key, const std::filesystem::path& name) {
  std::string key = folder_key;
  if (key.empty() || key.back() != '/') key += '/';
  return key + InOneCase(Utf8FromPath(name));
}

// A name that is a file of its own in its folder: not empty, "." or "..".
bool NamesAnEntry(const std::filesystem::path& name) {
  return !name.empty() && name != "." && name != "..";
}

}  // namespace

const std::string& PathKeys::FolderKey(const std::filesystem::path& folder) {
  std::string given = Utf8FromPath(folder.empty() ? std::filesystem::path(".") : folder);
  auto found = folders_.find(given);
  if (found == folders_.end()) found = folders_.emplace(given, SameFileKey(given)).first;
  return found->second;
}

std::string PathKeys::SameFile(std::string_view path) {
#ifdef _WIN32
  // letter case, short names and reparse points: Windows resolves the whole path
  return SameFileKey(path);
#else
  std::filesystem::path native = PathFromUtf8(path);
  std::filesystem::path name = native.filename();
  std::error_code error;
  // fast path: a regular file, no link, is where its folder resolves to
  if (!NamesAnEntry(name) || std::filesystem::symlink_status(native, error).type() !=
                                 std::filesystem::file_type::regular) {
    return SameFileKey(path);
  }
  return InFolder(FolderKey(native.parent_path()), name);
#endif
}

std::string PathKeys::SameEntry(std::string_view path) {
  std::filesystem::path native = PathFromUtf8(path);
  std::filesystem::path name = native.filename();
  if (!NamesAnEntry(name)) return SameFileKey(path);
  return InFolder(FolderKey(native.parent_path()), name);
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
