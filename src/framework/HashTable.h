#pragma once
// The system's own chained hash map, one template for the whole family. Its growth, hashes and iteration
// order are part of observable behaviour (registries are walked in iteration order), so they are exact:
// buckets 0, 3, 7, 13, 22, 36, 57, ... and head insertion into chains. Iterators notice any structural
// change made behind their back and refuse to go on. No locking here: every shared table is guarded by its
// owner's lock.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "framework/Errors.h"

namespace tarnwell {

inline constexpr const char* kIteratorNoLongerValid = "Iterator no longer valid";
inline constexpr const char* kEntryNotValid = "The entry is not valid";

/// Integer keys: 32-bit integers and object identities (pointer-sized, hashed on their low 32 bits).
struct TIntegerKey {
  using Key = std::intptr_t;
  static std::int32_t Hash(Key key) {
    std::uint32_t k = static_cast<std::uint32_t>(key);
    return static_cast<std::int32_t>(k ^ (k >> 7));
  }
  static Key FromPointer(const void* p) { return reinterpret_cast<Key>(p); }
};

struct TInt64Key {
  using Key = std::int64_t;
  static std::int32_t Hash(Key key) {
    std::uint32_t lo = static_cast<std::uint32_t>(static_cast<std::uint64_t>(key));
    std::uint32_t hi = static_cast<std::uint32_t>(static_cast<std::uint64_t>(key) >> 32);
    return static_cast<std::int32_t>(lo ^ ((lo >> 7) | (hi << 25)) ^ hi ^ (hi >> 9));
  }
};

struct TStringKey {
  using Key = std::string;
  /// Word-wise over the bytes and the terminating zero, then byte-wise over the tail.
  static std::int32_t Hash(const Key& s) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(s.c_str());  // c_str() includes the zero
    const std::size_t length = s.size();
    const std::size_t words = (length + 1) / 4;
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < words; ++i) {
      const unsigned char* w = bytes + 4 * i;
      std::uint32_t word = static_cast<std::uint32_t>(w[0]) | (static_cast<std::uint32_t>(w[1]) << 8) |
                           (static_cast<std::uint32_t>(w[2]) << 16) |
                           (static_cast<std::uint32_t>(w[3]) << 24);
      h = (h * 9u + static_cast<std::uint32_t>(i)) ^ word;
    }
    for (std::size_t i = 4 * words; i < length; ++i) h = h * 33u + bytes[i];
    return static_cast<std::int32_t>(h);
  }
};

/// The value a member returns for a missing key: nil, 0 or the empty string, or -1 for string to integer.
template <class V>
struct TDefaultMissing {
  static V Value() { return V{}; }
};
struct TMinusOneMissing {
  static std::int32_t Value() { return -1; }
};

/// Bucket of a hash: its magnitude (the most negative value reads as 2147483648) modulo the bucket count.
inline std::uint32_t BucketOf(std::int32_t hash, std::uint32_t bucketCount) {
  std::uint32_t magnitude =
      hash < 0 ? 0u - static_cast<std::uint32_t>(hash) : static_cast<std::uint32_t>(hash);
  return magnitude % bucketCount;
}

template <class K, class V>
class tMapIterator {
 public:
  virtual ~tMapIterator() = default;
  virtual void Next() = 0;
  virtual void RemoveCurrent() = 0;
  virtual bool HasNext() const = 0;
  virtual K Key() const = 0;
  virtual V Value() const = 0;
  virtual bool IsValid() const = 0;
  virtual void SetValue(const V& value) = 0;
  virtual bool IsCurrent() const = 0;
};

template <class KeyPolicy, class V, class Missing>
class tHashTableIterator;

template <class KeyPolicy, class V, class Missing = TDefaultMissing<V>>
class tHashTable {
 public:
  using Key = typename KeyPolicy::Key;
  using Value = V;
  using Iterator = tHashTableIterator<KeyPolicy, V, Missing>;

  struct THashEntry {
    Key key;
    Value value;
    THashEntry* next;
  };

  explicit tHashTable(std::uint32_t bucketCount = 0)
      : buckets_(NewBuckets(bucketCount)), bucketCount_(bucketCount) {}
  tHashTable(const tHashTable&) = delete;
  tHashTable& operator=(const tHashTable&) = delete;
  ~tHashTable() {
    FreeEntries();
    while (blocks_) {
      TBlock* next = blocks_->next;
      ::operator delete(blocks_);
      blocks_ = next;
    }
  }

  /// Rebuilds with the given number of buckets; chains come out in reverse of their old walk order.
  void Resize(std::uint32_t bucketCount) {
    std::unique_ptr<THashEntry*[]> old = std::exchange(buckets_, NewBuckets(bucketCount));
    const std::uint32_t oldCount = std::exchange(bucketCount_, bucketCount);
    ++version_;
    for (THashEntry* head : std::span(old.get(), oldCount)) {
      while (head) {
        THashEntry* next = head->next;
        THashEntry*& slot = buckets_[BucketOf(KeyPolicy::Hash(head->key), bucketCount)];
        head->next = slot;
        slot = head;
        head = next;
      }
    }
  }

  void Grow() { Resize(static_cast<std::uint32_t>(3u * BucketCount()) / 2u + 3u); }

  void Add(const Key& key, const Value& value) { Put(key, value); }

  /// A new iterator on this table; the caller owns it.
  std::unique_ptr<Iterator> CreateIterator() { return std::make_unique<Iterator>(*this); }

  bool ContainsKey(const Key& key) const { return Find(key) != nullptr; }

  bool ContainsValue(const Value& value) const {
    for (THashEntry* e : Buckets()) {
      for (; e; e = e->next) {
        if (e->value == value) return true;
      }
    }
    return false;
  }

  /// The value, or the member's missing value.
  Value Get(const Key& key) const {
    THashEntry* e = Find(key);
    return e ? e->value : Missing::Value();
  }

  /// True when the key was new; an existing key gets the new value without a structural change.
  bool Put(const Key& key, const Value& value) {
    if (THashEntry* e = Find(key)) {
      e->value = value;
      return false;
    }
    ++version_;
    ++count_;
    if (3ull * BucketCount() < 4ull * count_) Grow();
    THashEntry*& slot = buckets_[BucketOf(KeyPolicy::Hash(key), BucketCount())];
    slot = NewEntry(key, value, slot);
    return true;
  }

  /// Removes the key and returns its value, or the missing value when absent.
  Value Remove(const Key& key) {
    if (bucketCount_ == 0) return Missing::Value();
    THashEntry** link = &buckets_[BucketOf(KeyPolicy::Hash(key), BucketCount())];
    for (; *link; link = &(*link)->next) {
      if ((*link)->key == key) {
        THashEntry* e = *link;
        *link = e->next;
        Value value = std::move(e->value);
        FreeEntry(e);
        --count_;
        ++version_;
        return value;
      }
    }
    return Missing::Value();
  }

  std::int32_t Count() const { return count_; }

  void Clear() {
    FreeEntries();
    std::ranges::fill(Buckets(), nullptr);
    count_ = 0;
    ++version_;
  }

  /// Resize to round(count * 4 / 3) buckets.
  void Pack() { Resize(static_cast<std::uint32_t>(std::lround(count_ * 4.0 / 3.0))); }

  std::int32_t Version() const { return version_; }
  std::uint32_t BucketCount() const { return bucketCount_; }

  /// The table's own copy of a present key, or null. It stays where it is until its entry is removed, so a
  /// registered object can name itself by it instead of keeping a copy.
  const Key* StoredKey(const Key& key) const {
    const THashEntry* e = Find(key);
    return e ? &e->key : nullptr;
  }

  /// Every key in iteration order: the snapshot callers take before walking a table they may change.
  template <class Out>
  void CopyKeys(Out& out) const {
    for (THashEntry* e : Buckets()) {
      for (; e; e = e->next) out.push_back(e->key);
    }
  }

  /// Calls fn(key, value) for every entry in iteration order; fn must not change the table.
  template <class Fn>
  void ForEach(Fn&& fn) const {
    for (THashEntry* e : Buckets()) {
      for (; e; e = e->next) fn(e->key, e->value);
    }
  }

 private:
  friend class tHashTableIterator<KeyPolicy, V, Missing>;

  THashEntry* Find(const Key& key) const {
    if (bucketCount_ == 0) return nullptr;
    for (THashEntry* e = buckets_[BucketOf(KeyPolicy::Hash(key), BucketCount())]; e; e = e->next) {
      if (e->key == key) return e;
    }
    return nullptr;
  }

  // Entries come from blocks owned by the table and go back to its free list, so growing, walking and
  // rebuilding touch memory that lies together, and a Put rarely calls the allocator. The blocks are chained
  // through a header of their own and the buckets are a bare array: a node has a table for its listeners,
  // and most nodes hold one or two entries, so the table's own size counts.
  struct alignas(THashEntry) TEntryStorage {
    unsigned char bytes[sizeof(THashEntry)];
  };
  struct TFreeEntry {
    TFreeEntry* next;
  };
  struct TBlock {
    TBlock* next;
    TEntryStorage* Entries() { return reinterpret_cast<TEntryStorage*>(this + 1); }
  };
  static_assert(sizeof(TEntryStorage) >= sizeof(TFreeEntry));
  static_assert(alignof(THashEntry) <= alignof(TBlock) && sizeof(TBlock) % alignof(THashEntry) == 0);

  std::span<THashEntry*> Buckets() const { return {buckets_.get(), bucketCount_}; }

  static std::unique_ptr<THashEntry*[]> NewBuckets(std::uint32_t count) {
    return count == 0 ? nullptr : std::make_unique<THashEntry*[]>(count);  // value-initialised: all null
  }

  THashEntry* NewEntry(const Key& key, const Value& value, THashEntry* next) {
    if (!free_) AddBlock();
    void* storage = free_;
    free_ = free_->next;
    return new (storage) THashEntry{key, value, next};
  }

  void FreeEntry(THashEntry* e) {
    e->~THashEntry();
    auto* slot = reinterpret_cast<TFreeEntry*>(e);
    slot->next = free_;
    free_ = slot;
  }

  void AddBlock() {
    // One entry first: most tables (a node's listeners) hold one or two, and a node has several tables.
    const std::uint32_t size = blocks_ == nullptr ? 1u : std::min<std::uint32_t>(1024u, 2u * blockSize_);
    auto* block = new (::operator new(sizeof(TBlock) + size * sizeof(TEntryStorage))) TBlock{blocks_};
    blocks_ = block;
    blockSize_ = size;
    for (std::uint32_t i = size; i-- > 0;) {
      auto* slot = reinterpret_cast<TFreeEntry*>(&block->Entries()[i]);
      slot->next = free_;
      free_ = slot;
    }
  }

  void FreeEntries() {
    for (THashEntry* e : Buckets()) {
      while (e) {
        THashEntry* next = e->next;
        FreeEntry(e);
        e = next;
      }
    }
  }

  std::unique_ptr<THashEntry*[]> buckets_;
  TBlock* blocks_ = nullptr;  // the newest first
  TFreeEntry* free_ = nullptr;
  std::uint32_t bucketCount_ = 0;
  std::uint32_t blockSize_ = 0;  // entries in the newest block
  std::int32_t version_ = 0;
  std::int32_t count_ = 0;
};

template <class KeyPolicy, class V, class Missing>
class tHashTableIterator : public tMapIterator<typename KeyPolicy::Key, V> {
 public:
  using Table = tHashTable<KeyPolicy, V, Missing>;
  using KeyType = typename KeyPolicy::Key;
  using Entry = typename Table::THashEntry;

  explicit tHashTableIterator(Table& table) : expectedVersion_(table.version_), table_(table) {
    if (table.count_ > 0) StepFromBucket(0);
  }

  void Next() override {
    CheckVersion();
    if (removed_) {
      removed_ = false;
      return;
    }
    if (position_ < table_.count_ && Step()) ++position_;
  }

  void RemoveCurrent() override {
    CheckVersion();
    if (removed_ || !current_) return;
    KeyType key = current_->key;
    Step();
    table_.Remove(key);
    removed_ = true;
    expectedVersion_ = table_.version_;
  }

  bool HasNext() const override {
    CheckVersion();
    return position_ < table_.count_ - 1 || (removed_ && position_ < table_.count_);
  }

  KeyType Key() const override {
    CheckVersion();
    return removed_ || !current_ ? KeyType{} : current_->key;
  }

  V Value() const override {
    CheckVersion();
    return removed_ || !current_ ? Missing::Value() : current_->value;
  }

  bool IsValid() const override {
    CheckVersion();
    return current_ && position_ < table_.count_ && !removed_;
  }

  void SetValue(const V& value) override {
    CheckVersion();
    if (!IsValid()) throw EAssertionFailed(kEntryNotValid);
    current_->value = value;
  }

  bool IsCurrent() const override { return table_.version_ == expectedVersion_; }

 private:
  void CheckVersion() const {
    if (table_.version_ != expectedVersion_) throw EAssertionFailed(kIteratorNoLongerValid);
  }

  // Moves to the next entry of the chain or the head of the next non-empty bucket; false at the end.
  bool Step() {
    if (current_ && current_->next) {
      current_ = current_->next;
      return true;
    }
    return StepFromBucket(bucket_ + 1);
  }

  bool StepFromBucket(std::uint32_t from) {
    for (std::uint32_t b = from; b < table_.BucketCount(); ++b) {
      if (table_.buckets_[b]) {
        bucket_ = b;
        current_ = table_.buckets_[b];
        return true;
      }
    }
    current_ = nullptr;
    return false;
  }

  std::uint32_t bucket_ = 0;
  Entry* current_ = nullptr;
  std::int32_t expectedVersion_;
  std::int32_t position_ = 0;
  bool removed_ = false;
  Table& table_;
};

// The members of the family.
template <class V>
using tIntegerHashTable = tHashTable<TIntegerKey, V>;  ///< integer or identity -> object or integer
template <class V>
using tInt64HashTable = tHashTable<TInt64Key, V>;  ///< 64-bit integer -> object
template <class V>
using tStringHashTable = tHashTable<TStringKey, V>;  ///< string -> object
using tStringStringHashTable = tHashTable<TStringKey, std::string>;
using tStringIntegerHashTable = tHashTable<TStringKey, std::int32_t, TMinusOneMissing>;

}  // namespace tarnwell
