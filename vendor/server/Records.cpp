#include "server/Records.h"

#include <algorithm>
#include <map>

namespace tarnwell::vendor {

std::string RecordStore::Key(Table table, std::string_view symbol, std::string_view exchange) {
  std::string key(1, static_cast<char>(table));
  key += symbol;
  if (table == Table::kRegional) {
    key += '|';
    key += exchange;
  }
  return key;
}

std::string_view RegionalExchange(const Update& update) {
  for (const FieldValue& field : update.fields) {
    if (field.number == fid::kRegionalExchId) return field.text;
  }
  return {};
}

void RecordStore::Apply(const Update& update) {
  auto [it, inserted] = records_.try_emplace(Key(update.table, update.symbol, RegionalExchange(update)));
  Entry& entry = it->second;
  if (inserted) {
    entry.table = update.table;
    entry.symbol = update.symbol;
  }
  for (const FieldValue& field : update.fields) {
    auto at = std::find_if(entry.fields.begin(), entry.fields.end(),
                           [&](const FieldValue& f) { return f.number == field.number; });
    if (at == entry.fields.end()) {
      entry.fields.push_back(field);
    } else {
      *at = field;
    }
  }
}

const std::vector<FieldValue>* RecordStore::Find(Table table, std::string_view symbol,
                                                 std::string_view exchange) const {
  const auto it = records_.find(Key(table, symbol, exchange));
  return it == records_.end() ? nullptr : &it->second.fields;
}

void RecordStore::ForEach(
    const std::function<void(Table, const std::string&, const std::vector<FieldValue>&)>& visit) const {
  std::map<std::string, const Entry*> ordered;
  for (const auto& [key, entry] : records_) ordered.emplace(key, &entry);
  for (const auto& [key, entry] : ordered) visit(entry->table, entry->symbol, entry->fields);
}

}  // namespace tarnwell::vendor
