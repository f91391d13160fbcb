// Properties that every conversion must have, checked from the outside: what the project
// file's lines promise about the converted text, and whether that text is well formed.
// The fuzz targets check every input against them; they never look at the converter's
// own state.
#ifndef KEFCONVERT_FUZZ_OUTPUT_CHECK_H_
#define KEFCONVERT_FUZZ_OUTPUT_CHECK_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kefconvert::fuzz {

/// The lines of a project file as the converter sees them: split at line feeds, a carriage
/// return before a feed dropped, no line after a final line end.
std::vector<std::string_view> SplitLines(std::string_view bytes);

/// `text` without blanks at both ends (tabs stay).
std::string_view Blankless(std::string_view text);

/// How many lines are exactly this marker once the blanks around them are gone.
struct MarkerCounts {
  std::int64_t project = 0;
  std::int64_t database = 0;
  std::int64_t table = 0;
  std::int64_t field = 0;
};
MarkerCounts CountMarkers(const std::vector<std::string_view>& lines);

/// The empty text when `output` is a well-formed converted text for a project file of
/// `lines`, else what is wrong with it. Well formed: one Project element holding one
/// Database element holding the Table elements, each holding its Field elements; every
/// opening tag closed and every element complete; as many Table and Field elements as the
/// file has markers; the text ends with "</Project>".
std::string CheckConvertedText(const std::vector<std::string_view>& lines, std::string_view output);

/// `text` with "&", the double quote, ">" and "<" written as entities.
std::string Escape(std::string_view text);

}  // namespace kefconvert::fuzz

#endif  // KEFCONVERT_FUZZ_OUTPUT_CHECK_H_
