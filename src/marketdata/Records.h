#pragma once
// The records behind the per-symbol feed nodes: one fixed layout per kind of market data. All times are
// local date-times (days since 1899-12-30) in the program's clock, three hours behind the vendor's.

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Clock.h"

namespace tarnwell {

/// The level-1 quote.
struct TL1Data {
  double BidPrice = 0;  ///< 0 when the vendor sends no value
  std::int32_t BidSize = 0;
  std::string BidExchange;  ///< display name
  double AskPrice = 0;
  std::int32_t AskSize = 0;
  std::string AskExchange;
  double Open = 0;  ///< 0 before the open
  double High = 0;
  double Low = 0;
  double PrevClose = 0;
  std::int32_t PutVolume = 0;
  std::int32_t CallVolume = 0;
};

/// The most recent time-and-sales print.
struct TTosData {
  double Price = 0;
  TDateTime Time = 0;
  double TodaysClose = 0;  ///< the latest regular last-trade price; today's close after the close
  std::int32_t Size = 0;
  std::string Exchange;
  bool FormT = false;  ///< an extended-hours print
  std::int32_t TotalVolume = 0;
  std::uint16_t SaleCondition = 0;  ///< the vendor's condition code, 0 for none
  bool Snapshot = false;            ///< restates the latest price; not a new print
};

struct TFundamentalData {
  std::string ListedExchange;  ///< "AMEX", "NASD", "NYSE", "CME", "$NDX", "OTC", "CAV", "CAT" or empty
  double High52 = 0;
  double Low52 = 0;
  std::string CompanyName;
  TDateTime High52Date = 0;  ///< 0 when the feed gave none
  TDateTime Low52Date = 0;
};

/// One level-2 book line.
struct TL2Entry {
  std::string MarketMakerId;
  double Price = 0;
  std::int32_t Size = 0;
  std::int32_t RefreshCount = 0;  ///< 0 = none
  std::uint8_t Tick = 0;          ///< 0 none, 1 up, other values down
};
using TL2EntryArray = std::vector<TL2Entry>;

/// One trade or quote event.
struct TTickRecord {
  TDateTime Time = 0;
  std::string TradeOrBidExchange;
  std::string AskExchange;  ///< empty for a trade
  bool IsTrade = false;
  double TradeOrBidPrice = 0;
  // Trade part.
  std::int32_t TradeSize = 0;
  std::int32_t TradeVolume = 0;
  // Quote part.
  double AskPrice = 0;
  std::int32_t BidSize = 0;
  std::int32_t AskSize = 0;
};
using TTickRecordArray = std::vector<TTickRecord>;  ///< newest first

/// The symbols of one top-ten list, best first.
using TTopTenList = std::vector<std::string>;

enum TTopTenListType : std::uint8_t { ttGainers = 0, ttLosers = 1, ttVolume = 2 };
enum TTopTenExchange : std::uint8_t { teNyse = 0, teAmex = 1, teNasdaq = 2, teOpra = 3 };
/// "Gainers", "Losers", "Volume"; empty for other values.
const char* TopTenListTypeName(std::uint8_t type);
/// "NYSE", "AMEX", "NASDAQ", "OPRA"; empty for other values.
const char* TopTenExchangeName(std::uint8_t exchange);

}  // namespace tarnwell
