// The key maps that rename the settings of the old layout to the attribute names of the
// new one, one map per section, as ordered data: the first row whose old key equals the
// key wins, a key in no row passes under its own name, and a row with an empty new key
// drops the line. A few rows carry more than a rename; their effect says what.
#ifndef KEFCONVERT_CONVERT_KEY_MAPS_H_
#define KEFCONVERT_CONVERT_KEY_MAPS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "convert/words.h"

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

/// The row of `map` for `key`, or nullptr when no row names it: the first row, in the
/// map's order, whose old key equals `key`.
const KeyMapping* FindKey(std::span<const KeyMapping> map, std::string_view key);

/// A hash index over one key map: the same answer as FindKey on that map, found with one
/// or two comparisons instead of a scan of the rows. Every line of a project file looks
/// its key up, so this is where the conversion spends much of its time.
class KeyIndex {
 public:
  constexpr explicit KeyIndex(std::span<const KeyMapping> map) : map_(map) {
    for (std::size_t row = 0; row < map.size(); ++row) {
      std::size_t slot = Hash(map[row].old_key);
      // a key that an earlier row already names stays with that row
      while (slots_[slot] != 0 && map[slots_[slot] - 1].old_key != map[row].old_key) {
        slot = (slot + 1) % kSlots;
      }
      if (slots_[slot] == 0) slots_[slot] = static_cast<std::uint8_t>(row + 1);
    }
  }

  const KeyMapping* Find(std::string_view key) const {
    for (std::size_t slot = Hash(key);; slot = (slot + 1) % kSlots) {
      std::uint8_t row = slots_[slot];
      if (row == 0) return nullptr;
      if (SameText(map_[row - 1].old_key, key)) return &map_[row - 1];
    }
  }

 private:
  static constexpr std::size_t kSlots = 256;

 public:
  /// Kept at most a quarter full, so that a key in no row meets an empty slot soon.
  static constexpr std::size_t kMaxRows = kSlots / 4;

 private:
  static constexpr std::size_t Hash(std::string_view key) {
    std::size_t n = key.size();
    if (n == 0) return 0;
    auto at = [key](std::size_t i) {
      return static_cast<std::size_t>(static_cast<unsigned char>(key[i]));
    };
    return (n * 61 + at(0) * 7 + at(n - 1) * 131 + at(n / 2) * 17 + at(n >= 2 ? n - 2 : 0)) %
           kSlots;
  }

  std::span<const KeyMapping> map_;
  std::array<std::uint8_t, kSlots> slots_{};
};

extern const KeyIndex kProjectKeyIndex;
extern const KeyIndex kDatabaseKeyIndex;
extern const KeyIndex kTableKeyIndex;
extern const KeyIndex kFieldKeyIndex;

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_KEY_MAPS_H_
