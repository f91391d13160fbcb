#include "convert/text_output.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "convert/defaults.h"

namespace kefconvert::detail {
namespace {

// Writes a head with the placeholder, then `elements` elements of `element_size` bytes,
// each followed by an element boundary, and finishes with `login_type`.
std::string Written(std::size_t elements, std::size_t element_size, bool likely,
                    std::string_view login_type, std::string* expected) {
  MemoryDestination destination;
  TextOutput output(destination, 0);
  std::string head = "<Project  Cache=\"False\" ";
  output.text().Append(head);
  output.MarkPlaceholder(output.text().size());
  output.text().Append(kLoginTypePlaceholder);
  output.text().Append(" Other=\"\">\r\n");
  *expected = head + std::string(login_type) + " Other=\"\">\r\n";
  for (std::size_t i = 0; i < elements; ++i) {
    output.AtElementBoundary(likely);
    std::string element(element_size, static_cast<char>('a' + i % 26));
    output.text().Append(element);
    *expected += element;
  }
  output.Finish(login_type);
  return destination.text();
}

TEST(TextOutput, HeadTakesItsPlaceWhateverTheGuess) {
  // a text of one block, and texts of several, the gap guessed right and wrong both ways
  const std::size_t block = kOutputBlockSize;
  for (std::size_t elements : {std::size_t{1}, std::size_t{5}}) {
    for (bool likely : {false, true}) {
      for (std::string_view login_type :
           {" SecLoginIDFldDataType=\"\"", " SecLoginIDFldDataType=\"3\""}) {
        std::string expected;
        std::string written = Written(elements, block / 2 + 3, likely, login_type, &expected);
        EXPECT_EQ(written.size(), expected.size()) << elements << likely << login_type;
        EXPECT_TRUE(written == expected) << elements << likely << login_type;
      }
    }
  }
}

// Keeps where each write ended.
class EndsOfWrites final : public TextDestination {
 public:
  void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) override {
    for (std::string_view piece : pieces) offset += piece.size();
    ends.push_back(offset);
  }
  std::size_t ReadAt(std::uint64_t, char*, std::size_t) override { return 0; }
  void Truncate(std::uint64_t) override {}
  std::vector<std::uint64_t> ends;
};

TEST(TextOutput, BlocksEndWhereBlocksOfTheFileEnd) {
  EndsOfWrites destination;
  TextOutput output(destination, 0);
  output.text().Append("<Project ");
  output.MarkPlaceholder(output.text().size());
  output.text().Append(kLoginTypePlaceholder);
  // elements of an odd size, so that no block is full at an element boundary
  const std::string element(kOutputBlockSize / 3 + 5, 'x');
  for (int i = 0; i < 12; ++i) {
    output.AtElementBoundary(false);
    output.text().Append(element);
  }
  output.Finish(" SecLoginIDFldDataType=\"\"");  // as guessed: nothing moves
  // the first write may end short of a block's end, when the head alone fills a block; the
  // last two are the rest of the text and the head
  ASSERT_GT(destination.ends.size(), 4u);
  for (std::size_t i = 1; i + 2 < destination.ends.size(); ++i) {
    EXPECT_EQ(destination.ends[i] % kOutputBlockSize, 0u) << i;
  }
}

}  // namespace
}  // namespace kefconvert::detail
