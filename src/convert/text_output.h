// The converted text on its way to its destination. The driver builds each element at the
// end of one buffer; once an element is complete and the buffer holds a block, the block
// is written out, so that memory does not grow with the file.
//
// Only the head of the text is not final until the end: the project element, written
// first, holds the login field's type group, which a field far down the file may give. It
// is always empty or one digit, so the head is written last into a gap left for it. The
// size of the gap is a guess made when the first block goes out; when the guess was wrong,
// the body moves by one byte. A text that fits in one block is written in one piece.
#ifndef KEFCONVERT_CONVERT_TEXT_OUTPUT_H_
#define KEFCONVERT_CONVERT_TEXT_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "convert/text_buffer.h"

namespace kefconvert::detail {

/// Where a converted text goes: a file, or memory.
class TextDestination {
 public:
  virtual ~TextDestination() = default;
  /// Writes `pieces`, one after another, from byte `offset` on.
  virtual void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) = 0;
  /// Reads back up to `size` bytes from `offset`; returns how many.
  virtual std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) = 0;
  /// Cuts the text to `size` bytes.
  virtual void Truncate(std::uint64_t size) = 0;
  /// Whether WriteAt may be called from two threads at once, at places that do not overlap.
  virtual bool TakesWritesAtOnce() const { return false; }
};

/// A destination in memory.
class MemoryDestination final : public TextDestination {
 public:
  /// Room for `size` bytes, so that a text of about that size is not copied as it grows.
  void Reserve(std::size_t size) { text_.reserve(size); }
  void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) override;
  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override;
  void Truncate(std::uint64_t size) override { text_.resize(static_cast<std::size_t>(size)); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

/// The size of the blocks the text is written in, each ending where a block of the file
/// ends: the system then holds the file in large pieces, which costs less to write than a
/// block that starts anywhere. 256 KiB stays in the processor's nearest large cache beside
/// the block read. Builds for testing make it a few bytes, so that every flush and the move
/// of a wrong guess run on small projects.
#ifdef KEFCONVERT_OUTPUT_BLOCK_SIZE
inline constexpr std::size_t kOutputBlockSize = KEFCONVERT_OUTPUT_BLOCK_SIZE;
#else
inline constexpr std::size_t kOutputBlockSize = std::size_t{1} << 18;
#endif

class TextOutput {
 public:
  TextOutput(TextDestination& destination, std::uint64_t size_hint);
  /// An output that holds its whole text and writes nothing: for a part of a file
  /// converted apart, whose place in the text is not known until the parts before it are
  /// converted. The output of the whole file then gives it its place (PlacePart).
  TextOutput() = default;
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  /// The text not yet written; the element being assembled is its tail.
  TextBuffer& text() { return text_; }
  /// The login-type placeholder stands at `at` in text().
  void MarkPlaceholder(std::size_t at) { placeholder_ = at; }
  /// Everything in text() is final but the placeholder: writes it out once it holds a
  /// block. `login_type_likely`: whether the type group is likely to be a digit.
  void AtElementBoundary(bool login_type_likely) {
    if (text_.size() >= kOutputBlockSize && destination_ != nullptr) WriteBlock(login_type_likely);
  }
  /// Where the placeholder stands in text(); npos when it is not there.
  std::size_t placeholder() const { return placeholder_; }
  /// Gives the text of a part converted apart its place after the parts placed before it,
  /// and returns the offset that `text` is to be written at. The first part holds the
  /// project element, with its placeholder at `placeholder`: `text` then loses the head,
  /// which Finish writes. `login_type_likely` is as for AtElementBoundary.
  std::uint64_t PlacePart(std::string_view& text, std::size_t placeholder, bool login_type_likely);
  /// The text is complete: `login_type` takes the placeholder's place.
  void Finish(std::string_view login_type);

 private:
  void WriteBlock(bool login_type_likely);
  /// Keeps the head of `text` back and leaves the gap for the login type; returns the text
  /// after the placeholder.
  std::string_view StartBody(std::string_view text, std::size_t placeholder,
                             bool login_type_likely);
  void MoveBody(std::int64_t by);

  TextDestination* destination_ = nullptr;
  TextBuffer text_;
  std::size_t placeholder_ = std::string_view::npos;
  bool written_any_ = false;
  std::string head_;              // the text before the placeholder, once the body is out
  std::size_t gap_ = 0;           // room left for the login type in front of the body
  std::uint64_t body_start_ = 0;  // where the text after the placeholder begins
  std::uint64_t end_ = 0;         // where the next block goes
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_TEXT_OUTPUT_H_
