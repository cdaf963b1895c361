#pragma once
// A developer's view of alerts before any alert window exists: the chosen alert types run on the watched
// symbols and each report goes to the debug log. Config.ini: [Debug] Watch=SYM1,SYM2 and
// WatchAlerts=All (every registered name) or WatchAlerts=NAME1,NAME2.

#include <memory>
#include <string>
#include <vector>

#include "alerts/Alert.h"

namespace tarnwell {

class TDebugAlertWatch {
 public:
  /// Runs the named alert types on the symbols (names of values that are not alerts are skipped).
  TDebugAlertWatch(const std::vector<std::string>& symbols, const std::vector<std::string>& names);
  ~TDebugAlertWatch();
  std::size_t AlertCount() const { return watches_.size(); }

 private:
  struct TWatch {
    void Reported();
    std::string symbol, name;
    TAlert* alert = nullptr;
    TOwnedLink link;
  };
  std::vector<std::unique_ptr<TWatch>> watches_;
};

/// Comma-separated items, blanks dropped.
std::vector<std::string> SplitList(const std::string& text);

/// Starts the alert watch Config.ini asks for, if any; it lasts until the process ends. Data node thread or
/// start-up.
void StartDebugAlertWatchFromConfig();

}  // namespace tarnwell
