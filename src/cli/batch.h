// One run of the tool: every file the arguments name, folders expanded, converted one
// after another to where the command line says, with what became of each told on the
// way and a summary at the end.
#ifndef KEFCONVERT_CLI_BATCH_H_
#define KEFCONVERT_CLI_BATCH_H_

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "cli/paths.h"
#include "cli/reporting.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::cli {

class Batch {
 public:
  explicit Batch(const CommandLine& command_line);
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  /// Converts every file and folder of the command line, in order; returns the exit
  /// status.
  int Run();

 private:
  using Conversion = std::function<bool(Convert& converter, Report& report)>;

  void HandleArgument(const std::string& argument);
  void HandleFolder(const std::string& folder);
  void HandleFile(const std::string& file);
  void ConvertBeside(Outcome& outcome);
  void ConvertInPlace(Outcome& outcome);
  void ConvertToFile(Outcome& outcome, const std::string& output);
  void ConvertToStandardOutput(Outcome& outcome);
  void Check(Outcome& outcome);

  bool Attempt(Outcome& outcome, const Conversion& conversion, std::string_view output);
  void NotConverted(Outcome& outcome, std::string_view head);
  void Failed(Outcome& outcome, const Error& error, std::string_view output);
  void Refused(Outcome& outcome, std::string_view where, int number, std::string_view note);
  void Skipped(Outcome& outcome, std::string_view note);
  void Record(const Outcome& outcome);
  void PrintSummary() const;

  const CommandLine& command_line_;
  Messages messages_;
  PathKeys path_keys_;
  std::map<std::string, std::string> projects_;  // the files handled, by PathKeys::SameFile
  std::map<std::string, std::string> outputs_;   // the project file of each converted file
  int converted_ = 0;
  int skipped_ = 0;
  int not_projects_ = 0;
  int failed_ = 0;
  int exit_status_ = kAllConverted;
};

}  // namespace kefconvert::cli

#endif  // KEFCONVERT_CLI_BATCH_H_
