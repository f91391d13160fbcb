// kefconvert: converts project files of the old line layout to the element layout, each
// to NAME_tmp.kef beside it, and prints the path of every converted file.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "kefconvert/kefconvert.h"

namespace {

// Exit statuses; a file that fails outranks one that is not a project file.
constexpr int kAllConverted = 0;
constexpr int kSomeNotProjectFiles = 1;
constexpr int kSomeFailed = 2;
constexpr int kUsageError = 64;

constexpr std::string_view kUsage = "usage: kefconvert [--codepage N] FILE...\n";

constexpr std::string_view kHelp =
    "Converts project files of the old line layout (\"key=value\" settings under <Project>,\n"
    "<Database>, <Table> and <Field> markers) to the element layout of project version\n"
    "2.0.0.0. Each FILE is converted on its own; the result goes to a new file beside it,\n"
    "named after FILE less its last four characters, followed by _tmp.kef\n"
    "(shop.kef gives shop_tmp.kef), and that file's path is printed on its own line.\n"
    "FILE itself is never modified. A file that fails leaves its _tmp.kef empty.\n"
    "\n"
    "Options:\n"
    "  --codepage N   the ANSI code page the files are written in: 874 or 1250 to 1258\n"
    "                 (default 1252). Bytes are copied unchanged; the code page decides\n"
    "                 how characters above 0x7F are spelt in field variable names.\n"
    "  --help         print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Messages (on standard error):\n"
    "  kefconvert: FILE: not a project file of the old layout (first line is not <Project>)\n"
    "  kefconvert: FILE:LINE: DESCRIPTION (error NUMBER)\n"
    "  kefconvert: FILE: DESCRIPTION (error NUMBER)      when no line applies\n"
    "\n"
    "Error numbers:\n"
    "    5  Invalid procedure call or argument  the name is shorter than four characters,\n"
    "                                           or its last four hold a '/'\n"
    "    6  Overflow                            a 32768th table or field, a '=' at column\n"
    "                                           32767 or later, a field name of 32767 or\n"
    "                                           more characters\n"
    "   13  Type mismatch                       a field's Type is not a number\n"
    "   53  File not found\n"
    "   57  Device I/O error                    reading or writing failed\n"
    "   61  Disk full\n"
    "   62  Input past end of file              the file is empty\n"
    "   70  Permission denied\n"
    "   75  Path/File access error              e.g. a folder in place of the file\n"
    "   76  Path not found                      a folder on the path is missing\n"
    "  321  Invalid file format                 the sections are out of order, or a line\n"
    "                                           is a misspelt marker such as <table>\n"
    "\n"
    "Exit status: 0 when every file was converted, 1 when some file was not a project\n"
    "file (and none failed), 2 when some conversion failed, 64 for a wrong command line.\n";

void Report(const std::string& file, std::string_view message) {
  std::cerr << "kefconvert: " << file << ": " << message << '\n';
}

// Why a file is not a project file, as far as its first bytes tell.
std::string WhyNotProjectFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(200, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  if (head.starts_with("\xEF\xBB\xBF")) {
    return "it begins with a UTF-8 byte order mark; save it in the ANSI code page";
  }
  if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
    return "it is UTF-16 text; save it in the ANSI code page";
  }
  std::string line = head.substr(0, head.find('\n'));
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
    kefconvert::Convert converter(options);
    std::optional<std::string> converted = converter.ConvertProject(file);
    if (!converted) {
      Report(file, "not a project file of the old layout (first line is not <Project>)");
      Report(file, "note: " + WhyNotProjectFile(file));
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

}  // namespace

int main(int argc, char** argv) {
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
