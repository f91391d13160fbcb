// The converter behind kefconvert::Convert, with its collaborators passed in: the file
// layer it opens files through and the code page it reads names in. Tests and fuzz
// targets construct it directly with a file layer of their own.
#ifndef KEFCONVERT_CONVERT_CONVERTER_H_
#define KEFCONVERT_CONVERT_CONVERTER_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "convert/code_page.h"
#include "convert/file_layer.h"
#include "convert/text_output.h"
#include "convert/type_codes.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {

class Converter {
 public:
  /// Throws Error(kInvalidArgument) when options.code_page is not supported. `files` must
  /// outlive the converter.
  Converter(const Options& options, FileSystem& files);
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  /// As Convert::ConvertProject.
  std::optional<std::string> ConvertProject(const std::string& projFile, Report* report = nullptr);
  /// As Convert::ConvertProjectTo with a file.
  bool ConvertProjectTo(const std::string& projFile, const std::string& output,
                        Report* report = nullptr);
  /// As Convert::ConvertProjectTo with a sink.
  bool ConvertProjectTo(const std::string& projFile, Sink& sink, Report* report = nullptr);

  /// What the most recent field "Type" line yielded, for this converter's next field.
  FieldTypeState& field_types() { return field_types_; }

  /// For tests: files of twice `part_size` or more are converted in parts of that size on
  /// two threads, and none when it is 0. `guess_always`: every part after the first is
  /// converted on guesses, as if the parts above it were never converted yet, so that
  /// every guess is checked.
  void set_part_size(std::size_t part_size, bool guess_always = false) {
    part_size_ = part_size;
    parts_from_ = 2 * part_size;
    guess_always_ = guess_always;
  }
  const CodePage& code_page() const { return *code_page_; }

 private:
  /// Converts what `input` holds into `destination`. False when it is not a project file
  /// of the old layout (nothing is written then).
  bool ConvertInput(InputFile& input, Report* report, TextDestination& destination);
  /// ConvertInput, then Error(kDeviceIOError) when the file changed while it was read,
  /// before any other error.
  bool ConvertUnchanged(InputFile& input, Report* report, TextDestination& destination);

  const CodePage* code_page_;
  FileSystem& files_;
  FieldTypeState field_types_;
  // files of parts_from_ bytes or more are converted in parts of part_size_; none when
  // that is 0, as where there is no second thread
  std::size_t part_size_;
  std::size_t parts_from_;
  bool guess_always_ = false;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_CONVERTER_H_
