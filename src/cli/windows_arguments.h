// The command line as Windows hands it over: UTF-16, with wildcards unexpanded, since
// cmd.exe leaves that to each program.
#ifndef KEFCONVERT_CLI_WINDOWS_ARGUMENTS_H_
#define KEFCONVERT_CLI_WINDOWS_ARGUMENTS_H_

#include <string>
#include <vector>

namespace kefconvert::cli {

/// The arguments as UTF-8, argv[0] first, with each FILE argument that holds "*" or "?"
/// in its last part replaced by the names that match it, in name order (the argument
/// stays as it is when none does).
std::vector<std::string> ExpandedArguments(int argc, wchar_t** argv);

}  // namespace kefconvert::cli

#endif  // KEFCONVERT_CLI_WINDOWS_ARGUMENTS_H_
