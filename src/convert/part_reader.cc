#include "convert/part_reader.h"

#include <algorithm>
#include <cstring>

namespace kefconvert::detail {
namespace {

constexpr std::string_view kTableLineStart = "\n<Table>";

}  // namespace

std::size_t FindPartEnd(std::string_view text, std::size_t from, std::size_t& resume) {
  // the line feed before the line is part of the pattern, so the search starts one early
  std::size_t at = from == 0 ? 0 : from - 1;
  for (;;) {
    std::size_t found = text.find(kTableLineStart, at);
    if (found == std::string_view::npos) {
      // the text may end in the middle of the pattern
      std::size_t partial =
          text.size() + 1 > kTableLineStart.size() ? text.size() + 2 - kTableLineStart.size() : 0;
      resume = std::max(from, partial);
      return std::string_view::npos;
    }
    std::size_t after = found + kTableLineStart.size();
    // the line end decides, and it may not be read yet
    if (after >= text.size() || (text[after] == '\r' && after + 1 >= text.size())) {
      resume = found + 1;
      return std::string_view::npos;
    }
    if (text[after] == '\n') return after + 1;
    if (text[after] == '\r' && text[after + 1] == '\n') return after + 2;
    at = found + 1;
  }
}

PartReader::PartReader(InputFile& file, std::size_t block_size)
    : file_(file), margin_(std::max<std::size_t>(block_size / 4, 1)) {}

PartReader::End PartReader::Next(TextBuffer& text, std::size_t size, std::size_t limit,
                                 std::size_t padding) {
  text.Truncate(0);
  text.ReserveExtra(leftover_.size() + padding);
  text.Append(leftover_.view());
  leftover_.Truncate(0);
  std::size_t resume = size;
  for (;;) {
    if (text.size() >= size) {
      std::size_t end = FindPartEnd(text.view(), resume, resume);
      if (end != std::string_view::npos) {
        leftover_.Append(text.view().substr(end));
        text.Truncate(end);
        return End::kTableLine;
      }
    }
    if (at_end_) return End::kFile;
    if (text.size() >= limit) return End::kNone;
    // one read goes a little past the part's size, where the end of the table under way
    // mostly lies; a little, so that little is left to move into the next part
    ReadBlock(text, text.size() < size ? size - text.size() + margin_ : margin_, padding);
  }
}

std::size_t PartReader::ReadRest(char* buffer, std::size_t size) {
  std::size_t n = file_.Read(buffer, size);
  KeepHead(buffer, n);
  return n;
}

void PartReader::ReadBlock(TextBuffer& text, std::size_t size, std::size_t padding) {
  text.ReserveExtra(size + padding);
  char* block = text.data() + text.size();
  std::size_t n = file_.Read(block, size);
  text.Resize(text.size() + n);
  if (n == 0) at_end_ = true;
  KeepHead(block, n);
}

void PartReader::KeepHead(const char* text, std::size_t size) {
  std::size_t kept = std::min(size, sizeof head_ - head_size_);
  std::memcpy(head_ + head_size_, text, kept);
  head_size_ += kept;
}

}  // namespace kefconvert::detail
