// Line translation as the driver does it, for tests and fuzz targets: one translator with
// its cross-line state, the field type state of one converter, and one element that every
// line's text is appended to.
#ifndef KEFCONVERT_TESTS_SUPPORT_CONVERT_TESTING_H_
#define KEFCONVERT_TESTS_SUPPORT_CONVERT_TESTING_H_

#include <string>
#include <string_view>

#include "convert/code_page.h"
#include "convert/line_scan.h"
#include "convert/setting.h"
#include "convert/text_buffer.h"
#include "convert/type_codes.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::testing {

/// The section whose marker line is `marker` ("<Table>").
inline Section SectionOf(std::string_view marker) {
  for (Section section : {Section::kProject, Section::kDatabase, Section::kTable}) {
    if (marker == detail::MarkerOf(section)) return section;
  }
  return Section::kField;
}

/// Translates lines one after another with one cross-line state, as the driver does.
class Lines {
 public:
  explicit Lines(int code_page = 1252)
      : translator(types, *detail::CodePage::Find(code_page)), state(translator.state) {
    // the element that pieces of an SQL value are joined onto ends with a quote
    element.Append("\"");
  }

  /// The text that `line` of the section `marker` adds to its element; for a piece of an
  /// SQL value, the piece alone.
  std::string operator()(std::string_view marker, std::string_view line) {
    result = translator.ConvertSetting(SectionOf(marker), line, element);
    kind = result.kind;
    std::string_view added = element.view().substr(result.appended_at);
    if (kind == detail::LineKind::kSqlPiece) added.remove_suffix(1);
    return std::string(added);
  }

  /// The plain lines at the front of `text` in the section `marker`, taken as the driver's
  /// fast path takes them, from a copy of `text` with the readable bytes it needs after it.
  detail::PlainLines Plain(std::string_view marker, std::string_view text,
                           bool stop_at_non_ascii = false) {
    std::string padded(text);
    padded.append(detail::kScanLimit, '\0');
    return translator.ConvertPlainLines(SectionOf(marker),
                                        std::string_view(padded).substr(0, text.size()), element,
                                        stop_at_non_ascii);
  }

  detail::FieldTypeState types;
  detail::SettingTranslator translator;
  detail::CrossLineState& state;
  detail::TextBuffer element;
  detail::SettingResult result;
  detail::LineKind kind = detail::LineKind::kBlank;
};

}  // namespace kefconvert::testing

#endif  // KEFCONVERT_TESTS_SUPPORT_CONVERT_TESTING_H_
