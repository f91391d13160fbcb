// The Windows ANSI code pages that project files are written in, and how each one reads
// the bytes of a line as UTF-16 code units. The converter copies bytes; it decodes them
// only where characters are counted or looked at: a field's variable name, the 16-bit
// limits and the database file name after the last "\".
//
// Single-byte pages (874, 1250 to 1258) read every byte as one code unit. Double-byte
// pages (932, 936, 949, 950) read a defined lead and trail pair as one code unit, and
// 65001 reads a UTF-8 sequence as one code unit, or two above U+FFFF. In every page a byte
// that does not begin a defined character is one code unit of its own value, and decoding
// goes on with the next byte. Markers, "=", blanks, quotes, "<", ">" and "&" are never
// part of another character in these pages, so splitting a line stays byte-wise.
#ifndef KEFCONVERT_CONVERT_CODE_PAGE_H_
#define KEFCONVERT_CONVERT_CODE_PAGE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace kefconvert::detail {

/// The code points of the bytes 0x80 to 0xFF of a single-byte page.
using SingleByteTable = std::array<char16_t, 128>;

/// The table of the single-byte page `number`, or nullptr when it is not one of 874 and
/// 1250 to 1258.
const SingleByteTable* FindSingleByteTable(int number);

/// One character of a line: its code units and how many bytes it takes.
struct Character {
  char16_t units[2];
  std::uint8_t unit_count;  // 1, or 2 for a surrogate pair
  std::uint8_t size;        // bytes, 1 to 4

  std::u16string_view Units() const { return {units, unit_count}; }
};

/// True when every byte of `text` is below 0x80.
bool IsAscii(std::string_view text);

/// True when `text` is valid UTF-8 and holds characters beyond ASCII: a file that was read
/// in a single-byte code page was then most likely meant to be read in 65001.
bool LooksLikeUtf8(std::string_view text);

/// How one supported page reads the bytes of a line as UTF-16 code units.
class CodePage {
 public:
  enum class Kind : std::uint8_t { kSingleByte, kDoubleByte, kUtf8 };

  /// The page `number`, or nullptr when it is none of 874, 1250 to 1258, 932, 936, 949,
  /// 950 and 65001. The objects live as long as the program.
  static const CodePage* Find(int number);

  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  int number() const { return number_; }
  Kind kind() const { return kind_; }

  /// The character that starts at `at`; `at` must be before `end`.
  Character Decode(const char* at, const char* end) const {
    auto byte = static_cast<unsigned char>(*at);
    // fast path: ASCII is itself in every page, and a single-byte page is one table look
    if (byte < 0x80) return {{byte, 0}, 1, 1};
    if (kind_ == Kind::kSingleByte) return {{singles_[byte - 0x80], 0}, 1, 1};
    if (kind_ == Kind::kDoubleByte) return DecodeDoubleByte(at, end);
    return DecodeUtf8OrByte(at, end);
  }

  /// Calls `visit(units, bytes)` for each character of `text`, in order: `units` are its
  /// UTF-16 code units (a std::u16string_view), `bytes` the part of `text` it takes.
  template <class Visitor>
  void ForEachCharacter(std::string_view text, Visitor&& visit) const {
    // fast path: one byte, one code unit
    if (kind_ == Kind::kSingleByte || IsAscii(text)) {
      for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        char16_t unit = byte < 0x80 ? byte : singles_[byte - 0x80];
        visit(std::u16string_view(&unit, 1), text.substr(i, 1));
      }
      return;
    }
    const char* end = text.data() + text.size();
    for (const char* at = text.data(); at != end;) {
      Character c = Decode(at, end);
      visit(c.Units(), std::string_view(at, c.size));
      at += c.size;
    }
  }

  /// The length of `text` in UTF-16 code units.
  std::size_t CountUnits(std::string_view text) const {
    // fast path: one unit per byte
    if (kind_ == Kind::kSingleByte || IsAscii(text)) return text.size();
    return CountUnitsBeyondAscii(text);
  }

  /// The byte offset in `path` just after its last "\" that is a character of its own
  /// (not the trail byte of a pair); 0 when it has none.
  std::size_t FileNameStart(std::string_view path) const {
    std::size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) return 0;
    // fast path: only a double-byte page has trail bytes that look like "\"
    if (kind_ != Kind::kDoubleByte || IsAscii(path.substr(0, slash))) return slash + 1;
    return FileNameStartBeyondAscii(path);
  }

 private:
  constexpr CodePage(int number, Kind kind, const char16_t* singles, const char16_t* pairs)
      : number_(number), kind_(kind), singles_(singles), pairs_(pairs) {}

  Character DecodeDoubleByte(const char* at, const char* end) const {
    auto lead = static_cast<unsigned char>(at[0]);
    if (lead >= kFirstLead && lead <= kLastLead && end - at >= 2) {
      auto trail = static_cast<unsigned char>(at[1]);
      if (trail >= kFirstTrail && trail <= kLastTrail) {
        char16_t unit = pairs_[(lead - kFirstLead) * kTrailCount + (trail - kFirstTrail)];
        if (unit != 0) return {{unit, 0}, 1, 2};
      }
    }
    // a defined single byte, or a byte that begins no character: the table has both
    return {{singles_[lead - 0x80], 0}, 1, 1};
  }
  Character DecodeUtf8OrByte(const char* at, const char* end) const;
  std::size_t CountUnitsBeyondAscii(std::string_view text) const;
  std::size_t FileNameStartBeyondAscii(std::string_view path) const;

  friend struct CodePageTables;

  // Pairs have a lead byte from 0x81 to 0xFE and a trail byte from 0x40 to 0xFE.
  static constexpr unsigned kFirstLead = 0x81;
  static constexpr unsigned kLastLead = 0xFE;
  static constexpr unsigned kFirstTrail = 0x40;
  static constexpr unsigned kLastTrail = 0xFE;
  static constexpr std::size_t kTrailCount = kLastTrail - kFirstTrail + 1;
  static constexpr std::size_t kPairCount = (kLastLead - kFirstLead + 1) * kTrailCount;

  int number_;
  Kind kind_;
  const char16_t* singles_;  // code units of the bytes 0x80 to 0xFF read alone
  const char16_t* pairs_;    // double-byte pages: code units of the pairs, 0 if undefined
};

/// The number of the page that `name` names: a number ("932"), or "cp" or "windows-"
/// followed by one ("cp932", "windows-1250"), or "utf-8" / "utf8" for 65001, in any
/// letter case. No value when the name is none of these or its page is not supported.
std::optional<int> ParseCodePageName(std::string_view name);

/// The supported pages, for messages: "874, 1250 to 1258, 932, 936, 949, 950 and 65001".
extern const std::string_view kSupportedCodePages;

/// The message for a page name that ParseCodePageName does not accept: "unsupported code
/// page 'NAME' (use 874, ... and 65001, or names such as cp932, windows-1252 and utf-8)".
std::string UnsupportedCodePageMessage(std::string_view name);

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_CODE_PAGE_H_
