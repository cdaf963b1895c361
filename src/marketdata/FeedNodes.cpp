#include "marketdata/FeedNodes.h"

namespace tarnwell {

const char* TopTenListTypeName(std::uint8_t type) {
  static const char* const names[] = {"Gainers", "Losers", "Volume"};
  return type < 3 ? names[type] : "";
}

const char* TopTenExchangeName(std::uint8_t exchange) {
  static const char* const names[] = {"NYSE", "AMEX", "NASDAQ", "OPRA"};
  return exchange < 4 ? names[exchange] : "";
}

// The default nodes answer every symbol, so their links carry no callback: they never notify.
std::pair<TGenericTickDataNode*, TDataNodeLink*> TGenericTickDataNode::Find(const std::string&, TCallback) {
  return FindOrCreate<TGenericTickDataNode>("", {});
}

std::pair<TGenericAllGainersDataNode*, TDataNodeLink*> TGenericAllGainersDataNode::Find(TCallback) {
  auto* node = Create<TGenericAllGainersDataNode>();
  return {node, node->CreateLink()};
}

}  // namespace tarnwell
