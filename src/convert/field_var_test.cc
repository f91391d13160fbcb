#include "convert/field_var.h"

#include <gtest/gtest.h>

#include "kefconvert/kefconvert.h"

namespace kefconvert {
namespace {

std::string FldVar(std::string_view name, int code_page = 1252, std::string_view prefix = "x_") {
  detail::TextBuffer out;
  detail::MakeFldVar(name, prefix, *detail::FindCodePage(code_page), out);
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
  EXPECT_EQ(FldVar(std::string_view("a\0b", 3)), "x_a0b");
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

TEST(Options, OnlySingleByteWindowsCodePagesAreSupported) {
  for (int page : {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    EXPECT_TRUE(IsSupportedCodePage(page)) << page;
  }
  for (int page : {0, 437, 932, 1249, 1259, 65001}) {
    EXPECT_FALSE(IsSupportedCodePage(page)) << page;
    EXPECT_THROW(Convert(Options{page}), Error);
  }
}

}  // namespace
}  // namespace kefconvert
