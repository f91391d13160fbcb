#include "convert/type_codes.h"

#include <gtest/gtest.h>

#include "kefconvert/kefconvert.h"

namespace kefconvert {
namespace {

struct Expected {
  std::string_view code;
  std::int16_t group;
  std::int16_t mysql_type;
  bool is_text;
  std::string_view quote;
};

// Every code that a derivation names, and numbers that none names.
constexpr Expected kCodes[] = {
    {"2", 1, 2, false, ""},     {"3", 1, 3, false, ""},     {"4", 1, 4, false, ""},
    {"5", 1, 5, false, ""},     {"6", 1, 0, false, ""},     {"7", 2, 0, false, "'"},
    {"8", 6, 0, false, "'"},    {"11", 4, 0, false, ""},    {"12", 6, 6, false, ""},
    {"14", 6, 0, false, ""},    {"16", 1, 1, false, ""},    {"17", 6, 1, false, ""},
    {"18", 6, 2, false, ""},    {"19", 6, 3, false, ""},    {"20", 1, 8, false, ""},
    {"21", 6, 8, false, ""},    {"72", 5, 0, false, "'"},   {"129", 3, 0, true, "'"},
    {"130", 3, 0, true, "'"},   {"131", 1, 0, false, ""},   {"133", 2, 10, false, "'"},
    {"134", 2, 11, false, "'"}, {"135", 2, 7, false, "'"},  {"139", 6, 0, false, ""},
    {"200", 3, 253, true, "'"}, {"201", 3, 253, true, "'"}, {"202", 3, 0, true, "'"},
    {"203", 3, 0, true, "'"},   {"205", 6, 0, false, "'"},  {"999", 6, 0, false, ""},
    {"0", 6, 0, false, ""},     {"1", 6, 0, false, ""},     {"-3", 6, 0, false, ""},
    {"128", 6, 0, false, ""},   {"204", 6, 0, false, ""},   {"255", 6, 0, false, ""},
    {"256", 6, 0, false, ""},   {"458", 6, 0, false, ""},
};

TEST(TypeCodes, EveryCodeGivesItsFourFacts) {
  for (const Expected& row : kCodes) {
    const detail::TypeCodeFacts& facts = detail::TypeFactsFor(row.code);
    EXPECT_EQ(facts.group, row.group) << row.code;
    EXPECT_EQ(facts.mysql_type, row.mysql_type) << row.code;
    EXPECT_EQ(facts.is_text, row.is_text) << row.code;
    detail::FieldTypeState state;
    state.Take(facts);
    EXPECT_EQ(state, (detail::FieldTypeState{row.mysql_type, row.is_text, row.quote, row.quote}))
        << row.code;
  }
}

TEST(TypeCodes, CodesCompareAsNumbers) {
  for (std::string_view three : {"03", "+3", "3.0", "3.", "0.3e1", "30E-1", "3e0"}) {
    EXPECT_EQ(detail::TypeFactsFor(three).mysql_type, 3) << three;
  }
  // numbers that are no code take the catch-all row
  for (std::string_view other : {"3.5", ".5", "1e999", "-0", "1e-999", "202.5", "-202"}) {
    EXPECT_EQ(detail::TypeFactsFor(other).group, 6) << other;
    EXPECT_EQ(detail::TypeFactsFor(other).mysql_type, 0) << other;
  }
}

TEST(TypeCodes, PlainDigitsOfAnyLengthGiveTheirValue) {
  // short codes take a quicker road than long ones; both must give the same numbers
  const std::pair<std::string_view, double> kCodes[] = {
      {"0", 0},
      {"7", 7},
      {"202", 202},
      {"000000202", 202},
      {"999999999", 999999999},
      {"1000000000", 1000000000},
      {"0000000000202", 202},
      {"99999999999999999999", 1e20},
  };
  for (const auto& [text, value] : kCodes) {
    ASSERT_TRUE(detail::ParseTypeCode(text)) << text;
    EXPECT_EQ(*detail::ParseTypeCode(text), value) << text;
  }
}

TEST(TypeCodes, TextThatIsNoNumberIsATypeMismatch) {
  for (std::string_view bad : {"", "abc", "3a", "0x10", "\t3", "1 000", "1_000", "inf", "nan", "+",
                               "-", ".", "e5", "3e", "3e+", "--3", "3.0.0", "&amp;"}) {
    EXPECT_FALSE(detail::ParseTypeCode(bad)) << bad;
    try {
      detail::TypeFactsFor(bad);
      ADD_FAILURE() << "'" << bad << "' was taken for a number";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), kTypeMismatch);
    }
  }
}

}  // namespace
}  // namespace kefconvert
