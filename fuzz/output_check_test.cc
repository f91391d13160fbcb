// The checks of the fuzz targets must reject what they are there to catch.
#include "output_check.h"

#include <gtest/gtest.h>

namespace kefconvert::fuzz {
namespace {

constexpr std::string_view kProject =
    "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nName=a\r\n<Field>\r\n<Table>\r\n";

// A text of the converted shape for kProject (the attributes are shortened).
constexpr std::string_view kConverted =
    "<Project  Cache=\"False\">\r\n"
    "<Database  DBQuoteS=\"`\">\r\n"
    "<Table  TblName=\"t\">\r\n"
    "<Field  FldName=\"a\"\r\n FldVar=\"x_a\" FldType=\"3\"/>\r\n"
    "<Field  FldType=\"3\"/>\r\n"
    "</Table>\r\n"
    "<Table  TblName=\"u\">\r\n"
    "</Table>\r\n"
    "</Database>\r\n"
    "</Project>";

std::string Check(std::string_view project, std::string_view converted) {
  return CheckConvertedText(SplitLines(project), converted);
}

std::string Replaced(std::string_view text, std::string_view from, std::string_view to) {
  std::string out(text);
  out.replace(out.find(from), from.size(), to);
  return out;
}

TEST(OutputCheck, AcceptsAWellFormedText) { EXPECT_EQ(Check(kProject, kConverted), ""); }

TEST(OutputCheck, AcceptsMarkupInsideAnAttributeName) {
  // attribute names are copied as written, "<Table " and ">" included
  std::string text = Replaced(kConverted, " TblName=\"t\"", " a<Table b>=\"t\"");
  EXPECT_EQ(Check(kProject, text), "");
}

TEST(OutputCheck, RejectsATextThatDoesNotEndWithTheProjectTag) {
  EXPECT_NE(Check(kProject, std::string(kConverted) + "\r\n"), "");
  EXPECT_NE(Check(kProject, kConverted.substr(0, kConverted.size() - 1)), "");
}

TEST(OutputCheck, RejectsAMissingClosingTag) {
  EXPECT_NE(Check(kProject, Replaced(kConverted, "</Table>\r\n<Table", "<Table")), "");
  EXPECT_NE(Check(kProject, Replaced(kConverted, "</Database>\r\n", "")), "");
}

TEST(OutputCheck, RejectsAFieldThatDoesNotCloseItself) {
  EXPECT_NE(Check(kProject, Replaced(kConverted, "FldType=\"3\"/>", "FldType=\"3\">")), "");
}

TEST(OutputCheck, RejectsATagCutShort) {
  EXPECT_NE(Check(kProject, Replaced(kConverted, "TblName=\"u\">", "TblName=\"u")), "");
}

TEST(OutputCheck, RejectsALineThatStartsNoTag) {
  EXPECT_NE(Check(kProject, Replaced(kConverted, "<Table  TblName=\"u\">\r\n",
                                     "<Table  TblName=\"u\">\r\nstray\r\n")),
            "");
  EXPECT_NE(Check(kProject, Replaced(kConverted, "\r\n FldVar", "\r\nFldVar")), "");
}

TEST(OutputCheck, RejectsElementsOutOfPlace) {
  EXPECT_NE(Check(kProject, Replaced(kConverted, "<Database ", "<Table ")), "");
  EXPECT_NE(Check(kProject, Replaced(kConverted, "</Table>\r\n</Database>", "</Database>")), "");
}

TEST(OutputCheck, RejectsAnElementCountThatDiffersFromTheMarkers) {
  std::string one_field_less = Replaced(kConverted, "<Field  FldType=\"3\"/>\r\n", "");
  EXPECT_NE(Check(kProject, one_field_less), "");
  EXPECT_NE(Check(std::string(kProject) + "<Table>\r\n", kConverted), "");
}

TEST(OutputCheck, SplitsLinesAsTheConverterDoes) {
  std::vector<std::string_view> lines = SplitLines("a\r\nb\rc\n\nd\r\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "b\rc");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "d");
  EXPECT_EQ(SplitLines("").size(), 0u);
  EXPECT_EQ(SplitLines("x").size(), 1u);
}

TEST(OutputCheck, CountsMarkersWithBlanksButNotTabs) {
  MarkerCounts counts = CountMarkers(SplitLines(" <Table> \r\n\t<Table>\r\n<Field>\r\n"));
  EXPECT_EQ(counts.table, 1);
  EXPECT_EQ(counts.field, 1);
}

TEST(OutputCheck, EscapesTheFourCharacters) {
  EXPECT_EQ(Escape("a&b\"c>d<e'"), "a&amp;b&quot;c&gt;d&lt;e'");
}

}  // namespace
}  // namespace kefconvert::fuzz
