#pragma once
// A print feed driven by hand for candle and indicator tests: a stand-in print node class installed behind
// the generic print node, and market time moved with the synchronized timer, as the fake data window does.

#include <cmath>
#include <string>

#include "FrameworkTestSupport.h"
#include "framework/BarCounter.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell::testing {

class THandPrints : public TGenericTosDataNode {
 public:
  static constexpr const char* kKeyClass = "THandPrints";
  static THandPrints* CreateFromKey(const std::string&) { return Create<THandPrints>(); }
  bool IsValid() override { return valid; }
  const TTosData* GetData() override { return &data; }
  void Print(double price, std::int32_t size, TDateTime time, bool snapshot = false) {
    data.Price = price;
    data.Size = size;
    data.Time = time;
    data.Snapshot = snapshot;
    valid = true;
    NotifyListeners();
  }
  TTosData data;
  bool valid = false;
};

/// The hand-driven print node of a symbol (installs the stand-in class first). Data node thread.
inline THandPrints& HandPrints(const std::string& symbol) {
  TGenericTosDataNode::SetImplementation<THandPrints>();
  auto [node, link] = TDataNodeWithStringKey::FindOrCreate<THandPrints>(symbol);
  node->AddAutoLink(node->CreateLink());  // keeps itself: tests come and go, the feed stays
  TDataNodeLink::Release(link);
  return *node;
}

/// A session minute of a day: minute 0 is 06:30.
inline TDateTime SessionMinute(int year, int month, int day, int minute, int second = 0) {
  return EncodeDateTime(year, month, day, 6, 30) + minute * kOneMinute + second * kOneSecond;
}

/// Moves market time to `time`, as the first print of that minute would. Data node thread.
inline void MarketTime(TDateTime time) { TSynchronizedTimer::AdvanceTo(time); }

}  // namespace tarnwell::testing
