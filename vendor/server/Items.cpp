#include "server/Items.h"

#include <algorithm>
#include <charconv>

namespace tarnwell::vendor {
namespace {

std::string Quote(std::string_view text) {
  std::string quoted(1, '\'');
  quoted += text;
  quoted += '\'';
  return quoted;
}

std::optional<uint16_t> ParseFieldNumber(std::string_view text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
    return std::nullopt;
  return static_cast<uint16_t>(value);
}

}  // namespace

bool ValidSymbol(std::string_view symbol) {
  if (symbol.empty() || symbol.size() > 32) return false;
  return std::all_of(symbol.begin(), symbol.end(), [](char c) {
    return c > ' ' && c < 127 && c != ',' && c != ';' && c != '\'' && c != '"' && c != '(' && c != ')';
  });
}

std::variant<Item, std::string> ParseItem(std::string_view text) {
  const size_t first = text.find(';');
  const size_t second = first == std::string_view::npos ? first : text.find(';', first + 1);
  if (second == std::string_view::npos) return "item " + Quote(text) + " is not TABLE;fields;conditions";
  Item item;
  const auto table = ParseTable(text.substr(0, first));
  if (!table) return "unknown table " + Quote(text.substr(0, first)) + " in item " + Quote(text);
  item.table = *table;

  std::string_view fields = text.substr(first + 1, second - first - 1);
  while (!fields.empty()) {
    const size_t comma = fields.find(',');
    const std::string_view piece = fields.substr(0, comma);
    const auto number = ParseFieldNumber(piece);
    if (!number) return "bad field number " + Quote(piece) + " in item " + Quote(text);
    if (FindField(*number) == nullptr)
      return "unknown field " + std::string(piece) + " in item " + Quote(text);
    if (std::find(item.fields.begin(), item.fields.end(), *number) == item.fields.end()) {
      item.fields.push_back(*number);
    }
    fields = comma == std::string_view::npos ? std::string_view{} : fields.substr(comma + 1);
  }
  if (item.fields.empty() || item.fields.front() != fid::kDispName) {
    return "item " + Quote(text) + " must ask for field 1003 first";
  }

  // Conditions: NUMBER='VALUE' separated by commas; values are quoted, so a comma inside a value is harmless.
  std::string_view conditions = text.substr(second + 1);
  while (!conditions.empty()) {
    const size_t equals = conditions.find('=');
    if (equals == std::string_view::npos || equals + 1 >= conditions.size() ||
        conditions[equals + 1] != '\'') {
      return "condition " + Quote(conditions) + " is not NUMBER='VALUE' in item " + Quote(text);
    }
    const auto number = ParseFieldNumber(conditions.substr(0, equals));
    const size_t close = conditions.find('\'', equals + 2);
    if (!number || close == std::string_view::npos) {
      return "condition " + Quote(conditions) + " is not NUMBER='VALUE' in item " + Quote(text);
    }
    const std::string value(conditions.substr(equals + 2, close - equals - 2));
    switch (*number) {
      case fid::kDispName:
        if (!ValidSymbol(value)) return "bad symbol " + Quote(value) + " in item " + Quote(text);
        item.symbol = value;
        break;
      case fid::kListName:
        if (!ValidSymbol(value)) return "bad list name " + Quote(value) + " in item " + Quote(text);
        item.list = value;
        break;
      case fid::kRegionalExchId:
        if (item.table != Table::kRegional || value.size() != 1) {
          return "condition 6074=" + Quote(value) + " needs table REGIONAL and one letter in item " +
                 Quote(text);
        }
        item.exchange = value;
        break;
      default:
        return "unsupported condition field " + std::to_string(*number) + " in item " + Quote(text);
    }
    conditions.remove_prefix(close + 1);
    if (!conditions.empty()) {
      if (conditions.front() != ',') return "expected ',' after a condition in item " + Quote(text);
      conditions.remove_prefix(1);
    }
  }
  if (item.symbol.empty() == item.list.empty()) {
    return "item " + Quote(text) + " must name exactly one symbol (1003) or one list (9034)";
  }
  if (item.table == Table::kRegional && item.exchange.empty()) {
    return "item " + Quote(text) + " must choose a regional exchange with 6074";
  }
  return item;
}

std::variant<WatchCommand, std::string> ParseCommand(std::string_view text) {
  WatchCommand command;
  std::string_view rest = text;
  if (rest.starts_with("[AddWatch(")) {
    rest.remove_prefix(10);
  } else if (rest.starts_with("[DeleteWatch(")) {
    command.add = false;
    rest.remove_prefix(13);
  } else {
    return "unknown command " + Quote(text) +
           "; expected [AddWatch(table,list,symbol)] or [DeleteWatch(...)]";
  }
  if (!rest.ends_with(")]")) return "command " + Quote(text) + " does not end with )]";
  rest.remove_suffix(2);
  const size_t a = rest.find(',');
  const size_t b = a == std::string_view::npos ? a : rest.find(',', a + 1);
  if (b == std::string_view::npos || rest.find(',', b + 1) != std::string_view::npos) {
    return "command " + Quote(text) + " needs exactly three arguments: table, list, symbol";
  }
  const auto table = ParseTable(rest.substr(0, a));
  if (!table) return "unknown table " + Quote(rest.substr(0, a)) + " in command " + Quote(text);
  command.table = *table;
  command.list = rest.substr(a + 1, b - a - 1);
  command.symbol = rest.substr(b + 1);
  if (!ValidSymbol(command.list))
    return "bad list name " + Quote(command.list) + " in command " + Quote(text);
  if (!ValidSymbol(command.symbol))
    return "bad symbol " + Quote(command.symbol) + " in command " + Quote(text);
  return command;
}

}  // namespace tarnwell::vendor
