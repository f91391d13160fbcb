#include "convert/escape.h"

namespace kefconvert::detail {

constexpr std::array<bool, 256> kTakesEntity = [] {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("&\"><")) table[c] = true;
  return table;
}();

namespace {

std::string_view EntityOf(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '"': return "&quot;";
    case '>': return "&gt;";
    default: return "&lt;";
  }
}

}  // namespace

void AppendWithEntities(TextBuffer& out, std::string_view text) {
  const char* run = text.data();
  const char* end = text.data() + text.size();
  for (const char* p = run; p != end; ++p) {
    if (!kTakesEntity[static_cast<unsigned char>(*p)]) continue;
    out.Append(std::string_view(run, static_cast<std::size_t>(p - run)));
    out.Append(EntityOf(*p));
    run = p + 1;
  }
  out.Append(std::string_view(run, static_cast<std::size_t>(end - run)));
}

}  // namespace kefconvert::detail
