// A file converted in parts gives what it gives converted in one piece: the same text, the
// same error on the same line, the same findings, and the same field type state left for
// the converter's next file. Small parts put part ends everywhere, so that every guess a
// part makes about the lines above it is right somewhere and wrong somewhere else.
#include "convert/conversion_in_parts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "convert/converter.h"
#include "convert/part_reader.h"
#include "kefconvert/kefconvert.h"
#include "support/temp_dir.h"

namespace kefconvert::detail {
namespace {

using testing::ReadFile;
using testing::TempDir;

struct Outcome {
  std::string text;  // or the error
  std::vector<std::string> findings;
  FieldTypeState types;
  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
  *out << outcome.text.substr(0, 300) << " [" << outcome.findings.size() << " findings]";
}

Outcome ConvertInParts(const std::string& path, std::size_t part_size, int code_page,
                       const FieldTypeState& before, bool guess_always = true) {
  Converter converter(Options{code_page}, FileSystem::Native());
  converter.field_types() = before;
  converter.set_part_size(part_size, guess_always);
  Report report;
  report.events_wanted = false;
  Outcome outcome;
  try {
    std::optional<std::string> converted = converter.ConvertProject(path, &report);
    outcome.text = converted ? ReadFile(*converted) : "(no result)";
  } catch (const Error& error) {
    outcome.text = std::string("error: ") + error.what();
  }
  for (const Event& event : report.events) {
    outcome.findings.push_back(std::to_string(event.line) + " " + event.message);
  }
  outcome.types = converter.field_types();
  return outcome;
}

// Tables named "t<n>", the second of them the security table, each with `fields` fields.
std::string Tables(int tables, int fields, const std::string& field_extra = "") {
  std::string text;
  constexpr const char* kTypes[] = {"3", "202", "7", "11", "135", "200", "5", "72"};
  for (int t = 0; t < tables; ++t) {
    text += "<Table>\r\nName=" + (t == 1 ? std::string("users") : "t" + std::to_string(t)) +
            "\r\nCaption=Table \"" + std::to_string(t) + "\"\r\n";
    for (int f = 0; f < fields; ++f) {
      text += "<Field>\r\nName=" + (f == 1 ? std::string("login") : "f" + std::to_string(f)) +
              "\r\nType=" + kTypes[(t + f) % 8] + "\r\nCaption=a & b\r\n" + field_extra;
    }
  }
  return text;
}

const std::string kHead =
    "<Project>\r\nName=p\r\nSecTbl=users\r\nSecUserIDFld=login\r\n<Database>\r\nName=\r\n"
    "PhyPath=C:\\data\\shop.mdb\r\n";

struct Case {
  const char* name;
  std::string text;
  int code_page = 1252;
};

// A table with `fields` fields and no other table line to end a part with.
std::string HugeTable(int fields) {
  std::string text = "<Table>\r\nName=users\r\n";
  for (int f = 0; f < fields; ++f) {
    text += "<Field>\r\nName=" + std::string(f == 7 ? "login" : "f" + std::to_string(f)) +
            "\r\nType=" + (f % 3 == 0 ? "3" : "202") + "\r\n";
  }
  return text;
}

std::vector<Case> Cases() {
  return {
      // parts that reach their limit take the rest of the file in one piece
      {"OneHugeTable", kHead + Tables(3, 2) + HugeTable(3000) + Tables(1, 1)},
      {"ErrorInAHugeTable", kHead + Tables(1, 1) + HugeTable(2000) + "<Field>\r\nType=3.x\r\n"},
      {"HugeDatabaseSection", kHead +
                                  [] {
                                    std::string lines;
                                    for (int i = 0; i < 3000; ++i)
                                      lines += "Key" + std::to_string(i) + "=x\r\n";
                                    return lines;
                                  }() +
                                  Tables(2, 1)},
      {"PlainTables", kHead + Tables(6, 3)},
      // a part that starts in the security table's fields, whose table has no name line
      // of its own, or whose login field gives its type before its name
      {"SecurityTableWithoutName",
       kHead + Tables(2, 2) + "<Table>\r\nCaption=x\r\n<Field>\r\nName=login\r\nType=3\r\n" +
           Tables(2, 1)},
      {"TypeBeforeName", kHead + Tables(2, 2) +
                             "<Table>\r\nName=users\r\n<Field>\r\nType=202\r\n"
                             "Name=other\r\n" +
                             Tables(1, 1)},
      // fields without a "Type" line take the state of the last one, across parts
      {"FieldsWithoutType",
       kHead + Tables(2, 2) + "<Table>\r\nName=a\r\n<Field>\r\nName=n\r\n<Table>\r\n<Field>\r\n"},
      {"SqlAcrossLines",
       kHead +
           "<Table>\r\nName=q\r\nSQL=SELECT *\r\nFROM q\r\n<Table>\r\nSQL=SELECT 1\r\n"
           "<Field>\r\nName=f\r\n" +
           Tables(2, 1)},
      {"LineFeedsOnlyAndNoLastLineEnd",
       "<Project>\nSecTbl=users\nSecUserIDFld=login\n<Database>\n<Table>\nName=users\n"
       "<Field>\nName=login\nType=200\n<Table>\nName=b\n<Field>\nName=x"},
      {"EndsWithATableLine", kHead + Tables(3, 1) + "<Table>\r\n"},
      {"ErrorInALaterPart",
       kHead + Tables(4, 2) + "<Table>\r\n<Field>\r\nType=3.x\r\n" + Tables(2, 1)},
      {"MisspeltMarkerInALaterPart", kHead + Tables(4, 2) + "<field>\r\n" + Tables(1, 1)},
      {"NoDatabase", "<Project>\r\nName=p\r\n" + Tables(3, 1)},
      {"Utf8InALaterPart", kHead + Tables(3, 1) + "<Table>\r\nName=caf\xc3\xa9\r\n" + Tables(2, 1)},
      {"NotUtf8InALaterPart",
       kHead + "<Table>\r\nName=caf\xc3\xa9\r\n" + Tables(3, 1) + "<Table>\r\nName=\xe9t\xe9\r\n"},
      {"DoubleByteNames",
       kHead + Tables(2, 1) +
           "<Table>\r\nName=\x83\x5c\x83\x8b\r\n<Field>\r\n"
           "Name=\x95\x5c\r\nType=3\r\n" +
           Tables(2, 1),
       932},
  };
}

TEST(ConversionInParts, GivesWhatAConversionInOnePieceGives) {
  TempDir dir;
  FieldTypeState left_before;
  left_before.Take(FactsForCode(202));
  for (const Case& c : Cases()) {
    std::string path = dir.Write(std::string(c.name) + ".kef", c.text);
    for (const FieldTypeState& before : {FieldTypeState{}, left_before}) {
      Outcome whole = ConvertInParts(path, 0, c.code_page, before);
      for (std::size_t part_size : {1, 5, 30, 64, 150, 400}) {
        for (bool guess_always : {true, false}) {
          EXPECT_EQ(ConvertInParts(path, part_size, c.code_page, before, guess_always), whole)
              << c.name << " in parts of " << part_size << (guess_always ? ", guessing" : "");
        }
      }
    }
  }
}

TEST(ConversionInParts, CountsTheTablesOfEveryPart) {
  TempDir dir;
  std::string text = kHead;
  for (int t = 0; t < 32768; ++t) text += "<Table>\r\n";
  std::string path = dir.Write("many.kef", text);
  Outcome whole = ConvertInParts(path, 0, 1252, {});
  ASSERT_EQ(whole.text.rfind("error: ", 0), 0u) << "the 32768th table is one too many";
  for (std::size_t part_size : {16, 5000, 100000}) {
    EXPECT_EQ(ConvertInParts(path, part_size, 1252, {}), whole) << "in parts of " << part_size;
  }
}

TEST(FindPartEnd, EndsAfterTheFirstTableLineFromTheStart) {
  struct Row {
    std::string_view text;
    std::size_t from;
    std::size_t end;     // npos: none yet
    std::size_t resume;  // where to look again, when none
  };
  constexpr std::size_t npos = std::string_view::npos;
  const Row rows[] = {
      {"a\r\n<Table>\r\nb", 0, 12, 0},
      {"a\n<Table>\nb", 0, 10, 0},
      {"a\n<Table>\nb\n<Table>\n", 3, 20, 0},  // the first line starts before `from`
      {"a\n<Table>x\n<Table>\r\n", 0, 20, 0},  // not a line of its own
      {"a\n<Tables>\n", 0, npos, 5},
      {"a\n<Table>", 0, npos, 2},  // its line end is not read yet
      {"a\n<Table>\r", 0, npos, 2},
      {"a\n<Tab", 0, npos, 0},      // nor all of it
      {"<Table>\r\n", 0, npos, 3},  // the first line follows no line feed
  };
  for (const Row& row : rows) {
    std::size_t resume = 99;
    EXPECT_EQ(FindPartEnd(row.text, row.from, resume), row.end) << row.text;
    if (row.end == npos) {
      EXPECT_EQ(resume, row.resume) << row.text;
    }
  }
}

}  // namespace
}  // namespace kefconvert::detail
