// The tool's command line: what to convert, where the converted text goes, and what to
// tell about it; the usage and help texts that describe it.
#ifndef KEFCONVERT_CLI_OPTIONS_H_
#define KEFCONVERT_CLI_OPTIONS_H_

#include <optional>
#include <string>
#include <vector>

#include "kefconvert/kefconvert.h"

namespace kefconvert::cli {

// Exit statuses; a file that fails outranks one that is not a project file.
constexpr int kAllConverted = 0;
constexpr int kSomeNotProjectFiles = 1;
constexpr int kSomeFailed = 2;
constexpr int kUsageError = 64;

/// Where the converted text goes.
enum class Destination {
  kBeside,          ///< NAME_tmp.kef beside the project file
  kInPlace,         ///< the project file itself, after a backup
  kFile,            ///< the one file named by -o
  kStandardOutput,  ///< -o -
  kNowhere,         ///< --check
};

enum class ReportFormat { kNone, kText, kJson };

struct CommandLine {
  Options options;
  Destination destination = Destination::kBeside;
  std::string backup_suffix = ".bak";
  std::string output;  ///< the file named by -o
  ReportFormat report = ReportFormat::kNone;
  bool quiet = false;
  std::vector<std::string> files;  ///< files and folders, as given
};

/// Reads the arguments. No value when the tool ends here: after --help or --version, or
/// for a wrong command line, which is reported on standard error; `exit_status` then says
/// with what.
std::optional<CommandLine> ParseCommandLine(int argc, char** argv, int& exit_status);

}  // namespace kefconvert::cli

#endif  // KEFCONVERT_CLI_OPTIONS_H_
