// The feed's current picture of the market: one record of fields per symbol and table (per regional exchange
// for REGIONAL), the symbols it knows, and the source of updates that moves the picture forward.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "server/Fields.h"

namespace tarnwell::vendor {

/// A stream of updates in time order: the synthetic market or a tape.
class UpdateSource {
 public:
  virtual ~UpdateSource() = default;
  /// The next update, or nullptr when the stream has ended; valid until Pop.
  virtual const Update* Peek() = 0;
  virtual void Pop() = 0;
  /// Every symbol the stream can mention; a request for any other symbol is a symbol error.
  virtual std::vector<std::string> Symbols() const = 0;
};

class RecordStore {
 public:
  void AddSymbol(const std::string& symbol) { symbols_.insert(symbol); }
  bool Known(const std::string& symbol) const { return symbols_.contains(symbol); }
  /// Merges the update's fields into its record (REGIONAL records are keyed by the update's field 6074).
  void Apply(const Update& update);
  /// The record's fields, or nullptr when nothing was ever published for it.
  const std::vector<FieldValue>* Find(Table table, std::string_view symbol, std::string_view exchange) const;
  /// Calls back with every record, ordered by table and key, so that snapshots are deterministic.
  void ForEach(
      const std::function<void(Table, const std::string&, const std::vector<FieldValue>&)>& visit) const;

 private:
  static std::string Key(Table table, std::string_view symbol, std::string_view exchange);
  struct Entry {
    Table table;
    std::string symbol;
    std::vector<FieldValue> fields;
  };
  std::unordered_set<std::string> symbols_;
  std::unordered_map<std::string, Entry> records_;
};

/// The regional exchange an update addresses (its field 6074), or empty.
std::string_view RegionalExchange(const Update& update);

}  // namespace tarnwell::vendor
