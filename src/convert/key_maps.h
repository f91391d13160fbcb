// The key maps that rename the settings of the old layout to the attribute names of the
// new one, one map per section, as ordered data: the first row whose old key equals the
// key wins, a key in no row passes under its own name, and a row with an empty new key
// drops the line. A few rows carry more than a rename; their effect says what.
#ifndef KEFCONVERT_CONVERT_KEY_MAPS_H_
#define KEFCONVERT_CONVERT_KEY_MAPS_H_

#include <span>
#include <string_view>

namespace kefconvert::detail {

enum class KeyEffect {
  kNone,
  kVersion,            // the value becomes "2.0.0.0"
  kDateFormat,         // the value is mapped through kDateFormats
  kCaptureSecLoginID,  // the value names the security table's login-id field
  kCaptureSecTbl,      // the value names the security table
  kCaptureDBFileName,  // the file name at the end of the value names the database
  kMatchSecTbl,        // the table is the security table when its name is SecTbl's
  kMatchLoginFld,      // the field is the login-id field (of the security table)
  kFieldType,          // the value is an ADO type code; derive the field's type facts
};

struct KeyMapping {
  std::string_view old_key;
  std::string_view new_key;  // empty: the line is dropped
  KeyEffect effect = KeyEffect::kNone;
};

struct ValueMapping {
  std::string_view from;
  std::string_view to;
};

extern const std::span<const KeyMapping> kProjectKeys;
extern const std::span<const KeyMapping> kDatabaseKeys;
extern const std::span<const KeyMapping> kTableKeys;
extern const std::span<const KeyMapping> kFieldKeys;
extern const std::span<const ValueMapping> kDateFormats;

/// The row of `map` for `key`, or nullptr when no row names it.
const KeyMapping* FindKey(std::span<const KeyMapping> map, std::string_view key);

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_KEY_MAPS_H_
