// The synthetic market: every symbol of the universe simulated through the vendor's day (pre-market from
// 04:00, the regular session 09:30 to 16:00, after hours to 20:00, all in the vendor's clock), merged into
// one stream of updates in time order. The same universe, seed and day always give the same stream.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <queue>
#include <string>
#include <vector>

#include "server/Random.h"
#include "server/Records.h"
#include "server/Universe.h"

namespace tarnwell::vendor {

inline constexpr int kPreOpenSecond = 4 * 3600;
inline constexpr int kOpenSecond = 9 * 3600 + 1800;
inline constexpr int kCloseSecond = 16 * 3600;
inline constexpr int kPostCloseSecond = 20 * 3600;

/// Intraday paths of the market and sector factors over the regular session, one point a second, each ending
/// at the factor's daily move.
class DayFactors {
 public:
  DayFactors(const Universe& universe, int64_t day);
  double At(int factor, double second_of_session) const;

 private:
  std::vector<std::vector<float>> paths_;
};

/// A print as the overnight statistics need it.
struct SimulatedPrint {
  int second = 0;  // of the vendor's day
  double price = 0;
  int size = 0;
  bool regular_session = false;
};

/// The 52-week range a symbol starts the day with.
struct YearRange {
  double high = 0, low = 0;
  int64_t high_day = 0, low_day = 0;
};

YearRange RangeOf(const std::vector<DailyBar>& history);

/// One symbol through one day.
class SymbolDay {
 public:
  SymbolDay(const Universe& universe, size_t index, int64_t day, const DayFactors& factors,
            double previous_close, YearRange year, bool keep_prints);
  /// Vendor time of the next event, or INT64_MAX when the day holds no more.
  int64_t NextTime() const { return next_ms_; }
  /// Appends the updates of the next event.
  void Step(std::vector<Update>& out);
  /// The symbol's records as the day starts.
  void Initial(std::vector<Update>& out, int64_t time_ms) const;
  /// The regular session's bar (volume of the whole day) once the day has run.
  DailyBar Bar() const;
  const std::vector<SimulatedPrint>& Prints() const { return prints_; }

 private:
  double LogPrice(double second);
  void Schedule(double from_second);
  void Quote(std::vector<Update>& out, int64_t time_ms, double second);
  void Print(std::vector<Update>& out, int64_t time_ms, double second);
  void ClosingPrint(std::vector<Update>& out, int64_t time_ms);
  void TimePrint(std::vector<Update>& out, int64_t time_ms);
  void IndexPrint(std::vector<Update>& out, int64_t time_ms, double second);
  double RatePerSecond(double second) const;

  const Universe& universe_;
  const SymbolInfo& info_;
  size_t index_;
  int64_t day_;
  const DayFactors& factors_;
  Rng rng_;
  bool keep_prints_;
  double previous_close_;
  double log_open_;
  double own_end_;  // the symbol's own log move over the session, where its bridge must arrive
  int close_;       // the day's official close in cents
  double own_ = 0;  // the bridge's current value
  double own_second_ = 0;
  double extended_noise_ = 0;
  struct Swing {
    double start, length, height;
  };
  std::vector<Swing> swings_;
  double shares_per_print_;
  YearRange year_;
  int64_t next_ms_ = 0;
  // quote state, prices in cents
  int bid_ = 0, ask_ = 0, bid_size_ = 0, ask_size_ = 0;
  std::string bid_exchange_, ask_exchange_;
  int regional_bid_ = 0, regional_ask_ = 0;
  // trading state
  bool opened_ = false;
  bool date_sent_ = false;
  int open_ = 0, high_ = 0, low_ = 0, last_ = 0;
  int64_t volume_ = 0;
  int irregular_ = 0;
  int64_t put_volume_ = 0, call_volume_ = 0;
  int time_prints_ = 0;
  bool closing_due_ = false;  // the next event is the closing print
  std::vector<SimulatedPrint> prints_;
};

/// The whole universe, day after day from `first_day`, ending at `end_ms` (vendor time) when that is given.
class Market : public UpdateSource {
 public:
  Market(const Universe& universe, int64_t first_day, int64_t end_ms = INT64_MAX);
  const Update* Peek() override;
  void Pop() override { pending_.pop_front(); }
  std::vector<std::string> Symbols() const override;

 private:
  void StartDay(int64_t day);

  const Universe& universe_;
  int64_t day_ = 0;
  int64_t end_ms_;
  std::unique_ptr<DayFactors> factors_;
  std::vector<std::unique_ptr<SymbolDay>> symbols_;
  std::priority_queue<std::pair<int64_t, size_t>, std::vector<std::pair<int64_t, size_t>>, std::greater<>>
      due_;
  std::deque<Update> pending_;
  std::vector<Update> step_;
};

/// The symbol's daily history before `day` with the last day replaced by its simulated session, so that every
/// figure the feed and its overnight files derive from the history agrees with the prints of that day.
std::vector<DailyBar> SimulatedHistory(const Universe& universe, size_t index, int64_t day,
                                       const DayFactors& previous_factors,
                                       std::vector<SimulatedPrint>* previous_prints = nullptr);

}  // namespace tarnwell::vendor
