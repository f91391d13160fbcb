// Fuzz target: arbitrary bytes as a project file, converted whole. Beyond not crashing,
// every input must give a converted file that is well formed, the "not a project file"
// answer exactly when the first line is not "<Project>", or one of the documented errors
// with a fitting line; a failure leaves the converted file empty, and the project file is
// never changed.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "kefconvert/kefconvert.h"
#include "memory_file_system.h"
#include "output_check.h"

namespace kefconvert::fuzz {
namespace {

const std::string kProjectPath = "/work/shop.kef";
const std::string kConvertedPath = "/work/shop_tmp.kef";

// A read size between 1 and 64 bytes that differs from input to input, so that line ends
// land on every place of the reader's blocks.
std::size_t ReadPieceFor(std::string_view input) {
  std::uint32_t hash = 2166136261u;
  for (char c : input) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return 1 + hash % 64;
}

void CheckFailure(const Error& error, const std::vector<std::string_view>& lines) {
  auto line_count = static_cast<std::int64_t>(lines.size());
  switch (error.number()) {
    case kInputPastEndOfFile:
      Check(lines.empty() && error.line() == 0, "error 62 for a file that is not empty");
      break;
    case kOverflow:
    case kTypeMismatch:
    case kInvalidFileFormat: {
      // the end of a file without a database names the last line, which may be the first
      std::int64_t first = error.number() == kInvalidFileFormat ? 1 : 2;
      Check(error.line() >= first && error.line() <= line_count, "error line outside the file");
      Check(Blankless(lines[0]) == "<Project>", "a content error in a file that is no project");
      break;
    }
    default: FailCheck("an error that no project text can cause: " + std::string(error.what()));
  }
  Check(error.description() == ErrorDescription(error.number()) && !error.description().empty(),
        "an error without its description");
}

void ConvertOne(std::string_view input) {
  MemoryFileSystem files(ReadPieceFor(input));
  files.Put(kProjectPath, input);
  std::vector<std::string_view> lines = SplitLines(input);

  Convert converter(Options{}, files);
  std::optional<std::string> result;
  bool failed = false;
  try {
    result = converter.ConvertProject(kProjectPath);
  } catch (const Error& error) {
    failed = true;
    CheckFailure(error, lines);
  }

  const std::string* project = files.Find(kProjectPath);
  Check(project != nullptr && *project == input, "the project file changed");
  const std::string* converted = files.Find(kConvertedPath);
  Check(converted != nullptr && files.creates() == 1, "the converted file was not created once");
  Check(files.writes() <= 1, "the converted text was written in more than one piece");

  if (failed || !result) {
    Check(converted->empty(), "a failure or a non-project left text in the converted file");
    if (!result && !failed) {
      Check(!lines.empty() && Blankless(lines[0]) != "<Project>",
            "a project file taken for something else");
    }
    return;
  }
  Check(*result == kConvertedPath, "the result is not the converted file's path");
  Check(Blankless(lines[0]) == "<Project>", "a file converted that is no project");
  Check(files.closes() == 1 && files.discards() == 0, "the converted file was not closed once");
  std::string problem = CheckConvertedText(lines, *converted);
  if (!problem.empty()) FailCheck(problem);
}

}  // namespace
}  // namespace kefconvert::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kefconvert::fuzz::ConvertOne(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
