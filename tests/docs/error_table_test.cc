// The manual page's table of error numbers against the library's own error table.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "kefconvert/kefconvert.h"

namespace kefconvert {
namespace {

// Number -> description, from the ".It Sy 13 No Type mismatch" items of the manual page.
std::map<int, std::string> ManPageErrors() {
  std::ifstream in(KEFCONVERT_SOURCE_DIR "/man/kefconvert.1");
  EXPECT_TRUE(in) << "cannot read the manual page";
  const std::regex item(R"(^\.It Sy ([0-9]+) No (.*)$)");
  std::map<int, std::string> errors;
  std::smatch match;
  for (std::string line; std::getline(in, line);) {
    if (std::regex_match(line, match, item)) errors[std::stoi(match[1])] = match[2];
  }
  return errors;
}

TEST(ManPage, ListsEveryErrorTheLibraryRaisesWithItsDescription) {
  std::map<int, std::string> documented = ManPageErrors();
  // the tool's own error: a backup or converted file that it will not write over
  EXPECT_EQ(documented[58], "File already exists");
  documented.erase(58);
  std::map<int, std::string> raised;
  for (int number = 0; number < 1000; ++number) {
    if (!ErrorDescription(number).empty()) {
      raised[number] = std::string(ErrorDescription(number));
    }
  }
  EXPECT_EQ(documented, raised);
}

TEST(ManPage, ListsTheErrorNumbersOfThePublicHeader) {
  std::map<int, std::string> documented = ManPageErrors();
  for (int number : {kInvalidArgument, kOverflow, kTypeMismatch, kFileNotFound, kDeviceIOError,
                     kDiskFull, kInputPastEndOfFile, kPermissionDenied, kPathFileAccessError,
                     kPathNotFound, kInvalidFileFormat}) {
    EXPECT_TRUE(documented.contains(number)) << "error " << number;
  }
}

}  // namespace
}  // namespace kefconvert
