#include "marketdata/vendor/RegionalQuotes.h"

#include "marketdata/vendor/VendorField.h"

namespace tarnwell {

TVendorRegionalBidAsk::TVendorRegionalBidAsk(const std::string& symbol) {
  auto [listener, link] =
      TVendorMsgListenerDataNode::Subscribe(kRegionalQuery, vtRegional, false, symbol, TW_METHOD(this, Update));
  regionalListener_ = listener;
  AddAutoLink(link);
}

void TVendorRegionalBidAsk::Update() {
  bool changed = false;
  auto set = [&changed](double& stored, double value) {
    if (stored == value) return;
    stored = value;
    changed = true;
  };
  VB4Cursor* cursor = regionalListener_->Cursor();
  if (!cursor) {
    set(bid_, 0);
    set(ask_, 0);
  } else {
    const void* raw = nullptr;
    while (VB4_GetField(cursor, &raw) == 0) {
      TVendorField field(raw);
      if (field.Number() == vf::REGIONAL_BID) set(bid_, field.HasValue() ? field.AsPrice() : 0);
      if (field.Number() == vf::REGIONAL_ASK) set(ask_, field.HasValue() ? field.AsPrice() : 0);
    }
  }
  if (!changed) return;
  valid_ = bid_ > 0 && ask_ > 0;
  NotifyListeners();
}

TVendorRegionalBidOrAsk::TVendorRegionalBidOrAsk(const TParamList& params) {
  CheckParamCount(params, 1, "Expecting (Symbol)");
  regional_ = Adopt(TVendorRegionalBidAsk::Find(params[0].AsString(), TW_METHOD(this, NotifyListeners)));
}

void RegisterRegionalValues() {
  RegisterClass<TVendorRegionalBid>("NyseBidPrice");
  RegisterClass<TVendorRegionalAsk>("NyseAskPrice");
}

}  // namespace tarnwell
