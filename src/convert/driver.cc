// The conversion of one project file into one destination: in one piece, or in parts on
// two threads when the file is large (see ConversionInParts); both give the same text.
#include <algorithm>
#include <optional>

#include "convert/converter.h"
#include "convert/line_reader.h"
#include "convert/project_conversion.h"
#include "convert/report_builder.h"
#include "convert/setting.h"
#include "convert/text_output.h"
#ifdef KEFCONVERT_CONVERSION_IN_PARTS
#include "convert/conversion_in_parts.h"
#endif

namespace kefconvert::detail {
namespace {

// Read blocks of 256 KiB, but no larger than a smaller file needs: most project files are
// a few kilobytes, and converting many of them should not cost a large buffer each. A block
// that size stays in the processor's nearest large cache while its lines are converted
// next to the output block; 1 MiB blocks were 3 to 4% slower on a 100 MB project.
std::size_t BlockSizeFor(std::uint64_t size_hint) {
#ifdef KEFCONVERT_INPUT_BLOCK_SIZE
  // builds for testing read a few dozen bytes at a time, so that lines cross blocks
  static_cast<void>(size_hint);
  return KEFCONVERT_INPUT_BLOCK_SIZE;
#else
  constexpr std::size_t kLargest = std::size_t{1} << 18;
  constexpr std::size_t kSmallest = 4096;
  if (size_hint == 0 || size_hint >= kLargest) return kLargest;
  return std::max(kSmallest, static_cast<std::size_t>(size_hint) + 1);
#endif
}

// The report is complete however the conversion ends: its findings, and the head of the
// file as far as it was read.
template <typename Reader>
class ReportCompletion {
 public:
  ReportCompletion(Report* report, std::optional<ReportBuilder>& builder, const Reader& reader)
      : report_(report), builder_(builder), reader_(reader) {}
  ReportCompletion(const ReportCompletion&) = delete;
  ReportCompletion& operator=(const ReportCompletion&) = delete;
  ~ReportCompletion() {
    if (report_ != nullptr) report_->head.assign(reader_.Head());
    if (builder_) builder_->Finish();
  }

 private:
  Report* report_;
  std::optional<ReportBuilder>& builder_;
  const Reader& reader_;
};

}  // namespace

bool Converter::ConvertInput(InputFile& input, Report* report, TextDestination& destination) {
  std::optional<ReportBuilder> builder;
  if (report != nullptr) builder.emplace(*report);
  ReportBuilder* findings = builder ? &*builder : nullptr;
  bool events_wanted = report != nullptr && report->events_wanted;
  TextOutput output(destination, input.SizeHint());
#ifdef KEFCONVERT_CONVERSION_IN_PARTS
  // the events of every line come in the order of the lines, so a report of them takes
  // the file in one piece
  if (part_size_ != 0 && !events_wanted && input.SizeHint() >= parts_from_) {
    ConversionInParts conversion(input, findings, output, destination, *code_page_, field_types_,
                                 part_size_, BlockSizeFor(input.SizeHint()), guess_always_);
    ReportCompletion completion(report, builder, conversion);
    return conversion.Run();
  }
#endif
  LineReader lines(input, BlockSizeFor(input.SizeHint()));
  SettingTranslator translator(field_types_, *code_page_);
  FieldDefaults field_defaults(kFieldEnd);
  ProjectConversion conversion(translator, field_types_, lines, findings,
                               events_wanted ? findings : nullptr, output, field_defaults);
  ReportCompletion completion(report, builder, lines);
  return conversion.Run();
}

}  // namespace kefconvert::detail
