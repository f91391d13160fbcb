#include "convert/setting.h"

#include <gtest/gtest.h>

#include "convert/escape.h"
#include "support/convert_testing.h"

namespace kefconvert {
namespace {

using detail::FieldTypeState;
using detail::LineKind;
using testing::Lines;

// The attribute text of a setting: a blank, the name, "=" and the quoted value.
std::string Attribute(std::string_view name, std::string_view value) {
  std::string text(" ");
  text.append(name).append("=\"").append(value).append("\"");
  return text;
}

TEST(ConvertSetting, SplitsAtFirstEqualsAndTrimsBlanksOnly) {
  Lines convert;
  EXPECT_EQ(convert("<Project>", "Name = Shop"), " ProjName=\"Shop\"");
  EXPECT_EQ(convert("<Project>", "Title=a=b"), " BodyTitle=\"a=b\"");
  EXPECT_EQ(convert("<Project>", "Title=\ta\t"), " BodyTitle=\"\ta\t\"");
  EXPECT_EQ(convert("<Project>", "Note="), " Note=\"\"");
  EXPECT_EQ(convert.kind, LineKind::kAttribute);
}

TEST(ConvertSetting, EscapesValuesAmpersandFirstButNeverKeys) {
  Lines convert;
  EXPECT_EQ(convert("<Project>", "Title=Shop <Admin> & \"More\""),
            " BodyTitle=\"Shop &lt;Admin&gt; &amp; &quot;More&quot;\"");
  EXPECT_EQ(convert("<Project>", "Title=&amp; &quot;"), " BodyTitle=\"&amp;amp; &amp;quot;\"");
  EXPECT_EQ(convert("<Project>", "Title='apostrophe'"), " BodyTitle=\"'apostrophe'\"");
  EXPECT_EQ(convert("<Project>", "a&b=1"), " a&b=\"1\"");
}

TEST(ConvertSetting, KeysMatchExactlyWithTheirLetterCase) {
  Lines convert;
  EXPECT_EQ(convert("<Project>", "name=Shop"), " name=\"Shop\"");
  EXPECT_EQ(convert("<Table>", "NAME=x"), " NAME=\"x\"");
  EXPECT_EQ(convert("<Project>", "Unknown=1"), " Unknown=\"1\"");
}

TEST(ConvertSetting, ProjectKeys) {
  Lines convert;
  EXPECT_EQ(convert("<Project>", "Version=1.3.0.1"), " Version=\"2.0.0.0\"");
  EXPECT_EQ(convert("<Project>", "Version="), " Version=\"2.0.0.0\"");
  EXPECT_EQ(convert("<Project>", "LeftMargin=5"), " BodyLeftMargin=\"5\"");
  EXPECT_EQ(convert("<Project>", "TopMargin=5"), " BodyTopMargin=\"5\"");
  EXPECT_EQ(convert("<Project>", "SecurityVar=s"), " SessSecurityVar=\"s\"");
  EXPECT_EQ(convert("<Project>", "TimeOut=20"), " SessTimeOut=\"20\"");
  EXPECT_EQ(convert("<Project>", "Font=Arial"), " BodyFont=\"Arial\"");
  EXPECT_EQ(convert("<Project>", "BgColor=w"), " BodyBgColor=\"w\"");
  EXPECT_EQ(convert("<Project>", "TextColor=c"), " BodyTextColor=\"c\"");
  EXPECT_EQ(convert("<Project>", "LnkColor=c"), " BodyLnkColor=\"c\"");
  EXPECT_EQ(convert("<Project>", "VLnkColor=c"), " BodyVLnkColor=\"c\"");
  EXPECT_EQ(convert("<Project>", "ALnkColor=c"), " BodyALnkColor=\"c\"");
  EXPECT_EQ(convert("<Project>", "Size=2"), " BodySize=\"2\"");
  EXPECT_EQ(convert("<Project>", "SecUserID=admin"), " SecLoginID=\"admin\"");
  EXPECT_EQ(convert("<Project>", "SecUserIDFld=login"), " SecLoginIDFld=\"login\"");
  EXPECT_EQ(convert.state.SecLoginIDFldName, "login");
  EXPECT_EQ(convert("<Project>", "SecTbl=users & co"), " SecTbl=\"users &amp; co\"");
  EXPECT_EQ(convert.state.SecTblName, "users &amp; co");
}

TEST(ConvertSetting, DateFormatsMapToTheirNumbers) {
  Lines convert;
  EXPECT_EQ(convert("<Project>", "defaultDateFormat="), " defaultDateFormat=\"5\"");
  EXPECT_EQ(convert("<Project>", "defaultDateFormat=yyyy/mm/dd"), " defaultDateFormat=\"5\"");
  EXPECT_EQ(convert("<Project>", "defaultDateFormat=mm/dd/yyyy"), " defaultDateFormat=\"6\"");
  EXPECT_EQ(convert("<Project>", "defaultDateFormat=dd/mm/yyyy"), " defaultDateFormat=\"7\"");
  EXPECT_EQ(convert("<Project>", "defaultDateFormat=YYYY/MM/DD"),
            " defaultDateFormat=\"YYYY/MM/DD\"");
  EXPECT_EQ(convert("<Project>", "defaultDateFormat=dd.mm.yyyy"),
            " defaultDateFormat=\"dd.mm.yyyy\"");
}

TEST(ConvertSetting, DroppedKeysGiveNothingAndKeepKeyName) {
  const std::pair<std::string_view, std::string_view> dropped[] = {
      {"<Project>", "ProjLang"},
      {"<Project>", "DBCnt"},
      {"<Project>", "P_DosFormat"},
      {"<Project>", "P_CGIPath"},
      {"<Database>", "UseServerMapPath"},
      {"<Database>", "ADOVer"},
      {"<Database>", "OLEDBVer"},
      {"<Database>", "TblCnt"},
      {"<Database>", "Schema"},
      {"<Table>", "Updatable"},
      {"<Table>", "FieldCnt"},
      {"<Table>", "SQL"},
      {"<Table>", "Error"},
      {"<Table>", "Where"},
  };
  for (auto [section, key] : dropped) {
    Lines convert;
    convert.state.KeyName = "Before";
    EXPECT_EQ(convert(section, std::string(key) + "=anything"), "") << key;
    EXPECT_EQ(convert.kind, LineKind::kDropped) << key;
    EXPECT_EQ(convert.state.KeyName, "Before") << key;
  }
}

TEST(ConvertSetting, DatabaseKeysAndFileNameFromPath) {
  Lines convert;
  EXPECT_EQ(convert("<Database>", "Name=shop"), " DBName=\"shop\"");
  EXPECT_EQ(convert("<Database>", "Type=Access"), " DBType=\"Access\"");
  EXPECT_EQ(convert("<Database>", "Path=host"), " DBHost=\"host\"");
  EXPECT_EQ(convert("<Database>", "UID=u"), " DBUID=\"u\"");
  EXPECT_EQ(convert("<Database>", "PWD=p"), " DBPwd=\"p\"");
  EXPECT_EQ(convert("<Database>", "DBMSName=n"), " DBDBMSName=\"n\"");
  EXPECT_EQ(convert("<Database>", "DBMSVer=v"), " DBDBMSVer=\"v\"");
  EXPECT_EQ(convert("<Database>", "ProviderName=n"), " DBProviderName=\"n\"");
  EXPECT_EQ(convert("<Database>", "ProviderVer=v"), " DBProviderVer=\"v\"");

  EXPECT_EQ(convert("<Database>", "PhyPath=C:\\data\\shop.mdb"),
            " DBPhyPath=\"C:\\data\\shop.mdb\"");
  EXPECT_EQ(convert.state.DBNameFromPath, "shop.mdb");
  convert("<Database>", "PhyPath=shop.mdb");
  EXPECT_EQ(convert.state.DBNameFromPath, "shop.mdb");
  convert("<Database>", "PhyPath=C:\\data\\");
  EXPECT_EQ(convert.state.DBNameFromPath, "");
  convert("<Database>", "PhyPath=C:\\a&b.mdb");
  EXPECT_EQ(convert.state.DBNameFromPath, "a&amp;b.mdb");
}

TEST(ConvertSetting, FileNameFromPathStartsAfterAWholeBackslash) {
  const struct {
    int page;
    std::string_view path;
    std::string_view name;
  } cases[] = {
      {932, "C:\\\x83\x5C\x83\x74\x83\x67\\\x95\x5C.mdb", "\x95\x5C.mdb"},  // C:\ソフト\表.mdb
      {932, "\x95\x5C", "\x95\x5C"},
      {936, "D:\\\x81\x5C", "\x81\x5C"},
      {950, "E:\\\xA5\x5C\xA5\x5C", "\xA5\x5C\xA5\x5C"},
      {949, "C:\\\xB0\xA1\\a.mdb", "a.mdb"},
      {65001, "C:\\\xE8\xA1\xA8\\\xE8\xA1\xA8.mdb", "\xE8\xA1\xA8.mdb"},
      {1252, "C:\\\x95\x5C.mdb", ".mdb"},  // in 1252 the 0x5C is a backslash
  };
  for (const auto& c : cases) {
    Lines convert(c.page);
    convert("<Database>", "PhyPath=" + std::string(c.path));
    EXPECT_EQ(convert.state.DBNameFromPath, c.name) << c.page << ": " << c.path;
  }
}

TEST(ConvertSetting, TableKeysTakeTheTablePrefix) {
  Lines convert;
  const std::pair<std::string_view, std::string_view> renamed[] = {
      {"Seq", "TblSeq"},
      {"Type", "TblType"},
      {"Key", "TblKey"},
      {"Gen", "TblGen"},
      {"View", "TblView"},
      {"Edit", "TblEdit"},
      {"Add", "TblAdd"},
      {"Delete", "TblDelete"},
      {"Caption", "TblCaption"},
      {"SearchType", "TblSrchType"},
      {"DefaultTable", "TblDefault"},
      // keys of the field map are not recognised here
      {"Size", "Size"},
      {"TblError", "TblError"},
  };
  for (auto [key, new_key] : renamed) {
    EXPECT_EQ(convert("<Table>", std::string(key) + "=v"), Attribute(new_key, "v"));
  }
}

TEST(ConvertSetting, FieldKeysTakeTheFieldPrefix) {
  Lines convert;
  const std::pair<std::string_view, std::string_view> renamed[] = {
      {"Seq", "FldSeq"},
      {"Support", "FldSupport"},
      {"Size", "FldSize"},
      {"UniqueIdx", "FldUniqueIdx"},
      {"ZeroLen", "FldZeroLen"},
      {"Req", "FldReq"},
      {"Attribute", "FldAttribute"},
      {"Required", "FldRequired"},
      {"PopCalendar", "FldPopCalendar"},
      {"Generate", "FldGenerate"},
      {"List", "FldList"},
      {"View", "FldView"},
      {"Edit", "FldEdit"},
      {"Add", "FldAdd"},
      {"Search", "FldSearch"},
      {"SearchOpr", "FldSrchOpr"},
      {"Caption", "FldCaption"},
      {"ViewTag", "FldViewTag"},
      {"HtmlTag", "FldHtmlTag"},
      {"TagSize", "FldTagSize"},
      {"TagMaxLength", "FldTagMaxLength"},
      {"TagSelectType", "FldSelectType"},
      {"TagLnkDistinct", "FldTagLnkDistinct"},
      {"TagCols", "FldTagCols"},
      {"TagRows", "FldTagRows"},
      {"TagImgWidth", "FldTagImgWidth"},
      {"TagImgHeight", "FldTagImgHeight"},
      {"TagAPrefix", "FldTagAPrefix"},
      {"TagBold", "FldBold"},
      {"TagItalic", "FldItalic"},
      {"TagFmtType", "FldFmtType"},
      {"TagDtFormat", "FldDtFormat"},
      {"TagNumDigits", "FldNumDigits"},
      {"TagIncLeadDigit", "FldIncLeadDigit"},
      {"TagUseParen", "FldUseParen"},
      {"TagGpDigits", "FldGpDigits"},
      {"Min", "FldMin"},
      {"Max", "FldMax"},
      {"ErrMsg", "FldErrMsg"},
      {"Validate", "FldValidate"},
      {"Default", "FldDefault"},
      {"Order", "FldOrder"},
      {"TagValues", "FldTagValues"},
      {"TagLnkTbl", "FldTagLnkTbl"},
      {"TagLnkFld", "FldTagLnkFld"},
      {"TagLnkDisplay", "FldTagLnkDisplay"},
      {"TagLnkDisp2", "FldTagLnkDisp2"},
      {"TagLnkOrderBy", "FldTagLnkOrderBy"},
      {"TagLnkOrderType", "FldTagLnkOrderType"},
      {"TagAType", "FldTagAType"},
      {"TagATarget", "FldTagATarget"},
      {"TagASuffix", "FldTagASuffix"},
      // keys of the table map are not recognised here, and nothing is dropped
      {"Key", "Key"},
      {"Error", "Error"},
      {"SQL", "SQL"},
  };
  for (auto [key, new_key] : renamed) {
    EXPECT_EQ(convert("<Field>", std::string(key) + "=v"), Attribute(new_key, "v"));
  }
  EXPECT_EQ(convert("<Field>", "Type=3"), " FldType=\"3\"");
}

TEST(ConvertSetting, LineWithoutEqualsPassesEscapedAndLeavesStateAlone) {
  Lines convert;
  convert.state.KeyName = "BodyTitle";
  EXPECT_EQ(convert("<Project>", "REM <note> \"x\" & y"), "REM &lt;note&gt; &quot;x&quot; &amp; y");
  EXPECT_EQ(convert.kind, LineKind::kStrayText);
  EXPECT_EQ(convert.state.KeyName, "BodyTitle");
  EXPECT_EQ(convert("<Project>", ""), "");
  EXPECT_EQ(convert.kind, LineKind::kBlank);
  // a line that begins with "=" has an empty key, which is dropped
  EXPECT_EQ(convert("<Project>", "=value"), "");
  EXPECT_EQ(convert.kind, LineKind::kDropped);
}

TEST(ConvertSetting, KeyNameFollowsEmittedLines) {
  Lines convert;
  convert("<Table>", "Caption=x");
  EXPECT_EQ(convert.state.KeyName, "TblCaption");
  convert("<Table>", "Where=x");
  EXPECT_EQ(convert.state.KeyName, "TblCaption");
}

TEST(ConvertSetting, SqlBlockTakesLinesAsWrittenUntilTblError) {
  Lines convert;
  EXPECT_EQ(convert("<Table>", "TblSQL=SELECT *"), " TblSQL=\"SELECT *\"");
  EXPECT_EQ(convert.state.KeyName, "TblSQL");
  // no key map, no dropped keys, no side effects; blanks around "=" go
  EXPECT_EQ(convert("<Table>", "WHERE a = 1"), "WHERE a=1");
  EXPECT_EQ(convert.kind, LineKind::kSqlPiece);
  EXPECT_EQ(convert("<Table>", "Name = 'x'"), "Name='x'");
  EXPECT_FALSE(convert.state.InSecTbl);
  EXPECT_EQ(convert("<Table>", "Error = 0"), "Error=0");
  EXPECT_EQ(convert("<Table>", "ORDER BY \"b\" <> c"), "ORDER BY &quot;b&quot; &lt;&gt; c");
  EXPECT_EQ(convert("<Table>", "a<b = \"c\""), "a&lt;b=&quot;c&quot;");
  EXPECT_EQ(convert("<Table>", "=1"), "=1");
  EXPECT_EQ(convert("<Table>", ""), "");
  EXPECT_EQ(convert.kind, LineKind::kSqlPiece);
  EXPECT_EQ(convert.state.KeyName, "TblSQL");
  EXPECT_EQ(convert("<Table>", "TblError = none"), " TblError=\"none\"");
  EXPECT_EQ(convert.kind, LineKind::kAttribute);
  EXPECT_EQ(convert.state.KeyName, "TblError");
  EXPECT_EQ(convert("<Table>", "Name=t"), " TblName=\"t\"");
}

TEST(ConvertSetting, SqlBlockPiecesDoNotTouchSecurityState) {
  Lines convert;
  convert.state.SecTblName = "t";
  convert.state.SecLoginIDFldName = "id";
  convert("<Table>", "TblSQL=SELECT");
  convert("<Table>", "Name=t");
  convert("<Table>", "FldName=id");
  EXPECT_FALSE(convert.state.InSecTbl);
  EXPECT_FALSE(convert.state.InLoginFld);
}

TEST(ConvertSetting, TblSqlOutsideTablesOpensNoBlock) {
  Lines convert;
  EXPECT_EQ(convert("<Field>", "TblSQL=SELECT"), " TblSQL=\"SELECT\"");
  EXPECT_EQ(convert("<Field>", "Caption=c"), " FldCaption=\"c\"");
  EXPECT_EQ(convert.kind, LineKind::kAttribute);
}

TEST(ConvertSetting, SecurityTableAndLoginField) {
  Lines convert;
  convert("<Project>", "SecTbl=Users");
  convert("<Project>", "SecUserIDFld=Login");
  convert("<Table>", "Name=users");  // letter case differs
  EXPECT_FALSE(convert.state.InSecTbl);
  convert("<Field>", "Name=Login");
  EXPECT_FALSE(convert.state.InLoginFld);
  convert("<Field>", "Type=3");
  EXPECT_EQ(convert.state.LoginFldTypeGroup, "");

  convert("<Table>", "Name=Users");
  EXPECT_TRUE(convert.state.InSecTbl);
  convert("<Table>", "name=Other");  // not the "Name" key: the verdict stands
  EXPECT_TRUE(convert.state.InSecTbl);
  convert("<Field>", "Name=Login");
  EXPECT_TRUE(convert.state.InLoginFld);
  convert("<Field>", "Type=202");
  EXPECT_EQ(convert.state.LoginFldTypeGroup, "3");
  convert("<Field>", "Type=3");  // a second type line wins
  EXPECT_EQ(convert.state.LoginFldTypeGroup, "1");
  // the next field's type line before its name line still counts for the login field
  convert("<Field>", "Type=7");
  EXPECT_EQ(convert.state.LoginFldTypeGroup, "2");
  convert("<Field>", "Name=Other");
  EXPECT_FALSE(convert.state.InLoginFld);
  convert("<Field>", "Type=11");
  EXPECT_EQ(convert.state.LoginFldTypeGroup, "2");
  // an old line already spelt "FldName" gets its variable but leaves the flag alone
  convert("<Field>", "FldName=Login");
  EXPECT_FALSE(convert.state.InLoginFld);
}

TEST(ConvertSetting, EscapedNamesMatchEscapedNames) {
  Lines convert;
  convert("<Project>", "SecTbl=A & B");
  convert("<Table>", "Name=A & B");
  EXPECT_TRUE(convert.state.InSecTbl);
}

TEST(ConvertSetting, WithoutSecTblOnlyAnEmptyTableNameMatches) {
  Lines convert;
  convert("<Table>", "Name=x");
  EXPECT_FALSE(convert.state.InSecTbl);
  convert("<Table>", "Name=");
  EXPECT_TRUE(convert.state.InSecTbl);
}

TEST(ConvertSetting, FieldTypeLineSetsTheFieldTypeState) {
  Lines convert;
  EXPECT_EQ(convert("<Field>", "Type=200"), " FldType=\"200\"");
  EXPECT_EQ(convert.types, (FieldTypeState{253, true, "'", "'"}));
  convert("<Field>", "Type=3");
  EXPECT_EQ(convert.types, (FieldTypeState{3, false, "", ""}));
  // a table's type line touches nothing
  convert("<Table>", "Type=200");
  EXPECT_EQ(convert.types, (FieldTypeState{3, false, "", ""}));
}

TEST(ConvertSetting, BadTypeCodeFailsBeforeAnythingChanges) {
  for (bool login_field : {false, true}) {
    Lines convert;
    convert("<Field>", "Type=202");
    convert.state.InLoginFld = login_field;
    convert.state.LoginFldTypeGroup = "3";
    convert.state.KeyName = "FldName";
    for (std::string_view line : {"Type=", "Type=abc", "Type=0x10", "Type=1 2"}) {
      try {
        convert("<Field>", line);
        ADD_FAILURE() << line << " did not fail";
      } catch (const Error& error) {
        EXPECT_EQ(error.number(), kTypeMismatch) << line;
        EXPECT_EQ(error.description(), "Type mismatch");
      }
      EXPECT_EQ(convert.types, (FieldTypeState{0, true, "'", "'"}));
      EXPECT_EQ(convert.state.LoginFldTypeGroup, "3");
      EXPECT_EQ(convert.state.KeyName, "FldName");
    }
  }
}

TEST(ConvertSetting, FieldNameAddsItsVariableOnANewLine) {
  Lines convert;
  EXPECT_EQ(convert("<Field>", "Name=Order ID"), " FldName=\"Order ID\"\r\n FldVar=\"x_Order_ID\"");
  EXPECT_EQ(convert.state.KeyName, "FldName");
  EXPECT_EQ(convert("<Field>", "Name=A&B"), " FldName=\"A&amp;B\"\r\n FldVar=\"x_A26amp3BB\"");
  // in any section, for a key already spelt "FldName"
  EXPECT_EQ(convert("<Project>", "FldName=a.b"), " FldName=\"a.b\"\r\n FldVar=\"x_a2Eb\"");
}

TEST(ConvertSetting, EqualsAtPosition32767Overflows) {
  Lines convert;
  std::string fits(32765, 'k');
  EXPECT_EQ(convert("<Project>", fits + "=v"), " " + fits + "=\"v\"");
  std::string too_far(32766, 'k');
  convert.state.KeyName = "Before";
  try {
    convert("<Project>", too_far + "=v");
    ADD_FAILURE() << "no overflow";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kOverflow);
  }
  EXPECT_EQ(convert.state.KeyName, "Before");
  // without "=" the line is text, whatever its length
  EXPECT_EQ(convert("<Project>", too_far + too_far).size(), 2 * too_far.size());
  // the rule holds inside an SQL block too
  convert.state.KeyName = "TblSQL";
  EXPECT_THROW(convert("<Table>", too_far + "=v"), Error);
}

TEST(ConvertSetting, ResultSaysWhatTheLineWasAndWhatBecameOfIt) {
  struct Case {
    std::string_view section, line;
    LineKind kind;
    std::string_view key, new_key;
    bool known, rewritten, field_type;
  };
  const Case cases[] = {
      {"<Project>", "Name = Shop", LineKind::kAttribute, "Name", "ProjName", true, false, false},
      {"<Project>", "Version=1", LineKind::kAttribute, "Version", "Version", true, true, false},
      {"<Project>", "Version=2.0.0.0", LineKind::kAttribute, "Version", "Version", true, false,
       false},
      {"<Project>", "defaultDateFormat=", LineKind::kAttribute, "defaultDateFormat",
       "defaultDateFormat", true, true, false},
      {"<Project>", "defaultDateFormat=dd.mm.yyyy", LineKind::kAttribute, "defaultDateFormat",
       "defaultDateFormat", true, false, false},
      {"<Database>", "ADOVer=2.8", LineKind::kDropped, "ADOVer", "", true, false, false},
      {"<Table>", "Captoin=x", LineKind::kAttribute, "Captoin", "Captoin", false, false, false},
      {"<Field>", "Type=3", LineKind::kAttribute, "Type", "FldType", true, false, true},
      {"<Table>", "no equals sign", LineKind::kStrayText, "", "", false, false, false},
      {"<Table>", "", LineKind::kBlank, "", "", false, false, false},
  };
  for (const Case& c : cases) {
    Lines convert;
    convert(c.section, c.line);
    const detail::SettingResult& result = convert.result;
    EXPECT_EQ(result.kind, c.kind) << c.line;
    EXPECT_EQ(result.key, c.key) << c.line;
    EXPECT_EQ(result.new_key, c.new_key) << c.line;
    EXPECT_EQ(result.known_key, c.known) << c.line;
    EXPECT_EQ(result.rewritten, c.rewritten) << c.line;
    EXPECT_EQ(result.field_type, c.field_type) << c.line;
    EXPECT_EQ(result.appended_at, 1u) << c.line;  // after the element's opening quote
  }
}

TEST(ConvertSetting, EqualsPositionCountsCodeUnits) {
  // 32765 characters of two bytes each before the "=": it stands at position 32766
  std::string key;
  for (int i = 0; i < 32765; ++i) key += "\x83\x41";
  Lines in_932(932);
  EXPECT_EQ(in_932("<Project>", key + "=v"), " " + key + "=\"v\"");
  EXPECT_THROW(in_932("<Project>", key + "\x83\x41=v"), Error);
  // the same bytes in 1252 are 65530 characters
  Lines in_1252(1252);
  EXPECT_THROW(in_1252("<Project>", key + "=v"), Error);
  // in 65001 a character above U+FFFF counts two
  std::string wide = "k";
  for (int i = 0; i < 16382; ++i) wide += "\xF0\x9F\x98\x80";
  Lines in_65001(65001);
  EXPECT_EQ(in_65001("<Project>", wide + "=v"), " " + wide + "=\"v\"");
  EXPECT_THROW(in_65001("<Project>", wide + "k=v"), Error);
}

TEST(TrimBlanks, RemovesBlanksButNotTabs) {
  EXPECT_EQ(detail::TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(detail::TrimBlanks("\ta\t"), "\ta\t");
  EXPECT_EQ(detail::TrimBlanks("   "), "");
  EXPECT_EQ(detail::TrimBlanks(""), "");
}

}  // namespace
// The fast path takes only lines whose translation is their key's new name and their
// value as it stands, and writes and remembers what the full translation does; it stops
// at every other line and leaves it to the full translation untouched.
TEST(ConvertPlainLines, TakesOnlyPlainSettingsAndWritesWhatTheFullPathWrites) {
  struct Case {
    std::string_view section;
    std::string line;
    bool taken;
  } cases[] = {
      {"<Table>", "Caption=Orders", true},                    // renamed
      {"<Field>", "Caption=", true},                          // an empty value
      {"<Project>", "Title=a=b", true},                       // cut at the first "="
      {"<Project>", " Title = Shop ", true},                  // blanks trimmed
      {"<Project>", "Title=<b> & \"c\"", true},               // entities
      {"<Project>", "Title=\xC4pfel", true},                  // a byte above 0x7F
      {"<Project>", "Version=1.2", false},                    // the value is rewritten
      {"<Project>", "SecTbl=Users", false},                   // the value is remembered
      {"<Field>", "Name=Id", true},                           // the variable name follows
      {"<Table>", "Name=Users", true},                        // compared with SecTbl's
      {"<Field>", "Type=3", true},                            // the type facts are taken
      {"<Field>", "Type=x", false},                           // no number: the full path fails
      {"<Table>", "SQL=SELECT *", false},                     // the next lines may continue it
      {"<Project>", "NoSuchKey=1", false},                    // in no key map
      {"<Project>", "DBCnt=1", false},                        // dropped
      {"<Project>", "Stray text", false},                     // no "="
      {"<Project>", "=1", false},                             // no key
      {"<Project>", "   ", false},                            // blanks only
      {"<Table>", "\t<Field>", false},                        // a misspelt marker
      {"<Table>", " <Field> ", false},                        // a marker
      {"<Project>", "Title=" + std::string(56, 'x'), true},   // the longest line scanned
      {"<Project>", "Title=" + std::string(57, 'x'), false},  // too long for one scan
  };
  for (const Case& c : cases) {
    Lines full;
    std::string expected = c.taken ? full(c.section, c.line) : "";
    Lines plain;
    std::string text = std::string(c.line) + "\r\n";
    detail::PlainLines taken = plain.Plain(c.section, text);
    EXPECT_EQ(taken.lines, c.taken ? 1 : 0) << c.line;
    EXPECT_EQ(taken.bytes, c.taken ? text.size() : 0) << c.line;
    std::string_view written = plain.element.view().substr(1);  // after the quote Lines starts with
    EXPECT_EQ(written, c.taken ? expected : "") << c.line;
    if (c.taken) {
      EXPECT_EQ(plain.state.KeyName, full.state.KeyName) << c.line;
      EXPECT_EQ(plain.state.InSecTbl, full.state.InSecTbl) << c.line;
      EXPECT_TRUE(plain.types == full.types) << c.line;
    }
  }
}

TEST(ConvertPlainLines, TakesLinesUntilOneIsNotPlain) {
  Lines lines;
  // empty lines are taken too; a line feed alone ends a line as well
  std::string text = "Caption=a\r\n\r\nView=True\n\nSQL=SELECT *\r\nCaption=b\r\n";
  detail::PlainLines taken = lines.Plain("<Table>", text);
  EXPECT_EQ(taken.lines, 4);
  EXPECT_EQ(text.substr(taken.bytes), "SQL=SELECT *\r\nCaption=b\r\n");
  EXPECT_EQ(lines.element.view(), "\" TblCaption=\"a\" TblView=\"True\"");
  EXPECT_EQ(lines.state.KeyName, "TblView");

  // a line that does not end inside the text is left for the next read
  Lines unended;
  EXPECT_EQ(unended.Plain("<Table>", "Caption=a\r\nView=Tr").bytes, 11u);
  // a report that looks for UTF-8 text sees every line above 0x7F
  Lines reported;
  EXPECT_EQ(reported.Plain("<Table>", "Caption=a\nView=\xC3\xA4\n", true).lines, 1);
  // an open SQL value takes the next lines as they stand
  Lines sql;
  sql("<Table>", "TblSQL=SELECT *");
  EXPECT_EQ(sql.Plain("<Table>", "Caption=x\r\n").lines, 0);
}

}  // namespace kefconvert
