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

void AppendDecimal(TextBuffer& out, std::int32_t number) {
  constexpr std::size_t kLongest = 11;  // "-2147483648"
  out.ReserveExtra(kLongest);
  char* start = out.data() + out.size();
  auto [end, error] = std::to_chars(start, start + kLongest, number);
  out.Resize(out.size() + static_cast<std::size_t>(end - start));
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

}  // namespace kefconvert::detail
