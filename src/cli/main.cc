// kefconvert: converts project files of the old line layout to the element layout, each
// to NAME_tmp.kef beside it (or in place, to one file, or into nothing as a check), and
// prints the path of every converted file.
#include <csignal>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/options.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "cli/windows_arguments.h"
#endif

namespace {

int Main(int argc, char** argv) {
  int exit_status = 0;
  std::optional<kefconvert::cli::CommandLine> command_line =
      kefconvert::cli::ParseCommandLine(argc, argv, exit_status);
  if (!command_line) return exit_status;
  kefconvert::cli::Batch batch(*command_line);
  return batch.Run();
}

}  // namespace

#ifdef _WIN32
// Windows hands the command line over in UTF-16 and leaves wildcards to the program; the
// library takes UTF-8 paths, and the console is told to show the UTF-8 that the tool
// prints, until the tool ends.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args = kefconvert::cli::ExpandedArguments(argc, wargv);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  UINT console_code_page = ::GetConsoleOutputCP();
  ::SetConsoleOutputCP(CP_UTF8);
  int status = Main(static_cast<int>(args.size()), argv.data());
  if (console_code_page != 0) ::SetConsoleOutputCP(console_code_page);
  return status;
}
#else
int main(int argc, char** argv) {
  // an over-size file fails with "Disk full" and the tool goes on with the next FILE;
  // SIGINT and SIGTERM, left as they are, abandon the conversion in progress
  std::signal(SIGXFSZ, SIG_IGN);
  return Main(argc, argv);
}
#endif
