#include "framework/Heap.h"

#include <algorithm>
#include <utility>

#include "framework/Errors.h"

namespace tarnwell {

void THeap::Push(Item item) {
  Assert(item != nullptr);
  if (count_ == SlotCount()) slots_.resize(std::max<std::size_t>(11, 2 * slots_.size()));
  slots_[count_] = std::move(item);
  SiftUp(count_++);
}

THeap::Item THeap::Pop() {
  if (count_ == 0) return nullptr;
  Item top = std::move(slots_[0]);
  // Walk the hole down along the smaller children, then fill it with the last item.
  std::int32_t hole = 0;
  const std::int32_t c = count_;
  for (;;) {
    std::int32_t left = 2 * hole + 1;
    std::int32_t right = 2 * hole + 2;
    if (right == c) {
      slots_[hole] = std::move(slots_[left]);
      hole = left;
      continue;
    }
    if (right > c) {
      slots_[hole] = nullptr;
      break;
    }
    std::int32_t child = slots_[left]->LessThan(*slots_[right]) ? left : right;
    slots_[hole] = std::move(slots_[child]);
    hole = child;
  }
  --count_;
  if (hole < count_) {
    slots_[hole] = std::move(slots_[count_]);
    SiftUp(hole);
  }
  return top;
}

const THeap::Item& THeap::Peek() const {
  static const Item kNone;
  return count_ ? slots_[0] : kNone;
}

void THeap::SiftUp(std::int32_t i) {
  while (i > 0) {
    std::int32_t parent = (i - 1) / 2;
    if (slots_[parent]->LessThan(*slots_[i])) return;
    std::swap(slots_[parent], slots_[i]);
    i = parent;
  }
}

}  // namespace tarnwell
