// The two text rules that every part of the conversion shares: trimming removes blanks
// (U+0020, nothing else) at both ends, and a value taken from the old file stands in the
// new one with "&", the double quote, ">" and "<" written as entities.
#ifndef KEFCONVERT_CONVERT_ESCAPE_H_
#define KEFCONVERT_CONVERT_ESCAPE_H_

#include <array>
#include <cstddef>
#include <string_view>

#include "convert/text_buffer.h"
#include "convert/words.h"

namespace kefconvert::detail {

/// `text` without the blanks at both of its ends; tabs stay.
inline std::string_view TrimBlanks(std::string_view text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin != end && *begin == ' ') ++begin;
  while (end != begin && end[-1] == ' ') --end;
  return {begin, static_cast<std::size_t>(end - begin)};
}

/// True for the four characters that stand as entities in an attribute value.
extern const std::array<bool, 256> kTakesEntity;

/// The entity that one of the four stands as, padded with zeros to eight bytes so that it
/// can be copied whole.
struct Entity {
  char text[8];
  std::size_t size;
};
inline const Entity& EntityFor(char c) {
  // the four differ in their low five bits: a table, where a switch would mispredict on a
  // value with several kinds of them
  static constexpr std::array<Entity, 32> kByLowBits = [] {
    std::array<Entity, 32> entities{};
    entities['&' & 31] = {"&amp;", 5};
    entities['"' & 31] = {"&quot;", 6};
    entities['>' & 31] = {"&gt;", 4};
    entities['<' & 31] = {"&lt;", 4};
    return entities;
  }();
  return kByLowBits[static_cast<unsigned char>(c) & 31];
}

/// Appends `text` with its entities spelt out; for AppendEscaped.
void AppendWithEntities(TextBuffer& out, std::string_view text);

/// 0x80 in each byte of `word` that is one of the four, and perhaps in bytes after one.
inline std::uint64_t EntityBytes(std::uint64_t word) {
  // "<" and ">" differ only in bit 1, the double quote and "&" only in bit 2
  return ZeroBytes((word | 0x02 * kEveryByte) ^ ('>' * kEveryByte)) |
         ZeroBytes((word | 0x04 * kEveryByte) ^ ('&' * kEveryByte));
}

/// Whether `text` holds any of the four.
inline bool HoldsEntityCharacter(std::string_view text) {
  const char* p = text.data();
  std::size_t size = text.size();
  if (size <= 8) return EntityBytes(GatherWord(p, size)) != 0;
  std::uint64_t found = 0;
  std::size_t at = 0;
  for (; at + 8 < size; at += 8) found |= EntityBytes(LoadWord(p + at));
  // the last word may overlap the one before it
  return (found | EntityBytes(LoadWord(p + size - 8))) != 0;
}

/// Appends `text` with "&", the double quote, ">" and "<" written as entities, "&" first,
/// so that an "&amp;" already in the text becomes "&amp;amp;".
inline void AppendEscaped(TextBuffer& out, std::string_view text) {
  // most values hold none of them: one look at each word, then one copy
  if (HoldsEntityCharacter(text)) return AppendWithEntities(out, text);
  out.Append(text);
}

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_ESCAPE_H_
