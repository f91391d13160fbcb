// One look at each byte of a short line tells where everything that matters to a setting
// stands: its line feed, its "=" signs, its blanks, the characters that a value writes as
// entities, and bytes above 0x7F. The answers are bit masks, one bit per byte, so that the
// line's end, its key and its value come out of a few bit operations instead of a search
// each. Sixteen bytes are looked at together with SSE2 where the machine has it, one at a
// time elsewhere; both give the same masks.
#ifndef KEFCONVERT_CONVERT_LINE_SCAN_H_
#define KEFCONVERT_CONVERT_LINE_SCAN_H_

#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KEFCONVERT_SCAN_SSE2 1
#endif

namespace kefconvert::detail {

/// How far a scan looks: lines longer than this, line end included, are left to others.
inline constexpr std::size_t kScanLimit = 64;
/// Bytes are scanned in chunks of this many.
inline constexpr std::size_t kScanChunk = 16;

/// Bit i stands for byte i of the scanned text.
struct LineMasks {
  std::uint64_t newline = 0;  // "\n"
  std::uint64_t equals = 0;   // "="
  std::uint64_t blank = 0;    // " "
  std::uint64_t entity = 0;   // "&", the double quote, ">" and "<"
  std::uint64_t high = 0;     // bytes above 0x7F

  friend bool operator==(const LineMasks&, const LineMasks&) = default;
};

/// The short answer for the common line, a key, an "=" and a value with nothing in them to
/// trim, escape or check: its line feeds, and every byte that may be anything else. A line
/// whose only such byte is one "=" after its first byte needs nothing more; any other line
/// takes the full masks.
struct LineSpots {
  std::uint64_t newline = 0;
  // "=", blank, entity characters and bytes above 0x7F, and with them "$" and "?": each
  // group of four (" " to "&" in steps of two, "<" to "?") is found with one test
  std::uint64_t special = 0;

  friend bool operator==(const LineSpots&, const LineSpots&) = default;
};

/// The masks of the chunks at `p` up to the first that holds a line feed, or of all
/// `limit` bytes when none does (newline is then 0). All kScanLimit bytes at `p` must
/// be readable; bits for bytes after the first line feed may be set. `limit` is a
/// multiple of kScanChunk, up to kScanLimit.
inline LineMasks ScanLineBytewise(const char* p, std::size_t limit = kScanLimit) {
  LineMasks masks;
  for (std::size_t chunk = 0; chunk < limit; chunk += kScanChunk) {
    for (std::size_t i = chunk; i < chunk + kScanChunk; ++i) {
      auto byte = static_cast<unsigned char>(p[i]);
      std::uint64_t bit = std::uint64_t{1} << i;
      if (byte == '\n') masks.newline |= bit;
      if (byte == '=') masks.equals |= bit;
      if (byte == ' ') masks.blank |= bit;
      if (byte == '&' || byte == '"' || byte == '>' || byte == '<') masks.entity |= bit;
      if (byte > 0x7F) masks.high |= bit;
    }
    if (masks.newline != 0) break;
  }
  return masks;
}

/// The spots of ScanLineBytewise's masks.
inline LineSpots ScanSpotsBytewise(const char* p, std::size_t limit = kScanLimit) {
  LineMasks masks = ScanLineBytewise(p, limit);
  LineSpots spots{masks.newline, masks.equals | masks.blank | masks.entity | masks.high};
  // up to the end of the chunk of the first line feed, as the masks go
  std::size_t scanned =
      masks.newline == 0
          ? limit
          : (static_cast<std::size_t>(std::countr_zero(masks.newline)) / kScanChunk + 1) *
                kScanChunk;
  for (std::size_t i = 0; i < scanned; ++i) {
    if (p[i] == '$' || p[i] == '?') spots.special |= std::uint64_t{1} << i;
  }
  return spots;
}

#ifdef KEFCONVERT_SCAN_SSE2

/// ScanLineBytewise, sixteen bytes at a time.
inline LineMasks ScanLine(const char* p) {
  auto bits = [](__m128i hits) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits)));
  };
  LineMasks masks;
  for (unsigned chunk = 0; chunk < kScanLimit; chunk += kScanChunk) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + chunk));
    std::uint64_t feeds = bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
    masks.equals |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('='))) << chunk;
    masks.blank |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '))) << chunk;
    // "<" and ">" differ only in bit 1, the double quote and "&" only in bit 2
    __m128i angle = _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x02)), _mm_set1_epi8('>'));
    __m128i amp = _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x04)), _mm_set1_epi8('&'));
    masks.entity |= bits(_mm_or_si128(angle, amp)) << chunk;
    masks.high |= bits(bytes) << chunk;
    masks.newline |= feeds << chunk;
    if (feeds != 0) break;
  }
  return masks;
}

/// ScanSpotsBytewise, sixteen bytes at a time.
template <std::size_t limit = kScanLimit>
LineSpots ScanSpots(const char* p) {
  static_assert(limit % kScanChunk == 0 && limit <= kScanLimit);
  LineSpots spots;
  for (unsigned chunk = 0; chunk < limit; chunk += kScanChunk) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + chunk));
    auto feeds = static_cast<std::uint64_t>(
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')))));
    // " ", the double quote, "$" and "&" are 0x20 to 0x26 in steps of two; "<", "=", ">"
    // and "?" are 0x3C to 0x3F
    __m128i blank_to_amp =
        _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x06)), _mm_set1_epi8('&'));
    __m128i angles = _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x03)), _mm_set1_epi8('?'));
    // a byte above 0x7F has its top bit set already
    __m128i special = _mm_or_si128(_mm_or_si128(blank_to_amp, angles), bytes);
    spots.special |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(special)))
                     << chunk;
    spots.newline |= feeds << chunk;
    if (feeds != 0) break;
  }
  return spots;
}

#else

inline LineMasks ScanLine(const char* p) { return ScanLineBytewise(p); }
template <std::size_t limit = kScanLimit>
LineSpots ScanSpots(const char* p) {
  return ScanSpotsBytewise(p, limit);
}

#endif

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_LINE_SCAN_H_
