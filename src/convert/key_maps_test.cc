#include "convert/key_maps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kefconvert::detail {
namespace {

struct NamedMap {
  const char* name;
  std::span<const KeyMapping> rows;
  const KeyIndex* index;
};

const NamedMap kMaps[] = {
    {"project", kProjectKeys, &kProjectKeyIndex},
    {"database", kDatabaseKeys, &kDatabaseKeyIndex},
    {"table", kTableKeys, &kTableKeyIndex},
    {"field", kFieldKeys, &kFieldKeyIndex},
};

// Keys that differ from `key` by one letter's case, one byte more or less, one byte
// changed, or a blank at either end.
std::vector<std::string> NearMisses(std::string_view key) {
  std::vector<std::string> misses;
  std::string text(key);
  misses.push_back(text + "x");
  misses.push_back("x" + text);
  misses.push_back(" " + text);
  misses.push_back(text + " ");
  misses.push_back(text + text);
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string dropped = text;
    dropped.erase(i, 1);
    misses.push_back(dropped);
    std::string changed = text;
    changed[i] = static_cast<char>(changed[i] ^ 0x20);  // letter case, or another byte
    misses.push_back(changed);
    changed[i] = static_cast<char>(text[i] + 1);
    misses.push_back(changed);
  }
  return misses;
}

// Every lookup of `map`'s index finds for `key` the row that the ordered map finds: Find,
// and the lookups that read whole words past the key, here into the rest of a line.
void ExpectLookupsAgree(const NamedMap& map, std::string_view key) {
  const KeyMapping* row = FindKey(map.rows, key);
  int expected = row == nullptr ? -1 : static_cast<int>(row - map.rows.data());
  EXPECT_EQ(map.index->Find(key), row) << map.name << " '" << key << "'";
  std::string line = std::string(key) + "=value\r\n" + std::string(16, 'Q');
  std::string_view padded(line.data(), key.size());
  EXPECT_EQ(map.index->FindRowInPaddedText(padded), expected) << map.name << " '" << key << "'";
  if (key.size() <= 16) {
    EXPECT_EQ(map.index->FindEntryOfShortPaddedKey(padded), static_cast<std::size_t>(expected + 1))
        << map.name << " '" << key << "'";
  }
}

TEST(KeyIndex, FindsEveryRowOfItsMap) {
  for (const NamedMap& map : kMaps) {
    for (const KeyMapping& row : map.rows) {
      EXPECT_EQ(map.index->Find(row.old_key), FindKey(map.rows, row.old_key))
          << map.name << " " << row.old_key;
      EXPECT_EQ(map.index->Find(row.old_key), &row) << map.name << " " << row.old_key;
      ExpectLookupsAgree(map, row.old_key);
    }
  }
}

TEST(KeyIndex, AgreesWithTheOrderedMapOnNearMisses) {
  std::size_t compared = 0;
  for (const NamedMap& map : kMaps) {
    for (const KeyMapping& row : map.rows) {
      for (const std::string& key : NearMisses(row.old_key)) {
        ExpectLookupsAgree(map, key);
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 1000u);
}

TEST(KeyIndex, AgreesWithTheOrderedMapOnKeysOfOtherMaps) {
  // "Size" is a project and a field key but no table key; "Key" only a table key
  for (const NamedMap& map : kMaps) {
    for (const NamedMap& other : kMaps) {
      for (const KeyMapping& row : other.rows) {
        EXPECT_EQ(map.index->Find(row.old_key), FindKey(map.rows, row.old_key))
            << map.name << " " << row.old_key;
        EXPECT_EQ(map.index->Find(row.new_key), FindKey(map.rows, row.new_key))
            << map.name << " " << row.new_key;
      }
    }
  }
  EXPECT_EQ(kTableKeyIndex.Find("Size"), nullptr);
  EXPECT_EQ(kFieldKeyIndex.Find("Key"), nullptr);
  EXPECT_EQ(kFieldKeyIndex.Find("Size")->new_key, "FldSize");
}

TEST(KeyIndex, FindsNothingForTheEmptyKeyAndUnknownKeys) {
  for (const NamedMap& map : kMaps) {
    EXPECT_EQ(map.index->Find(""), nullptr) << map.name;
    EXPECT_EQ(map.index->Find("LastGenerated"), nullptr) << map.name;
    EXPECT_EQ(map.index->Find(std::string(300, 'Q')), nullptr) << map.name;
    EXPECT_EQ(map.index->Find(std::string_view("Na\0me", 5)), nullptr) << map.name;
  }
}

TEST(KeyIndex, FirstRowWinsWhenTwoRowsNameOneKey) {
  static constexpr KeyMapping kTwice[] = {
      {"Name", "First"}, {"Other", "Other"}, {"Name", "Second"}};
  KeyIndex index{kTwice};
  ASSERT_NE(index.Find("Name"), nullptr);
  EXPECT_EQ(index.Find("Name")->new_key, "First");
  EXPECT_EQ(index.Find("Other")->new_key, "Other");
}

}  // namespace
}  // namespace kefconvert::detail
