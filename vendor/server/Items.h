// Request and advise items ("TABLE;1003,fields;conditions") and the watch-list commands, as the feed reads
// them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "server/Fields.h"

namespace tarnwell::vendor {

/// A parsed item: a table, the fields asked for (1003 first), and either one symbol or one watch list.
struct Item {
  Table table = Table::kLiveQuote;
  std::vector<uint16_t> fields;
  std::string symbol;    // set for 1003='...'
  std::string list;      // set for 9034='...'
  std::string exchange;  // 6074='...': the regional record asked for
};

struct WatchCommand {
  bool add = true;
  Table table = Table::kLiveQuote;
  std::string list;
  std::string symbol;
};

/// A symbol or list name as items and commands accept it: 1 to 32 printable characters, none of , ; ' " ( ).
bool ValidSymbol(std::string_view symbol);

/// The item, or the reason it is malformed (a text meant for the type 6 refusal).
std::variant<Item, std::string> ParseItem(std::string_view text);
/// "[AddWatch(table,list,symbol)]" or "[DeleteWatch(...)]", or the reason the command is malformed.
std::variant<WatchCommand, std::string> ParseCommand(std::string_view text);

}  // namespace tarnwell::vendor
