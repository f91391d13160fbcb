#include "cli/options.h"

#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace kefconvert::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: kefconvert [--codepage N] [-i | --in-place[=SUFFIX] | --check | -o FILE]\n"
    "                  [--report[=json]] [-q] FILE|FOLDER...\n";

#ifdef _WIN32
#define KEFCONVERT_SEPARATORS "'/', '\\' or ':'"
#define KEFCONVERT_HELP_OPTION "  /?, -h, --help        print this help and exit\n"
#define KEFCONVERT_MORE "FILE may hold the wildcards * and ?, which the tool expands itself.\n"
#else
#define KEFCONVERT_SEPARATORS "'/'"
#define KEFCONVERT_HELP_OPTION "  -h, --help            print this help and exit\n"
#define KEFCONVERT_MORE "See kefconvert(1) for more.\n"
#endif

// The kefconvert(1) manual page says the same at more length; a test keeps the error
// table, the exit statuses and the options of the two in step.
constexpr std::string_view kHelp =
    "Converts project files of the old line layout (\"key=value\" settings under <Project>,\n"
    "<Database>, <Table> and <Field> markers) to the element layout of project version\n"
    "2.0.0.0. Each FILE is converted on its own, with a fresh converter, in the order given.\n"
    "A FOLDER stands for every *.kef file under it, subfolders included, in name order;\n"
    "converted files (*_tmp.kef) are left out.\n"
    "\n"
    "Output: the converted text goes to a new file beside FILE, named after FILE less its\n"
    "last four characters, followed by _tmp.kef (shop.kef gives shop_tmp.kef); a file of\n"
    "that name is replaced once the text is complete. The path of each converted file is\n"
    "printed on standard output, one per line. FILE itself is never modified, moved or\n"
    "deleted (but see -i). A file that fails, or is not a project file, creates no _tmp.kef\n"
    "and leaves an existing one as it was; the tool goes on with the next FILE.\n"
    "\n"
    "Skipped, with a note and without changing the exit status: a file already in the new\n"
    "layout, a file named *_tmp.kef (a converted file), and a file given twice.\n"
    "\n"
    "Options:\n"
    "  --codepage N          the ANSI code page the files are written in: 874, 1250 to\n"
    "                        1258, 932, 936, 949, 950 or 65001 (UTF-8), also as cp932,\n"
    "                        windows-1252 or utf-8; default 1252, on Windows the system's\n"
    "                        ANSI code page. Bytes are copied unchanged; the code page\n"
    "                        decides how they are read as characters in field variable\n"
    "                        names, in the limits and in the database file name.\n"
    "  -i, --in-place[=SUFFIX]\n"
    "                        replace each FILE by its converted text and keep the original\n"
    "                        as FILE followed by SUFFIX (default .bak). An existing backup\n"
    "                        is never replaced: the file is refused (error 58). A failure\n"
    "                        leaves FILE as it was and removes the backup it made.\n"
    "  --check               convert in memory and write nothing: errors, notes and, with\n"
    "                        --report, the report only\n"
    "  -o FILE, --output=FILE\n"
    "                        with one project file: write the converted text to FILE;\n"
    "                        -o - writes it to standard output\n"
    "  --report[=json]       after each converted file's path, what became of the lines\n"
    "                        that do not simply carry over, one per line:\n"
    "                          FILE:LINE: KIND: KEY (MESSAGE)\n"
    "                        KIND is dropped, unknown-key, rewritten, stray-text,\n"
    "                        inherited-type, filled-name, duplicate or looks-like-utf8.\n"
    "                        --report=json\n"
    "                        prints one JSON object per file instead of the paths:\n"
    "                          {\"file\", \"status\", \"output\", \"error\", \"events\"}\n"
    "  -q, --quiet           no notes and no summary: only the problems\n" KEFCONVERT_HELP_OPTION
    "  --version             print the version and exit\n"
    "  --                    end of options; every later argument is a FILE\n"
    "\n"
    "Messages (on standard error):\n"
    "  kefconvert: FILE:LINE: DESCRIPTION (error NUMBER)  LINE counts from 1\n"
    "  kefconvert: FILE: DESCRIPTION (error NUMBER)      when no line applies; FILE is the\n"
    "                                                    file the error is about\n"
    "  kefconvert: FILE: not a project file of the old layout (first line is not <Project>)\n"
    "  kefconvert: FILE: note: ...                       why: the reason for an error, the\n"
    "                                                    system's words, what the file\n"
    "                                                    begins with, why it was skipped\n"
    "  kefconvert: N converted, N skipped, N not a project file, N failed\n"
    "                                                    at the end, with more than one file\n"
    "\n"
    "Error numbers:\n"
    "    5  Invalid procedure call or argument  the name is shorter than four characters,\n"
    "                                           or its last four hold a " KEFCONVERT_SEPARATORS
    "\n"
    "    6  Overflow                            a 32768th table, or field in one table; a\n"
    "                                           '=' at column 32767 or later; a field name\n"
    "                                           of 32767 or more characters\n"
    "   13  Type mismatch                       a field's Type is not a number\n"
    "   53  File not found                      the file does not exist\n"
    "   57  Device I/O error                    reading or writing failed\n"
    "   58  File already exists                 the backup exists, or an earlier FILE\n"
    "                                           writes the same converted file\n"
    "   61  Disk full                           the disk is full\n"
    "   62  Input past end of file              the file is empty\n"
    "   70  Permission denied                   the file may not be read, or the output\n"
    "                                           file may not be written\n"
    "   75  Path/File access error              another failure to open or create, e.g. a\n"
    "                                           folder in place of the file\n"
    "   76  Path not found                      a folder on the path is missing\n"
    "  321  Invalid file format                 the sections are out of order or the\n"
    "                                           database section is missing, or a line is\n"
    "                                           a marker in the wrong letter case or with\n"
    "                                           a tab around it, such as <table>; a note\n"
    "                                           says which\n"
    "\n"
    "Exit status:\n"
    "   0  every file was converted or skipped\n"
    "   1  some file was not a project file of the old layout, and none failed\n"
    "   2  some conversion failed or was refused\n"
    "  64  wrong command line\n"
    "\n" KEFCONVERT_MORE;

std::nullopt_t UsageError(std::string_view message) {
  std::cerr << "kefconvert: " << message << '\n' << kUsage;
  return std::nullopt;
}

// a suffix with a separator would put the backup into another folder
bool IsValidSuffix(std::string_view suffix) {
#ifdef _WIN32
  constexpr std::string_view kSeparators = "/\\:";
#else
  constexpr std::string_view kSeparators = "/";
#endif
  return !suffix.empty() && suffix.find_first_of(kSeparators) == std::string_view::npos;
}

// "--name=value" or "--name value" (also "-o value" and "-ovalue" for a short name):
// the value, or no value when `arg` is not this option. `i` moves past a separate value.
std::optional<std::string_view> OptionValue(std::string_view arg, std::string_view long_name,
                                            std::string_view short_name, int argc, char** argv,
                                            int& i, bool& missing) {
  if (arg == long_name || (!short_name.empty() && arg == short_name)) {
    if (i + 1 == argc) {
      missing = true;
      return std::string_view();
    }
    return std::string_view(argv[++i]);
  }
  if (arg.size() > long_name.size() && arg.starts_with(long_name) && arg[long_name.size()] == '=') {
    return arg.substr(long_name.size() + 1);
  }
  if (!short_name.empty() && arg.size() > short_name.size() && arg.starts_with(short_name)) {
    return arg.substr(short_name.size());
  }
  return std::nullopt;
}

// -i, --check and -o choose where the text goes; only one of them may
bool SetDestination(CommandLine& command_line, Destination destination, bool& chosen) {
  if (chosen && command_line.destination != destination) return false;
  chosen = true;
  command_line.destination = destination;
  return true;
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(int argc, char** argv, int& exit_status) {
  CommandLine command_line;
#ifdef _WIN32
  // the files are in the system's ANSI code page unless --codepage says otherwise
  command_line.options.code_page = static_cast<int>(::GetACP());
#endif
  bool options_ended = false;
  bool destination_chosen = false;
  exit_status = kUsageError;
  constexpr std::string_view kOneDestination = "-i, --check and -o exclude one another";
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    bool missing = false;
    if (options_ended || arg.empty() || arg.front() != '-' || arg == "-") {
#ifdef _WIN32
      if (!options_ended && arg == "/?") {
        std::cout << kUsage << '\n' << kHelp;
        exit_status = kAllConverted;
        return std::nullopt;
      }
#endif
      command_line.files.emplace_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << '\n' << kHelp;
      exit_status = kAllConverted;
      return std::nullopt;
    } else if (arg == "--version") {
      std::cout << "kefconvert " << kVersion << '\n';
      exit_status = kAllConverted;
      return std::nullopt;
    } else if (auto value = OptionValue(arg, "--codepage", "", argc, argv, i, missing)) {
      if (missing) return UsageError("--codepage needs a value");
      std::optional<int> code_page = CodePageFromName(*value);
      if (!code_page) {
        std::cerr << "kefconvert: " << UnsupportedCodePageMessage(*value) << '\n';
        return std::nullopt;
      }
      command_line.options.code_page = *code_page;
    } else if (arg == "-i" || arg == "--in-place" || arg.starts_with("--in-place=")) {
      if (!SetDestination(command_line, Destination::kInPlace, destination_chosen)) {
        return UsageError(kOneDestination);
      }
      if (arg.starts_with("--in-place=")) {
        command_line.backup_suffix = arg.substr(arg.find('=') + 1);
        if (!IsValidSuffix(command_line.backup_suffix)) {
          return UsageError("the backup SUFFIX must be non-empty and hold no path separator");
        }
      }
    } else if (arg == "--check") {
      if (!SetDestination(command_line, Destination::kNowhere, destination_chosen)) {
        return UsageError(kOneDestination);
      }
    } else if (auto output = OptionValue(arg, "--output", "-o", argc, argv, i, missing)) {
      if (missing || output->empty()) return UsageError("-o needs a FILE, or -");
      Destination destination = *output == "-" ? Destination::kStandardOutput : Destination::kFile;
      if (!SetDestination(command_line, destination, destination_chosen)) {
        return UsageError(kOneDestination);
      }
      command_line.output = *output;
    } else if (arg == "--report" || arg == "--report=text") {
      command_line.report = ReportFormat::kText;
    } else if (arg == "--report=json") {
      command_line.report = ReportFormat::kJson;
    } else if (arg == "-q" || arg == "--quiet") {
      command_line.quiet = true;
    } else {
      return UsageError("unknown option '" + std::string(arg) + "'");
    }
  }
  if (command_line.files.empty()) {
    std::cerr << kUsage << "Try 'kefconvert --help' for more information.\n";
    return std::nullopt;
  }
  bool to_one_file = command_line.destination == Destination::kFile ||
                     command_line.destination == Destination::kStandardOutput;
  if (to_one_file && command_line.files.size() != 1) {
    return UsageError("-o takes exactly one project FILE");
  }
  if (command_line.destination == Destination::kStandardOutput &&
      command_line.report == ReportFormat::kJson) {
    return UsageError("-o - and --report=json both write to standard output");
  }
  if (!IsSupportedCodePage(command_line.options.code_page)) {
    // only the system's code page can be one that --codepage would refuse
    std::cerr << "kefconvert: the system's "
              << UnsupportedCodePageMessage(std::to_string(command_line.options.code_page))
              << "; name one with --codepage\n";
    return std::nullopt;
  }
  exit_status = kAllConverted;
  return command_line;
}

}  // namespace kefconvert::cli
