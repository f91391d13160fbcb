// Fuzz target: arbitrary bytes as a project file, converted whole. Beyond not crashing,
// every input must give a converted file that is well formed, the "not a project file"
// answer exactly when the first line is not "<Project>", or one of the documented errors
// with a fitting line; a failure leaves the converted file empty, and the project file is
// never changed. Every input is converted again in small parts on two threads, which must
// give the same outcome, and some once more with a read or write that fails. Each input is
// read in one of the supported code pages, picked by its middle byte.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "convert/converter.h"
#include "fuzz_check.h"
#include "kefconvert/kefconvert.h"
#include "memory_file_system.h"
#include "output_check.h"

namespace kefconvert::fuzz {
namespace {

const std::string kProjectPath = "/work/shop.kef";
const std::string kConvertedPath = "/work/shop_tmp.kef";

constexpr int kCodePages[] = {1252, 932,  936,  949,  950,  65001, 874, 1250,
                              1251, 1253, 1254, 1255, 1256, 1257,  1258};
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

int CodePageFor(std::string_view input) {
  if (input.empty()) return kCodePages[0];
  auto byte = static_cast<unsigned char>(input[input.size() / 2]);
  return kCodePages[byte % std::size(kCodePages)];
}

std::uint32_t Hash(std::string_view input) {
  std::uint32_t hash = 2166136261u;
  for (char c : input) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

struct Outcome {
  enum Kind { kConverted, kNoResult, kFailed };
  Kind kind = kFailed;
  int number = 0;
  std::int64_t line = 0;
  std::string text;  // the converted text
  bool operator==(const Outcome&) const = default;
};

struct Faults {
  std::optional<std::size_t> read_at;
  bool write = false;
};

// How a conversion cuts the file: 0 for in one piece.
struct Parts {
  std::size_t size = 0;
  bool guess_always = false;
};

// Converts `input` as the project file, reading `piece` bytes at a time, and checks what
// holds whatever happens: the project file unchanged, the converted file created once and
// empty unless converted, no hidden file left.
Outcome ConvertChecked(std::string_view input, int code_page, std::size_t piece,
                       const Faults& faults, Report* report = nullptr, Parts parts = {}) {
  MemoryFileSystem files(piece);
  if (faults.read_at) files.FailReadingAt(*faults.read_at);
  if (faults.write) files.FailWritingAt(1);
  files.Put(kProjectPath, input);
  detail::Converter converter(Options{code_page}, files);
  converter.set_part_size(parts.size, parts.guess_always);
  Outcome outcome;
  try {
    std::optional<std::string> result = converter.ConvertProject(kProjectPath, report);
    outcome.kind = result ? Outcome::kConverted : Outcome::kNoResult;
    Check(!result || *result == kConvertedPath, "the result is not the converted file's path");
  } catch (const Error& error) {
    outcome.number = error.number();
    outcome.line = error.line();
    Check(!error.description().empty() && error.description() == ErrorDescription(error.number()),
          "an error without its description");
  }
  const std::string* project = files.Find(kProjectPath);
  Check(project != nullptr && *project == input, "the project file changed");
  const std::string* converted = files.Find(kConvertedPath);
  Check(converted != nullptr && files.creates() == 1, "the converted file was not created once");
  Check(files.Paths().size() == 2, "a hidden file was left behind");
  if (outcome.kind == Outcome::kConverted) {
    Check(files.commits() == 1 && files.discards() == 0,
          "the converted file was not committed once");
    outcome.text = *converted;
  } else {
    Check(converted->empty(), "a failure or a non-project left text in the converted file");
  }
  return outcome;
}

// What the project file's lines say about the outcome of a conversion without faults. In
// 65001 a byte order mark may stand before the first line, and the converted text then
// begins with the same mark.
void CheckAgainstLines(Outcome outcome, std::vector<std::string_view> lines, int code_page) {
  bool marked = code_page == 65001 && !lines.empty() && lines[0].starts_with(kByteOrderMark);
  if (marked) lines[0].remove_prefix(kByteOrderMark.size());
  if (marked && outcome.kind == Outcome::kConverted) {
    Check(std::string_view(outcome.text).starts_with(kByteOrderMark),
          "the converted text of a marked 65001 file does not begin with the mark");
    outcome.text.erase(0, kByteOrderMark.size());
  }
  bool project = !lines.empty() && Blankless(lines[0]) == "<Project>";
  auto line_count = static_cast<std::int64_t>(lines.size());
  switch (outcome.kind) {
    case Outcome::kConverted: {
      Check(project, "a file converted that is no project");
      std::string problem = CheckConvertedText(lines, outcome.text);
      if (!problem.empty()) FailCheck(problem);
      return;
    }
    case Outcome::kNoResult:
      Check(!lines.empty() && !project, "a project file taken for something else");
      return;
    case Outcome::kFailed: break;
  }
  switch (outcome.number) {
    case kInputPastEndOfFile:
      Check(lines.empty() && outcome.line == 0, "error 62 for a file that is not empty");
      break;
    case kOverflow:
    case kTypeMismatch:
    case kInvalidFileFormat: {
      // the end of a file without a database names the last line, which may be the first
      std::int64_t first = outcome.number == kInvalidFileFormat ? 1 : 2;
      Check(outcome.line >= first && outcome.line <= line_count, "error line outside the file");
      Check(project, "a content error in a file that is no project");
      break;
    }
    default:
      FailCheck("an error that no project text can cause: " + std::to_string(outcome.number));
  }
}

// The report names lines of the file, in order, and asking for it changes nothing.
void CheckReport(const Report& report, const Outcome& with_report, const Outcome& plain,
                 std::int64_t line_count) {
  Check(with_report == plain, "asking for a report changed the outcome");
  std::int64_t previous = 1;
  for (const Event& event : report.events) {
    Check(event.line >= previous && event.line <= line_count, "an event out of line order");
    Check(!event.message.empty() && !EventKindName(event.kind).empty(), "an event says nothing");
    previous = event.line;
  }
}

void ConvertOne(std::string_view input) {
  std::uint32_t hash = Hash(input);
  // reads of 1 to 64 bytes, differing from input to input, put line ends on every place of
  // the reader's blocks
  std::size_t piece = 1 + hash % 64;
  int code_page = CodePageFor(input);
  Outcome plain = ConvertChecked(input, code_page, piece, {});
  std::vector<std::string_view> lines = SplitLines(input);
  CheckAgainstLines(plain, lines, code_page);
  Report report;
  Outcome with_report = ConvertChecked(input, code_page, piece, {}, &report);
  CheckReport(report, with_report, plain, static_cast<std::int64_t>(lines.size()));
  Parts parts{1 + (hash >> 16) % 200, ((hash >> 24) & 1) != 0};
  Check(ConvertChecked(input, code_page, piece, {}, nullptr, parts) == plain,
        "a conversion in parts gave another outcome");

  // one input in eight once more with a fault, which must show as that fault and leave
  // nothing behind, unless the conversion ended before it got there
  if ((hash >> 8) % 8 != 0) return;
  if (plain.kind == Outcome::kConverted) {
    Outcome full =
        ConvertChecked(input, code_page, piece, {.read_at = std::nullopt, .write = true});
    Check(full.kind == Outcome::kFailed && full.number == kDiskFull && full.line == 0,
          "a failed write not reported as a full disk");
  }
  if (!input.empty()) {
    Outcome broken =
        ConvertChecked(input, code_page, piece, {.read_at = (hash >> 11) % input.size()});
    bool reported =
        broken.kind == Outcome::kFailed && broken.number == kDeviceIOError && broken.line == 0;
    bool ended_before = broken.kind != Outcome::kConverted && broken == plain;
    Check(reported || ended_before, "a read error not reported as a device error");
  }
}

}  // namespace
}  // namespace kefconvert::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kefconvert::fuzz::ConvertOne(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
