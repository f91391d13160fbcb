#include "convert/defaults.h"

#include <charconv>

#include "convert/words.h"

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

// "-2147483648"
constexpr std::size_t kLongestDecimal = 11;
constexpr std::string_view kLongestTruth = "False";

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
  for (const Piece& piece : pieces_) fixed_size_ += piece.text.size();
}

std::size_t DefaultsText::AppendTo(TextBuffer& out, const FieldTypeState* field) const {
  // room for the whole list at once: its fixed text, and the longest each varying part is
  std::size_t most =
      fixed_size_ + kLoginTypePlaceholder.size() + kLongestDecimal + kLongestTruth.size();
  if (field != nullptr) most += field->CurQuoteS.size() + field->CurQuoteE.size();
  char* const start = out.MakeRoom(most);
  char* to = start;
  std::size_t placeholder = std::string_view::npos;
  auto put = [&to](std::string_view text) {
    // an empty quote has no data at all: no memcpy from it
    CopyBytes(to, text.data(), text.size());
    to += text.size();
  };
  for (const Piece& piece : pieces_) {
    put(piece.text);
    switch (piece.varying) {
      case kFixed: break;
      case kPlaceholder:
        placeholder = out.size() + static_cast<std::size_t>(to - start);
        put(kLoginTypePlaceholder);
        break;
      case kCurMySQLDataType:
        to = std::to_chars(to, to + kLongestDecimal, field->CurMySQLDataType).ptr;
        break;
      case kCurBasicSearch: put(field->CurBasicSearch ? "True" : "False"); break;
      case kCurQuoteS: put(field->CurQuoteS); break;
      case kCurQuoteE: put(field->CurQuoteE); break;
    }
  }
  out.CommitUpTo(to);
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
