// Splits the project file into lines, reading it in large blocks. A line ends at a line
// feed, with a carriage return before it; a carriage return alone belongs to the line, and
// a line end at the very end of the file does not start another line.
#ifndef KEFCONVERT_CONVERT_LINE_READER_H_
#define KEFCONVERT_CONVERT_LINE_READER_H_

#include <cstdint>
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
  bool ReadLine(std::string_view& line);
  /// The 1-based number of the line read last; 0 before the first.
  std::int64_t line_number() const { return line_number_; }

 private:
  /// Reads another block behind the unread text; false at the end of the file.
  bool Fill();

  InputFile& file_;
  std::size_t block_size_;
  TextBuffer buffer_;
  std::size_t begin_ = 0;  // start of the unread text in buffer_
  bool at_end_ = false;
  std::int64_t line_number_ = 0;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_LINE_READER_H_
