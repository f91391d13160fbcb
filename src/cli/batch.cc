#include "cli/batch.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <new>
#include <system_error>

#include "cli/backup.h"
#include "cli/first_line.h"
#include "cli/paths.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace kefconvert::cli {
namespace {

// the tool's own error, beside the library's: a file it will not write over
constexpr int kFileAlreadyExists = 58;
constexpr std::string_view kFileAlreadyExistsText = "File already exists";
// out of memory, with the automation runtime's number
constexpr int kOutOfMemory = 7;

bool HasEvent(const std::vector<Event>& events, EventKind kind) {
  for (const Event& event : events) {
    if (event.kind == kind) return true;
  }
  return false;
}

std::string DescriptionOf(int number) {
  if (number == kFileAlreadyExists) return std::string(kFileAlreadyExistsText);
  return std::string(ErrorDescription(number));
}

class NoSink : public Sink {
 public:
  void Write(std::string_view) override {}
};

class StandardOutputSink : public Sink {
 public:
  void Write(std::string_view text) override {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
};

// the error numbers of a folder that cannot be listed, as the library's file errors
int FolderErrorNumber(const std::error_code& error) {
  if (error == std::errc::permission_denied) return kPermissionDenied;
  if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
    return kPathNotFound;
  }
  return kPathFileAccessError;
}

// A wildcard that the tool expanded itself and that matched nothing stays as it was given;
// Windows allows neither "*" nor "?" in a file name.
bool IsUnmatchedPattern([[maybe_unused]] std::string_view file) {
#ifdef _WIN32
  if (file.starts_with("\\\\?\\")) file.remove_prefix(4);  // the long path prefix "\\?\"
  return file.find_first_of("*?") != std::string_view::npos;
#else
  return false;
#endif
}

std::string Counted(int count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace

Batch::Batch(const CommandLine& command_line)
    : command_line_(command_line), messages_(command_line.quiet) {}

int Batch::Run() {
  if (command_line_.destination == Destination::kFile ||
      command_line_.destination == Destination::kStandardOutput) {
    std::error_code error;
    if (std::filesystem::is_directory(PathFromUtf8(command_line_.files.front()), error)) {
      std::cerr << "kefconvert: -o takes a project FILE, not a folder\n";
      return kUsageError;
    }
  }
#ifdef _WIN32
  // the converted text goes out byte for byte: no LF becomes CR LF
  if (command_line_.destination == Destination::kStandardOutput) {
    _setmode(_fileno(stdout), _O_BINARY);
  }
#endif
  for (const std::string& argument : command_line_.files) HandleArgument(argument);
  PrintSummary();
  return exit_status_;
}

void Batch::HandleArgument(const std::string& argument) {
  std::error_code error;
  if (std::filesystem::is_directory(PathFromUtf8(argument), error)) {
    HandleFolder(argument);
  } else {
    HandleFile(argument);
  }
}

void Batch::HandleFolder(const std::string& folder) {
  std::vector<std::string> files;
  try {
    files = ProjectFilesUnder(folder);
  } catch (const std::filesystem::filesystem_error& error) {
    Outcome outcome;
    outcome.file = folder;
    int number = FolderErrorNumber(error.code());
    Failure failure{number, 0, DescriptionOf(number)};
    std::string where = error.path1().empty() ? folder : Utf8FromPath(error.path1());
    outcome.status = Status::kFailed;
    outcome.failure = failure;
    messages_.Failed(where, failure);
    messages_.Note(where, "the folder cannot be listed: " + error.code().message());
    Record(outcome);
    return;
  }
  if (files.empty()) messages_.Note(folder, "no project files (*.kef) in this folder");
  for (const std::string& file : files) HandleFile(file);
}

void Batch::HandleFile(const std::string& file) {
  Outcome outcome;
  outcome.file = file;
  try {
    Destination destination = command_line_.destination;
    bool named_output =
        destination == Destination::kFile || destination == Destination::kStandardOutput;
    if (IsUnmatchedPattern(file)) {
      Refused(outcome, file, kFileNotFound, "no file matches this name");
    } else if (!named_output && IsConvertedFileName(file)) {
      Skipped(outcome, "a converted file (its name ends in _tmp.kef); not converted again");
    } else if (auto [first, added] = projects_.try_emplace(path_keys_.SameFile(file), file);
               !added) {
      Skipped(outcome, "given before as " + first->second + "; not converted again");
    } else {
      switch (destination) {
        case Destination::kBeside: ConvertBeside(outcome); break;
        case Destination::kInPlace: ConvertInPlace(outcome); break;
        case Destination::kFile: ConvertToFile(outcome, command_line_.output); break;
        case Destination::kStandardOutput: ConvertToStandardOutput(outcome); break;
        case Destination::kNowhere: Check(outcome); break;
      }
    }
  } catch (const std::bad_alloc&) {
    outcome.status = Status::kFailed;
    outcome.failure = Failure{kOutOfMemory, 0, "Out of memory"};
    messages_.Problem(file, "out of memory");
  }
  Record(outcome);
}

void Batch::ConvertBeside(Outcome& outcome) {
  const std::string& file = outcome.file;
  std::string output;
  try {
    output = ConvertedFileName(file);
  } catch (const Error& error) {
    Failed(outcome, error, {});
    messages_.Note(file,
                   "the converted file's name drops the last four characters of this name, "
                   "and all four must belong to the file's own name");
    return;
  }
  if (auto [first, added] = outputs_.try_emplace(path_keys_.SameEntry(output), file); !added) {
    Refused(outcome, file, kFileAlreadyExists,
            "its converted file " + output + " is that of " + first->second +
                ", given before; not converted");
    return;
  }
  ConvertToFile(outcome, output);
}

void Batch::ConvertToFile(Outcome& outcome, const std::string& output) {
  const std::string& file = outcome.file;
  bool converted = Attempt(
      outcome,
      [&](Convert& converter, Report& report) {
        return converter.ConvertProjectTo(file, output, &report);
      },
      output);
  if (converted) outcome.output = output;
}

void Batch::ConvertInPlace(Outcome& outcome) {
  const std::string& file = outcome.file;
  std::string backup = file + command_line_.backup_suffix;
  BackupFailure backup_failure;
  if (!MakeBackup(file, backup, backup_failure)) {
    // Converting into nothing tells a file that needs no backup (already converted, not a
    // project file) and one whose own error says more from one that would be converted.
    NoSink nothing;
    bool convertible = Attempt(outcome,
                               [&](Convert& converter, Report& report) {
                                 return converter.ConvertProjectTo(file, nothing, &report);
                               },
                               {});
    if (!convertible) return;
    outcome.events.clear();
    std::string note =
        backup_failure.number == kFileAlreadyExists
            ? "the backup of " + file +
                  " exists already; not converted (move the backup away, or choose another "
                  "suffix with --in-place=SUFFIX)"
            : "the backup of " + file + " cannot be made: " + backup_failure.reason +
                  "; not converted";
    Refused(outcome, backup, backup_failure.number, note);
    return;
  }
  bool converted = Attempt(
      outcome,
      [&](Convert& converter, Report& report) {
        return converter.ConvertProjectTo(file, file, &report);
      },
      file);
  if (converted) {
    outcome.output = file;
  } else if (!RemoveBackup(backup)) {
    messages_.Note(backup, "the backup made for " + file + " could not be removed");
  }
}

void Batch::ConvertToStandardOutput(Outcome& outcome) {
  const std::string& file = outcome.file;
  StandardOutputSink standard_output;
  Attempt(outcome,
          [&](Convert& converter, Report& report) {
            return converter.ConvertProjectTo(file, standard_output, &report);
          },
          {});
  std::cout.flush();
}

void Batch::Check(Outcome& outcome) {
  const std::string& file = outcome.file;
  NoSink nothing;
  Attempt(outcome,
          [&](Convert& converter, Report& report) {
            return converter.ConvertProjectTo(file, nothing, &report);
          },
          {});
}

// Runs one of the library's conversions with a fresh converter and a report. True when the
// file was converted; otherwise the outcome says why not.
bool Batch::Attempt(Outcome& outcome, const Conversion& conversion, std::string_view output) {
  Convert converter(command_line_.options);
  Report report;
  // the first bytes are always wanted, to tell why a file is not converted
  report.events_wanted = command_line_.report != ReportFormat::kNone;
  try {
    bool converted = conversion(converter, report);
    outcome.events = std::move(report.events);
    if (!converted) NotConverted(outcome, report.head);
    if (converted && HasEvent(outcome.events, EventKind::kLooksLikeUtf8)) {
      messages_.Note(outcome.file, "looks like UTF-8; use --codepage 65001");
    }
    return converted;
  } catch (const Error& error) {
    // a failed conversion reports the lines before the failure
    outcome.events = std::move(report.events);
    Failed(outcome, error, output);
    return false;
  }
}

// The file is not a project file of the old layout: what its first bytes tell instead.
void Batch::NotConverted(Outcome& outcome, std::string_view head) {
  if (IsAlreadyConverted(head)) {
    Skipped(outcome, "already converted (its first line is the new layout's); skipped");
    return;
  }
  outcome.status = Status::kNotAProject;
  messages_.Problem(outcome.file,
                    "not a project file of the old layout (first line is not <Project>)");
  messages_.Note(outcome.file, WhyNotProjectFile(head));
}

void Batch::Failed(Outcome& outcome, const Error& error, std::string_view output) {
  Failure failure{error.number(), error.line(), std::string(error.description())};
  outcome.status = Status::kFailed;
  outcome.failure = failure;
  bool about_output = error.file() == FileRole::kConvertedFile && !output.empty();
  // an error about the converted file names that file
  std::string where = about_output ? std::string(output) : outcome.file;
  messages_.Failed(where, failure);
  std::string place = where;
  if (failure.line > 0) place.append(1, ':').append(std::to_string(failure.line));
  if (!error.reason().empty()) messages_.Note(place, error.reason());
  std::string_view system = error.system_reason();
  bool tells_more = !system.empty() && system != failure.description;
  if (about_output) {
    std::string note = output == outcome.file
                           ? "the converted text cannot replace the file, which is as it was"
                           : "the converted file of " + outcome.file + " cannot be written";
    messages_.Note(place, tells_more ? note + ": " + std::string(system) : note);
  } else if (tells_more) {
    messages_.Note(place, system);
  }
}

void Batch::Refused(Outcome& outcome, std::string_view where, int number, std::string_view note) {
  Failure failure{number, 0, DescriptionOf(number)};
  outcome.status = Status::kFailed;
  outcome.failure = failure;
  messages_.Failed(where, failure);
  messages_.Note(where, note);
}

void Batch::Skipped(Outcome& outcome, std::string_view note) {
  outcome.status = Status::kSkipped;
  messages_.Note(outcome.file, note);
}

void Batch::Record(const Outcome& outcome) {
  switch (outcome.status) {
    case Status::kConverted: ++converted_; break;
    case Status::kSkipped: ++skipped_; break;
    case Status::kNotAProject:
      ++not_projects_;
      exit_status_ = std::max(exit_status_, kSomeNotProjectFiles);
      break;
    case Status::kFailed:
      ++failed_;
      exit_status_ = std::max(exit_status_, kSomeFailed);
      break;
  }
  if (command_line_.report == ReportFormat::kJson) {
    std::cout << JsonLine(outcome) << '\n';
    return;
  }
  if (outcome.output) std::cout << *outcome.output << '\n';
  if (command_line_.report == ReportFormat::kText) {
    // standard output may hold the converted text itself
    std::ostream& out =
        command_line_.destination == Destination::kStandardOutput ? std::cerr : std::cout;
    for (const Event& event : outcome.events) out << ReportLine(outcome.file, event) << '\n';
  }
}

void Batch::PrintSummary() const {
  int files = converted_ + skipped_ + not_projects_ + failed_;
  if (files < 2) return;
  messages_.Summary(std::to_string(converted_) + " converted, " + std::to_string(skipped_) +
                    " skipped, " +
                    Counted(not_projects_, "not a project file", "not project files") + ", " +
                    std::to_string(failed_) + " failed");
}

}  // namespace kefconvert::cli
