#include "project_generator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kefconvert/kefconvert.h"

namespace kefconvert::bench {
namespace {

class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/kefbench-test-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() {
    for (const std::string& file : files_) ::unlink(file.c_str());
    ::rmdir(path_.c_str());
  }
  std::string File(const std::string& name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = text.find("\r\n"); end != std::string::npos;
       end = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

TEST(GenerateProject, SameSizeAndSeedGiveTheSameBytes) {
  Folder folder;
  std::string a = folder.File("a.kef");
  std::string b = folder.File("b.kef");
  std::string c = folder.File("c.kef");
  GenerateProject(a, 200000, 1);
  GenerateProject(b, 200000, 1);
  GenerateProject(c, 200000, 2);
  EXPECT_EQ(Read(a), Read(b));
  EXPECT_NE(Read(a), Read(c));
}

TEST(GenerateProject, ReachesTheRequestedSizeAndCountsWhatItWrote) {
  Folder folder;
  std::string path = folder.File("p.kef");
  GeneratedProject project = GenerateProject(path, 300000);
  std::string text = Read(path);
  EXPECT_EQ(project.bytes, text.size());
  EXPECT_GE(project.bytes, 300000u);
  EXPECT_LT(project.bytes, 300000u + 200000u);  // at most one table more
  EXPECT_EQ(Count(text, "\r\n<Table>\r\n"), project.tables);
  EXPECT_EQ(Count(text, "\r\n<Field>\r\n"), project.fields);
  EXPECT_EQ(Count(text, "\r\n"), project.lines);
  EXPECT_EQ(Count(text, "\n"), project.lines) << "every line ends with CRLF";
  EXPECT_TRUE(text.starts_with("<Project>\r\n"));
}

TEST(GenerateProject, FieldsHoldThirtyToFiftySettings) {
  Folder folder;
  std::string path = folder.File("p.kef");
  GenerateProject(path, 200000);
  std::vector<std::string> lines = Lines(Read(path));
  int settings = -1;  // -1: not in a field section
  std::size_t fields = 0;
  auto close_field = [&] {
    if (settings < 0) return;
    ++fields;
    EXPECT_GE(settings, 30);
    EXPECT_LE(settings, 51);  // one key that no map names may follow the 50
  };
  for (const std::string& line : lines) {
    if (line == "<Field>" || line == "<Table>") {
      close_field();
      settings = line == "<Field>" ? 0 : -1;
    } else if (settings >= 0 && line.find('=') != std::string::npos) {
      ++settings;
    }
  }
  close_field();
  EXPECT_GT(fields, 100u);
}

TEST(GenerateProject, HoldsWhatMakesConversionWork) {
  Folder folder;
  std::string path = folder.File("p.kef");
  GenerateProject(path, 400000);
  std::string text = Read(path);
  EXPECT_GT(Count(text, "TblSQL"), 0u) << "multi-line SQL text";
  EXPECT_GT(Count(text, "&"), 0u);
  EXPECT_GT(Count(text, "\""), 0u);
  EXPECT_GT(Count(text, "<b>"), 0u);
  EXPECT_GT(Count(text, "\xDF"), 0u) << "a byte above 0x7F in a field name";
  EXPECT_GT(Count(text, "\r\n   \r\n"), 0u) << "a line of blanks";
  EXPECT_GT(Count(text, "  TagCols = "), 0u) << "blanks around a setting";
}

TEST(GenerateProject, ConvertsWithTheSecurityTablesLoginField) {
  Folder folder;
  std::string path = folder.File("p.kef");
  GeneratedProject project = GenerateProject(path, 200000);
  folder.File("p_tmp.kef");
  Convert converter;
  std::optional<std::string> out = converter.ConvertProject(path);
  ASSERT_TRUE(out);
  std::string converted = Read(*out);
  EXPECT_EQ(Count(converted, "<Table  "), project.tables);
  EXPECT_EQ(Count(converted, "<Field  "), project.fields);
  EXPECT_EQ(Count(converted, " SecLoginIDFldDataType=\"3\" "), 1u);
  EXPECT_EQ(Count(converted, "DBName=\"shop.mdb\""), 1u);
  EXPECT_TRUE(converted.ends_with("</Database>\r\n</Project>"));
}

TEST(GenerateManyTables, GivesTheMostTablesOneDatabaseMayHold) {
  Folder folder;
  std::string path = folder.File("t.kef");
  GeneratedProject project = GenerateManyTables(path, 32767);
  folder.File("t_tmp.kef");
  EXPECT_EQ(project.tables, 32767u);
  Convert converter;
  std::optional<std::string> out = converter.ConvertProject(path);
  ASSERT_TRUE(out);
  EXPECT_EQ(Count(Read(*out), "<Table  "), 32767u);
}

}  // namespace
}  // namespace kefconvert::bench
