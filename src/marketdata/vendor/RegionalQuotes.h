#pragma once
// The New York Stock Exchange's own bid and ask of a symbol, beside the consolidated quote.

#include <string>

#include "framework/GenericNode.h"
#include "marketdata/vendor/VendorListeners.h"

namespace tarnwell {

inline constexpr const char* kRegionalQuery = "6053,6057;6074='N',";

class TVendorRegionalBidAsk : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TVendorRegionalBidAsk";
  static TVendorRegionalBidAsk* CreateFromKey(const std::string& symbol) {
    return Create<TVendorRegionalBidAsk>(symbol);
  }
  static std::pair<TVendorRegionalBidAsk*, TDataNodeLink*> Find(const std::string& symbol, TCallback callback = {}) {
    return FindOrCreate<TVendorRegionalBidAsk>(symbol, std::move(callback));
  }
  explicit TVendorRegionalBidAsk(const std::string& symbol);

  /// Both prices above 0.
  bool Valid() const { return valid_; }
  double Bid() const { return bid_; }
  double Ask() const { return ask_; }

 private:
  void Update();

  bool valid_ = false;
  double bid_ = 0;
  double ask_ = 0;
  TVendorMsgListenerDataNode* regionalListener_;
};

class TVendorRegionalBidOrAsk : public TGenericDataNode {
 public:
  explicit TVendorRegionalBidOrAsk(const TParamList& params);
  bool IsValid() override { return regional_->Valid(); }

 protected:
  TVendorRegionalBidAsk* regional_;
};

class TVendorRegionalBid : public TVendorRegionalBidOrAsk {
 public:
  static constexpr const char* kClassName = "TVendorRegionalBid";
  using TVendorRegionalBidOrAsk::TVendorRegionalBidOrAsk;
  double GetDouble() override { return regional_->Bid(); }
};

class TVendorRegionalAsk : public TVendorRegionalBidOrAsk {
 public:
  static constexpr const char* kClassName = "TVendorRegionalAsk";
  using TVendorRegionalBidOrAsk::TVendorRegionalBidOrAsk;
  double GetDouble() override { return regional_->Ask(); }
};

/// Registers "NyseBidPrice" and "NyseAskPrice".
void RegisterRegionalValues();

}  // namespace tarnwell
