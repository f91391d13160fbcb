// kefconvert: converts project files of the old line layout to the element layout, each
// to NAME_tmp.kef beside it, and prints the path of every converted file.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/first_bytes.h"
#include "kefconvert/kefconvert.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

// Exit statuses; a file that fails outranks one that is not a project file.
constexpr int kAllConverted = 0;
constexpr int kSomeNotProjectFiles = 1;
constexpr int kSomeFailed = 2;
constexpr int kUsageError = 64;

constexpr std::string_view kUsage = "usage: kefconvert [--codepage N] FILE...\n";

// The kefconvert(1) manual page says the same at more length; a test keeps the error
// table and the exit statuses of the two in step.
constexpr std::string_view kHelp =
    "Converts project files of the old line layout (\"key=value\" settings under <Project>,\n"
    "<Database>, <Table> and <Field> markers) to the element layout of project version\n"
    "2.0.0.0. Each FILE is converted on its own, with a fresh converter, in the order given.\n"
    "\n"
    "Output: the converted text goes to a new file beside FILE, named after FILE less its\n"
    "last four characters, followed by _tmp.kef (shop.kef gives shop_tmp.kef); a file of\n"
    "that name is replaced. The path of each converted file is printed on standard output,\n"
    "one per line. FILE itself is never modified, moved or deleted. A file that fails, or\n"
    "is not a project file, leaves its _tmp.kef empty; the tool goes on with the next FILE.\n"
    "\n"
    "Options:\n"
    "  --codepage N   the ANSI code page the files are written in: 874 or 1250 to 1258\n"
    "                 (default 1252). Bytes are copied unchanged; the code page decides\n"
    "                 how characters above 0x7F are spelt in field variable names.\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "  --             end of options; every later argument is a FILE\n"
    "\n"
    "Messages (on standard error):\n"
    "  kefconvert: FILE:LINE: DESCRIPTION (error NUMBER)  LINE counts from 1\n"
    "  kefconvert: FILE: DESCRIPTION (error NUMBER)      when no line applies\n"
    "  kefconvert: FILE: not a project file of the old layout (first line is not <Project>)\n"
    "  kefconvert: FILE: note: ...                       what the file begins with instead\n"
    "\n"
    "Error numbers:\n"
    "    5  Invalid procedure call or argument  the name is shorter than four characters,\n"
    "                                           or its last four hold a '/'\n"
    "    6  Overflow                            a 32768th table, or field in one table; a\n"
    "                                           '=' at column 32767 or later; a field name\n"
    "                                           of 32767 or more characters\n"
    "   13  Type mismatch                       a field's Type is not a number\n"
    "   53  File not found                      the file does not exist\n"
    "   57  Device I/O error                    reading or writing failed\n"
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
    "                                           a tab around it, such as <table>\n"
    "\n"
    "Exit status:\n"
    "   0  every file was converted\n"
    "   1  some file was not a project file of the old layout, and none failed\n"
    "   2  some conversion failed\n"
    "  64  wrong command line\n"
    "\n"
    "See kefconvert(1) for more.\n";

void Report(const std::string& file, std::string_view message) {
  std::cerr << "kefconvert: " << file << ": " << message << '\n';
}

// Why a file is not a project file, as far as its first bytes tell.
std::string WhyNotProjectFile(std::string_view head) {
  if (head.starts_with("\xEF\xBB\xBF")) {
    return "it begins with a UTF-8 byte order mark; save it in the ANSI code page";
  }
  if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
    return "it is UTF-16 text; save it in the ANSI code page";
  }
  std::string line(head.substr(0, head.find('\n')));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return "its first line is empty";
  std::string shown;
  for (char c : line.substr(0, 60)) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", byte);
      shown += code;
    } else {
      shown += c;
    }
  }
  if (line.size() > 60) shown += "...";
  return "its first line is \"" + shown + "\"";
}

int ConvertOne(const std::string& file, const kefconvert::Options& options) {
  try {
    kefconvert::cli::FirstBytesKept files(200);
    kefconvert::Convert converter(options, files);
    std::optional<std::string> converted = converter.ConvertProject(file);
    if (!converted) {
      Report(file, "not a project file of the old layout (first line is not <Project>)");
      Report(file, "note: " + WhyNotProjectFile(files.bytes()));
      return kSomeNotProjectFiles;
    }
    std::cout << *converted << '\n';
    return kAllConverted;
  } catch (const kefconvert::Error& error) {
    std::string where = file;
    if (error.line() > 0) where += ":" + std::to_string(error.line());
    std::cerr << "kefconvert: " << where << ": " << error.description() << " (error "
              << error.number() << ")\n";
  } catch (const std::bad_alloc&) {
    Report(file, "out of memory");
  }
  return kSomeFailed;
}

bool ParseCodePage(std::string_view text, int& code_page) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code_page);
  return error == std::errc() && end == text.data() + text.size() &&
         kefconvert::IsSupportedCodePage(code_page);
}

#ifdef _WIN32
std::string Utf8FromWide(const wchar_t* text) {
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
}
#endif

int Main(int argc, char** argv) {
  kefconvert::Options options;
  std::vector<std::string> files;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (options_ended || arg.empty() || arg.front() != '-' || arg == "-") {
      files.emplace_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << '\n' << kHelp;
      return kAllConverted;
    } else if (arg == "--version") {
      std::cout << "kefconvert " << kefconvert::kVersion << '\n';
      return kAllConverted;
    } else if (arg == "--codepage" || arg.starts_with("--codepage=")) {
      std::string_view value;
      if (arg == "--codepage") {
        if (++i == argc) {
          std::cerr << "kefconvert: --codepage needs a value\n" << kUsage;
          return kUsageError;
        }
        value = argv[i];
      } else {
        value = arg.substr(std::strlen("--codepage="));
      }
      if (!ParseCodePage(value, options.code_page)) {
        std::cerr << "kefconvert: unsupported code page '" << value
                  << "' (use 874 or 1250 to 1258)\n";
        return kUsageError;
      }
    } else {
      std::cerr << "kefconvert: unknown option '" << arg << "'\n" << kUsage;
      return kUsageError;
    }
  }
  if (files.empty()) {
    std::cerr << kUsage << "Try 'kefconvert --help' for more information.\n";
    return kUsageError;
  }
  int status = kAllConverted;
  for (const std::string& file : files) {
    int result = ConvertOne(file, options);
    if (result > status) status = result;
  }
  return status;
}

}  // namespace

#ifdef _WIN32
// Windows hands the command line over in UTF-16; the library takes UTF-8 paths, and the
// console is told to show the UTF-8 that the tool prints, until the tool ends.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8FromWide(wargv[i]));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  UINT console_code_page = ::GetConsoleOutputCP();
  ::SetConsoleOutputCP(CP_UTF8);
  int status = Main(argc, argv.data());
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
