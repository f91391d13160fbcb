// Whole conversions through the public API: files in, files out.
#include <gtest/gtest.h>

#include "kefconvert/kefconvert.h"
#include "support/temp_dir.h"

namespace kefconvert {
namespace {

using testing::ReadFile;
using testing::TempDir;

constexpr std::string_view kProjectDefaults =
    " Cache=\"False\"  SecLoginIDFldDataType=\"\"  UsePHPSuperglobals=\"False\" XMLEncoding=\"\""
    " RecPerRow=\"0\" TopPageLink=\"False\" LinkOnLeft=\"False\" PagerStyle=\"2\""
    " MultiDelete=\"False\" BodyStyle=\"\" OtherGen=\"True\" PromptOnOverwrite=\"True\""
    " OtherOverwrite=\"True\">\r\n";
constexpr std::string_view kDatabaseDefaults =
    " UsePHPConnect=\"\" PHPURL=\"\" DBQuoteS=\"`\" DBQuoteE=\"`\" MaxUploadSize=\"2000000\""
    " SecUserLevelFld=\"\" SecDefault=\"\" SecuUserIDFld=\"\">\r\n";

TEST(ConvertProject, SmallestProjectGivesBalancedElements) {
  TempDir dir;
  std::string project = dir.Write("p.kef", "<Project>\r\nName=Shop\r\n<Database>\r\n");
  Convert converter;
  std::optional<std::string> out = converter.ConvertProject(project);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, dir.File("p_tmp.kef"));
  std::string expected = "<Project  ProjName=\"Shop\"" + std::string(kProjectDefaults) +
                         "<Database " + std::string(kDatabaseDefaults) +
                         "</Database>\r\n</Project>";
  EXPECT_EQ(ReadFile(*out), expected);
}

}  // namespace
}  // namespace kefconvert
