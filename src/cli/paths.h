// Paths as the tool handles them: UTF-8 strings, as the library takes them, turned into
// std::filesystem paths only where the tool looks at folders and compares files.
#ifndef KEFCONVERT_CLI_PATHS_H_
#define KEFCONVERT_CLI_PATHS_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kefconvert::cli {

/// The path that the UTF-8 string `path` names (on POSIX systems the bytes as they are).
std::filesystem::path PathFromUtf8(std::string_view path);
/// The UTF-8 string of `path`.
std::string Utf8FromPath(const std::filesystem::path& path);

/// A string that is the same for two paths of one file, existing or not: the absolute
/// path with links and "." and ".." resolved as far as they exist (and, on Windows, in
/// one letter case).
std::string SameFileKey(std::string_view path);

/// SameFileKey, and the key of a folder entry, for the files of one run. Resolving a path
/// asks the system about every part of it; most files of a run share a few folders, so a
/// folder's key is worked out once, and a regular file in a folder met before costs one
/// look at the file.
class PathKeys {
 public:
  std::string SameFile(std::string_view path);
  /// As SameFile, but a link as the last part of the path stays a name of its own: the key
  /// of the folder entry that a file written to `path` replaces.
  std::string SameEntry(std::string_view path);

 private:
  const std::string& FolderKey(const std::filesystem::path& folder);

  std::unordered_map<std::string, std::string> folders_;  // SameFileKey, by folder as given
};

/// True for a name that ends in "_tmp.kef" (in any letter case): what the tool writes.
bool IsConvertedFileName(std::string_view path);

/// Every project file under `folder`, in every subfolder: files whose names end in ".kef"
/// in any letter case, converted files left out, sorted by path. Throws
/// std::filesystem::filesystem_error when a folder cannot be read.
std::vector<std::string> ProjectFilesUnder(const std::string& folder);

}  // namespace kefconvert::cli

#endif  // KEFCONVERT_CLI_PATHS_H_
