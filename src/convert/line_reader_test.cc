#include "convert/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {
namespace {

// An input file in memory that hands out at most `chunk` bytes per read.
class MemoryFile final : public InputFile {
 public:
  MemoryFile(std::string text, std::size_t chunk) : text_(std::move(text)), chunk_(chunk) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t n = std::min({size, chunk_, text_.size() - at_});
    text_.copy(buffer, n, at_);
    at_ += n;
    return n;
  }
  std::uint64_t SizeHint() const override { return text_.size(); }
  FileIdentity Identity() const override { return {}; }
  void CheckUnchanged() const override {}

 private:
  std::string text_;
  std::size_t chunk_;
  std::size_t at_ = 0;
};

std::vector<std::string> Lines(std::string text, std::size_t block = 1 << 20,
                               std::size_t chunk = 1 << 20) {
  MemoryFile file(std::move(text), chunk);
  LineReader reader(file, block);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.ReadLine(line)) {
    lines.emplace_back(line);
    EXPECT_EQ(reader.line_number(), static_cast<std::int64_t>(lines.size()));
  }
  return lines;
}

using Split = std::vector<std::string>;

TEST(LineReader, CrLfAndLfEndLinesButALoneCrDoesNot) {
  EXPECT_EQ(Lines("a\r\nb\nc"), (Split{"a", "b", "c"}));
  EXPECT_EQ(Lines("a\rb\r\n"), (Split{"a\rb"}));
  EXPECT_EQ(Lines("a\r\r\n"), (Split{"a\r"}));
  EXPECT_EQ(Lines("a\r"), (Split{"a\r"}));
}

TEST(LineReader, FinalLineEndStartsNoLine) {
  EXPECT_EQ(Lines(""), Split{});
  EXPECT_EQ(Lines("\n"), (Split{""}));
  EXPECT_EQ(Lines("a\n"), (Split{"a"}));
  EXPECT_EQ(Lines("a\n\n"), (Split{"a", ""}));
  EXPECT_EQ(Lines("\r\n\r\nx"), (Split{"", "", "x"}));
}

TEST(LineReader, LinesLongerThanABlockAndShortReads) {
  std::string long_line(10000, 'x');
  std::string text = "a\r\n" + long_line + "\r\nb\r\n" + long_line;
  Split expected{"a", long_line, "b", long_line};
  EXPECT_EQ(Lines(text, 16), expected);
  EXPECT_EQ(Lines(text, 16, 3), expected);
  EXPECT_EQ(Lines(text, 1, 1), expected);
  // a CR at the end of one read and its LF at the start of the next
  EXPECT_EQ(Lines("ab\r\ncd\r\n", 3, 3), (Split{"ab", "cd"}));
}

TEST(LineReader, EveryByteValueSurvives) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (b != '\n') bytes += static_cast<char>(b);
  }
  EXPECT_EQ(Lines(bytes + "\n" + bytes, 7), (Split{bytes, bytes}));
}

TEST(LineReader, HeadIsTheFirstBytesWhateverTheBlockSize) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "Line" + std::to_string(i) + "\r\n";
  for (std::size_t block : {std::size_t{7}, std::size_t{300}, std::size_t{1} << 20}) {
    MemoryFile file(text, 5);
    LineReader reader(file, block);
    std::string_view line;
    while (reader.ReadLine(line)) {
    }
    EXPECT_EQ(reader.Head(), text.substr(0, 256)) << "blocks of " << block;
  }
}

// A caller that takes lines from the buffered text leaves the reader where a caller of
// ReadLine would be, and the bytes after the buffered text hold no line feed.
TEST(LineReader, SkippedLinesCountAsRead) {
  MemoryFile file("a\r\nbc\r\nd\r\ne", 1 << 20);
  LineReader reader(file, 64);
  std::string_view line;
  ASSERT_TRUE(reader.ReadLine(line));
  std::string_view buffered = reader.Buffered();
  EXPECT_EQ(buffered, "bc\r\nd\r\ne");
  EXPECT_EQ(std::string_view(buffered.data() + buffered.size(), LineReader::kPadding),
            std::string(LineReader::kPadding, '\0'));
  reader.Skip(4, 1);
  ASSERT_TRUE(reader.ReadLine(line));
  EXPECT_EQ(line, "d");
  EXPECT_EQ(reader.line_number(), 3);
}

}  // namespace
}  // namespace kefconvert::detail
