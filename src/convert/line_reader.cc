#include "convert/line_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kefconvert::detail {
namespace {

// the size of a cache line
constexpr std::size_t kLineSize = 64;

}  // namespace

LineReader::LineReader(InputFile& file, std::size_t block_size)
    : file_(file), block_size_(block_size), buffer_(kLineSize + block_size + kPadding) {
  ZeroPadding();
}

bool LineReader::ReadLineAcrossBlocks(std::string_view& line) {
  std::size_t searched = 0;  // bytes of the unread text known to hold no line feed
  for (;;) {
    const char* start = buffer_.data() + begin_;
    std::size_t unread = buffer_.size() - begin_;
    const void* feed =
        unread > searched ? std::memchr(start + searched, '\n', unread - searched) : nullptr;
    if (feed != nullptr) {
      line = TakeLine(static_cast<const char*>(feed));
      return true;
    }
    searched = unread;
    if (!Fill()) break;
  }
  // the last line has no line end
  if (begin_ == buffer_.size()) return false;
  line = std::string_view(buffer_.data() + begin_, buffer_.size() - begin_);
  begin_ = buffer_.size();
  ++line_number_;
  return true;
}

// `text` follows what was read before: the head grows until it is full, however small the
// blocks are.
void LineReader::KeepHead(std::string_view text) {
  std::size_t taken = std::min(text.size(), sizeof head_ - head_size_);
  std::memcpy(head_ + head_size_, text.data(), taken);
  head_size_ += taken;
}

bool LineReader::Fill() {
  if (at_end_) return false;
  std::size_t unread = buffer_.size() - begin_;
  // grown as appending grows, so that a long line costs few moves
  std::size_t needed = kLineSize + unread + block_size_ + kPadding;
  if (needed > buffer_.size()) buffer_.ReserveExtra(needed - buffer_.size());
  // the unread text moves to the front, so that the buffer grows only for long lines, and
  // to where the new block starts at a cache line: the system copies it in faster
  auto base = reinterpret_cast<std::uintptr_t>(buffer_.data());
  std::size_t front = (kLineSize - (base + unread) % kLineSize) % kLineSize;
  if (begin_ != front) {
    std::memmove(buffer_.data() + front, buffer_.data() + begin_, unread);
    buffer_.Truncate(front + unread);
    begin_ = front;
  }
  buffer_.Resize(front + unread + block_size_ + kPadding);
  std::size_t n = file_.Read(buffer_.data() + front + unread, block_size_);
  buffer_.Truncate(front + unread + n);
  ZeroPadding();
  if (n == 0) at_end_ = true;
  if (head_size_ < sizeof head_) KeepHead(std::string_view(buffer_.data() + front + unread, n));
  return n > 0;
}

}  // namespace kefconvert::detail
