#include "cli/windows_arguments.h"

#include <algorithm>
#include <string_view>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kefconvert::cli {
namespace {

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
  return utf8;
}

wchar_t Folded(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// "*" and "?" as cmd.exe users know them, without regard to letter case. FindFirstFileW
// also matches the short 8.3 names ("*.kef" finds "a.kefold" through "A~1.KEF"); this
// keeps to the names as they are shown.
bool Matches(std::wstring_view pattern, std::wstring_view name) {
  std::size_t p = 0, n = 0, star = std::wstring_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || Folded(pattern[p]) == Folded(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      resume = n;
    } else if (star != std::wstring_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

// The names that match `pattern` in its folder, with the folder as written in front.
std::vector<std::wstring> Expand(const std::wstring& pattern) {
  std::size_t separator = pattern.find_last_of(L"\\/:");
  std::wstring folder = separator == std::wstring::npos ? L"" : pattern.substr(0, separator + 1);
  std::wstring last = pattern.substr(folder.size());
  std::vector<std::wstring> names;
  if (last.find_first_of(L"*?") == std::wstring::npos) return names;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring_view name = found.cFileName;
    if (name == L"." || name == L".." || !Matches(last, name)) continue;
    names.push_back(folder + std::wstring(name));
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// options whose value is the next argument; the value is no FILE
bool TakesValue(std::wstring_view option) {
  return option == L"--codepage" || option == L"-o" || option == L"--output";
}

}  // namespace

std::vector<std::string> ExpandedArguments(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  bool options_ended = false;
  for (int i = 0; i < argc; ++i) {
    std::wstring_view argument = argv[i];
    bool file = i > 0 && (options_ended || argument.empty() || argument.front() != L'-');
    if (!options_ended && argument == L"--") options_ended = true;
    if (!file) {
      arguments.push_back(Utf8FromWide(argument));
      if (!options_ended && TakesValue(argument) && i + 1 < argc) {
        arguments.push_back(Utf8FromWide(argv[++i]));
      }
      continue;
    }
    std::vector<std::wstring> names = Expand(std::wstring(argument));
    if (names.empty()) {
      arguments.push_back(Utf8FromWide(argument));
    } else {
      for (const std::wstring& name : names) arguments.push_back(Utf8FromWide(name));
    }
  }
  return arguments;
}

}  // namespace kefconvert::cli
