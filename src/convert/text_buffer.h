// A growable byte buffer for text that is built by appending. It grows with realloc, which
// for large buffers moves pages instead of copying them, so that the converted text, built
// in memory once, never exists twice.
#ifndef KEFCONVERT_CONVERT_TEXT_BUFFER_H_
#define KEFCONVERT_CONVERT_TEXT_BUFFER_H_

#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

#include "convert/words.h"

namespace kefconvert::detail {

class TextBuffer {
 public:
  TextBuffer() = default;
  explicit TextBuffer(std::size_t capacity) { Reserve(capacity); }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  ~TextBuffer();

  std::size_t size() const { return size_; }
  const char* data() const { return data_; }
  char* data() { return data_; }
  std::string_view view() const { return {data_, size_}; }

  void Append(std::string_view text) {
    if (capacity_ - size_ < text.size()) Grow(text.size());
    CopyBytes(data_ + size_, text.data(), text.size());
    size_ += text.size();
  }
  void Append(char c) {
    if (size_ == capacity_) Grow(1);
    data_[size_++] = c;
  }
  /// Makes the text `size` bytes longer and returns where the new bytes, still
  /// uninitialised, begin: for a caller that writes several pieces at once.
  char* Extend(std::size_t size) {
    if (capacity_ - size_ < size) Grow(size);
    char* start = data_ + size_;
    size_ += size;
    return start;
  }
  /// Makes room for `room` more bytes and returns where they begin, for a writer that
  /// works past what it keeps; CommitUpTo then ends the text where the writer stopped.
  char* MakeRoom(std::size_t room) {
    if (capacity_ - size_ < room) Grow(room);
    return data_ + size_;
  }
  /// Ends the text at `end`, which lies inside the room that MakeRoom made.
  void CommitUpTo(const char* end) { size_ = static_cast<std::size_t>(end - data_); }
  /// Drops the text from `size` on.
  void Truncate(std::size_t size) { size_ = size; }
  /// Makes the buffer `size` bytes long; new bytes are uninitialised.
  void Resize(std::size_t size) {
    if (size > capacity_) Grow(size - size_);
    size_ = size;
  }
  void Reserve(std::size_t capacity);
  /// Exchanges the texts, and the memory behind them, of two buffers.
  void Swap(TextBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }
  /// Makes room for `extra` more bytes, growing as appending does.
  void ReserveExtra(std::size_t extra) {
    if (capacity_ - size_ < extra) Grow(extra);
  }

 private:
  void Grow(std::size_t extra);

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_TEXT_BUFFER_H_
