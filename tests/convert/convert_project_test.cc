// Whole conversions through the public API: files in, files out.
#include <gtest/gtest.h>
#include <unistd.h>

#include "kefconvert/kefconvert.h"
#include "support/default_texts.h"
#include "support/temp_dir.h"

namespace kefconvert {
namespace {

using testing::FieldEnd;
using testing::FileExists;
using testing::kDatabaseEnd;
using testing::kLastTableEnd;
using testing::kProjectEnd;
using testing::kTableEnd;
using testing::ReadFile;
using testing::TempDir;

const std::string kInitialFieldEnd = FieldEnd("0", "False", "");

// The project and database elements with the attribute texts of their lines.
std::string ProjectHead(std::string_view project = "", std::string_view database = "") {
  return "<Project " + std::string(project) + kProjectEnd + "<Database " + std::string(database) +
         kDatabaseEnd;
}
constexpr std::string_view kEnd = "</Database>\r\n</Project>";

// Converts `text` as the project file p.kef in a fresh folder.
class Conversion {
 public:
  explicit Conversion(std::string_view text, Convert* converter = nullptr) {
    project_ = dir_.Write("p.kef", text);
    Convert fresh;
    Convert& used = converter != nullptr ? *converter : fresh;
    try {
      result_ = used.ConvertProject(project_);
    } catch (const Error& error) {
      error_number_ = error.number();
      error_line_ = error.line();
    }
    // whatever happened, the project file is as it was
    EXPECT_EQ(ReadFile(project_), text);
  }
  /// The converted text; fails the test when the conversion did not succeed.
  std::string Output() const {
    EXPECT_TRUE(result_) << "error " << error_number_ << " at line " << error_line_;
    return result_ ? ReadFile(*result_) : std::string();
  }
  std::string TempFile() const { return dir_.File("p_tmp.kef"); }
  int error_number() const { return error_number_; }
  std::int64_t error_line() const { return error_line_; }
  bool not_a_project_file() const { return !result_ && error_number_ == 0; }

 private:
  TempDir dir_;
  std::string project_;
  std::optional<std::string> result_;
  int error_number_ = 0;
  std::int64_t error_line_ = 0;
};

// Expects the conversion of `text` to fail with `number` at `line` and leave an empty file.
void ExpectFailure(std::string_view text, int number, std::int64_t line) {
  Conversion conversion(text);
  EXPECT_EQ(conversion.error_number(), number) << text;
  EXPECT_EQ(conversion.error_line(), line) << text;
  EXPECT_TRUE(FileExists(conversion.TempFile()));
  EXPECT_EQ(ReadFile(conversion.TempFile()), "") << text;
}

TEST(ConvertProject, AssemblesElementsInOrderWithTheirDefaults) {
  Conversion conversion(
      "<Project>\r\nName=Shop\r\nTitle=A & B\r\n<Database>\r\nType=MySQL\r\n"
      "<Table>\r\nName=orders\r\nUpdatable=True\r\n"
      "<Field>\r\nName=Order ID\r\nType=3\r\n<Field>\r\nName=Note\r\nType=202\r\n"
      "<Table>\r\nName=items\r\n<Field>\r\nSize=4\r\n");
  EXPECT_EQ(conversion.Output(),
            ProjectHead(" ProjName=\"Shop\" BodyTitle=\"A &amp; B\"", " DBType=\"MySQL\"") +
                "<Table  TblName=\"orders\"" + kTableEnd +
                "<Field  FldName=\"Order ID\"\r\n FldVar=\"x_Order_ID\" FldType=\"3\"" +
                FieldEnd("3", "False", "") +
                "<Field  FldName=\"Note\"\r\n FldVar=\"x_Note\" FldType=\"202\"" +
                FieldEnd("0", "True", "'") + "</Table>\r\n" + "<Table  TblName=\"items\"" +
                kTableEnd + "<Field  FldSize=\"4\"" + FieldEnd("0", "True", "'") + "</Table>\r\n" +
                std::string(kEnd));
}

TEST(ConvertProject, ConvertsTheLastLineToo) {
  Conversion setting("<Project>\r\n<Database>\r\nName=shop");
  EXPECT_EQ(setting.Output(), ProjectHead("", " DBName=\"shop\"") + std::string(kEnd));
  // a file that ends in a table marker ends with an empty last table
  Conversion marker("<Project>\n<Database>\n<Table>");
  EXPECT_EQ(marker.Output(),
            ProjectHead() + "<Table " + kLastTableEnd + "</Table>\r\n" + std::string(kEnd));
}

TEST(ConvertProject, OnlyTheLastTableWithoutFieldsGetsTheClosingDefaults) {
  Conversion conversion("<Project>\n<Database>\n<Table>\nName=a\n<Table>\nName=b\n");
  EXPECT_EQ(conversion.Output(), ProjectHead() + "<Table  TblName=\"a\"" + kTableEnd +
                                     "</Table>\r\n<Table  TblName=\"b\"" + kLastTableEnd +
                                     "</Table>\r\n" + std::string(kEnd));
}

TEST(ConvertProject, EmptyLinesAreSkippedAndBlankLinesGiveNothing) {
  Conversion conversion("<Project>\n\n   \nName=x\n\r\n<Database>\n");
  EXPECT_EQ(conversion.Output(), ProjectHead(" ProjName=\"x\"") + std::string(kEnd));
}

TEST(ConvertProject, MarkersMayHaveBlanksAroundThem) {
  Conversion conversion("  <Project>  \n <Database>\n\t\n<Table> \n");
  // the tab line is not blank: it is text of the database element
  EXPECT_EQ(conversion.Output(), "<Project " + kProjectEnd + "<Database \t" + kDatabaseEnd +
                                     "<Table " + kLastTableEnd + "</Table>\r\n" +
                                     std::string(kEnd));
}

TEST(ConvertProject, EmptyDatabaseNameReceivesTheFileNameFromPhyPath) {
  Conversion before("<Project>\n<Database>\nName=\nPhyPath=C:\\data\\shop.mdb\nName=\n");
  EXPECT_EQ(before.Output(),
            ProjectHead("", " DBName=\"shop.mdb\" DBPhyPath=\"C:\\data\\shop.mdb\" DBName=\"\"") +
                std::string(kEnd));

  Conversion named("<Project>\n<Database>\nName=main\nName=\nPath=h\nName=\nPhyPath=d\\x.db\n");
  EXPECT_EQ(named.Output(), ProjectHead("",
                                        " DBName=\"main\" DBName=\"x.db\" DBHost=\"h\""
                                        " DBName=\"x.db\" DBPhyPath=\"d\\x.db\"") +
                                std::string(kEnd));
}

TEST(ConvertProject, SqlTextOverSeveralLinesIsOneAttribute) {
  Conversion conversion(
      "<Project>\n<Database>\n<Table>\nTblSQL=SELECT *\nFROM t\n   \nWHERE a = \"1\"\n"
      "Error=x\nTblError=0\nName=t\n<Field>\nName=f\n");
  EXPECT_EQ(conversion.Output(),
            ProjectHead() +
                "<Table  TblSQL=\"SELECT * FROM t  WHERE a=&quot;1&quot; Error=x\""
                " TblError=\"0\" TblName=\"t\"" +
                kTableEnd + "<Field  FldName=\"f\"\r\n FldVar=\"x_f\"" + kInitialFieldEnd +
                "</Table>\r\n" + std::string(kEnd));
}

TEST(ConvertProject, MarkerEndsAnOpenSqlText) {
  Conversion conversion(
      "<Project>\n<Database>\n<Table>\nTblSQL=SELECT\n<Field>\nCaption=c\n<Table>\nName=n\n");
  EXPECT_EQ(conversion.Output(), ProjectHead() + "<Table  TblSQL=\"SELECT\"" + kTableEnd +
                                     "<Field  FldCaption=\"c\"" + kInitialFieldEnd +
                                     "</Table>\r\n<Table  TblName=\"n\"" + kLastTableEnd +
                                     "</Table>\r\n" + std::string(kEnd));
}

TEST(ConvertProject, LoginFieldTypeGroupFillsTheProjectAttribute) {
  std::string login_end = kProjectEnd;
  login_end.replace(login_end.find("SecLoginIDFldDataType=\"\""), 24,
                    "SecLoginIDFldDataType=\"3\"");
  Conversion conversion(
      "<Project>\nSecTbl=users\nSecUserIDFld=login\n"
      "<--##SecLoginIDFldDataType##-->\n<Database>\n"
      "<Table>\nName=users\n<Field>\nName=login\nType=200\n");
  EXPECT_EQ(conversion.Output(),
            "<Project  SecTbl=\"users\" SecLoginIDFld=\"login\""
            "&lt;--##SecLoginIDFldDataType##--&gt;" +
                login_end + "<Database " + kDatabaseEnd + "<Table  TblName=\"users\"" + kTableEnd +
                "<Field  FldName=\"login\"\r\n FldVar=\"x_login\" FldType=\"200\"" +
                FieldEnd("253", "True", "'") + "</Table>\r\n" + std::string(kEnd));
}

TEST(ConvertProject, FieldTypeStateCarriesOverFieldsAndCalls) {
  Convert converter;
  Conversion first("<Project>\n<Database>\n<Table>\n<Field>\nSize=1\n<Field>\nType=7\n<Field>\n",
                   &converter);
  EXPECT_EQ(first.Output(), ProjectHead() + "<Table " + kTableEnd + "<Field  FldSize=\"1\"" +
                                kInitialFieldEnd + "<Field  FldType=\"7\"" +
                                FieldEnd("0", "False", "'") + "<Field " +
                                FieldEnd("0", "False", "'") + "</Table>\r\n" + std::string(kEnd));
  // the same object remembers the last type line; a fresh one starts from the beginning
  std::string_view second_text = "<Project>\n<Database>\n<Table>\n<Field>\n";
  Conversion second(second_text, &converter);
  EXPECT_EQ(second.Output(), ProjectHead() + "<Table " + kTableEnd + "<Field " +
                                 FieldEnd("0", "False", "'") + "</Table>\r\n" + std::string(kEnd));
  Conversion fresh(second_text);
  EXPECT_EQ(fresh.Output(), ProjectHead() + "<Table " + kTableEnd + "<Field " + kInitialFieldEnd +
                                "</Table>\r\n" + std::string(kEnd));
}

TEST(ConvertProject, FirstLineMustBeTheProjectMarker) {
  for (std::string_view text : {"<project>\nName=x\n", "\n<Project>\n", "\xEF\xBB\xBF<Project>\n",
                                "Name=x\n<Project>\n", "\t<Project>\n"}) {
    Conversion conversion(text);
    EXPECT_TRUE(conversion.not_a_project_file()) << text;
    EXPECT_TRUE(FileExists(conversion.TempFile()));
    EXPECT_EQ(ReadFile(conversion.TempFile()), "");
  }
}

TEST(ConvertProject, SectionsMustComeInOrder) {
  ExpectFailure("<Project>\n<Database>\n<Project>\n", kInvalidFileFormat, 3);
  ExpectFailure("<Project>\n<Database>\n<Table>\n<Database>\n", kInvalidFileFormat, 4);
  ExpectFailure("<Project>\nName=x\n<Table>\n", kInvalidFileFormat, 3);
  ExpectFailure("<Project>\n<Database>\n<Field>\n", kInvalidFileFormat, 3);
  ExpectFailure("<Project>\n<Field>\n", kInvalidFileFormat, 2);
  // misspelt markers
  ExpectFailure("<Project>\n<database>\n", kInvalidFileFormat, 2);
  ExpectFailure("<Project>\n<Database>\n<Table>\n<Field>\t\n", kInvalidFileFormat, 4);
  ExpectFailure("<Project>\n<Database>\n<Table>\n \t<TABLE> \n", kInvalidFileFormat, 4);
  // a project without a database names the last line
  ExpectFailure("<Project>\nName=x\n\nTitle=y\n", kInvalidFileFormat, 4);
  ExpectFailure("<Project>", kInvalidFileFormat, 1);
}

TEST(ConvertProject, InnerBlanksMakeTextNotAMarker) {
  Conversion conversion("<Project>\n<Database>\n<Table>\n< FIELD>\n");
  EXPECT_EQ(conversion.Output(), ProjectHead() + "<Table &lt; FIELD&gt;" + kLastTableEnd +
                                     "</Table>\r\n" + std::string(kEnd));
}

TEST(ConvertProject, ErrorsOfALineCarryItsNumber) {
  ExpectFailure("<Project>\r\n<Database>\r\n<Table>\r\n\r\n<Field>\r\nType=x\r\n", kTypeMismatch,
                6);
  ExpectFailure("<Project>\n<Database>\n" + std::string(32766, 'k') + "=v\n", kOverflow, 3);
  ExpectFailure("<Project>\n<Database>\n<Table>\n<Field>\nName=" + std::string(32767, 'n'),
                kOverflow, 5);
}

TEST(ConvertProject, TablesAndFieldsAreCountedInSixteenBits) {
  std::string tables = "<Project>\n<Database>\n";
  for (int i = 0; i < 32767; ++i) tables += "<Table>\n";
  Conversion most(tables);
  EXPECT_EQ(most.error_number(), 0);
  ExpectFailure(tables + "<Table>\n", kOverflow, 32770);

  std::string fields = "<Project>\n<Database>\n<Table>\n";
  for (int i = 0; i < 32767; ++i) fields += "<Field>\n";
  // a new table counts its fields afresh
  Conversion next_table(fields + "<Table>\n<Field>\n");
  EXPECT_EQ(next_table.error_number(), 0);
  ExpectFailure(fields + "<Field>\n", kOverflow, 32771);
}

TEST(ConvertProject, EndsInTheDatabaseSectionWithBalancedElements) {
  Conversion conversion("<Project>\n<Database>\n");
  EXPECT_EQ(conversion.Output(), ProjectHead() + std::string(kEnd));
}

TEST(ConvertProject, EmptyFileIsInputPastEndWithoutLine) {
  ExpectFailure("", kInputPastEndOfFile, 0);
}

TEST(ConvertProject, FailureEmptiesAnExistingConvertedFile) {
  TempDir dir;
  std::string project = dir.Write("p.kef", "<Project>\n<Database>\n<Table>\n<Field>\nType=?\n");
  dir.Write("p_tmp.kef", "older text");
  Convert converter;
  EXPECT_THROW(converter.ConvertProject(project), Error);
  EXPECT_EQ(ReadFile(dir.File("p_tmp.kef")), "");
}

TEST(ConvertProject, ReplacesAnExistingConvertedFile) {
  TempDir dir;
  std::string project = dir.Write("p.kef", "<Project>\n<Database>\n");
  dir.Write("p_tmp.kef", std::string(100000, 'x'));
  Convert converter;
  ASSERT_TRUE(converter.ConvertProject(project));
  EXPECT_EQ(ReadFile(dir.File("p_tmp.kef")), ProjectHead() + std::string(kEnd));
}

int ErrorOf(const std::string& path) {
  try {
    Convert converter;
    converter.ConvertProject(path);
  } catch (const Error& error) {
    EXPECT_EQ(error.line(), 0);
    return error.number();
  }
  return 0;
}

TEST(ConvertProject, NamesThatCannotGiveAConvertedFile) {
  TempDir dir;
  EXPECT_EQ(ErrorOf(""), kInvalidArgument);
  EXPECT_EQ(ErrorOf("a.k"), kInvalidArgument);
  // the four dropped characters must not reach into the folder part
  std::string folder = dir.File("kef");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  dir.Write("kef/abc", "<Project>\n<Database>\n");
  EXPECT_EQ(ErrorOf(dir.File("kef/abc")), kInvalidArgument);
  EXPECT_FALSE(FileExists(dir.File("kef_tmp.kef")));
  // the last four characters go whatever they are
  dir.Write("kef/abcd", "<Project>\n<Database>\n");
  EXPECT_EQ(ErrorOf(dir.File("kef/abcd")), 0);
  EXPECT_TRUE(FileExists(dir.File("kef/_tmp.kef")));
}

TEST(ConvertProject, DropsTheLastFourCharactersNotBytes) {
  TempDir dir;
  std::string text = "<Project>\n<Database>\n";
  // "shop.kéf" in UTF-8: the four characters ".kéf" are five bytes
  std::string project = dir.Write(
      "shop.k\xC3\xA9"
      "f",
      text);
  Convert converter;
  EXPECT_EQ(converter.ConvertProject(project), dir.File("shop_tmp.kef"));
  // a character beyond the basic plane counts two
  project = dir.Write("x\xF0\x9F\x98\x80\xF0\x9F\x98\x80", text);
  EXPECT_EQ(converter.ConvertProject(project), dir.File("x_tmp.kef"));
  // a name that is not UTF-8 counts bytes
  project = dir.Write("y.k\xE9\xE9", text);
  EXPECT_EQ(converter.ConvertProject(project), dir.File("y_tmp.kef"));
  // four units that end inside a character are no four characters
  EXPECT_EQ(ErrorOf(dir.File("\xF0\x9F\x98\x80"
                             "abc")),
            kInvalidArgument);
}

TEST(ConvertProject, FileSystemFailuresBeforeConverting) {
  TempDir dir;
  EXPECT_EQ(ErrorOf(dir.File("missing.kef")), kFileNotFound);
  EXPECT_EQ(ErrorOf(dir.File("no/such/folder.kef")), kPathNotFound);
  ASSERT_EQ(::mkdir(dir.File("folder.kef").c_str(), 0755), 0);
  EXPECT_EQ(ErrorOf(dir.File("folder.kef")), kPathFileAccessError);
  EXPECT_FALSE(FileExists(dir.File("missing_tmp.kef")));
  EXPECT_FALSE(FileExists(dir.File("folder_tmp.kef")));
}

TEST(ConvertProject, NeverTruncatesTheProjectFileThroughAnotherName) {
  TempDir dir;
  std::string text = "<Project>\n<Database>\n";
  std::string project = dir.Write("p.kef", text);
  ASSERT_EQ(::symlink(project.c_str(), dir.File("p_tmp.kef").c_str()), 0);
  EXPECT_EQ(ErrorOf(project), kPathFileAccessError);
  EXPECT_EQ(ReadFile(project), text);
}

TEST(ConvertProject, CodePageDecidesOnlyHowVariableNamesSpellBytes) {
  std::string text = "<Project>\n\xC0=\xC0\n<Database>\n<Table>\n<Field>\nName=\xC0\n";
  for (auto [page, code] : {std::pair{1252, "C0"}, std::pair{1251, "410"}}) {
    TempDir dir;
    std::string project = dir.Write("p.kef", text);
    Convert converter(Options{page});
    std::string out = ReadFile(*converter.ConvertProject(project));
    EXPECT_NE(out.find("<Project  \xC0=\"\xC0\""), std::string::npos);
    EXPECT_NE(out.find(" FldName=\"\xC0\"\r\n FldVar=\"x_" + std::string(code) + "\""),
              std::string::npos)
        << page;
  }
}

}  // namespace
}  // namespace kefconvert
