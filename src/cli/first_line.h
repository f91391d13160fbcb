// What a file that is not a project file of the old layout is instead, as far as its first
// bytes tell: the converter hands them over in its report, so the file is read once.
#ifndef KEFCONVERT_CLI_FIRST_LINE_H_
#define KEFCONVERT_CLI_FIRST_LINE_H_

#include <string>
#include <string_view>

namespace kefconvert::cli {

/// True when `head`, a file's first bytes, starts with the project element of the new
/// layout: "<Project" followed by blanks and an attribute.
bool IsAlreadyConverted(std::string_view head);

/// Why a file that begins with `head` is not a project file of the old layout: a byte
/// order mark, an empty first line, or what its first line is.
std::string WhyNotProjectFile(std::string_view head);

}  // namespace kefconvert::cli

#endif  // KEFCONVERT_CLI_FIRST_LINE_H_
