#include "alerts/DebugAlertWatch.h"

#include "framework/Config.h"
#include "framework/DebugLog.h"

namespace tarnwell {

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  for (char c : text + ",") {
    if (c == ',') {
      if (!item.empty()) items.push_back(item);
      item.clear();
    } else if (c != ' ' && c != '\t') {
      item.push_back(c);
    }
  }
  return items;
}

TDebugAlertWatch::TDebugAlertWatch(const std::vector<std::string>& symbols, const std::vector<std::string>& names) {
  for (const std::string& symbol : symbols) {
    for (const std::string& name : names) {
      TFactoryRef registered = FindFactory(name, false);
      if (!registered) {
        AddLine("Watch: no alert type \"" + name + "\"");
        continue;
      }
      TFactoryRef factory = registered->Clone();
      factory->SetParam(kSymbolName, symbol);
      auto watch = std::make_unique<TWatch>();
      auto [node, link] = factory->GetNode(TW_METHOD(watch.get(), Reported));
      watch->link.Reset(link);
      watch->alert = dynamic_cast<TAlert*>(node);
      if (!watch->alert) continue;  // a value, not an alert: the link goes with the watch
      watch->symbol = symbol;
      watch->name = name;
      watch->link->SetReceiveInput(true);
      watches_.push_back(std::move(watch));
    }
  }
}

TDebugAlertWatch::~TDebugAlertWatch() = default;

void TDebugAlertWatch::TWatch::Reported() {
  std::string text = "Watch " + symbol + ": alert " + name + ": " + alert->GetString();
  double quality = 0;
  if (alert->GetQuality(quality)) text += " (quality " + TAlert::FormatPrice(false, quality) + ")";
  AddLine(text);
}

void StartDebugAlertWatchFromConfig() {
  const TConfigFile& config = TConfigFile::Instance();
  std::vector<std::string> symbols = SplitList(config.Get("Debug", "Watch", ""));
  std::string alerts = config.Get("Debug", "WatchAlerts", "");
  if (symbols.empty() || alerts.empty()) return;
  std::vector<std::string> names = alerts == "All" ? RegisteredFactoryNames() : SplitList(alerts);
  static TDebugAlertWatch* watch = new TDebugAlertWatch(symbols, names);  // for the whole run
  AddLine("Watching " + std::to_string(watch->AlertCount()) + " alerts");
}

}  // namespace tarnwell
