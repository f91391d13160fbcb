// Whole conversions in the double-byte pages and in UTF-8: what reads characters (the
// variable names, the database file name, the byte order mark of 65001, the report of
// UTF-8 text read in a single-byte page), and that copied bytes stay as they were.
#include <gtest/gtest.h>

#include "kefconvert/kefconvert.h"
#include "support/default_texts.h"
#include "support/temp_dir.h"

namespace kefconvert {
namespace {

using testing::FieldEnd;
using testing::kDatabaseEnd;
using testing::kProjectEnd;
using testing::kTableEnd;
using testing::ReadFile;
using testing::TempDir;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Converts `text` in `code_page`; no value when it is not a project file.
std::optional<std::string> Converted(std::string_view text, int code_page,
                                     Report* report = nullptr) {
  TempDir dir;
  std::string project = dir.Write("p.kef", text);
  Convert converter(Options{code_page});
  std::optional<std::string> converted = converter.ConvertProject(project, report);
  EXPECT_EQ(ReadFile(project), text);
  if (!converted) return std::nullopt;
  return ReadFile(*converted);
}

// A project with one database and one field: the database's path, then the field's name.
std::string ProjectWith(std::string_view path, std::string_view field_name) {
  return "<Project>\r\n<Database>\r\nName=\r\nPhyPath=" + std::string(path) +
         "\r\n<Table>\r\n<Field>\r\nName=" + std::string(field_name) + "\r\n";
}

// Its converted text with the database name and the field's variable name given.
std::string ConvertedWith(std::string_view path, std::string_view field_name,
                          std::string_view database_name, std::string_view variable) {
  return "<Project " + kProjectEnd + "<Database  DBName=\"" + std::string(database_name) +
         "\" DBPhyPath=\"" + std::string(path) + "\"" + kDatabaseEnd + "<Table " + kTableEnd +
         "<Field  FldName=\"" + std::string(field_name) + "\"\r\n FldVar=\"" +
         std::string(variable) + "\"" + FieldEnd("0", "False", "") +
         "</Table>\r\n</Database>\r\n</Project>";
}

TEST(ConvertProjectInCodePage, TrailBytesBelongToTheirCharacters) {
  const struct {
    int page;
    std::string_view path;
    std::string_view field_name;
    std::string_view database_name;
    std::string_view variable;
  } cases[] = {
      // 表 is 0x95 0x5C and ソ is 0x83 0x5C in 932; ダ is 0x83 0x5F
      {932, "C:\\\x83\x5C\\\x95\x5C.mdb", "\x95\x5C_\x83\x5F", "\x95\x5C.mdb", "x_8868_30C0"},
      {936, "C:\\\x81\x5C\\\x81\x5C.mdb", "\x81\x5C\x81\x41", "\x81\x5C.mdb", "x_4E574E04"},
      {949, "C:\\\xB0\xA1\\\xB0\xA1.mdb", "\xB0\xA1\x81\x41", "\xB0\xA1.mdb", "x_AC00AC02"},
      {950, "C:\\\xA5\x5C\\\xA5\x5C.mdb", "\xA5\x5C\xA4\x5F", "\xA5\x5C.mdb", "x_529F4E8E"},
      {65001, "C:\\\xE8\xA1\xA8\\\xE8\xA1\xA8.mdb", "\xF0\x9F\x98\x80_", "\xE8\xA1\xA8.mdb",
       "x_D83DDE00_"},
      // the same bytes in 1252: every byte a character, 0x5C a backslash
      {1252, "C:\\\x95\x5C.mdb", "\x95\x5C", ".mdb", "x_20225C"},
  };
  for (const auto& c : cases) {
    std::optional<std::string> text = Converted(ProjectWith(c.path, c.field_name), c.page);
    ASSERT_TRUE(text) << c.page;
    EXPECT_EQ(*text, ConvertedWith(c.path, c.field_name, c.database_name, c.variable)) << c.page;
  }
}

TEST(ConvertProjectInCodePage, CopiedBytesStayAsTheyWereInEveryPage) {
  // defined pairs, undefined pairs, cut-off lead bytes, invalid UTF-8, bytes above 0x7F
  const std::string value =
      "\x81\x40\x95\x5C\x85\x40\xFF\xC0\x80\xED\xA0\x80\xF0\x9F\x98\x80\xA0\x80";
  for (int page :
       {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 932, 936, 949, 950, 65001}) {
    std::optional<std::string> text = Converted(
        "<Project>\r\nTitle=" + value + "\r\n<Database>\r\nName=" + value + "\x95\r\n", page);
    ASSERT_TRUE(text) << page;
    EXPECT_NE(text->find(" BodyTitle=\"" + value + "\""), std::string::npos) << page;
    EXPECT_NE(text->find(" DBName=\"" + value + "\x95\""), std::string::npos) << page;
  }
}

TEST(ConvertProjectInCodePage, ByteOrderMarkStartsAProjectIn65001Only) {
  std::string marked = std::string(kByteOrderMark) + "<Project>\r\n<Database>\r\n";
  std::optional<std::string> text = Converted(marked, 65001);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, std::string(kByteOrderMark) + "<Project " + kProjectEnd + "<Database " +
                       kDatabaseEnd + "</Database>\r\n</Project>");
  // blanks after the mark are trimmed as on any first line
  EXPECT_TRUE(Converted(std::string(kByteOrderMark) + " <Project> \r\n<Database>\r\n", 65001));
  for (int page : {1252, 932, 936, 949, 950}) {
    EXPECT_FALSE(Converted(marked, page)) << page;
  }
  // a mark on a later line is text, in 65001 too
  std::optional<std::string> later =
      Converted("<Project>\r\n" + std::string(kByteOrderMark) + "Title=x\r\n<Database>\r\n", 65001);
  ASSERT_TRUE(later);
  EXPECT_NE(later->find(std::string(" ") + std::string(kByteOrderMark) + "Title=\"x\""), std::string::npos);
}

TEST(ConvertProjectInCodePage, ReportsUtf8TextReadInASingleBytePage) {
  const std::string utf8 =
      "<Project>\r\nName=Shop\r\n<Database>\r\n<Table>\r\n<Field>\r\n"
      "Name=Gr\xC3\xB6\xC3\x9F"
      "e\r\nType=202\r\n";
  Report report;
  ASSERT_TRUE(Converted(utf8, 1252, &report));
  ASSERT_EQ(report.events.size(), 1u);
  EXPECT_EQ(report.events[0].kind, EventKind::kLooksLikeUtf8);
  EXPECT_EQ(EventKindName(report.events[0].kind), "looks-like-utf8");
  EXPECT_EQ(report.events[0].line, 6);
  EXPECT_EQ(report.events[0].section, Section::kField);

  const struct {
    std::string text;
    int page;
  } silent[] = {
      {utf8, 65001},  // read as UTF-8
      {utf8, 932},    // not a single-byte page
      {"<Project>\r\nName=Gr\xF6\xDF"
       "e\r\n<Database>\r\n",
       1252},                                                                // 1252 text
      {"<Project>\r\nName=\xC3\xA9\r\nTitle=\xE9\r\n<Database>\r\n", 1252},  // partly UTF-8
      {"<Project>\r\nName=Shop\r\n<Database>\r\n", 1252},                    // ASCII only
  };
  for (const auto& c : silent) {
    Report quiet;
    ASSERT_TRUE(Converted(c.text, c.page, &quiet)) << c.page;
    for (const Event& event : quiet.events) {
      EXPECT_NE(event.kind, EventKind::kLooksLikeUtf8) << c.page << ": " << c.text;
    }
  }
}

}  // namespace
}  // namespace kefconvert
