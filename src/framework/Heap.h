#pragma once
// Binary heap of counted references, ordered by LessThan. No lock: its owner locks.

#include <cstdint>
#include <memory>
#include <vector>

namespace tarnwell {

class IHeapable {
 public:
  virtual ~IHeapable() = default;
  /// True when this item must leave the heap before the other.
  virtual bool LessThan(const IHeapable& other) const = 0;
};

class THeap {
 public:
  using Item = std::shared_ptr<IHeapable>;

  /// A null item fails the assertion "Assertion failure". Slots grow to max(11, twice their number).
  void Push(Item item);
  /// The top item, removed; null when empty.
  Item Pop();
  /// The top item, or null.
  const Item& Peek() const;
  std::int32_t Count() const { return count_; }
  /// The items in heap order (index 0 is the top), for a look over all of them.
  const Item& At(std::int32_t i) const { return slots_[static_cast<std::size_t>(i)]; }
  std::int32_t SlotCount() const { return static_cast<std::int32_t>(slots_.size()); }

 private:
  void SiftUp(std::int32_t i);

  std::vector<Item> slots_;
  std::int32_t count_ = 0;
};

}  // namespace tarnwell
