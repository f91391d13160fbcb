// Splits the project file into lines, reading it in large blocks. A line ends at a line
// feed, with a carriage return before it; a carriage return alone belongs to the line, and
// a line end at the very end of the file does not start another line.
#ifndef KEFCONVERT_CONVERT_LINE_READER_H_
#define KEFCONVERT_CONVERT_LINE_READER_H_

#include <cstdint>
#include <cstring>
#include <string_view>

#include "convert/file_layer.h"
#include "convert/text_buffer.h"

namespace kefconvert::detail {

class LineReader {
 public:
  explicit LineReader(InputFile& file, std::size_t block_size = 1 << 20);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  /// Sets `line` to the next line without its line end, valid until the next call.
  /// Returns false, and leaves `line` alone, when there is no line left.
  bool ReadLine(std::string_view& line) {
    // fast path, taken by all lines but the one that crosses into the next block
    if (begin_ == buffer_.size()) return ReadLineAcrossBlocks(line);
    const char* start = buffer_.data() + begin_;
    const void* feed = std::memchr(start, '\n', buffer_.size() - begin_);
    if (feed == nullptr) return ReadLineAcrossBlocks(line);
    line = TakeLine(static_cast<const char*>(feed));
    return true;
  }
  /// Bytes after Buffered() that may be read: zeros, so never a line feed.
  static constexpr std::size_t kPadding = 64;
  /// The text read from the file but not yet taken as lines, followed by kPadding readable
  /// bytes: for a caller that takes many lines at once.
  std::string_view Buffered() const { return {buffer_.data() + begin_, buffer_.size() - begin_}; }
  /// Takes the first `bytes` of Buffered(), which are `lines` whole lines.
  void Skip(std::size_t bytes, std::int64_t lines) {
    begin_ += bytes;
    line_number_ += lines;
  }

  /// Reads the lines of `text` instead of the file's, from the start of `text`, with line
  /// numbers that start again from 1; the text the reader held goes to `text` in exchange,
  /// so that a second call gives the text back unchanged. `text` is the end of what there
  /// is to read, and must have room for kPadding bytes after it.
  void Adopt(TextBuffer& text) {
    buffer_.Swap(text);
    begin_ = 0;
    at_end_ = true;
    line_number_ = 0;
    ZeroPadding();
  }

  /// The 1-based number of the line read last; 0 before the first.
  std::int64_t line_number() const { return line_number_; }

  /// The first bytes of the file (up to 256), as far as they have been read.
  std::string_view Head() const { return {head_, head_size_}; }

 private:
  /// The unread line that ends at the line feed `feed`, without its line end; the reader
  /// moves past it.
  std::string_view TakeLine(const char* feed) {
    const char* start = buffer_.data() + begin_;
    auto length = static_cast<std::size_t>(feed - start);
    begin_ += length + 1;
    if (length > 0 && start[length - 1] == '\r') --length;
    ++line_number_;
    return {start, length};
  }
  bool ReadLineAcrossBlocks(std::string_view& line);
  /// Reads another block behind the unread text; false at the end of the file.
  bool Fill();
  void ZeroPadding() { std::memset(buffer_.data() + buffer_.size(), 0, kPadding); }
  /// Adds the newly read `text` to the head, until it is full.
  void KeepHead(std::string_view text);

  InputFile& file_;
  std::size_t block_size_;
  TextBuffer buffer_;
  std::size_t begin_ = 0;  // start of the unread text in buffer_
  bool at_end_ = false;
  std::int64_t line_number_ = 0;
  char head_[256];
  std::size_t head_size_ = 0;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_LINE_READER_H_
