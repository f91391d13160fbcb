#include "convert/key_maps.h"

#include <cstring>
#include <iterator>

namespace kefconvert::detail {
namespace {

using enum KeyEffect;

constexpr KeyMapping kProject[] = {
    {"Version", "Version", kVersion},
    {"Name", "ProjName"},
    {"LeftMargin", "BodyLeftMargin"},
    {"TopMargin", "BodyTopMargin"},
    {"SecurityVar", "SessSecurityVar"},
    {"TimeOut", "SessTimeOut"},
    {"Title", "BodyTitle"},
    {"Font", "BodyFont"},
    {"BgColor", "BodyBgColor"},
    {"TextColor", "BodyTextColor"},
    {"LnkColor", "BodyLnkColor"},
    {"VLnkColor", "BodyVLnkColor"},
    {"ALnkColor", "BodyALnkColor"},
    {"Size", "BodySize"},
    {"ProjLang", ""},
    {"DBCnt", ""},
    {"defaultDateFormat", "defaultDateFormat", kDateFormat},
    {"SecUserID", "SecLoginID"},
    {"SecUserIDFld", "SecLoginIDFld", kCaptureSecLoginID},
    {"P_DosFormat", ""},
    {"P_CGIPath", ""},
    {"SecTbl", "SecTbl", kCaptureSecTbl},
};

constexpr KeyMapping kDatabase[] = {
    {"Name", "DBName"},
    {"Type", "DBType"},
    {"Path", "DBHost"},
    {"UID", "DBUID"},
    {"PWD", "DBPwd"},
    {"UseServerMapPath", ""},
    {"PhyPath", "DBPhyPath", kCaptureDBFileName},
    {"ADOVer", ""},
    {"DBMSName", "DBDBMSName"},
    {"DBMSVer", "DBDBMSVer"},
    {"OLEDBVer", ""},
    {"ProviderName", "DBProviderName"},
    {"ProviderVer", "DBProviderVer"},
    {"TblCnt", ""},
    {"Schema", ""},
};

constexpr KeyMapping kTable[] = {
    {"Seq", "TblSeq"},
    {"Name", "TblName", kMatchSecTbl},
    {"Type", "TblType"},
    {"Key", "TblKey"},
    {"Gen", "TblGen"},
    {"View", "TblView"},
    {"Edit", "TblEdit"},
    {"Add", "TblAdd"},
    {"Delete", "TblDelete"},
    {"Caption", "TblCaption"},
    {"Updatable", ""},
    {"SearchType", "TblSrchType"},
    {"FieldCnt", ""},
    {"DefaultTable", "TblDefault"},
    {"SQL", ""},
    {"Error", ""},
    {"Where", ""},
};

constexpr KeyMapping kField[] = {
    {"Seq", "FldSeq"},
    {"Name", "FldName", kMatchLoginFld},
    {"Type", "FldType", kFieldType},
    {"Support", "FldSupport"},
    {"Size", "FldSize"},
    {"UniqueIdx", "FldUniqueIdx"},
    {"ZeroLen", "FldZeroLen"},
    {"Req", "FldReq"},
    {"Attribute", "FldAttribute"},
    {"Required", "FldRequired"},
    {"PopCalendar", "FldPopCalendar"},
    {"Generate", "FldGenerate"},
    {"List", "FldList"},
    {"View", "FldView"},
    {"Edit", "FldEdit"},
    {"Add", "FldAdd"},
    {"Search", "FldSearch"},
    {"SearchOpr", "FldSrchOpr"},
    {"Caption", "FldCaption"},
    {"ViewTag", "FldViewTag"},
    {"HtmlTag", "FldHtmlTag"},
    {"TagSize", "FldTagSize"},
    {"TagMaxLength", "FldTagMaxLength"},
    {"TagSelectType", "FldSelectType"},
    {"TagLnkDistinct", "FldTagLnkDistinct"},
    {"TagCols", "FldTagCols"},
    {"TagRows", "FldTagRows"},
    {"TagImgWidth", "FldTagImgWidth"},
    {"TagImgHeight", "FldTagImgHeight"},
    {"TagAPrefix", "FldTagAPrefix"},
    {"TagBold", "FldBold"},
    {"TagItalic", "FldItalic"},
    {"TagFmtType", "FldFmtType"},
    {"TagDtFormat", "FldDtFormat"},
    {"TagNumDigits", "FldNumDigits"},
    {"TagIncLeadDigit", "FldIncLeadDigit"},
    {"TagUseParen", "FldUseParen"},
    {"TagGpDigits", "FldGpDigits"},
    {"Min", "FldMin"},
    {"Max", "FldMax"},
    {"ErrMsg", "FldErrMsg"},
    {"Validate", "FldValidate"},
    {"Default", "FldDefault"},
    {"Order", "FldOrder"},
    {"TagValues", "FldTagValues"},
    {"TagLnkTbl", "FldTagLnkTbl"},
    {"TagLnkFld", "FldTagLnkFld"},
    {"TagLnkDisplay", "FldTagLnkDisplay"},
    {"TagLnkDisp2", "FldTagLnkDisp2"},
    {"TagLnkOrderBy", "FldTagLnkOrderBy"},
    {"TagLnkOrderType", "FldTagLnkOrderType"},
    {"TagAType", "FldTagAType"},
    {"TagATarget", "FldTagATarget"},
    {"TagASuffix", "FldTagASuffix"},
};

constexpr ValueMapping kDateFormatValues[] = {
    {"", "5"},
    {"yyyy/mm/dd", "5"},
    {"mm/dd/yyyy", "6"},
    {"dd/mm/yyyy", "7"},
};

}  // namespace

const std::span<const KeyMapping> kProjectKeys = kProject;
const std::span<const KeyMapping> kDatabaseKeys = kDatabase;
const std::span<const KeyMapping> kTableKeys = kTable;
const std::span<const KeyMapping> kFieldKeys = kField;
const std::span<const ValueMapping> kDateFormats = kDateFormatValues;

static_assert(std::size(kProject) <= KeyIndex::kMaxRows &&
              std::size(kDatabase) <= KeyIndex::kMaxRows &&
              std::size(kTable) <= KeyIndex::kMaxRows && std::size(kField) <= KeyIndex::kMaxRows);

constinit const KeyIndex kProjectKeyIndex{kProject};
constinit const KeyIndex kDatabaseKeyIndex{kDatabase};
constinit const KeyIndex kTableKeyIndex{kTable};
constinit const KeyIndex kFieldKeyIndex{kField};

const KeyMapping* FindKey(std::span<const KeyMapping> map, std::string_view key) {
  for (const KeyMapping& row : map) {
    // fast path: most rows differ in length
    if (row.old_key.size() == key.size() &&
        std::memcmp(row.old_key.data(), key.data(), key.size()) == 0) {
      return &row;
    }
  }
  return nullptr;
}

}  // namespace kefconvert::detail
