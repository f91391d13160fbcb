// The migration report: what became of each line of a small project, kind by kind.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "kefconvert/kefconvert.h"
#include "support/temp_dir.h"

namespace kefconvert {
namespace {

using testing::ReadFile;
using testing::TempDir;

// One line per kind of event, and lines that must give none.
constexpr std::string_view kProjectFile =
    "<Project>\r\n"                     // 1
    "Version=1.3.0.1\r\n"               // 2  rewritten
    "Name=Shop\r\n"                     // 3  duplicate (with 8)
    "ProjLang=en\r\n"                   // 4  dropped
    "Captoin=Oops\r\n"                  // 5  unknown-key
    "defaultDateFormat=dd/mm/yyyy\r\n"  // 6  rewritten
    "just some text\r\n"                // 7  stray-text
    "Name=Again\r\n"                    // 8  duplicate
    "<Database>\r\n"                    // 9
    "Name=\r\n"                         // 10
    "PhyPath=C:\\data\\shop.mdb\r\n"    // 11 filled-name
    "\r\n"                              // 12
    "<Table>\r\n"                       // 13
    "Name=Customers\r\n"                // 14
    "TblSQL=SELECT *\r\n"               // 15 the SQL keys are known
    "FROM x\r\n"                        // 16 a piece of the value: nothing
    "   \r\n"                           // 17 a blank piece: nothing
    "TblError=none\r\n"                 // 18
    "<Field>\r\n"                       // 19
    "Name=ID\r\n"                       // 20
    "Type=3\r\n"                        // 21
    "<Field>\r\n"                       // 22 inherited-type
    "Name=Other\r\n"                    // 23 duplicate: its variable name, with 25
    "Typ=3\r\n"                         // 24 unknown-key
    "FldVar=x\r\n"                      // 25 unknown-key, duplicate of the name's variable
    "<Table>\r\n"                       // 26
    "Name=T2\r\n"                       // 27
    "TblList=False\r\n";                // 28 unknown-key, duplicate of a default

using Expected = std::tuple<std::int64_t, std::string_view, Section, std::string_view>;

std::vector<Expected> Summary(const Report& report) {
  std::vector<Expected> events;
  for (const Event& event : report.events) {
    events.emplace_back(event.line, EventKindName(event.kind), event.section, event.key);
  }
  return events;
}

TEST(Report, NamesEveryKindAtItsLine) {
  TempDir dir;
  std::string project = dir.Write("p.kef", kProjectFile);
  Report report;
  Convert converter;
  ASSERT_TRUE(converter.ConvertProject(project, &report));
  using enum Section;
  const std::vector<Expected> expected = {
      {2, "rewritten", kProject, "Version"},
      {3, "duplicate", kProject, "Name"},
      {4, "dropped", kProject, "ProjLang"},
      {5, "unknown-key", kProject, "Captoin"},
      {6, "rewritten", kProject, "defaultDateFormat"},
      {7, "stray-text", kProject, ""},
      {8, "duplicate", kProject, "Name"},
      {11, "filled-name", kDatabase, "PhyPath"},
      {22, "inherited-type", kField, ""},
      {23, "duplicate", kField, "Name"},
      {24, "unknown-key", kField, "Typ"},
      {25, "unknown-key", kField, "FldVar"},
      {25, "duplicate", kField, "FldVar"},
      {28, "unknown-key", kTable, "TblList"},
      {28, "duplicate", kTable, "TblList"},
  };
  EXPECT_EQ(Summary(report), expected);
  EXPECT_EQ(report.events[0].message, "value \"1.3.0.1\" written as \"2.0.0.0\"");
  EXPECT_EQ(report.events[4].message, "value \"dd/mm/yyyy\" written as \"7\"");
  EXPECT_EQ(report.head, kProjectFile.substr(0, 256));
}

TEST(Report, ChangesNoConvertedByte) {
  TempDir dir;
  std::string project = dir.Write("p.kef", kProjectFile);
  Convert plain;
  std::string without = ReadFile(*plain.ConvertProject(project));
  Report report;
  Convert reporting;
  EXPECT_EQ(ReadFile(*reporting.ConvertProject(project, &report)), without);
}

TEST(Report, FailureKeepsTheEventsBeforeIt) {
  TempDir dir;
  std::string project =
      dir.Write("p.kef", "<Project>\nProjLang=en\n<Database>\n<Field>\nName=x\nADOVer=1\n");
  Report report;
  Convert converter;
  try {
    converter.ConvertProject(project, &report);
    ADD_FAILURE() << "a field before any table converted";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kInvalidFileFormat);
    EXPECT_EQ(error.line(), 4);
  }
  EXPECT_EQ(Summary(report),
            (std::vector<Expected>{{2, "dropped", Section::kProject, "ProjLang"}}));
}

TEST(Report, TypeRepeatedOnlyWithoutATypeLineOfItsOwn) {
  TempDir dir;
  // a field whose type line fails to parse fails the conversion; a field that names its
  // type after other lines has it all the same
  std::string project = dir.Write(
      "p.kef", "<Project>\n<Database>\n<Table>\n<Field>\nName=a\nType=202\n<Field>\nType=3\n");
  Report report;
  Convert converter;
  ASSERT_TRUE(converter.ConvertProject(project, &report));
  EXPECT_TRUE(report.events.empty());
}

}  // namespace
}  // namespace kefconvert
