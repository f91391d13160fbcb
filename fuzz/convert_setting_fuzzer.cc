// Fuzz target: one setting line through the translation, in any section, with any state
// left by earlier lines (the security names, the open SQL text, the field type state).
// It checks what each kind of result promises: escaped text that cannot break an element,
// a well-formed attribute, state changed only by the lines that own it, and a failure
// that changes nothing it must not.
//
// An input is a header, then the line: section, KeyName, DBNameFromPath, SecTblName,
// SecLoginIDFldName, a byte of flags (1 InSecTbl, 2 InLoginFld), LoginFldTypeGroup, the
// type code of an earlier field that set the field type state (none or one of a list),
// the code page; each text is a length byte and that many bytes; missing bytes read as zero.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "convert/setting.h"
#include "fuzz_check.h"
#include "kefconvert/kefconvert.h"
#include "output_check.h"
#include "support/convert_testing.h"

namespace kefconvert {
namespace fuzz {
namespace {

using detail::CrossLineState;
using detail::FieldTypeState;
using detail::LineKind;

bool SameState(const CrossLineState& a, const CrossLineState& b) {
  return a.KeyName == b.KeyName && a.DBNameFromPath == b.DBNameFromPath &&
         a.SecTblName == b.SecTblName && a.SecLoginIDFldName == b.SecLoginIDFldName &&
         a.InSecTbl == b.InSecTbl && a.LoginFldTypeGroup == b.LoginFldTypeGroup &&
         a.InLoginFld == b.InLoginFld;
}

constexpr std::string_view kSections[] = {"<Project>", "<Database>", "<Table>", "<Field>"};
constexpr std::string_view kKeyNames[] = {"", "TblSQL", "TblError", "FldName", "TblName"};
constexpr int kCodePages[] = {1252, 874,  1250, 1251, 1253, 1254, 1255, 1256,
                              1257, 1258, 932,  936,  949,  950,  65001};

// type codes of an earlier field; the empty one stands for no earlier field
constexpr std::string_view kEarlierTypes[] = {"", "3", "202", "7", "72", "135", "205", "999"};

struct Case {
  std::string section;
  CrossLineState state;
  std::string_view earlier_type;
  FieldTypeState types;  // the field type state before the line
  int code_page;
  std::string line;
};

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  std::uint8_t Byte() {
    if (bytes_.empty()) return 0;
    auto byte = static_cast<std::uint8_t>(bytes_.front());
    bytes_.remove_prefix(1);
    return byte;
  }
  template <typename T, std::size_t N>
  T Pick(const T (&choices)[N]) {
    return choices[Byte() % N];
  }
  std::string Text() {
    std::string_view text = bytes_.substr(0, Byte());
    bytes_.remove_prefix(text.size());
    return std::string(text);
  }
  /// A text that lasts as long as the input.
  std::string_view View() {
    std::string_view text = bytes_.substr(0, Byte());
    bytes_.remove_prefix(text.size());
    return text;
  }
  std::string_view Rest() { return bytes_; }

 private:
  std::string_view bytes_;
};

Case ReadCase(ByteReader& data) {
  Case c;
  c.section = data.Pick(kSections);
  std::uint8_t key_name = data.Byte();
  c.state.KeyName = key_name < std::size(kKeyNames) ? kKeyNames[key_name] : data.View();
  c.state.DBNameFromPath = data.Text();
  c.state.SecTblName = data.Text();
  c.state.SecLoginIDFldName = data.Text();
  std::uint8_t flags = data.Byte();
  c.state.InSecTbl = (flags & 1) != 0;
  c.state.InLoginFld = (flags & 2) != 0;
  c.state.LoginFldTypeGroup = data.Text();
  c.earlier_type = data.Pick(kEarlierTypes);
  c.code_page = data.Pick(kCodePages);
  // the driver hands over each line without the blanks around it
  c.line = std::string(Blankless(data.Rest()));
  return c;
}

bool HasMarkup(std::string_view text) { return text.find_first_of("\"<>") != text.npos; }

void CheckFailure(const Error& error, const Case& c, const CrossLineState& state,
                  const FieldTypeState& types) {
  std::size_t equals = c.line.find('=');
  Check(error.line() == 0, "a line number from the translation of one line");
  Check(equals != std::string::npos, "a line without \"=\" failed");
  std::string_view key = Blankless(std::string_view(c.line).substr(0, equals));
  switch (error.number()) {
    case kOverflow:
      if (equals + 1 >= 32767) {
        Check(SameState(state, c.state) && types == c.types, "an overflow changed the state");
      } else {
        // only a field name too long for its variable name remains
        Check(Escape(Blankless(std::string_view(c.line).substr(equals + 1))).size() >= 32767,
              "an overflow for a short line");
      }
      break;
    case kTypeMismatch:
      Check(c.section == "<Field>" && key == "Type", "a type mismatch outside a field's type");
      Check(SameState(state, c.state) && types == c.types, "a type mismatch changed the state");
      break;
    default: FailCheck("an error that no setting line can cause: " + std::string(error.what()));
  }
}

void CheckResult(LineKind kind, std::string_view text, const Case& c, const CrossLineState& state,
                 const FieldTypeState& types) {
  std::size_t equals = c.line.find('=');
  bool sql_open = c.state.KeyName == "TblSQL" && c.section == "<Table>";
  bool field_type = c.section == "<Field>";  // only a field's type changes these
  if (!field_type) Check(types == c.types, "the field type state changed outside a field");
  switch (kind) {
    case LineKind::kBlank:
    case LineKind::kDropped:
      Check(text.empty(), "text for a line that gives nothing");
      Check(state.KeyName == c.state.KeyName, "a line that gives nothing changed KeyName");
      Check((kind == LineKind::kBlank) == (equals == std::string::npos),
            "a blank line taken for a setting, or a setting for a blank line");
      break;
    case LineKind::kStrayText:
      Check(equals == std::string::npos && !sql_open, "a setting taken for text");
      Check(text == Escape(c.line), "stray text not escaped");
      Check(SameState(state, c.state) && types == c.types, "stray text changed the state");
      break;
    case LineKind::kSqlPiece:
      Check(sql_open, "an SQL piece without an open SQL text");
      Check(!HasMarkup(text), "an SQL piece that can break its attribute");
      Check(SameState(state, c.state) && types == c.types, "an SQL piece changed the state");
      break;
    case LineKind::kAttribute: {
      Check(equals != std::string::npos, "an attribute from a line without \"=\"");
      Check(!sql_open || Blankless(std::string_view(c.line).substr(0, equals)) == "TblError",
            "an attribute inside an open SQL text");
      Check(!state.KeyName.empty(), "an attribute left KeyName empty");
      std::string opening = " ";
      opening.append(state.KeyName).append("=\"");
      Check(text.substr(0, opening.size()) == opening, "an attribute not under its new key");
      std::string_view rest = text.substr(opening.size());
      std::size_t quote = rest.find('"');
      Check(quote != rest.npos && !HasMarkup(rest.substr(0, quote)), "a value that is not escaped");
      rest.remove_prefix(quote + 1);
      if (state.KeyName == "FldName") {
        constexpr std::string_view kVar = "\r\n FldVar=\"x_";
        Check(rest.substr(0, kVar.size()) == kVar && rest.back() == '"',
              "a field name without its variable name");
        for (char ch : rest.substr(kVar.size(), rest.size() - kVar.size() - 1)) {
          bool word = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                      (ch >= '0' && ch <= '9') || ch == '_';
          Check(word, "a variable name with a character that is not a word character");
        }
      } else {
        Check(rest.empty(), "text after an attribute");
      }
      break;
    }
  }
}

void TranslateOne(const std::uint8_t* bytes, std::size_t size) {
  ByteReader data(std::string_view(reinterpret_cast<const char*>(bytes), size));
  Case c = ReadCase(data);
  testing::Lines lines(c.code_page);
  if (!c.earlier_type.empty()) lines("<Field>", "Type=" + std::string(c.earlier_type));
  c.types = lines.types;
  lines.state = c.state;
  // the fast path for plain settings, from the same start, must write what the full
  // translation writes, or leave the line to it
  testing::Lines plain(c.code_page);
  if (!c.earlier_type.empty()) plain("<Field>", "Type=" + std::string(c.earlier_type));
  plain.state = c.state;
  std::size_t plain_start = plain.element.size();
  std::string line_text = std::string(c.line) + "\r\n";
  detail::PlainLines plain_lines = plain.Plain(c.section, line_text);
  // a line with a line feed of its own is two lines to the fast path
  bool one_line = line_text.find('\n') == line_text.size() - 1;
  bool plain_taken = one_line && plain_lines.lines == 1 && !c.line.empty();
  if (one_line && plain_lines.lines == 0)
    Check(plain.element.size() == plain_start, "a line left to the full path wrote text");
  if (one_line)
    Check(plain_lines.bytes == (plain_lines.lines == 1 ? line_text.size() : 0),
          "the fast path took part of a line");
  try {
    std::string text = lines(c.section, c.line);
    CheckResult(lines.kind, text, c, lines.state, lines.types);
    if (plain_taken) {
      Check(lines.kind == LineKind::kAttribute &&
                plain.element.view().substr(plain_start) == text &&
                SameState(plain.state, lines.state) && plain.types == lines.types,
            "the fast path wrote other text than the full translation");
    }
  } catch (const Error& error) {
    Check(!plain_taken, "the fast path took a line that fails");
    CheckFailure(error, c, lines.state, lines.types);
  }
}

}  // namespace
}  // namespace fuzz
}  // namespace kefconvert

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kefconvert::fuzz::TranslateOne(data, size);
  return 0;
}
