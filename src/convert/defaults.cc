#include "convert/defaults.h"

#include <charconv>

namespace kefconvert::detail {
namespace {

using enum DefaultSource;

constexpr DefaultAttribute kProject[] = {
    {"Cache", "False"},
    {"SecLoginIDFldDataType", "", kPlaceholder},
    {"UsePHPSuperglobals", "False"},
    {"XMLEncoding", ""},
    {"RecPerRow", "0"},
    {"TopPageLink", "False"},
    {"LinkOnLeft", "False"},
    {"PagerStyle", "2"},
    {"MultiDelete", "False"},
    {"BodyStyle", ""},
    {"OtherGen", "True"},
    {"PromptOnOverwrite", "True"},
    {"OtherOverwrite", "True"},
};

constexpr DefaultAttribute kDatabase[] = {
    {"UsePHPConnect", ""},
    {"PHPURL", ""},
    {"DBQuoteS", "`"},
    {"DBQuoteE", "`"},
    {"MaxUploadSize", "2000000"},
    {"SecUserLevelFld", ""},
    {"SecDefault", ""},
    {"SecuUserIDFld", ""},
};

constexpr DefaultAttribute kTable[] = {
    {"TblList", "True"},  {"TblCopy", "True"},      {"TblFilter", ""},    {"TblUserIDFld", ""},
    {"TblSecurity", ""},  {"TblMasterTbl", ""},     {"TblMasterFld", ""}, {"TblDetailFld", ""},
    {"TblBlob", "False"}, {"TblOverwrite", "True"},
};

constexpr DefaultAttribute kLastTable[] = {
    {"TblList", "True"},
    {"TblCopy", "True"},
    {"TblFilter", ""},
    {"TblUserIDFld", "userid"},
    {"TblSecurity", "1,&quot;Admin&quot;,15;2,&quot;User&quot;,8"},
    {"TblMasterTbl", "users"},
    {"TblMasterFld", "userid"},
    {"TblDetailFld", "userid"},
    {"TblBlob", "True"},
    {"TblOverwrite", "True"},
};

constexpr DefaultAttribute kField[] = {
    {"MySQLDataType", "", kCurMySQLDataType},
    {"FldBasicSearch", "", kCurBasicSearch},
    {"FldSrchOpr2", ""},
    {"FldHtmlTagReadOnly", "False"},
    {"FileNameFld", ""},
    {"FileTypeFld", ""},
    {"FileSizeFld", ""},
    {"ImageWidthFld", ""},
    {"ImageHeightFld", ""},
    {"FldHrefFld", ""},
    {"FldStrFunc", ""},
    {"FldUseDHTMLEditor", ""},
    {"FldSelectSize", ""},
    {"FldSelectMultiple", ""},
    {"FldSelectFilter", ""},
    {"FldSelectFilterFld", ""},
    {"FldSelectOnChange", ""},
    {"FldQuoteS", "", kCurQuoteS},
    {"FldQuoteE", "", kCurQuoteE},
};

// `a == b`, without the calls that comparing quotes as text takes; a quote is mostly one
// byte or none
bool SameState(const FieldTypeState& a, const FieldTypeState& b) {
  auto same_quote = [](std::string_view x, std::string_view y) {
    if (x.size() != y.size()) return false;
    return x.size() == 0 || (x.size() == 1 ? x[0] == y[0] : x == y);
  };
  return a.CurMySQLDataType == b.CurMySQLDataType && a.CurBasicSearch == b.CurBasicSearch &&
         same_quote(a.CurQuoteS, b.CurQuoteS) && same_quote(a.CurQuoteE, b.CurQuoteE);
}

void AppendDecimal(TextBuffer& out, std::int32_t number) {
  constexpr std::size_t kLongest = 11;  // "-2147483648"
  char* start = out.MakeRoom(kLongest);
  out.CommitUpTo(std::to_chars(start, start + kLongest, number).ptr);
}

}  // namespace

DefaultsText::DefaultsText(std::span<const DefaultAttribute> defaults) {
  std::string text;
  for (const DefaultAttribute& entry : defaults) {
    text += ' ';
    names_.push_back(entry.name);
    if (entry.source == kPlaceholder) {
      pieces_.push_back({std::move(text), kPlaceholder});
      text.assign(1, ' ');
      continue;
    }
    text += entry.name;
    text += "=\"";
    if (entry.source == kFixed) {
      text += entry.value;
    } else {
      pieces_.push_back({std::move(text), entry.source});
      text.clear();
    }
    text += '"';
  }
  pieces_.push_back({std::move(text), kFixed});
}

std::size_t DefaultsText::AppendTo(TextBuffer& out, const FieldTypeState* field) const {
  std::size_t placeholder = std::string_view::npos;
  for (const Piece& piece : pieces_) {
    out.Append(piece.text);
    switch (piece.varying) {
      case kFixed: break;
      case kPlaceholder:
        placeholder = out.size();
        out.Append(kLoginTypePlaceholder);
        break;
      case kCurMySQLDataType: AppendDecimal(out, field->CurMySQLDataType); break;
      case kCurBasicSearch: out.Append(field->CurBasicSearch ? "True" : "False"); break;
      case kCurQuoteS: out.Append(field->CurQuoteS); break;
      case kCurQuoteE: out.Append(field->CurQuoteE); break;
    }
  }
  return placeholder;
}

const DefaultsText& DefaultsTextOf(Defaults list) {
  static const DefaultsText texts[] = {DefaultsText(kProject), DefaultsText(kDatabase),
                                       DefaultsText(kTable), DefaultsText(kLastTable),
                                       DefaultsText(kField)};
  return texts[static_cast<int>(list)];
}

void FieldDefaults::AppendTo(TextBuffer& out, const FieldTypeState& state) {
  // every state that a type code gives has a place of its own
  std::size_t place = static_cast<std::size_t>(state.CurMySQLDataType) * 4 +
                      (state.CurBasicSearch ? 2 : 0) + state.CurQuoteS.size();
  Entry& entry = entries_[place % kEntries];
  if (!entry.filled || !SameState(entry.state, state)) {
    TextBuffer text;
    DefaultsTextOf(Defaults::kField).AppendTo(text, &state);
    text.Append(end_);
    entry.text.assign(text.view());
    entry.state = state;
    entry.filled = true;
  }
  out.Append(entry.text);
}

}  // namespace kefconvert::detail
