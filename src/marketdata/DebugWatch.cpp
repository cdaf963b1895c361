#include "marketdata/DebugWatch.h"

#include <cstdio>

#include "framework/Config.h"
#include "framework/DebugLog.h"

namespace tarnwell {

TDebugWatch::TDebugWatch(const std::string& symbols) {
  std::string symbol;
  auto add = [this](std::string s) {
    if (s.empty()) return;
    auto watch = std::make_unique<TWatch>();
    watch->symbol = s;
    auto [tos, tosLink] = TGenericTosDataNode::Find(s, TW_METHOD(watch.get(), Print));
    watch->tos = tos;
    watch->tosLink.Reset(tosLink);
    auto [l1, l1Link] = TGenericL1DataNode::Find(s, TW_METHOD(watch.get(), Quote));
    watch->l1 = l1;
    watch->l1Link.Reset(l1Link);
    watch->tosLink->SetReceiveInput(true);
    watch->l1Link->SetReceiveInput(true);
    watches_.push_back(std::move(watch));
  };
  for (char c : symbols) {
    if (c == ',') {
      add(symbol);
      symbol.clear();
    } else if (c != ' ' && c != '\t') {
      symbol.push_back(c);
    }
  }
  add(symbol);
}

TDebugWatch::~TDebugWatch() = default;

void TDebugWatch::TWatch::Print() {
  if (!tos->IsValid()) {
    AddLine("Watch " + symbol + ": prints not valid");
    return;
  }
  const TTosData& p = *tos->GetData();
  char text[256];
  std::snprintf(text, sizeof text, "Watch %s: print %.4f x %d %s at %s%s%s, volume %d", symbol.c_str(), p.Price,
                p.Size, p.Exchange.c_str(), FormatLogStamp(p.Time).c_str(), p.FormT ? ", form T" : "",
                p.Snapshot ? ", snapshot" : "", p.TotalVolume);
  AddLine(text);
}

void TDebugWatch::TWatch::Quote() {
  if (!l1->IsValid()) {
    AddLine("Watch " + symbol + ": quote not valid");
    return;
  }
  const TL1Data& q = *l1->GetData();
  char text[256];
  std::snprintf(text, sizeof text, "Watch %s: quote %.4f x %d %s / %.4f x %d %s, high %.4f, low %.4f, open %.4f",
                symbol.c_str(), q.BidPrice, q.BidSize, q.BidExchange.c_str(), q.AskPrice, q.AskSize,
                q.AskExchange.c_str(), q.High, q.Low, q.Open);
  AddLine(text);
}

void StartDebugWatchFromConfig() {
  std::string symbols = TConfigFile::Instance().Get("Debug", "Watch", "");
  if (symbols.empty()) return;
  static TDebugWatch* watch = new TDebugWatch(symbols);  // for the whole run
  AddLine("Watching " + std::to_string(watch->SymbolCount()) + " symbols: " + symbols);
}

}  // namespace tarnwell
