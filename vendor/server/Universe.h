// The synthetic market's universe: generated symbols with their character (price level, liquidity,
// volatility, sector), the day-level factors that tie them together, and a daily history that the intraday
// market continues.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarnwell::vendor {

enum class SymbolKind { kTime, kStock, kFund, kIndex, kSlash };

struct SymbolInfo {
  std::string symbol;
  std::string name;
  std::string listing;  // exchange code of field 6023: NYS, NAS, ASE, IND, CME
  SymbolKind kind = SymbolKind::kStock;
  int factor = 0;         // 0 = the market, 1.. = a sector
  double beta = 1.0;      // sensitivity of the daily and intraday move to its factor
  double base_price = 0;  // the level the price wanders around over the years
  double adv = 0;         // typical shares a day
  double daily_vol = 0;   // idiosyncratic daily volatility, as a fraction
  double prints_per_day = 0;
  bool optionable = false;
  std::string correlation_symbol;  // the fund that tracks its sector
};

struct DailyBar {
  int64_t day = 0;  // days since 1970-01-01
  double open = 0, high = 0, low = 0, close = 0;
  int64_t volume = 0;
};

/// The moves that drive one day: the overnight gap, the factor's move and the symbol's own move, all in log
/// terms, and the day's volume as a multiple of the typical.
struct DayDraw {
  double gap = 0;
  double factor_move = 0;
  double own_move = 0;
  double volume_factor = 1;
};

inline constexpr int kSectorCount = 8;
/// The daily walk starts on 2020-01-06; a day needs a year of history before it.
inline constexpr int64_t kEpochDay = 18267;
inline constexpr int64_t kFirstDay = kEpochDay + 366;  // 2021-01-06
inline constexpr int kHistoryDays = 260;

/// Not thread-safe: one thread builds the market from it (factor moves are cached as they are asked for).
class Universe {
 public:
  /// Throws std::invalid_argument when count is outside 20..10000.
  Universe(int count, uint64_t seed);
  const std::vector<SymbolInfo>& Symbols() const { return symbols_; }
  uint64_t Seed() const { return seed_; }
  /// Factor move of a day in log terms: index 0 the market, 1..kSectorCount the sectors.
  double FactorMove(int factor, int64_t day) const;
  DayDraw Draw(size_t symbol, int64_t day) const;
  /// The close that follows a previous close on a day: the one step of the daily walk.
  double NextClose(size_t symbol, int64_t day, double previous_close) const;
  /// Official close of a weekday (the close the intraday market of that day ends at).
  double CloseOn(size_t symbol, int64_t day) const;
  /// Daily bars of the kHistoryDays weekdays before `day`, oldest first, drawn from the daily model.
  std::vector<DailyBar> History(size_t symbol, int64_t day) const;

 private:
  std::vector<SymbolInfo> symbols_;
  uint64_t seed_;
  mutable std::unordered_map<int64_t, std::array<double, kSectorCount + 1>> factor_moves_;  // by day
};

/// The weekday before a day.
int64_t PreviousWeekday(int64_t day);
bool IsWeekday(int64_t day);

}  // namespace tarnwell::vendor
