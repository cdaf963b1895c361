#pragma once
// A developer's window into the feed: the quotes and prints of a few symbols, decoded, one debug log line
// each. Config.ini: [Debug] Watch=SYM1,SYM2,...

#include <memory>
#include <string>
#include <vector>

#include "framework/DataNode.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

class TDebugWatch {
 public:
  /// Watches the symbols (comma-separated, blanks ignored) through the generic feed nodes.
  explicit TDebugWatch(const std::string& symbols);
  ~TDebugWatch();
  std::size_t SymbolCount() const { return watches_.size(); }

 private:
  struct TWatch {
    void Print();
    void Quote();
    std::string symbol;
    TGenericTosDataNode* tos = nullptr;
    TGenericL1DataNode* l1 = nullptr;
    TOwnedLink tosLink, l1Link;
  };
  std::vector<std::unique_ptr<TWatch>> watches_;
};

/// Starts the watch Config.ini asks for, if any; it lasts until the process ends.
void StartDebugWatchFromConfig();

}  // namespace tarnwell
