// The key maps that rename the settings of the old layout to the attribute names of the
// new one, one map per section, as ordered data: the first row whose old key equals the
// key wins, a key in no row passes under its own name, and a row with an empty new key
// drops the line. A few rows carry more than a rename; their effect says what.
#ifndef KEFCONVERT_CONVERT_KEY_MAPS_H_
#define KEFCONVERT_CONVERT_KEY_MAPS_H_

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

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
/// comparison instead of a scan of the rows. Every line of a project file looks
/// its key up, so this is where the conversion spends much of its time. It also holds the
/// opening ` NewKey="` that each row's attribute starts with, ready to be copied whole.
class KeyIndex {
 public:
  /// Room for an opening: a space, the longest new key, "=" and the double quote.
  static constexpr std::size_t kOpeningRoom = 32;
  // a whole cache line each, so that finding a row's opening is one shift
  struct alignas(64) Opening {
    std::array<char, kOpeningRoom> text{};  // padded with zeros
    std::size_t size = 0;                   // 0 when the row has no new key or too long a one
  };

  constexpr explicit KeyIndex(std::span<const KeyMapping> map) : map_(map) {
    for (std::size_t row = 0; row < map.size(); ++row) {
      std::string_view key = map[row].old_key;
      words_[row + 1] = {KeyHead(key), KeyTail(key), key.size()};
      openings_[row] = OpeningFor(map[row].new_key);
    }
    // try multipliers until every key has a slot of its own: a lookup then looks at one
    // slot, and a key that no row names finds another key there or none
    for (std::uint64_t seed = 1;; ++seed) {
      if (seed > kMostTries) throw "no multiplier gives every key a slot of its own";
      multiplier_ = Mix(seed) | 1;
      if (PlaceEveryKey()) return;
    }
  }

  const KeyMapping* Find(std::string_view key) const {
    int row = FindRowOf(key, KeyHead(key), KeyTail(key));
    return row < 0 ? nullptr : &map_[static_cast<std::size_t>(row)];
  }

  /// The index of the row that Find finds, or -1; for a key that has at least eight
  /// readable bytes from its start, which spares the byte-wise loads of a short key.
  int FindRowInPaddedText(std::string_view key) const {
    KeyWords words = PaddedWords(key);
    return FindRowOf(key, words.head, words.tail);
  }

  /// FindRowInPaddedText's row plus one, or 0 when no row names the key, for a key of at
  /// most sixteen bytes: a set of rows shifted by one bit then tells in one test both
  /// whether there is a row and whether it is in the set.
  std::size_t FindEntryOfShortPaddedKey(std::string_view key) const {
    return EntryOf(PaddedWords(key));
  }

  const KeyMapping& Row(std::size_t row) const { return map_[row]; }
  const Opening& OpeningOf(std::size_t row) const { return openings_[row]; }
  std::size_t size() const { return map_.size(); }

 private:
  // the bytes of a word that a key of 0 to 7 bytes fills
  static constexpr std::array<std::uint64_t, 8> kHeadMasks = [] {
    std::array<std::uint64_t, 8> masks{};
    for (std::size_t size = 0; size < masks.size(); ++size) {
      masks[size] = (std::uint64_t{1} << (8 * size)) - 1;
    }
    return masks;
  }();

  static constexpr unsigned kSlotBits = 9;
  static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
  // with eight slots for each row, one multiplier in a few dozen places every key
  static constexpr std::uint64_t kMostTries = 4096;

 public:
  // a set of rows, with a bit for no row at all, is one 64-bit word; and there are eight
  // slots for each row
  static constexpr std::size_t kMaxRows = 63;
  static_assert(kMaxRows * 8 <= kSlots);

 private:
  // A key's first and last eight bytes and its size: the whole key when it is no longer
  // than sixteen bytes.
  struct KeyWords {
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::size_t size = 0;
  };

  // EntryOf, with the whole key compared when it is longer than sixteen bytes; written out,
  // since calling EntryOf here cost a whole conversion 0.35% more instructions
  int FindRowOf(std::string_view key, std::uint64_t head, std::uint64_t tail) const {
    std::uint8_t row = slots_[Slot(head, tail, key.size())];
    // an empty slot finds the entry that no key matches
    const KeyWords& words = words_[row];
    bool same = words.head == head && words.tail == tail && words.size == key.size() &&
                (key.size() <= 16 || SameText(map_[row - 1].old_key, key));
    return same ? row - 1 : -1;
  }

  // The row plus one whose key has the words `key`, or 0.
  std::size_t EntryOf(const KeyWords& key) const {
    std::size_t entry = slots_[Slot(key.head, key.tail, key.size)];
    // an empty slot finds the entry that no key matches
    const KeyWords& words = words_[entry];
    return words.head == key.head && words.tail == key.tail && words.size == key.size ? entry : 0;
  }

  // The words of a key that has at least eight readable bytes from its start.
  static KeyWords PaddedWords(std::string_view key) {
    if constexpr (std::endian::native != std::endian::little) {
      return {KeyHead(key), KeyTail(key), key.size()};
    }
    std::size_t size = key.size();
    std::uint64_t head = LoadWord(key.data());
    if (size < 8) head &= kHeadMasks[size];
    return {head, size > 8 ? LoadWord(key.data() + size - 8) : 0, size};
  }

  // Gives each row's key its slot; false when two different keys meet in one. A key that
  // an earlier row already names stays with that row.
  constexpr bool PlaceEveryKey() {
    slots_ = {};
    for (std::size_t row = 0; row < map_.size(); ++row) {
      const KeyWords& words = words_[row + 1];
      std::size_t slot = Slot(words.head, words.tail, words.size);
      if (slots_[slot] == 0) {
        slots_[slot] = static_cast<std::uint8_t>(row + 1);
      } else if (map_[slots_[slot] - 1].old_key != map_[row].old_key) {
        return false;
      }
    }
    return true;
  }

  // The first eight bytes of `key` (fewer when it is shorter) as a little-endian number.
  static constexpr std::uint64_t KeyHead(std::string_view key) {
    if (!std::is_constant_evaluated() && key.size() >= 8 &&
        std::endian::native == std::endian::little) {
      return LoadWord(key.data());
    }
    std::uint64_t head = 0;
    for (std::size_t i = key.size() < 8 ? key.size() : 8; i-- > 0;) {
      head = head << 8 | static_cast<unsigned char>(key[i]);
    }
    return head;
  }
  // The last eight bytes of a key longer than eight, else 0.
  static constexpr std::uint64_t KeyTail(std::string_view key) {
    return key.size() > 8 ? KeyHead(key.substr(key.size() - 8)) : 0;
  }
  constexpr std::size_t Slot(std::uint64_t head, std::uint64_t tail, std::size_t size) const {
    std::uint64_t mixed = head ^ std::rotl(tail, 29) ^ size;
    return static_cast<std::size_t>((mixed * multiplier_) >> (64 - kSlotBits));
  }
  // splitmix64's finaliser: well-spread candidates from consecutive seeds
  static constexpr std::uint64_t Mix(std::uint64_t seed) {
    std::uint64_t z = seed * 0x9E3779B97F4A7C15;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    return z ^ (z >> 31);
  }
  static constexpr Opening OpeningFor(std::string_view new_key) {
    Opening opening;
    if (new_key.empty() || new_key.size() + 3 > kOpeningRoom) return opening;
    opening.text[0] = ' ';
    for (std::size_t i = 0; i < new_key.size(); ++i) opening.text[1 + i] = new_key[i];
    opening.text[1 + new_key.size()] = '=';
    opening.text[2 + new_key.size()] = '"';
    opening.size = new_key.size() + 3;
    return opening;
  }

  std::span<const KeyMapping> map_;
  std::uint64_t multiplier_ = 0;
  std::array<std::uint8_t, kSlots> slots_{};
  // the words of row r stand at r + 1, as in slots_; at 0 stand words no key has
  std::array<KeyWords, kMaxRows + 1> words_{KeyWords{0, 0, ~std::size_t{0}}};
  std::array<Opening, kMaxRows> openings_{};
};

extern const KeyIndex kProjectKeyIndex;
extern const KeyIndex kDatabaseKeyIndex;
extern const KeyIndex kTableKeyIndex;
extern const KeyIndex kFieldKeyIndex;

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_KEY_MAPS_H_
