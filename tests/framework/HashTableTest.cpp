#include "framework/HashTable.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace tarnwell {
namespace {

TEST(HashTable, HashesMatchTheSystemsOwnFunctions) {
  // Lengths 3, 7 and 11 hash their terminating zero as part of the last word; 4 and 5 do not.
  struct Case {
    const char* text;
    std::uint32_t hash;
  } cases[] = {{"", 0x0},
               {"a", 0x61},
               {"abc", 0x636261},
               {"abcd", 0x64636261},
               {"abcde", 0xf0cfaee6},
               {"abcdefg", 0x8719130f},
               {"ABCDEFGHIJK", 0x9ea1e8c0},
               {"TCandles;5MSFT", 0x8801dc7a}};
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<std::uint32_t>(TStringKey::Hash(c.text)), c.hash) << c.text;
  }
  EXPECT_EQ(static_cast<std::uint32_t>(TIntegerKey::Hash(static_cast<std::int32_t>(0x81020408u))), 0x80000000u);
  EXPECT_EQ(static_cast<std::uint32_t>(TInt64Key::Hash(std::int64_t{1} << 32)), 0x2000001u);
  EXPECT_EQ(static_cast<std::uint32_t>(TInt64Key::Hash((std::int64_t{1} << 40) + 5)), 0x105u);
  EXPECT_EQ(static_cast<std::uint32_t>(TInt64Key::Hash(INT64_MIN)), 0x80400000u);
}

TEST(HashTable, MostNegativeHashLandsInRange) {
  EXPECT_EQ(BucketOf(INT32_MIN, 3), 2u);  // 2147483648 mod 3
  EXPECT_EQ(BucketOf(INT32_MIN, 7), 2147483648u % 7);
  tIntegerHashTable<int> table;
  const std::intptr_t key = static_cast<std::int32_t>(0x81020408u);  // hashes to the most negative value
  for (int i = 0; i < 40; ++i) table.Put(key + 1000 * (i + 1), i);
  EXPECT_TRUE(table.Put(key, 7));
  EXPECT_EQ(table.Get(key), 7);
  EXPECT_EQ(table.Remove(key), 7);
  EXPECT_FALSE(table.ContainsKey(key));
}

TEST(HashTable, GrowsByHalfPlusThreeAtLoadFourThirds) {
  tIntegerHashTable<int> table(0);
  EXPECT_EQ(table.Get(5), 0);
  EXPECT_FALSE(table.ContainsKey(5));
  EXPECT_EQ(table.Remove(5), 0);
  std::vector<std::uint32_t> sizes;
  for (int i = 0; i < 66; ++i) {
    table.Put(i, i);
    if (sizes.empty() || sizes.back() != table.BucketCount()) sizes.push_back(table.BucketCount());
  }
  EXPECT_EQ(sizes, (std::vector<std::uint32_t>{3, 7, 13, 22, 36, 57, 88}));
  table.Put(66, 66);  // 3 * 88 < 4 * 67
  EXPECT_EQ(table.BucketCount(), 135u);
  EXPECT_EQ(table.Count(), 67);
  // Growth happens when 3 * buckets < 4 * count: the 3rd entry finds 3 buckets too few.
  tIntegerHashTable<int> small(0);
  for (int i = 0; i < 2; ++i) small.Put(i, i);
  EXPECT_EQ(small.BucketCount(), 3u);
  small.Put(2, 2);
  EXPECT_EQ(small.BucketCount(), 7u);
  small.Pack();
  EXPECT_EQ(small.BucketCount(), 4u);  // round(3 * 4 / 3)
}

TEST(HashTable, MembersReturnTheirOwnMissingValues) {
  tStringIntegerHashTable counts;
  EXPECT_EQ(counts.Get("AAPL"), -1);
  counts.Put("AAPL", -1);  // a stored -1 reads like a missing one
  EXPECT_EQ(counts.Get("AAPL"), -1);
  EXPECT_TRUE(counts.ContainsKey("AAPL"));
  EXPECT_EQ(counts.Remove("MSFT"), -1);

  tStringStringHashTable names;
  EXPECT_EQ(names.Get("x"), "");
  names.Put("x", "y");
  EXPECT_TRUE(names.ContainsValue("y"));
  EXPECT_FALSE(names.ContainsValue("Y"));
  EXPECT_FALSE(names.ContainsKey("X"));  // keys are case-sensitive

  int object = 0;
  tInt64HashTable<int*> nodes;
  EXPECT_EQ(nodes.Get(1), nullptr);
  nodes.Put(std::int64_t{1} << 40, &object);
  EXPECT_EQ(nodes.Get(std::int64_t{1} << 40), &object);
  EXPECT_EQ(nodes.Get(0), nullptr);
}

TEST(HashTable, VersionCountsStructuralChangesOnly) {
  tStringHashTable<int*> table;
  int a = 0, b = 0;
  std::int32_t v = table.Version();
  EXPECT_TRUE(table.Put("a", &a));
  EXPECT_GT(table.Version(), v);
  v = table.Version();
  EXPECT_FALSE(table.Put("a", &b));  // replacing a value
  EXPECT_EQ(table.Version(), v);
  EXPECT_EQ(table.Get("a"), &b);
  EXPECT_EQ(table.Remove("zz"), nullptr);  // removing nothing
  EXPECT_EQ(table.Version(), v);
  table.Clear();
  EXPECT_EQ(table.Version(), v + 1);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.BucketCount(), 3u);  // Clear keeps the buckets
}

TEST(HashTable, IterationFollowsBucketsAndHeadInsertion) {
  // 0, 7 and 14 share bucket 0 of 7; each insertion heads the chain, and a resize reverses it.
  tIntegerHashTable<int> table(7);
  for (int key : {0, 7, 14, 1}) table.Put(key, key);
  std::vector<std::intptr_t> keys;
  table.CopyKeys(keys);
  EXPECT_EQ(keys, (std::vector<std::intptr_t>{14, 7, 0, 1}));
  std::vector<std::intptr_t> walked;
  for (auto it = table.CreateIterator(); it->IsValid(); it->Next()) walked.push_back(it->Key());
  EXPECT_EQ(walked, keys);
  table.Resize(7);
  keys.clear();
  table.CopyKeys(keys);
  EXPECT_EQ(keys, (std::vector<std::intptr_t>{0, 7, 14, 1}));
}

TEST(HashTable, IteratorSurvivesOnlyItsOwnRemovalsAndValueChanges) {
  tIntegerHashTable<int> table;
  for (int i = 0; i < 20; ++i) table.Put(i, i);

  // RemoveCurrent on every other entry, then Next: each remaining entry is visited exactly once.
  std::multiset<std::intptr_t> visited;
  bool remove = true;
  for (auto it = table.CreateIterator(); it->IsValid() || it->HasNext(); it->Next()) {
    if (!it->IsValid()) continue;
    visited.insert(it->Key());
    if (remove) {
      it->RemoveCurrent();
      EXPECT_FALSE(it->IsValid());
      EXPECT_EQ(it->Key(), 0);  // the missing key while standing on a removed entry
      EXPECT_EQ(it->Value(), 0);
      it->RemoveCurrent();  // a second removal is ignored
    }
    remove = !remove;
  }
  EXPECT_EQ(visited.size(), 20u);
  EXPECT_EQ(std::set<std::intptr_t>(visited.begin(), visited.end()).size(), 20u);
  EXPECT_EQ(table.Count(), 10);

  auto it = table.CreateIterator();
  ASSERT_TRUE(it->IsValid());
  std::intptr_t key = it->Key();
  table.Put(key, 99);  // value change: iterator still current
  EXPECT_TRUE(it->IsCurrent());
  it->SetValue(100);
  EXPECT_EQ(table.Get(key), 100);
  table.Put(1000, 1);  // structural change
  EXPECT_FALSE(it->IsCurrent());
  for (auto op : {+[](tMapIterator<std::intptr_t, int>& i) { i.Next(); },
                  +[](tMapIterator<std::intptr_t, int>& i) { (void)i.Key(); },
                  +[](tMapIterator<std::intptr_t, int>& i) { (void)i.IsValid(); },
                  +[](tMapIterator<std::intptr_t, int>& i) { i.RemoveCurrent(); }}) {
    try {
      op(*it);
      ADD_FAILURE() << "stale iterator went on";
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), "Iterator no longer valid");
    }
  }

  tIntegerHashTable<int> empty;
  auto none = empty.CreateIterator();
  EXPECT_FALSE(none->IsValid());
  EXPECT_FALSE(none->HasNext());
  try {
    none->SetValue(1);
    ADD_FAILURE() << "SetValue on no entry";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "The entry is not valid");
  }
}

TEST(HashTable, AgreesWithAStandardMapUnderRandomOperations) {
  tStringHashTable<std::intptr_t> table;
  std::map<std::string, std::intptr_t> reference;
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int step = 0; step < 20000; ++step) {
    std::string key = "K";
    key += std::to_string(next() % 500);
    switch (next() % 3) {
      case 0:
        EXPECT_EQ(table.Put(key, step), reference.insert_or_assign(key, step).second);
        break;
      case 1: {
        auto found = reference.find(key);
        EXPECT_EQ(table.Remove(key), found == reference.end() ? 0 : found->second);
        if (found != reference.end()) reference.erase(found);
        break;
      }
      default:
        EXPECT_EQ(table.ContainsKey(key), reference.count(key) == 1);
    }
  }
  EXPECT_EQ(table.Count(), static_cast<std::int32_t>(reference.size()));
  std::map<std::string, std::intptr_t> copy;
  table.ForEach([&](const std::string& k, std::intptr_t v) { copy[k] = v; });
  EXPECT_EQ(copy, reference);
}

}  // namespace
}  // namespace tarnwell
