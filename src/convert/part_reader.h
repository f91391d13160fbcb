// Cuts a project file into parts that can be converted apart. A part ends with a line that
// is exactly "<Table>": after it a new table element is open and everything before it is
// complete, so the next part needs to know only a few facts from the lines above it.
#ifndef KEFCONVERT_CONVERT_PART_READER_H_
#define KEFCONVERT_CONVERT_PART_READER_H_

#include <cstddef>
#include <string_view>

#include "convert/file_layer.h"
#include "convert/text_buffer.h"

namespace kefconvert::detail {

/// Where the part of `text` whose lines start at `from` or later ends: just after the first
/// of those lines that is "<Table>" with its line end. npos when there is none, and then
/// `resume` is where a search must start again once more text has been added.
std::size_t FindPartEnd(std::string_view text, std::size_t from, std::size_t& resume);

class PartReader {
 public:
  /// Parts read from `file`, which is read a little past the size each part asks for, by a
  /// quarter of `block_size`.
  PartReader(InputFile& file, std::size_t block_size);
  PartReader(const PartReader&) = delete;
  PartReader& operator=(const PartReader&) = delete;

  /// How a part ends.
  enum class End {
    kTableLine,  // with a "<Table>" line
    kFile,       // with the file: the part is the last (it may be empty)
    kNone,       // nowhere within the limit: the rest of the file is one piece
  };

  /// Reads the next part into `text`: whole lines, at least `size` bytes of them (more than
  /// 0) unless the file ends first, up to the end of the first "<Table>" line after them; or
  /// the rest of the file. Room for `padding` more bytes is made behind it. When neither
  /// ends within `limit` bytes, `text` holds what was read, and ReadRest reads on.
  End Next(TextBuffer& text, std::size_t size, std::size_t limit, std::size_t padding);

  /// Reads on from the file after a part that ends nowhere: up to `size` bytes into
  /// `buffer`; returns how many, 0 at the end of the file.
  std::size_t ReadRest(char* buffer, std::size_t size);

  /// The first bytes of the file (up to 256), as far as they have been read.
  std::string_view Head() const { return {head_, head_size_}; }

 private:
  void ReadBlock(TextBuffer& text, std::size_t size, std::size_t padding);
  void KeepHead(const char* text, std::size_t size);

  InputFile& file_;
  std::size_t margin_;   // read past the size a part asks for
  TextBuffer leftover_;  // read after the end of the last part
  bool at_end_ = false;
  char head_[256];
  std::size_t head_size_ = 0;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_PART_READER_H_
