#include "server/Market.h"

#include <algorithm>
#include <cmath>

#include "server/Fields.h"

namespace tarnwell::vendor {
namespace {

constexpr int kSessionSeconds = kCloseSecond - kOpenSecond;
constexpr const char* kTradeVenues = "NNQQTTPBCDMXZ";
constexpr int kIrregularCodes[] = {2, 6, 7, 13, 15, 17, 23, 26};
constexpr int kSaleConditionCodes[] = {4, 12, 22, 29};

int Cents(double price) {
  return std::max(1, static_cast<int>(std::lround(price * 100)));
}
FieldValue Price(uint16_t number, int cents) {
  return FieldValue::Price(number, cents, 2);
}

int DateOf(int64_t day) {
  int y, m, d;
  CivilFromDays(day, y, m, d);
  return y * 10000 + m * 100 + d;
}

FieldValue DateField(uint16_t number, int64_t day) {
  FieldValue value;
  value.number = number;
  value.type = FieldType::Date;
  value.integer = DateOf(day);
  return value;
}

}  // namespace

DayFactors::DayFactors(const Universe& universe, int64_t day) {
  // Brownian bridges: a random walk pulled so that it ends exactly at the factor's daily move.
  Rng rng(Mix(universe.Seed(), static_cast<uint64_t>(day) * 31 + 7));
  auto bridge = [&](double end, double daily_sigma) {
    std::vector<float> path(kSessionSeconds + 1);
    const double step = daily_sigma / std::sqrt(static_cast<double>(kSessionSeconds));
    double walk = 0;
    std::vector<double> raw(kSessionSeconds + 1, 0.0);
    for (int s = 1; s <= kSessionSeconds; ++s) raw[s] = walk += step * rng.Normal();
    for (int s = 0; s <= kSessionSeconds; ++s) {
      const double u = static_cast<double>(s) / kSessionSeconds;
      path[s] = static_cast<float>(raw[s] - u * raw[kSessionSeconds] + u * end);
    }
    return path;
  };
  const double market_end = universe.FactorMove(0, day);
  paths_.push_back(bridge(market_end, 0.011));
  for (int k = 1; k <= kSectorCount; ++k) {
    std::vector<float> own = bridge(universe.FactorMove(k, day) - 0.8 * market_end, 0.008);
    for (int s = 0; s <= kSessionSeconds; ++s) own[s] += 0.8f * paths_[0][s];
    paths_.push_back(std::move(own));
  }
}

double DayFactors::At(int factor, double second_of_session) const {
  const int s = std::clamp(static_cast<int>(second_of_session), 0, kSessionSeconds);
  return paths_[static_cast<size_t>(factor)][static_cast<size_t>(s)];
}

YearRange RangeOf(const std::vector<DailyBar>& history) {
  YearRange range;
  const size_t first = history.size() > 252 ? history.size() - 252 : 0;
  for (size_t i = first; i < history.size(); ++i) {
    if (range.high == 0 || history[i].high >= range.high) {
      range.high = history[i].high;
      range.high_day = history[i].day;
    }
    if (range.low == 0 || history[i].low <= range.low) {
      range.low = history[i].low;
      range.low_day = history[i].day;
    }
  }
  return range;
}

SymbolDay::SymbolDay(const Universe& universe, size_t index, int64_t day, const DayFactors& factors,
                     double previous_close, YearRange year, bool keep_prints)
    : universe_(universe),
      info_(universe.Symbols()[index]),
      index_(index),
      day_(day),
      factors_(factors),
      rng_(Mix(Mix(universe.Seed(), 5000 + index), static_cast<uint64_t>(day))),
      keep_prints_(keep_prints),
      previous_close_(previous_close),
      year_(year) {
  const DayDraw draw = universe.Draw(index, day);
  log_open_ = std::log(previous_close) + draw.gap;
  const double close = universe.NextClose(index, day, previous_close);
  close_ = Cents(close);
  own_end_ = std::log(close) - log_open_ - info_.beta * factors.At(info_.factor, kSessionSeconds);
  // Swings: trends that run for a while and give their move back, so that the day has reversals.
  const int swings = rng_.Below(4);
  for (int i = 0; i < swings; ++i) {
    const double length = 1800 + rng_.Uniform() * 9000;
    swings_.push_back(
        {rng_.Uniform() * (kSessionSeconds - length), length, 0.8 * info_.daily_vol * rng_.Normal()});
  }
  const double day_volume = info_.adv * draw.volume_factor;
  shares_per_print_ = std::max(1.0, day_volume / (info_.prints_per_day * 1.06));
  if (info_.kind == SymbolKind::kTime) {
    next_ms_ = day * kMsPerDay + 10000;
  } else if (info_.kind == SymbolKind::kIndex) {
    next_ms_ = day * kMsPerDay + kOpenSecond * 1000LL;
  } else {
    Schedule(kPreOpenSecond);
  }
}

double SymbolDay::RatePerSecond(double second) const {
  const double events = info_.prints_per_day * 2.0;
  if (info_.kind == SymbolKind::kSlash) return events / (kPostCloseSecond - kPreOpenSecond);
  if (second < kOpenSecond) return events * 0.03 / (kOpenSecond - kPreOpenSecond);
  if (second >= kCloseSecond) return events * 0.03 / (kPostCloseSecond - kCloseSecond);
  const double u = (second - kOpenSecond) / kSessionSeconds;
  const double shape = (1 + 3 * (2 * u - 1) * (2 * u - 1)) / 2;  // the U of intraday volume, averaging 1
  return events * shape / kSessionSeconds;
}

void SymbolDay::Schedule(double from_second) {
  double second = from_second;
  for (;;) {
    if (second >= kPostCloseSecond) {
      next_ms_ = INT64_MAX;
      return;
    }
    const double boundary = second < kOpenSecond    ? kOpenSecond
                            : second < kCloseSecond ? kCloseSecond
                                                    : kPostCloseSecond;
    const double next = second + rng_.Exponential(RatePerSecond(second));
    // Every listed symbol ends the session with a closing print at the day's official close.
    if (boundary == kCloseSecond && next >= boundary && info_.kind != SymbolKind::kSlash && !closing_due_) {
      closing_due_ = true;
      next_ms_ = day_ * kMsPerDay +
                 std::max<int64_t>(kCloseSecond * 1000LL - 100, static_cast<int64_t>(second * 1000));
      return;
    }
    if (next < boundary) {
      next_ms_ = day_ * kMsPerDay + static_cast<int64_t>(next * 1000);
      return;
    }
    second = boundary;
  }
}

double SymbolDay::LogPrice(double second) {
  const double log_close = log_open_ + info_.beta * factors_.At(info_.factor, kSessionSeconds) + own_end_;
  const double noise_step = 0.15 * info_.daily_vol / std::sqrt(3600.0);
  if (second < kOpenSecond) {
    extended_noise_ += noise_step * rng_.Normal() * std::sqrt(30.0);
    extended_noise_ *= 0.98;
    const double u = (second - kPreOpenSecond) / (kOpenSecond - kPreOpenSecond);
    return std::log(previous_close_) + (log_open_ - std::log(previous_close_)) * u + extended_noise_;
  }
  if (second >= kCloseSecond) {
    extended_noise_ += noise_step * rng_.Normal() * std::sqrt(30.0);
    extended_noise_ *= 0.98;
    return log_close + extended_noise_;
  }
  const double s = second - kOpenSecond;
  // Advance the symbol's own Brownian bridge to this second.
  if (s > own_second_) {
    const double remaining = kSessionSeconds - own_second_;
    const double dt = s - own_second_;
    const double sigma = info_.daily_vol / std::sqrt(static_cast<double>(kSessionSeconds));
    const double mean = own_ + (own_end_ - own_) * dt / remaining;
    const double variance = sigma * sigma * dt * (remaining - dt) / remaining;
    own_ = mean + std::sqrt(std::max(variance, 0.0)) * rng_.Normal();
    own_second_ = s;
  }
  double swing = 0;
  for (const Swing& w : swings_) {
    if (s > w.start && s < w.start + w.length) swing += w.height * std::sin(M_PI * (s - w.start) / w.length);
  }
  return log_open_ + info_.beta * factors_.At(info_.factor, s) + own_ + swing;
}

void SymbolDay::Initial(std::vector<Update>& out, int64_t time_ms) const {
  Update live{time_ms, Table::kLiveQuote, info_.symbol, {}};
  auto& f = live.fields;
  f.push_back(FieldValue::String(fid::kSymbolDesc, info_.name));
  f.push_back(FieldValue::String(fid::kExchName, info_.listing));
  if (info_.kind == SymbolKind::kTime) {
    out.push_back(std::move(live));
    return;
  }
  const int close = Cents(previous_close_);
  const int64_t previous_day = PreviousWeekday(day_);
  f.push_back(Price(fid::kHstClose, close));
  f.push_back(Price(fid::kTrdPrc1, close));
  f.push_back(FieldValue::Time(fid::kTrdTim1, kCloseSecond));
  f.push_back(DateField(fid::kTrdDate, previous_day));
  for (uint16_t blank : {fid::kOpenPrc, fid::kHigh1, fid::kLow1}) f.push_back(FieldValue::Blank(blank));
  f.push_back(Price(fid::kHigh52, Cents(year_.high)));
  f.push_back(Price(fid::kLow52, Cents(year_.low)));
  f.push_back(DateField(fid::kHigh52Date, year_.high_day));
  f.push_back(DateField(fid::kLow52Date, year_.low_day));
  if (info_.kind != SymbolKind::kIndex) {
    f.push_back(FieldValue::Long(fid::kTrdVol1, 100));
    f.push_back(FieldValue::String(fid::kTrdXid1, info_.listing == "NYS" ? "N" : "Q"));
    f.push_back(FieldValue::Long(fid::kAcVol1, 0));
    f.push_back(FieldValue::Long(fid::kIrgCond, 0));
    for (uint16_t blank : {fid::kSaleCondition, fid::kSaleConditionPrice, fid::kSaleConditionVolume,
                           fid::kSaleConditionTime, fid::kSaleConditionXid}) {
      f.push_back(FieldValue::Blank(blank));
    }
  }
  if (info_.optionable) {
    f.push_back(FieldValue::Long(fid::kPutVolume, 0));
    f.push_back(FieldValue::Long(fid::kCallVolume, 0));
  }
  out.push_back(std::move(live));
}

void SymbolDay::Step(std::vector<Update>& out) {
  const int64_t time_ms = next_ms_;
  const double second = static_cast<double>(time_ms - day_ * kMsPerDay) / 1000.0;
  switch (info_.kind) {
    case SymbolKind::kTime:
      TimePrint(out, time_ms);
      next_ms_ = time_ms + 10000 < (day_ + 1) * kMsPerDay ? time_ms + 10000 : INT64_MAX;
      return;
    case SymbolKind::kIndex:
      IndexPrint(out, time_ms, second);
      next_ms_ = second + 15 < kCloseSecond ? time_ms + 15000 : INT64_MAX;
      return;
    default:
      break;
  }
  const bool session = info_.kind == SymbolKind::kSlash || (second >= kOpenSecond && second < kCloseSecond);
  if (closing_due_) {
    closing_due_ = false;
    ClosingPrint(out, time_ms);
    Schedule(kCloseSecond);
    return;
  }
  if (bid_ == 0 || rng_.Chance(session ? 0.6 : 0.5)) {
    Quote(out, time_ms, second);
  } else {
    Print(out, time_ms, second);
  }
  Schedule(second);
}

void SymbolDay::TimePrint(std::vector<Update>& out, int64_t time_ms) {
  const int second = static_cast<int>((time_ms - day_ * kMsPerDay) / 1000);
  Update update{time_ms, Table::kLiveQuote, info_.symbol, {}};
  update.fields.push_back(Price(fid::kTrdPrc1, second / 3600 * 100 + second / 60 % 60));
  update.fields.push_back(FieldValue::Long(fid::kTrdVol1, 1));
  update.fields.push_back(FieldValue::Time(fid::kTrdTim1, second));
  update.fields.push_back(DateField(fid::kTrdDate, day_));
  update.fields.push_back(FieldValue::Long(fid::kAcVol1, ++time_prints_));
  out.push_back(std::move(update));
}

void SymbolDay::IndexPrint(std::vector<Update>& out, int64_t time_ms, double second) {
  const int price = Cents(std::exp(LogPrice(second)));
  Update update{time_ms, Table::kLiveQuote, info_.symbol, {}};
  auto& f = update.fields;
  f.push_back(Price(fid::kTrdPrc1, price));
  f.push_back(FieldValue::Time(fid::kTrdTim1, static_cast<int>(second)));
  if (!opened_) {
    opened_ = true;
    open_ = high_ = low_ = price;
    f.push_back(DateField(fid::kTrdDate, day_));
    f.push_back(Price(fid::kOpenPrc, price));
    f.push_back(Price(fid::kHigh1, price));
    f.push_back(Price(fid::kLow1, price));
  } else if (price > high_) {
    f.push_back(Price(fid::kHigh1, high_ = price));
  } else if (price < low_) {
    f.push_back(Price(fid::kLow1, low_ = price));
  }
  last_ = price;
  out.push_back(std::move(update));
}

void SymbolDay::Quote(std::vector<Update>& out, int64_t time_ms, double second) {
  const int mid = Cents(std::exp(LogPrice(second)));
  const int base = std::max(1, mid / 2000);
  const int spread = base + rng_.Below(info_.adv < 500000 ? base + 3 : 2);
  int bid = std::max(1, mid - spread / 2);
  int ask = bid + spread;
  const double odd = rng_.Uniform();
  if (odd < 0.003) ask = bid;                      // locked
  if (odd >= 0.003 && odd < 0.005) ask = bid - 1;  // crossed
  const bool slash = info_.kind == SymbolKind::kSlash;
  auto size = [&] {
    int lots = 1 + rng_.Below(10);
    if (rng_.Chance(0.02)) lots *= 20 + rng_.Below(80);  // a large bid or offer now and then
    return slash ? lots : lots * 100;
  };
  const int bid_size = size(), ask_size = size();
  const std::string bid_ex(1, kTradeVenues[rng_.Below(13)]), ask_ex(1, kTradeVenues[rng_.Below(13)]);

  Update update{time_ms, Table::kLiveQuote, info_.symbol, {}};
  auto& f = update.fields;
  if (bid != bid_) f.push_back(Price(fid::kBid, bid_ = bid));
  if (ask != ask_) f.push_back(Price(fid::kAsk, ask_ = ask));
  if (bid_size != bid_size_) f.push_back(FieldValue::Long(fid::kBidSize, bid_size_ = bid_size));
  if (ask_size != ask_size_) f.push_back(FieldValue::Long(fid::kAskSize, ask_size_ = ask_size));
  if (bid_ex != bid_exchange_) f.push_back(FieldValue::String(fid::kBidExId, bid_exchange_ = bid_ex));
  if (ask_ex != ask_exchange_) f.push_back(FieldValue::String(fid::kAskExId, ask_exchange_ = ask_ex));
  if (info_.optionable && second >= kOpenSecond && second < kCloseSecond && rng_.Chance(0.05)) {
    f.push_back(FieldValue::Long(fid::kPutVolume, static_cast<int32_t>(put_volume_ += 10 * rng_.Below(200))));
    f.push_back(
        FieldValue::Long(fid::kCallVolume, static_cast<int32_t>(call_volume_ += 10 * rng_.Below(260))));
  }
  if (!f.empty()) out.push_back(std::move(update));

  if (info_.listing != "NYS" || rng_.Chance(0.5)) return;
  // The NYSE's own quote: mostly the consolidated one, sometimes a little wider.
  int regional_bid = bid_, regional_ask = ask_;
  if (rng_.Chance(0.3)) {
    regional_bid = std::max(1, bid_ - 1 - rng_.Below(3));
    regional_ask = ask_ + rng_.Below(3);
  }
  if (regional_bid == regional_bid_ && regional_ask == regional_ask_) return;
  Update regional{time_ms, Table::kRegional, info_.symbol, {}};
  regional.fields.push_back(FieldValue::String(fid::kRegionalExchId, "N"));
  if (regional_bid != regional_bid_)
    regional.fields.push_back(Price(fid::kRegionalBid, regional_bid_ = regional_bid));
  if (regional_ask != regional_ask_)
    regional.fields.push_back(Price(fid::kRegionalAsk, regional_ask_ = regional_ask));
  if (regional_ask_ != 0) regional.fields.push_back(FieldValue::String(fid::kRegionalAskExId, "N"));
  out.push_back(std::move(regional));
}

void SymbolDay::Print(std::vector<Update>& out, int64_t time_ms, double second) {
  const bool slash = info_.kind == SymbolKind::kSlash;
  const bool session = slash || (second >= kOpenSecond && second < kCloseSecond);
  const double side = rng_.Uniform();
  int price = side < 0.45 ? bid_ : side < 0.9 ? ask_ : (bid_ + ask_) / 2;
  price = std::max(price, 1);
  int size;
  if (slash) {
    size = 1 + rng_.Below(20);
  } else if (rng_.Chance(0.008)) {
    size = (100 + rng_.Below(900)) * 100;  // a block print
  } else if (rng_.Chance(0.1)) {
    size = 1 + rng_.Below(99);
  } else {
    size =
        std::max(100, static_cast<int>(std::lround(shares_per_print_ * rng_.Exponential(1.0) / 100)) * 100);
  }
  volume_ += size;
  const int whole_second = static_cast<int>(second);
  const std::string venue(1, kTradeVenues[rng_.Below(13)]);
  if (keep_prints_) prints_.push_back({whole_second, price / 100.0, size, session && !slash});

  Update update{time_ms, Table::kLiveQuote, info_.symbol, {}};
  auto& f = update.fields;
  if (!date_sent_) {
    date_sent_ = true;
    f.push_back(DateField(fid::kTrdDate, day_));
  }
  const bool sale_condition = !session || rng_.Chance(0.01);
  if (sale_condition) {
    // Extended-hours prints are form T; during the session a few prints carry another sale condition.
    const int code = !session ? (second < kOpenSecond ? 20 : 21) : kSaleConditionCodes[rng_.Below(4)];
    f.push_back(FieldValue::Long(fid::kSaleCondition, code));
    f.push_back(Price(fid::kSaleConditionPrice, price));
    f.push_back(FieldValue::Long(fid::kSaleConditionVolume, size));
    f.push_back(FieldValue::Time(fid::kSaleConditionTime, whole_second));
    f.push_back(FieldValue::String(fid::kSaleConditionXid, venue));
    f.push_back(FieldValue::Long(fid::kAcVol1, static_cast<int32_t>(std::min<int64_t>(volume_, INT32_MAX))));
    out.push_back(std::move(update));
    return;
  }
  f.push_back(Price(fid::kTrdPrc1, price));
  f.push_back(FieldValue::Long(fid::kTrdVol1, size));
  f.push_back(FieldValue::Time(fid::kTrdTim1, whole_second));
  f.push_back(FieldValue::String(fid::kTrdXid1, venue));
  f.push_back(FieldValue::Long(fid::kAcVol1, static_cast<int32_t>(std::min<int64_t>(volume_, INT32_MAX))));
  const int irregular = rng_.Chance(0.03) ? kIrregularCodes[rng_.Below(8)] : 0;
  if (irregular != irregular_) f.push_back(FieldValue::Long(fid::kIrgCond, irregular_ = irregular));
  if (!opened_) {
    opened_ = true;
    open_ = high_ = low_ = price;
    f.push_back(Price(fid::kOpenPrc, price));
    f.push_back(Price(fid::kHigh1, price));
    f.push_back(Price(fid::kLow1, price));
  } else if (price > high_) {
    f.push_back(Price(fid::kHigh1, high_ = price));
  } else if (price < low_) {
    f.push_back(Price(fid::kLow1, low_ = price));
  }
  last_ = price;
  if (high_ > Cents(year_.high)) {
    year_.high = high_ / 100.0;
    year_.high_day = day_;
    f.push_back(Price(fid::kHigh52, high_));
    f.push_back(DateField(fid::kHigh52Date, day_));
  }
  if (low_ < Cents(year_.low)) {
    year_.low = low_ / 100.0;
    year_.low_day = day_;
    f.push_back(Price(fid::kLow52, low_));
    f.push_back(DateField(fid::kLow52Date, day_));
  }
  out.push_back(std::move(update));
}

void SymbolDay::ClosingPrint(std::vector<Update>& out, int64_t time_ms) {
  const int size = std::max(100, static_cast<int>(std::lround(shares_per_print_ * 20 / 100)) * 100);
  volume_ += size;
  if (keep_prints_) prints_.push_back({kCloseSecond - 1, close_ / 100.0, size, true});
  Update update{time_ms, Table::kLiveQuote, info_.symbol, {}};
  auto& f = update.fields;
  f.push_back(Price(fid::kTrdPrc1, close_));
  f.push_back(FieldValue::Long(fid::kTrdVol1, size));
  f.push_back(FieldValue::Time(fid::kTrdTim1, kCloseSecond - 1));
  f.push_back(FieldValue::String(fid::kTrdXid1, info_.listing == "NYS" ? "N" : "Q"));
  f.push_back(FieldValue::Long(fid::kAcVol1, static_cast<int32_t>(std::min<int64_t>(volume_, INT32_MAX))));
  if (irregular_ != 0) f.push_back(FieldValue::Long(fid::kIrgCond, irregular_ = 0));
  if (!opened_) {
    opened_ = true;
    open_ = high_ = low_ = close_;
    f.push_back(Price(fid::kOpenPrc, close_));
    f.push_back(Price(fid::kHigh1, close_));
    f.push_back(Price(fid::kLow1, close_));
  }
  if (close_ > high_) f.push_back(Price(fid::kHigh1, high_ = close_));
  if (close_ < low_) f.push_back(Price(fid::kLow1, low_ = close_));
  last_ = close_;
  out.push_back(std::move(update));
}

DailyBar SymbolDay::Bar() const {
  DailyBar bar;
  bar.day = day_;
  bar.open = open_ / 100.0;
  bar.high = high_ / 100.0;
  bar.low = low_ / 100.0;
  bar.close = last_ / 100.0;
  bar.volume = volume_;
  return bar;
}

std::vector<DailyBar> SimulatedHistory(const Universe& universe, size_t index, int64_t day,
                                       const DayFactors& previous_factors,
                                       std::vector<SimulatedPrint>* previous_prints) {
  const int64_t previous_day = PreviousWeekday(day);
  std::vector<DailyBar> history = universe.History(index, day);
  std::vector<DailyBar> before(history.begin(), history.end() - 1);
  const double close_before = history.size() >= 2 ? history[history.size() - 2].close : history.back().open;
  SymbolDay sim(universe, index, previous_day, previous_factors, close_before, RangeOf(before),
                previous_prints != nullptr);
  std::vector<Update> scratch;
  while (sim.NextTime() != INT64_MAX) {
    scratch.clear();
    sim.Step(scratch);
  }
  const DailyBar simulated = sim.Bar();
  // A symbol that never traded in the session (an index before its first print) keeps the model's bar.
  if (simulated.open > 0) {
    DailyBar& last = history.back();
    last.open = simulated.open;
    last.high = std::max(simulated.high, simulated.close);
    last.low = std::min(simulated.low, simulated.close);
    last.volume = simulated.volume;
  }
  if (previous_prints != nullptr) *previous_prints = sim.Prints();
  return history;
}

Market::Market(const Universe& universe, int64_t first_day, int64_t end_ms)
    : universe_(universe), end_ms_(end_ms) {
  StartDay(first_day);
}

std::vector<std::string> Market::Symbols() const {
  std::vector<std::string> symbols;
  for (const SymbolInfo& info : universe_.Symbols()) symbols.push_back(info.symbol);
  return symbols;
}

void Market::StartDay(int64_t day) {
  day_ = day;
  const DayFactors previous_factors(universe_, PreviousWeekday(day));
  factors_ = std::make_unique<DayFactors>(universe_, day);
  symbols_.clear();
  due_ = {};
  step_.clear();
  const size_t count = universe_.Symbols().size();
  for (size_t i = 0; i < count; ++i) {
    const std::vector<DailyBar> history = SimulatedHistory(universe_, i, day, previous_factors);
    auto symbol = std::make_unique<SymbolDay>(universe_, i, day, *factors_, history.back().close,
                                              RangeOf(history), false);
    symbol->Initial(step_, day * kMsPerDay);
    if (symbol->NextTime() != INT64_MAX) due_.push({symbol->NextTime(), i});
    symbols_.push_back(std::move(symbol));
  }
  for (Update& update : step_) pending_.push_back(std::move(update));
  step_.clear();
}

const Update* Market::Peek() {
  while (pending_.empty()) {
    if (due_.empty()) {
      if ((day_ + 1) * kMsPerDay > end_ms_) return nullptr;
      StartDay(day_ + 1);
      continue;
    }
    const auto [time_ms, index] = due_.top();
    if (time_ms > end_ms_) return nullptr;
    due_.pop();
    SymbolDay& symbol = *symbols_[index];
    step_.clear();
    symbol.Step(step_);
    if (symbol.NextTime() != INT64_MAX) due_.push({symbol.NextTime(), index});
    for (Update& update : step_) pending_.push_back(std::move(update));
  }
  if (pending_.front().time_ms > end_ms_) return nullptr;
  return &pending_.front();
}

}  // namespace tarnwell::vendor
