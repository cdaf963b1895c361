#pragma once
// Market data set by hand for tests: stand-in quote, print and fundamental nodes installed behind the
// generic feed nodes (as the fake data window does in the program), and a listener that counts.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FrameworkTestSupport.h"

#include "alerts/Alert.h"
#include "framework/DataNode.h"
#include "framework/DataNodeThread.h"
#include "framework/GenericNode.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell::testing {

/// Counts notifications: TW_METHOD(&counter, Hit).
struct TCounter {
  void Hit() { ++hits; }
  int hits = 0;
};

template <class Generic, class Record>
class THandFeedNode : public Generic {
 public:
  bool IsValid() override { return valid; }
  const Record* GetData() override { return &data; }
  /// Publishes the record as it stands. Data node thread.
  void Publish(bool isValid = true) {
    valid = isValid;
    this->NotifyListeners();
  }
  Record data;
  bool valid = false;
  bool kept = false;  ///< holds a link on itself (see Hand)
};

class THandQuotes : public THandFeedNode<TGenericL1DataNode, TL1Data> {
 public:
  static constexpr const char* kKeyClass = "THandQuotes";
  static THandQuotes* CreateFromKey(const std::string&) { return Create<THandQuotes>(); }
};

class THandPrints : public THandFeedNode<TGenericTosDataNode, TTosData> {
 public:
  static constexpr const char* kKeyClass = "THandPrints";
  static THandPrints* CreateFromKey(const std::string&) { return Create<THandPrints>(); }
  void Print(double price, std::int32_t size, TDateTime time, bool snapshot = false) {
    data.Price = price;
    data.Size = size;
    data.Time = time;
    data.Snapshot = snapshot;
    Publish();
  }
};

class THandFundamentals : public THandFeedNode<TGenericFundamentalDataNode, TFundamentalData> {
 public:
  static constexpr const char* kKeyClass = "THandFundamentals";
  static THandFundamentals* CreateFromKey(const std::string&) { return Create<THandFundamentals>(); }
};

/// A level-2 book set by hand: one group a side.
class THandBook : public TGenericLevel2DataNode {
 public:
  static constexpr const char* kKeyClass = "THandBook";
  static THandBook* CreateFromKey(const std::string&) { return Create<THandBook>(); }
  TL2EntryArray GetBids(bool) override { return bids; }
  TL2EntryArray GetAsks(bool) override { return asks; }
  /// Data node thread.
  void Publish() { NotifyListeners(); }
  TL2EntryArray bids, asks;
  bool kept = false;  ///< holds a link on itself (see Hand)
};

/// Installs the hand-driven classes behind the generic quote, print, fundamental and level-2 nodes.
inline void InstallHandFeed() {
  TGenericLevel2DataNode::SetImplementation<THandBook>();
  TGenericL1DataNode::SetImplementation<THandQuotes>();
  TGenericTosDataNode::SetImplementation<THandPrints>();
  TGenericFundamentalDataNode::SetImplementation<THandFundamentals>();
}

/// Takes away whatever classes stand behind the generic quote, print and fundamental nodes, so that the
/// next test starts from the empty defaults.
inline void ClearFeedImplementations() {
  TGenericLevel2DataNode::ClearImplementation();
  TGenericL1DataNode::ClearImplementation();
  TGenericTosDataNode::ClearImplementation();
  TGenericFundamentalDataNode::ClearImplementation();
}

/// The hand-driven node of a symbol; it keeps itself alive, since the feed outlives each test's links.
template <class T>
T& Hand(const std::string& symbol) {
  auto [node, link] = TDataNodeWithStringKey::FindOrCreate<T>(symbol);
  if (!node->kept) {
    node->kept = true;
    node->AddAutoLink(node->CreateLink());
  }
  TDataNodeLink::Release(link);
  return *node;
}

/// A subscription to one named node (an alert or a value) of one symbol, counting its notifications.
struct TNodeWatch {
  TGenericDataNode* node = nullptr;
  TOwnedLink link;
  TCounter counter;
  /// The node as an alert.
  TAlert& Alert() const { return *static_cast<TAlert*>(node); }
};

/// Subscribes to the node of a factory (or of a registered name filled with the symbol), activates the link
/// and lets the node's start-up jobs run.
inline std::unique_ptr<TNodeWatch> WatchNode(TFactoryRef factory) {
  auto watch = std::make_unique<TNodeWatch>();
  auto [node, link] = factory->GetNode(TW_METHOD(&watch->counter, Hit));
  watch->node = node;
  watch->link.Reset(link);
  watch->link->SetReceiveInput(true);
  TDataNodeThread::Instance().Flush();
  return watch;
}
inline std::unique_ptr<TNodeWatch> WatchNode(const std::string& name, const std::string& symbol) {
  TFactoryRef factory = FindFactory(name)->Clone();
  factory->SetParam(kSymbolName, symbol);
  return WatchNode(factory);
}

/// What an alert said: its text and, where it has one, its quality.
struct TReport {
  std::string Text;
  std::optional<double> Quality;
};

/// A subscription to a registered alert or value of one symbol that records every report of the alert.
/// Made and dropped on the data node thread.
class TProbe {
 public:
  TProbe(const std::string& name, const std::string& symbol) {
    RunOnDataNodeThread([&] {
      TFactoryRef factory = FindFactory(name)->Clone();
      factory->SetParam(kSymbolName, symbol);
      auto [node, link] = factory->GetNode(TW_METHOD(this, Heard));
      node_ = node;
      link_.Reset(link);
      link_->SetReceiveInput(true);
    });
    TDataNodeThread::Instance().Flush();  // the jobs queued at construction
  }
  ~TProbe() {
    RunOnDataNodeThread([&] { link_.Reset(); });
  }
  TProbe(const TProbe&) = delete;
  TProbe& operator=(const TProbe&) = delete;

  std::vector<TReport> Take() { return std::exchange(reports_, {}); }
  TGenericDataNode& Node() { return *node_; }

 private:
  void Heard() {
    auto* alert = dynamic_cast<TAlert*>(node_);
    if (!alert) return;
    double quality = 0;
    const bool hasQuality = alert->GetQuality(quality);
    reports_.push_back({alert->GetString(), hasQuality ? std::optional<double>(quality) : std::nullopt});
  }

  TGenericDataNode* node_ = nullptr;
  TOwnedLink link_;
  std::vector<TReport> reports_;  // data node thread while it runs, the test's between jobs
};

}  // namespace tarnwell::testing
