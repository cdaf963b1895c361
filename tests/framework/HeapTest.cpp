#include "framework/Heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

#include "framework/Errors.h"

namespace tarnwell {
namespace {

struct TItem : IHeapable {
  explicit TItem(int v) : value(v) {}
  bool LessThan(const IHeapable& other) const override { return value < static_cast<const TItem&>(other).value; }
  int value;
};

int PopValue(THeap& heap) { return static_cast<TItem&>(*heap.Pop()).value; }

TEST(Heap, PopsInOrderAndGrowsFromElevenToTwentyTwo) {
  THeap heap;
  EXPECT_EQ(heap.Pop(), nullptr);
  EXPECT_EQ(heap.Peek(), nullptr);
  std::vector<int> values(200);
  std::iota(values.begin(), values.end(), 0);
  std::shuffle(values.begin(), values.end(), std::mt19937(7));
  for (std::size_t i = 0; i < values.size(); ++i) {
    heap.Push(std::make_shared<TItem>(values[i]));
    if (i <= 10) {
      EXPECT_EQ(heap.SlotCount(), 11);
    } else if (i <= 21) {
      EXPECT_EQ(heap.SlotCount(), 22);
    }
  }
  EXPECT_EQ(heap.Count(), 200);
  for (int expected = 0; expected < 200; ++expected) {
    EXPECT_EQ(static_cast<const TItem&>(*heap.Peek()).value, expected);
    ASSERT_EQ(PopValue(heap), expected);
  }
  EXPECT_EQ(heap.Count(), 0);
}

TEST(Heap, InterleavedPushAndPopKeepOrder) {
  THeap heap;
  heap.Push(std::make_shared<TItem>(5));
  EXPECT_EQ(PopValue(heap), 5);
  EXPECT_EQ(heap.Count(), 0);
  EXPECT_EQ(heap.Peek(), nullptr);

  std::mt19937 random(3);
  std::multiset<int> reference;
  for (int step = 0; step < 5000; ++step) {
    if (reference.empty() || random() % 3 != 0) {
      int v = static_cast<int>(random() % 100);
      heap.Push(std::make_shared<TItem>(v));
      reference.insert(v);
      continue;
    }
    ASSERT_EQ(PopValue(heap), *reference.begin());
    reference.erase(reference.begin());
  }
}

TEST(Heap, KeepsItsItemsAliveAndRefusesNull) {
  THeap heap;
  std::weak_ptr<TItem> watch;
  {
    auto item = std::make_shared<TItem>(1);
    watch = item;
    heap.Push(item);
  }
  EXPECT_FALSE(watch.expired());
  heap.Pop();
  EXPECT_TRUE(watch.expired());
  EXPECT_THROW(heap.Push(nullptr), EAssertionFailed);
}

}  // namespace
}  // namespace tarnwell
