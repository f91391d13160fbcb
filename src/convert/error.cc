#include <iterator>

#include "convert/code_page.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert {
namespace {

struct ErrorText {
  int number;
  std::string_view description;
};

constexpr ErrorText kErrorTexts[] = {
    {kInvalidArgument, "Invalid procedure call or argument"},
    {kOverflow, "Overflow"},
    {kTypeMismatch, "Type mismatch"},
    {kFileNotFound, "File not found"},
    {kDeviceIOError, "Device I/O error"},
    {kDiskFull, "Disk full"},
    {kInputPastEndOfFile, "Input past end of file"},
    {kPermissionDenied, "Permission denied"},
    {kPathFileAccessError, "Path/File access error"},
    {kPathNotFound, "Path not found"},
    {kInvalidFileFormat, "Invalid file format"},
};

}  // namespace

std::string_view ErrorDescription(int number) {
  for (const ErrorText& text : kErrorTexts) {
    if (text.number == number) return text.description;
  }
  return {};
}

Error::Error(int number, std::int64_t line)
    : number_(number), line_(line), message_(ErrorDescription(number)) {
  if (line_ > 0) message_ += " (line " + std::to_string(line_) + ")";
}

bool IsSupportedCodePage(int code_page) { return detail::FindCodePage(code_page) != nullptr; }

}  // namespace kefconvert
