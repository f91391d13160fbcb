#include "convert/field_var.h"

#include <gtest/gtest.h>

#include "kefconvert/kefconvert.h"

namespace kefconvert {
namespace {

std::string FldVar(std::string_view name, int code_page = 1252, std::string_view prefix = "x_") {
  detail::TextBuffer out;
  detail::MakeFldVar(name, prefix, *detail::CodePage::Find(code_page), out);
  return std::string(out.view());
}

TEST(MakeFldVar, SpellsOtherCharactersAsHexCodes) {
  EXPECT_EQ(FldVar(""), "x_");
  EXPECT_EQ(FldVar("CustomerID"), "x_CustomerID");
  EXPECT_EQ(FldVar("Order ID"), "x_Order_ID");
  EXPECT_EQ(FldVar("Order_ID"), "x_Order_ID");
  EXPECT_EQ(FldVar("Unit-Price"), "x_Unit2DPrice");
  EXPECT_EQ(FldVar("a.b"), "x_a2Eb");
  EXPECT_EQ(FldVar("1st Name"), "x_1st_Name");
  EXPECT_EQ(FldVar("A&amp;B"), "x_A26amp3BB");
  EXPECT_EQ(FldVar("a\tb"), "x_a9b");
  // eight bytes are looked at together: the neighbours of every range that keeps its
  // place, and names whose first words keep it and whose last does not
  EXPECT_EQ(FldVar("A@Z[a`z{0/9:_^ "), "x_A40Z5Ba60z7B02F93A_5E_");
  EXPECT_EQ(FldVar("Very Long Field Name"), "x_Very_Long_Field_Name");
  EXPECT_EQ(FldVar("Customer Order-Number"), "x_Customer_Order2DNumber");
  EXPECT_EQ(FldVar(std::string_view("a\0b", 3)), "x_a0b");
  // an ASCII name is spelt the same in every page
  for (int page : {932, 949, 65001}) EXPECT_EQ(FldVar("Unit-Price\x7F", page), "x_Unit2DPrice7F");
}

TEST(MakeFldVar, BlanksInThePrefixBecomeUnderscores) {
  EXPECT_EQ(FldVar("a b", 1252, "p q"), "p_qa_b");
}

TEST(MakeFldVar, BytesAboveAsciiAreSpeltInTheCodePage) {
  // "Größe" in Windows-1252
  EXPECT_EQ(FldVar("Gr\xF6\xDF"
                   "e"),
            "x_GrF6DFe");
  EXPECT_EQ(FldVar("\x80"), "x_20AC");  // the euro sign
  EXPECT_EQ(FldVar("\x8C"
                   "uvre"),
            "x_152uvre");                                     // Œ
  EXPECT_EQ(FldVar("\x81\x8D\x8F\x90\x9D"), "x_818D8F909D");  // undefined in 1252
  EXPECT_EQ(FldVar("\xFF"), "x_FF");
  EXPECT_EQ(FldVar("\xC0", 1251), "x_410");  // Cyrillic А
  EXPECT_EQ(FldVar("\xC0", 1253), "x_390");  // Greek ΐ
  EXPECT_EQ(FldVar("\xA1", 874), "x_E01");   // Thai ก
  EXPECT_EQ(FldVar("\xA5", 1250), "x_104");  // Ą
}

TEST(MakeFldVar, NamesOf32767CharactersOverflow) {
  EXPECT_EQ(FldVar(std::string(32766, 'a')).size(), 32768u);
  try {
    FldVar(std::string(32767, 'a'));
    ADD_FAILURE() << "no overflow";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kOverflow);
    EXPECT_EQ(error.description(), "Overflow");
  }
}

TEST(MakeFldVar, SpellsEachCodeUnitOfACharacterInDoubleByteAndUtf8Pages) {
  const struct {
    int page;
    std::string_view name;
    std::string_view var;
  } cases[] = {
      {932, "\x8C\xDA\x8B\x71ID", "x_98675BA2ID"},  // 顧客ID
      {932, "\x83\x41", "x_30A2"},                  // trail byte "A"
      {932, "\x83\x5F", "x_30C0"},                  // trail byte "_"
      {932, "\x83\x68", "x_30C9"},                  // trail byte "h"
      {932, "\x95\x5C", "x_8868"},                  // trail byte 0x5C
      {932, "\xB1 \xB2", "x_FF71_FF72"},            // half-width katakana, a blank
      {932, "\x85\x41", "x_85A"},                   // undefined pair: the "A" is a letter
      {932, "ab\x95", "x_ab95"},                    // lead byte cut off by the end
      {936, "\x81\x5C\x81\x41", "x_4E574E04"},
      {936, "\x80", "x_20AC"},
      {949, "\xB0\xA1\x81\x41", "x_AC00AC02"},
      {950, "\xA5\x5C\xA4\x5F", "x_529F4E8E"},
      {950, "\xA3\xE1", "x_20AC"},
      {65001, "caf\xC3\xA9", "x_cafE9"},
      {65001, "\xE2\x82\xAC", "x_20AC"},
      {65001, "\xF0\x9F\x98\x80", "x_D83DDE00"},  // above U+FFFF: two groups
      {65001, "\xC0\x80", "x_C080"},              // overlong
      {65001, "\xED\xA0\x80", "x_EDA080"},        // encoded surrogate
      {65001, "\xE2\x82_", "x_E282_"},            // cut short
      {65001, "\x80\xBF", "x_80BF"},              // lone continuation bytes
      {65001, "\xF4\x90\x80\x80", "x_F4908080"},  // above U+10FFFF
      {65001, "\xFE\xFF", "x_FEFF"},              // never in UTF-8
      {1252, "\x95\x5C", "x_20225C"},             // two characters in 1252
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FldVar(c.name, c.page), c.var) << c.page << ": " << c.name;
  }
}

TEST(MakeFldVar, NameLengthLimitCountsCodeUnits) {
  const struct {
    int page;
    std::string_view character;  // one code unit, or two for 65001's
    std::size_t units;
  } cases[] = {{932, "\x83\x41", 1}, {936, "\x81\x5C", 1}, {65001, "\xF0\x9F\x98\x80", 2}};
  for (const auto& c : cases) {
    // 32766 code units in twice as many bytes or more fit; one more does not
    std::string fits;
    for (std::size_t i = 0; i < 32766 / c.units; ++i) fits += c.character;
    EXPECT_EQ(FldVar(fits, c.page).size(), 2 + 4 * 32766u) << c.page;
    EXPECT_THROW(FldVar(fits + "a", c.page), Error) << c.page;
  }
}

TEST(Options, WindowsAnsiCodePagesAreSupported) {
  for (int page :
       {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 932, 936, 949, 950, 65001}) {
    EXPECT_TRUE(IsSupportedCodePage(page)) << page;
    EXPECT_NO_THROW(Convert(Options{page})) << page;
  }
  for (int page : {0, 437, 1249, 1259, 1200, 20932, 54936}) {
    EXPECT_FALSE(IsSupportedCodePage(page)) << page;
    EXPECT_THROW(Convert(Options{page}), Error);
  }
}

}  // namespace
}  // namespace kefconvert
