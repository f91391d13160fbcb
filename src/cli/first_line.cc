#include "cli/first_line.h"

#include "cli/reporting.h"

namespace kefconvert::cli {
namespace {

constexpr std::size_t kShownCharacters = 60;

std::string_view FirstLine(std::string_view head) {
  std::string_view line = head.substr(0, head.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}

}  // namespace

bool IsAlreadyConverted(std::string_view head) {
  constexpr std::string_view kOpening = "<Project";
  std::string_view line = FirstLine(head);
  if (!line.starts_with(kOpening)) return false;
  line.remove_prefix(kOpening.size());
  std::size_t name = line.find_first_not_of(" \t");
  // the old layout's marker is "<Project>" alone; the new element has attributes
  return name != 0 && name != std::string_view::npos && IsNameStart(line[name]) &&
         line.find('=', name) != std::string_view::npos;
}

std::string WhyNotProjectFile(std::string_view head) {
  if (head.starts_with("\xEF\xBB\xBF")) {
    return "it begins with a UTF-8 byte order mark; use --codepage 65001, or save it in the "
           "ANSI code page";
  }
  if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
    return "it is UTF-16 text; save it in the ANSI code page";
  }
  std::string_view line = FirstLine(head);
  if (line.empty()) return "its first line is empty";
  std::string shown = Printable(line.substr(0, kShownCharacters));
  if (line.size() > kShownCharacters) shown += "...";
  return "its first line is \"" + shown + "\"";
}

}  // namespace kefconvert::cli
