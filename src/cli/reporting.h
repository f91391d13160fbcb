// What the tool tells about each file: its outcome, the migration report as readable lines
// or as one JSON object, and the messages on standard error. The JSON object's shape is a
// contract that scripts rely on; the manual page documents it.
#ifndef KEFCONVERT_CLI_REPORTING_H_
#define KEFCONVERT_CLI_REPORTING_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kefconvert/kefconvert.h"

namespace kefconvert::cli {

enum class Status { kConverted, kSkipped, kNotAProject, kFailed };

/// "converted", "skipped", "not-a-project" or "failed".
std::string_view StatusName(Status status);

/// A failure as scripts see it.
struct Failure {
  int number = 0;
  std::int64_t line = 0;  ///< 0 when no line applies
  std::string description;
};

/// What became of one file.
struct Outcome {
  std::string file;
  Status status = Status::kConverted;
  std::optional<std::string> output;  ///< where the converted text went, when it went to a file
  std::optional<Failure> failure;
  std::vector<Event> events;
};

/// `text` with control characters written as \xNN, so that a message stays on its line.
std::string Printable(std::string_view text);

/// `text` as a JSON string, quotes included. UTF-8 is copied; a byte that is not part of a
/// UTF-8 character is written as the escape \udcXX (XX the byte), as Python's
/// "surrogateescape" error handler reads and writes it.
std::string JsonString(std::string_view text);

/// The outcome as one line of JSON, without the line end:
/// {"file": ..., "status": ..., "output": ..., "error": ..., "events": [...]}.
std::string JsonLine(const Outcome& outcome);

/// "FILE:LINE: KIND: KEY (MESSAGE)", or "FILE:LINE: KIND (MESSAGE)" for an event without a
/// key.
std::string ReportLine(std::string_view file, const Event& event);

/// The messages on standard error, each "kefconvert: WHERE: TEXT". Notes say why and
/// what was skipped; quiet leaves them out.
class Messages {
 public:
  explicit Messages(bool quiet) : quiet_(quiet) {}

  void Problem(std::string_view where, std::string_view text) const;
  /// "DESCRIPTION (error NUMBER)", WHERE followed by ":LINE" when a line applies.
  void Failed(std::string_view where, const Failure& failure) const;
  void Note(std::string_view where, std::string_view text) const;
  /// A line of its own: "kefconvert: TEXT"; left out when quiet.
  void Summary(std::string_view text) const;

 private:
  bool quiet_;
};

}  // namespace kefconvert::cli

#endif  // KEFCONVERT_CLI_REPORTING_H_
