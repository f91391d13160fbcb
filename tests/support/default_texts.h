// The default attribute lists that complete every element, written out by hand as the new
// layout spells them, each with the end of its element.
#ifndef KEFCONVERT_TESTS_SUPPORT_DEFAULT_TEXTS_H_
#define KEFCONVERT_TESTS_SUPPORT_DEFAULT_TEXTS_H_

#include <string>
#include <string_view>

namespace kefconvert::testing {

inline const std::string kProjectEnd =
    " Cache=\"False\"  SecLoginIDFldDataType=\"\"  UsePHPSuperglobals=\"False\" XMLEncoding=\"\""
    " RecPerRow=\"0\" TopPageLink=\"False\" LinkOnLeft=\"False\" PagerStyle=\"2\""
    " MultiDelete=\"False\" BodyStyle=\"\" OtherGen=\"True\" PromptOnOverwrite=\"True\""
    " OtherOverwrite=\"True\">\r\n";
inline const std::string kDatabaseEnd =
    " UsePHPConnect=\"\" PHPURL=\"\" DBQuoteS=\"`\" DBQuoteE=\"`\" MaxUploadSize=\"2000000\""
    " SecUserLevelFld=\"\" SecDefault=\"\" SecuUserIDFld=\"\">\r\n";
inline const std::string kTableEnd =
    " TblList=\"True\" TblCopy=\"True\" TblFilter=\"\" TblUserIDFld=\"\" TblSecurity=\"\""
    " TblMasterTbl=\"\" TblMasterFld=\"\" TblDetailFld=\"\" TblBlob=\"False\""
    " TblOverwrite=\"True\">\r\n";
inline const std::string kLastTableEnd =
    " TblList=\"True\" TblCopy=\"True\" TblFilter=\"\" TblUserIDFld=\"userid\""
    " TblSecurity=\"1,&quot;Admin&quot;,15;2,&quot;User&quot;,8\" TblMasterTbl=\"users\""
    " TblMasterFld=\"userid\" TblDetailFld=\"userid\" TblBlob=\"True\" TblOverwrite=\"True\">\r\n";

/// The field defaults for one field type state, and the end of the element.
inline std::string FieldEnd(std::string_view mysql_type, std::string_view basic_search,
                            std::string_view quote) {
  return " MySQLDataType=\"" + std::string(mysql_type) + "\" FldBasicSearch=\"" +
         std::string(basic_search) +
         "\" FldSrchOpr2=\"\" FldHtmlTagReadOnly=\"False\" FileNameFld=\"\" FileTypeFld=\"\""
         " FileSizeFld=\"\" ImageWidthFld=\"\" ImageHeightFld=\"\" FldHrefFld=\"\""
         " FldStrFunc=\"\" FldUseDHTMLEditor=\"\" FldSelectSize=\"\" FldSelectMultiple=\"\""
         " FldSelectFilter=\"\" FldSelectFilterFld=\"\" FldSelectOnChange=\"\" FldQuoteS=\"" +
         std::string(quote) + "\" FldQuoteE=\"" + std::string(quote) + "\"/>\r\n";
}
}  // namespace kefconvert::testing

#endif  // KEFCONVERT_TESTS_SUPPORT_DEFAULT_TEXTS_H_
