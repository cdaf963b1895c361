#pragma once
// The six abstract per-symbol feed nodes. Consumers find nodes only through the generic classes; which
// concrete class serves them is chosen at run time (SetImplementation): the vendor's at start-up, the fake
// data window's later. Nodes already made keep their class, since keys carry the concrete class name.

#include <atomic>
#include <string>
#include <type_traits>
#include <utility>

#include "framework/DataNode.h"
#include "marketdata/Records.h"

namespace tarnwell {

/// Which concrete class serves Find for a generic feed class: the one installed (the vendor's at start-up,
/// the fake data window's later, a test's), or else the one default node of the generic class.
template <class Generic>
class TFeedImplementation {
 public:
  using TFound = std::pair<Generic*, TDataNodeLink*>;
  static TFound Find(const std::string& symbol, TCallback callback) {
    if (auto find = find_.load(std::memory_order_acquire)) return find(symbol, std::move(callback));
    auto [node, link] = TDataNodeWithStringKey::FindOrCreate<Generic>("", {});
    return {node, link};
  }
  /// Any thread.
  template <class T>
  static void Set() {
    static_assert(std::is_base_of_v<Generic, T>, "an implementation descends from its generic class");
    find_.store(
        [](const std::string& symbol, TCallback callback) -> TFound {
          auto [node, link] = TDataNodeWithStringKey::FindOrCreate<T>(symbol, std::move(callback));
          return {node, link};
        },
        std::memory_order_release);
  }
  static void Clear() { find_.store(nullptr, std::memory_order_release); }

 private:
  using TFind = TFound (*)(const std::string&, TCallback);
  static inline std::atomic<TFind> find_{nullptr};
};

/// What the first three generic classes share: a record, validity and an exchangeable implementation.
/// Self is the generic class; an implementation T derives from it, has kKeyClass and CreateFromKey.
template <class Self, class Record>
class TGenericFeedNode : public TDataNodeWithStringKey {
 public:
  using TRecord = Record;
  using TFound = std::pair<Self*, TDataNodeLink*>;

  /// The record holds data for the symbol; while false its contents mean nothing.
  virtual bool IsValid() { return false; }
  /// The record inside the node, changed in place on every update; null for the default node.
  virtual const Record* GetData() { return nullptr; }
  /// The record while the node holds data, else null.
  const Record* Current() { return IsValid() ? GetData() : nullptr; }

  /// The shared node of the installed implementation for the symbol, with a new inactive link to
  /// `callback`; without an implementation, the one default node (invalid, no data) with a holder link.
  static TFound Find(const std::string& symbol, TCallback callback = {}) {
    return TFeedImplementation<Self>::Find(symbol, std::move(callback));
  }
  /// Serves every later Find with class T. Any thread; nodes made before keep their class.
  template <class T>
  static void SetImplementation() {
    TFeedImplementation<Self>::template Set<T>();
  }
  /// Back to the default node (tests).
  static void ClearImplementation() { TFeedImplementation<Self>::Clear(); }
};

class TGenericL1DataNode : public TGenericFeedNode<TGenericL1DataNode, TL1Data> {
 public:
  static constexpr const char* kKeyClass = "TGenericL1DataNode";
  static TGenericL1DataNode* CreateFromKey(const std::string&) { return Create<TGenericL1DataNode>(); }
};

class TGenericTosDataNode : public TGenericFeedNode<TGenericTosDataNode, TTosData> {
 public:
  static constexpr const char* kKeyClass = "TGenericTosDataNode";
  static TGenericTosDataNode* CreateFromKey(const std::string&) { return Create<TGenericTosDataNode>(); }
};

class TGenericFundamentalDataNode : public TGenericFeedNode<TGenericFundamentalDataNode, TFundamentalData> {
 public:
  static constexpr const char* kKeyClass = "TGenericFundamentalDataNode";
  static TGenericFundamentalDataNode* CreateFromKey(const std::string&) {
    return Create<TGenericFundamentalDataNode>();
  }
};

/// Level-2 books. The vendor has no producer for them: without an installed implementation (tests install
/// one) consumers see the empty default node.
class TGenericLevel2DataNode : public TDataNodeWithStringKey {
 public:
  using TFound = std::pair<TGenericLevel2DataNode*, TDataNodeLink*>;
  static constexpr const char* kKeyClass = "TGenericLevel2DataNode";
  static TGenericLevel2DataNode* CreateFromKey(const std::string&) {
    return Create<TGenericLevel2DataNode>();
  }
  /// False: the viewer shows no refresh counts.
  virtual bool HasRefreshCounts() { return false; }
  /// The installed implementation's book of the symbol, or the one empty default node (whose link only
  /// holds it).
  static TFound Find(const std::string& symbol, TCallback callback = {}) {
    return TFeedImplementation<TGenericLevel2DataNode>::Find(symbol, std::move(callback));
  }
  /// The `first` group of a side (the viewer shows the first group, a blank row, then the other).
  virtual TL2EntryArray GetBids(bool /*first*/) { return {}; }
  virtual TL2EntryArray GetAsks(bool /*first*/) { return {}; }

  /// Serves every later Find with class T. Any thread.
  template <class T>
  static void SetImplementation() {
    TFeedImplementation<TGenericLevel2DataNode>::Set<T>();
  }
  static void ClearImplementation() { TFeedImplementation<TGenericLevel2DataNode>::Clear(); }
};

/// Trade and quote events, newest first. No producer is installed.
class TGenericTickDataNode : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TGenericTickDataNode";
  static TGenericTickDataNode* CreateFromKey(const std::string&) { return Create<TGenericTickDataNode>(); }
  static std::pair<TGenericTickDataNode*, TDataNodeLink*> Find(const std::string& symbol,
                                                               TCallback callback = {});
  virtual TTickRecordArray GetTicks() { return {}; }
};

/// Top-ten lists. No producer is installed: every Find makes a new empty node.
class TGenericAllGainersDataNode : public TDataNode {
 public:
  virtual TTopTenList GetList(std::uint8_t /*listType*/, std::uint8_t /*exchange*/) { return {}; }
  static std::pair<TGenericAllGainersDataNode*, TDataNodeLink*> Find(TCallback callback = {});
};

}  // namespace tarnwell
