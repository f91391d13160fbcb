#include "convert/defaults.h"

#include <gtest/gtest.h>

#include <string>

namespace kefconvert::detail {
namespace {

struct Appended {
  std::string text;
  std::size_t placeholder;
};

Appended ByName(std::span<const DefaultAttribute> list, const FieldTypeValues* field) {
  TextBuffer out;
  out.Append("<Field ");
  std::size_t placeholder = AppendDefaults(out, list, field);
  return {std::string(out.view()), placeholder};
}

Appended AsText(const DefaultsText& text, const FieldTypeValues* field) {
  TextBuffer out;
  out.Append("<Field ");
  std::size_t placeholder = text.AppendTo(out, field);
  return {std::string(out.view()), placeholder};
}

void ExpectSame(std::span<const DefaultAttribute> list, const DefaultsText& text,
                const FieldTypeValues* field) {
  Appended expected = ByName(list, field);
  Appended actual = AsText(text, field);
  EXPECT_EQ(actual.text, expected.text);
  EXPECT_EQ(actual.placeholder, expected.placeholder);
}

const FieldTypeValues kTypeStates[] = {
    {0, false, "", ""},
    {253, true, "'", "'"},
    {-2147483647 - 1, false, "#", "#"},
    {2147483647, true, "&quot;", ""},
};

TEST(DefaultsText, GivesTheSameTextAsTheListsForEveryFieldTypeState) {
  for (const FieldTypeValues& state : kTypeStates) {
    ExpectSame(kFieldDefaults, FieldDefaultsText(), &state);
    ExpectSame(kFieldDefaults, DefaultsText(kFieldDefaults), &state);
  }
  ExpectSame(kProjectDefaults, ProjectDefaultsText(), nullptr);
  ExpectSame(kDatabaseDefaults, DatabaseDefaultsText(), nullptr);
  ExpectSame(kTableDefaults, TableDefaultsText(), nullptr);
  ExpectSame(kLastTableDefaults, LastTableDefaultsText(), nullptr);
}

TEST(DefaultsText, RemembersWhereTheLoginTypePlaceholderStands) {
  Appended project = AsText(ProjectDefaultsText(), nullptr);
  ASSERT_NE(project.placeholder, std::string::npos);
  EXPECT_EQ(project.text.substr(project.placeholder, kLoginTypePlaceholder.size()),
            kLoginTypePlaceholder);
  EXPECT_EQ(AsText(TableDefaultsText(), nullptr).placeholder, std::string::npos);
}

TEST(DefaultsText, HandlesVaryingPartsSideBySideAndAtTheEnds) {
  static constexpr DefaultAttribute kList[] = {
      {"", "", DefaultSource::kPlaceholder}, {"A", "", DefaultSource::kCurQuoteS},
      {"B", "", DefaultSource::kCurQuoteE},  {"C", "x y"},
      {"", "", DefaultSource::kPlaceholder}, {"D", "", DefaultSource::kCurMySQLDataType},
  };
  for (const FieldTypeValues& state : kTypeStates) ExpectSame(kList, DefaultsText(kList), &state);
  ExpectSame({}, DefaultsText({}), nullptr);
  EXPECT_EQ(AsText(DefaultsText(kList), &kTypeStates[1]).text,
            "<Field  <--##SecLoginIDFldDataType##-->  A=\"'\" B=\"'\" C=\"x y\" "
            "<--##SecLoginIDFldDataType##-->  D=\"253\"");
}

}  // namespace
}  // namespace kefconvert::detail
