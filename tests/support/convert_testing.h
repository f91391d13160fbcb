// Test access to the private operations of Convert and to its field type state. The one
// definition of the friend that Convert names; every test and fuzz target uses this one.
#ifndef KEFCONVERT_TESTS_SUPPORT_CONVERT_TESTING_H_
#define KEFCONVERT_TESTS_SUPPORT_CONVERT_TESTING_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/setting.h"
#include "convert/text_buffer.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert {

struct FieldTypeState {
  std::int32_t CurMySQLDataType;
  bool CurBasicSearch;
  std::string CurQuoteS;
  std::string CurQuoteE;
  bool operator==(const FieldTypeState&) const = default;
};

struct ConvertTesting {
  /// Translates one line; returns the text it gave (empty for nothing) and sets `kind`.
  static std::string ConvertSetting(Convert& converter, std::string_view section,
                                    std::string_view line, detail::CrossLineState& state,
                                    detail::SettingKind* kind = nullptr) {
    detail::TextBuffer text;
    detail::SettingKind result = converter.ConvertSetting(section, line, state, text);
    if (kind != nullptr) *kind = result;
    return std::string(text.view());
  }
  static std::string MakeFldVar(const Convert& converter, std::string_view name,
                                std::string_view prefix = "x_") {
    detail::TextBuffer text;
    converter.MakeFldVar(name, prefix, text);
    return std::string(text.view());
  }
  static std::int16_t GetTypeGroup(const Convert& c, std::string_view code) {
    return c.GetTypeGroup(code);
  }
  static std::int16_t GetMySQLType(const Convert& c, std::string_view code) {
    return c.GetMySQLType(code);
  }
  static bool IsTextType(const Convert& c, std::string_view code) { return c.IsTextType(code); }
  static void SetQuoteChars(Convert& c, std::string_view code) { c.SetQuoteChars(code); }
  static FieldTypeState State(const Convert& c) {
    return {c.CurMySQLDataType, c.CurBasicSearch, c.CurQuoteS, c.CurQuoteE};
  }
};

}  // namespace kefconvert

#endif  // KEFCONVERT_TESTS_SUPPORT_CONVERT_TESTING_H_
