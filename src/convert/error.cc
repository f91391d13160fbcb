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

Error::Error(int number, FileRole file, std::string system_reason) : Error(number) {
  file_ = file;
  system_reason_ = std::move(system_reason);
}

Error Error::AtLine(std::int64_t line) const {
  Error error(number_, line);
  error.file_ = file_;
  error.system_reason_ = system_reason_;
  error.reason_ = reason_;
  return error;
}

Error Error::WithReason(std::string reason) const {
  Error error = *this;
  error.reason_ = std::move(reason);
  return error;
}

bool IsSupportedCodePage(int code_page) { return detail::CodePage::Find(code_page) != nullptr; }

}  // namespace kefconvert
