#include "convert/text_output.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "convert/defaults.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {
namespace {

// The login type attribute with an empty value: what the gap holds at the least.
constexpr std::size_t kEmptyLoginTypeSize = std::string_view(" SecLoginIDFldDataType=\"\"").size();

}  // namespace

void MemoryDestination::WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) {
  auto at = static_cast<std::size_t>(offset);
  for (std::string_view piece : pieces) {
    if (at == text_.size()) {
      // fast path: blocks follow one another, and a gap left for the head is filled last
      text_.append(piece);
    } else {
      if (text_.size() < at + piece.size()) text_.resize(at + piece.size());
      text_.replace(at, piece.size(), piece);
    }
    at += piece.size();
  }
}

std::size_t MemoryDestination::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
  auto at = static_cast<std::size_t>(offset);
  if (at >= text_.size()) return 0;
  std::size_t n = std::min(size, text_.size() - at);
  std::memcpy(buffer, text_.data() + at, n);
  return n;
}

TextOutput::TextOutput(TextDestination& destination, std::uint64_t size_hint)
    : destination_(&destination) {
  // the new text is a little larger than the old, and is written in blocks
  std::uint64_t expected = size_hint + size_hint / 2 + 4096;
  text_.Reserve(
      static_cast<std::size_t>(std::min<std::uint64_t>(expected, kOutputBlockSize + 65536)));
}

void TextOutput::WriteBlock(bool login_type_likely) {
  std::string_view text = text_.view();
  if (!written_any_) {
    // the project element is complete when the first block goes
    if (placeholder_ == std::string_view::npos) return;
    text = StartBody(text, placeholder_, login_type_likely);
  }
  // the block ends where a block of the file ends, so that every later write fills whole
  // blocks; what lies beyond is kept for the next one
  std::size_t beyond = static_cast<std::size_t>((end_ + text.size()) % kOutputBlockSize);
  if (beyond >= text.size()) beyond = 0;
  std::string_view pieces[] = {text.substr(0, text.size() - beyond)};
  destination_->WriteAt(end_, pieces);
  end_ += pieces[0].size();
  std::memmove(text_.data(), text.data() + pieces[0].size(), beyond);
  text_.Truncate(beyond);
}

std::string_view TextOutput::StartBody(std::string_view text, std::size_t placeholder,
                                       bool login_type_likely) {
  head_.assign(text.substr(0, placeholder));
  gap_ = kEmptyLoginTypeSize + (login_type_likely ? 1 : 0);
  body_start_ = placeholder + gap_;
  end_ = body_start_;
  written_any_ = true;
  return text.substr(placeholder + kLoginTypePlaceholder.size());
}

std::uint64_t TextOutput::PlacePart(std::string_view& text, std::size_t placeholder,
                                    bool login_type_likely) {
  if (!written_any_) text = StartBody(text, placeholder, login_type_likely);
  std::uint64_t offset = end_;
  end_ += text.size();
  return offset;
}

void TextOutput::Finish(std::string_view login_type) {
  std::string_view text = text_.view();
  if (!written_any_) {
    // fast path: the whole text in one write
    std::string_view pieces[] = {text.substr(0, placeholder_), login_type,
                                 text.substr(placeholder_ + kLoginTypePlaceholder.size())};
    destination_->WriteAt(0, pieces);
    return;
  }
  std::string_view rest[] = {text};
  destination_->WriteAt(end_, rest);
  end_ += text.size();
  text_.Truncate(0);
  auto by = static_cast<std::int64_t>(login_type.size()) - static_cast<std::int64_t>(gap_);
  if (by != 0) MoveBody(by);
  std::string_view head[] = {head_, login_type};
  destination_->WriteAt(0, head);
}

// The guess of the gap was wrong by a byte: the body moves, block by block, starting at
// the end that nothing is moved onto.
void TextOutput::MoveBody(std::int64_t by) {
  std::uint64_t size = end_ - body_start_;
  std::size_t block = std::max<std::size_t>(kOutputBlockSize, 4096);
  text_.Resize(block);
  char* buffer = text_.data();
  std::uint64_t done = 0;
  while (done < size) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block, size - done));
    std::uint64_t from = by > 0 ? end_ - done - n : body_start_ + done;
    std::size_t read = 0;
    while (read < n) {
      std::size_t got = destination_->ReadAt(from + read, buffer + read, n - read);
      if (got == 0)
        throw Error(kDeviceIOError, FileRole::kConvertedFile, "the text written is gone");
      read += got;
    }
    std::string_view pieces[] = {std::string_view(buffer, n)};
    destination_->WriteAt(static_cast<std::uint64_t>(static_cast<std::int64_t>(from) + by), pieces);
    done += n;
  }
  text_.Truncate(0);
  if (by < 0)
    destination_->Truncate(static_cast<std::uint64_t>(static_cast<std::int64_t>(end_) + by));
  end_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(end_) + by);
}

}  // namespace kefconvert::detail
