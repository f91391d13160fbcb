#include "convert/text_buffer.h"

#include <cstdlib>
#include <new>

namespace kefconvert::detail {

TextBuffer::~TextBuffer() { std::free(data_); }

void TextBuffer::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  void* grown = std::realloc(data_, capacity);
  if (grown == nullptr) throw std::bad_alloc();
  data_ = static_cast<char*>(grown);
  capacity_ = capacity;
}

void TextBuffer::Grow(std::size_t extra) {
  std::size_t wanted = size_ + extra;
  std::size_t doubled = capacity_ < 64 ? 64 : capacity_ * 2;
  Reserve(wanted > doubled ? wanted : doubled);
}

}  // namespace kefconvert::detail
