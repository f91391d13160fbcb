#include "convert/defaults.h"

#include <gtest/gtest.h>

#include <string>

#include "support/default_texts.h"

namespace kefconvert::detail {
namespace {

using testing::FieldEnd;

struct Appended {
  std::string text;
  std::size_t placeholder;
};

Appended Append(const DefaultsText& text, const FieldTypeState* field = nullptr) {
  TextBuffer out;
  out.Append("<X ");
  std::size_t placeholder = text.AppendTo(out, field);
  return {std::string(out.view()), placeholder};
}

TEST(DefaultsText, CompletesEachElementWithItsList) {
  // until the end of the file the project holds the placeholder where the type group goes
  std::string project = testing::kProjectEnd;
  project.replace(project.find(" SecLoginIDFldDataType=\"\""), 25, kLoginTypePlaceholder);
  EXPECT_EQ(Append(DefaultsTextOf(Defaults::kProject)).text + ">\r\n", "<X " + project);
  EXPECT_EQ(Append(DefaultsTextOf(Defaults::kDatabase)).text + ">\r\n",
            "<X " + testing::kDatabaseEnd);
  EXPECT_EQ(Append(DefaultsTextOf(Defaults::kTable)).text + ">\r\n", "<X " + testing::kTableEnd);
  EXPECT_EQ(Append(DefaultsTextOf(Defaults::kLastTable)).text + ">\r\n",
            "<X " + testing::kLastTableEnd);
}

TEST(DefaultsText, FieldDefaultsCarryTheFieldTypeState) {
  const std::pair<FieldTypeState, std::string> states[] = {
      {{0, false, "", ""}, FieldEnd("0", "False", "")},
      {{253, true, "'", "'"}, FieldEnd("253", "True", "'")},
      {{-2147483647 - 1, false, "", ""}, FieldEnd("-2147483648", "False", "")},
  };
  for (const auto& [state, end] : states) {
    EXPECT_EQ(Append(DefaultsTextOf(Defaults::kField), &state).text + "/>\r\n", "<X " + end);
  }
}

TEST(FieldDefaults, GivesTheListOfEachStateWhenStatesShareAPlace) {
  // 0 and 16 share a place, and so do quotes of one byte; "''" is no quote a type code
  // gives, but a state may hold it
  const FieldTypeState states[] = {
      {0, false, "", ""},      {16, false, "", ""},
      {0, false, "", ""},      {253, true, "'", "'"},
      {253, true, "\"", "\""}, {253, true, "'", "\""},
      {253, true, "'", "'"},   {0, false, "''", ""},
      {0, false, "''", "''"},  {-2147483647 - 1, true, "", ""},
  };
  FieldDefaults defaults("/>\r\n");
  for (int round = 0; round < 2; ++round) {
    for (const FieldTypeState& state : states) {
      TextBuffer out;
      out.Append("<X ");
      defaults.AppendTo(out, state);
      EXPECT_EQ(out.view(), Append(DefaultsTextOf(Defaults::kField), &state).text + "/>\r\n")
          << state.CurMySQLDataType << " " << state.CurQuoteS << state.CurQuoteE;
    }
  }
}

TEST(DefaultsText, RemembersWhereTheLoginTypePlaceholderStands) {
  Appended project = Append(DefaultsTextOf(Defaults::kProject));
  ASSERT_NE(project.placeholder, std::string::npos);
  EXPECT_EQ(project.text.substr(project.placeholder, kLoginTypePlaceholder.size()),
            kLoginTypePlaceholder);
  EXPECT_EQ(Append(DefaultsTextOf(Defaults::kTable)).placeholder, std::string::npos);
}

TEST(DefaultsText, HandlesVaryingPartsSideBySideAndAtTheEnds) {
  static constexpr DefaultAttribute kList[] = {
      {"", "", DefaultSource::kPlaceholder}, {"A", "", DefaultSource::kCurQuoteS},
      {"B", "", DefaultSource::kCurQuoteE},  {"C", "x y"},
      {"", "", DefaultSource::kPlaceholder}, {"D", "", DefaultSource::kCurMySQLDataType},
  };
  FieldTypeState state{253, true, "'", "\""};
  Appended appended = Append(DefaultsText(kList), &state);
  EXPECT_EQ(appended.text,
            "<X  <--##SecLoginIDFldDataType##-->  A=\"'\" B=\"\"\" C=\"x y\" "
            "<--##SecLoginIDFldDataType##-->  D=\"253\"");
  // the last placeholder is the one remembered
  EXPECT_EQ(appended.placeholder, appended.text.rfind(kLoginTypePlaceholder));
  EXPECT_EQ(Append(DefaultsText({})).text, "<X ");
}

}  // namespace
}  // namespace kefconvert::detail
