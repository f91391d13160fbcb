// The bundled sample project against its converted text, written out by hand.
#include <gtest/gtest.h>

#include "kefconvert/kefconvert.h"
#include "support/temp_dir.h"

namespace kefconvert {
namespace {

using testing::ReadFile;
using testing::TempDir;

TEST(Golden, ShopSampleConvertsToItsExpectedText) {
  std::string source = ReadFile(KEFCONVERT_SOURCE_DIR "/examples/shop.kef");
  std::string expected = ReadFile(KEFCONVERT_SOURCE_DIR "/tests/golden/shop_tmp.kef");
  TempDir dir;
  std::string project = dir.Write("shop.kef", source);
  Convert converter;
  std::optional<std::string> converted = converter.ConvertProject(project);
  ASSERT_TRUE(converted);
  EXPECT_EQ(*converted, dir.File("shop_tmp.kef"));
  EXPECT_EQ(ReadFile(*converted), expected);
  EXPECT_EQ(ReadFile(project), source);
}

TEST(Golden, ShiftJisSampleConvertsToItsExpectedText) {
  std::string source = ReadFile(KEFCONVERT_SOURCE_DIR "/examples/shop_sjis.kef");
  std::string expected = ReadFile(KEFCONVERT_SOURCE_DIR "/tests/golden/shop_sjis_tmp.kef");
  TempDir dir;
  std::string project = dir.Write("shop_sjis.kef", source);
  Convert converter(Options{932});
  std::optional<std::string> converted = converter.ConvertProject(project);
  ASSERT_TRUE(converted);
  EXPECT_EQ(ReadFile(*converted), expected);
  EXPECT_EQ(ReadFile(project), source);
}

TEST(Golden, LineFeedsAloneGiveTheSameText) {
  std::string source = ReadFile(KEFCONVERT_SOURCE_DIR "/examples/shop.kef");
  std::string unix_lines;
  for (char c : source) {
    if (c != '\r') unix_lines += c;
  }
  TempDir dir;
  Convert converter;
  std::optional<std::string> converted =
      converter.ConvertProject(dir.Write("shop.kef", unix_lines));
  ASSERT_TRUE(converted);
  EXPECT_EQ(ReadFile(*converted), ReadFile(KEFCONVERT_SOURCE_DIR "/tests/golden/shop_tmp.kef"));
}

}  // namespace
}  // namespace kefconvert
