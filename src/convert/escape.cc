#include "convert/escape.h"

#include <bit>
#include <cstdint>

namespace kefconvert::detail {

constexpr std::array<bool, 256> kTakesEntity = [] {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("&\"><")) table[c] = true;
  return table;
}();

namespace {

// Where the first of the four stands in `text` from `from` on, or the text's size.
std::size_t FindEntityCharacter(std::string_view text, std::size_t from) {
  const char* p = text.data();
  // a word at a time where the first byte of a word comes first in memory
  for (; std::endian::native == std::endian::little && from + 8 <= text.size(); from += 8) {
    if (std::uint64_t found = EntityBytes(LoadWord(p + from))) {
      return from + static_cast<std::size_t>(std::countr_zero(found)) / 8;
    }
  }
  while (from < text.size() && !kTakesEntity[static_cast<unsigned char>(p[from])]) ++from;
  return from;
}

}  // namespace

void AppendWithEntities(TextBuffer& out, std::string_view text) {
  std::size_t run = 0;
  for (std::size_t at = FindEntityCharacter(text, 0); at < text.size();
       at = FindEntityCharacter(text, at + 1)) {
    out.Append(text.substr(run, at - run));
    const Entity& entity = EntityFor(text[at]);
    out.Append(std::string_view(entity.text, entity.size));
    run = at + 1;
  }
  out.Append(text.substr(run));
}

}  // namespace kefconvert::detail
