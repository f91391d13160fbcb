// Byte work on short text, eight bytes at a time. Most lines of a project file are a few
// dozen bytes, and most keys and values fewer than sixteen: for them a call into the C
// library's memchr, memcmp or memcpy costs more than the work itself. These helpers read
// and write only inside the bytes they are given.
#ifndef KEFCONVERT_CONVERT_WORDS_H_
#define KEFCONVERT_CONVERT_WORDS_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kefconvert::detail {

inline constexpr std::uint64_t kEveryByte = 0x0101010101010101;

inline std::uint64_t LoadWord(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

inline std::uint32_t LoadHalfWord(const char* p) {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

/// The bytes of `text` (at most eight) in one word, some perhaps twice: for questions
/// about whether a byte occurs, not where.
inline std::uint64_t GatherWord(const char* text, std::size_t size) {
  if (size >= 4) {
    return LoadHalfWord(text) | std::uint64_t{LoadHalfWord(text + size - 4)} << 32;
  }
  if (size == 0) return 0;
  auto at = [text](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(text[i])}; };
  // one, two or three bytes: the first, the middle and the last cover them all
  return at(0) | at(size / 2) << 8 | at(size - 1) << 16 | at(0) << 24;
}

/// 0x80 in each byte of `word` that is zero, exactly, and nothing elsewhere.
inline std::uint64_t ZeroBytes(std::uint64_t word) {
  constexpr std::uint64_t kLow7 = 0x7F * kEveryByte;
  return ~(((word & kLow7) + kLow7) | word | kLow7);
}

/// 0x80 in each byte of `word` that equals `c`.
inline std::uint64_t BytesEqual(std::uint64_t word, char c) {
  return ZeroBytes(word ^ (static_cast<unsigned char>(c) * kEveryByte));
}

/// Where `c` first occurs in `text`, or npos: memchr for short text.
inline std::size_t FindByte(std::string_view text, char c) {
  if constexpr (std::endian::native != std::endian::little) return text.find(c);
  const char* p = text.data();
  std::size_t size = text.size();
  std::size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    if (std::uint64_t found = BytesEqual(LoadWord(p + at), c)) {
      return at + static_cast<std::size_t>(std::countr_zero(found)) / 8;
    }
  }
  for (; at < size; ++at) {
    if (p[at] == c) return at;
  }
  return std::string_view::npos;
}

/// Whether every byte of `text` is below 0x80.
inline bool AllAscii(std::string_view text) {
  constexpr std::uint64_t kHighBits = 0x80 * kEveryByte;
  const char* p = text.data();
  std::size_t size = text.size();
  if (size <= 8) return (GatherWord(p, size) & kHighBits) == 0;
  std::uint64_t high = 0;
  for (std::size_t at = 0; at + 8 < size; at += 8) high |= LoadWord(p + at);
  // the last word may overlap the one before it
  return ((high | LoadWord(p + size - 8)) & kHighBits) == 0;
}

/// `a == b`, without a call for short text.
inline bool SameText(std::string_view a, std::string_view b) {
  std::size_t size = a.size();
  if (size != b.size()) return false;
  if (size > 16) return std::memcmp(a.data(), b.data(), size) == 0;
  if (size >= 8) {
    return ((LoadWord(a.data()) ^ LoadWord(b.data())) |
            (LoadWord(a.data() + size - 8) ^ LoadWord(b.data() + size - 8))) == 0;
  }
  return GatherWord(a.data(), size) == GatherWord(b.data(), size);
}

/// Copies `size` bytes; memcpy for short text.
inline void CopyBytes(char* to, const char* from, std::size_t size) {
  if (size > 16) {
    std::memcpy(to, from, size);
  } else if (size >= 8) {
    // two words that overlap in the middle: both are read before either is written
    std::uint64_t first = LoadWord(from);
    std::uint64_t last = LoadWord(from + size - 8);
    std::memcpy(to, &first, 8);
    std::memcpy(to + size - 8, &last, 8);
  } else if (size >= 4) {
    std::uint32_t first = LoadHalfWord(from);
    std::uint32_t last = LoadHalfWord(from + size - 4);
    std::memcpy(to, &first, 4);
    std::memcpy(to + size - 4, &last, 4);
  } else if (size > 0) {
    char first = from[0];
    char middle = from[size / 2];
    char last = from[size - 1];
    to[0] = first;
    to[size / 2] = middle;
    to[size - 1] = last;
  }
}

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_WORDS_H_
