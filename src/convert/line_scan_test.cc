#include "convert/line_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kefconvert::detail {
namespace {

// The scan that the machine uses against the byte-at-a-time one, on text made of the
// bytes that matter and their neighbours, with the line feed at every position or none.
TEST(ScanLine, GivesTheMasksOfTheByteAtATimeScan) {
  const std::string alphabet = "=\n &\"<>\t\r\x80\xFFz?'.$!#%;@";
  std::mt19937 random(7);
  for (std::size_t feed = 0; feed <= kScanLimit; ++feed) {
    for (int round = 0; round < 20; ++round) {
      std::string text(kScanLimit, 'a');
      for (char& c : text) {
        c = alphabet[random() % alphabet.size()];
        if (c == '\n') c = 'b';
      }
      if (feed < kScanLimit) text[feed] = '\n';
      LineMasks expected = ScanLineBytewise(text.data());
      ASSERT_EQ(ScanLine(text.data()), expected) << "line feed at " << feed;
      ASSERT_EQ(ScanSpots(text.data()), ScanSpotsBytewise(text.data())) << "line feed at " << feed;
      ASSERT_EQ(ScanSpots<32>(text.data()), ScanSpotsBytewise(text.data(), 32)) << feed;
      if (feed < kScanLimit) {
        EXPECT_EQ(expected.newline & ((std::uint64_t{2} << feed) - 1), std::uint64_t{1} << feed);
      } else {
        EXPECT_EQ(expected.newline, 0u);
      }
    }
  }
}

}  // namespace
}  // namespace kefconvert::detail
