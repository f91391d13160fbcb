#include "convert/words.h"

#include <gtest/gtest.h>

#include <string>

#include "convert/escape.h"

namespace kefconvert::detail {
namespace {

std::string Escaped(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '"': escaped += "&quot;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

// Every length from empty to past three words, with the byte looked for at each position
// in turn: the word helpers against the plain library calls. The text sits inside a larger
// string so that a read past its end would show as a wrong answer under the sanitizers.
TEST(Words, AgreeWithTheLibraryAtEveryLengthAndPosition) {
  for (std::size_t size = 0; size <= 26; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {
      std::string storage(size + 2, 'a');
      storage.front() = storage.back() = '#';
      if (at < size) storage[1 + at] = '=';
      std::string_view text(storage.data() + 1, size);
      SCOPED_TRACE("size " + std::to_string(size) + ", byte at " + std::to_string(at));

      EXPECT_EQ(FindByte(text, '='), text.find('='));
      std::string high(text);
      if (at < size) high[at] = '\x80';
      EXPECT_EQ(AllAscii(high), at == size);

      std::string other(text);
      EXPECT_TRUE(SameText(text, other));
      if (at < size) {
        other[at] = 'b';
        EXPECT_FALSE(SameText(text, other));
      }
      EXPECT_FALSE(SameText(text, std::string(text) + "a"));

      std::string copy(size + 2, '#');
      CopyBytes(copy.data() + 1, text.data(), size);
      EXPECT_EQ(copy, storage);

      for (char c : {'&', '"', '<', '>', '$', '.', '\x80', '\xBC'}) {
        std::string marked(text);
        if (at < size) marked[at] = c;
        bool entity = at < size && (c == '&' || c == '"' || c == '<' || c == '>');
        EXPECT_EQ(HoldsEntityCharacter(marked), entity) << "byte " << int(c);
        if (at + 1 < size) marked[size - 1] = '&';  // a second one, in another word
        TextBuffer escaped;
        AppendEscaped(escaped, marked);
        EXPECT_EQ(escaped.view(), Escaped(marked)) << "byte " << int(c);
      }
    }
  }
}

}  // namespace
}  // namespace kefconvert::detail
