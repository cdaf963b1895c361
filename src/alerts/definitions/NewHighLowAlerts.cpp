#include "alerts/definitions/NewHighLowAlerts.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "framework/Errors.h"
#include "marketdata/FileData.h"
#include "marketdata/VolumeBlocks.h"

namespace tarnwell {
namespace {

/// Where the pre-market alerts stop and the post-market ones start, in the program's clock.
constexpr std::int64_t kExtendedHoursSplitMs = HoursMinutesMs(9, 45);

/// Steps smaller than this, within a minute of the last report, are left out when the symbol has no
/// volatility of its own.
constexpr double kDefaultThreshold = 0.125;

double FilterThreshold(TGenericDataNode& volatility) {
  return volatility.IsValid() ? volatility.GetDouble() / std::sqrt(5.0) : kDefaultThreshold;
}

std::int64_t NowTimeOfDayMs() {
  return TimeOfDayMs(TDataNode::CurrentTime());
}

/// Reports a text with the level's age as quality when the symbol has a level history.
void ReportWithLevel(TAlert& alert, const std::string& text, const TLevelDescription& level) {
  if (level.HasRow) {
    alert.ReportAlert(text + level.Text, level.Days);
  } else {
    alert.ReportAlert(text + level.Text);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------

TL1Alert::TL1Alert(const TParamList& params) {
  Assert(!params.empty(), "Assertion failure");
  symbol_ = params[0].AsString();
  l1_ = Adopt(TGenericL1DataNode::Find(symbol_, TW_METHOD(this, QuoteChanged)));
  auto [volatility, volatilityLink] =
      FindForSymbol("TickVolatility", symbol_, TW_METHOD(this, VolatilityChanged));
  volatility_ = volatility;
  AddAutoLink(volatilityLink);
  // Deferred to the end of construction, where the call reaches the concrete class.
  RunOnDataNodeThread(1, TW_METHOD(this, VolatilityChanged));
}

// ---------------------------------------------------------------------------------------------------------

namespace {
const TParamList& CheckBidAskParams(const TParamList& params) {
  TGenericDataNode::CheckParamCount(params, 3, "Expected params: (Symbol, Up, Bid)");
  return params;
}
}  // namespace

TL1AndNewDayUser::TL1AndNewDayUser(const TParamList& params) : TL1Alert(CheckBidAskParams(params)) {
  up_ = params[1].AsBoolean();
  bid_ = params[2].AsBoolean();
  recent_ = Adopt(TRecentHighLow::Find(Symbol(), up_));
  auto [newDay, newDayLink] = TNewDay::Find(Symbol(), TW_METHOD(this, NewDay));
  AddAutoLink(newDayLink);
  RunOnDataNodeThread(1, TW_METHOD(this, NewDay));
}

double TL1AndNewDayUser::WatchedPrice() const {
  const TL1Data* quote = Quote();
  if (!quote || quote->BidPrice <= 0 || quote->AskPrice <= 0) return 0;
  return bid_ ? quote->BidPrice : quote->AskPrice;
}

bool TL1AndNewDayUser::Beyond(double price, double extreme) const {
  if (price == 0) return false;
  return up_ ? price > extreme : price < extreme;
}

double TL1AndNewDayUser::DayStart() const {
  const double recent = recent_->Value();
  const double price = WatchedPrice();
  if (up_) return std::max(recent, price);
  if (recent == 0) return price;
  if (price == 0) return recent;
  return std::min(recent, price);
}

void TL1AndNewDayUser::Report(double move) {
  // The opening auction moves both sides of the quote wildly: nothing there is a new high worth a line.
  const std::int64_t now = NowTimeOfDayMs();
  if (now >= HoursMinutesMs(6, 29) + 30000 && now <= HoursMinutesMs(6, 31)) return;
  const std::string text = std::string("New ") + (up_ ? "High" : "Low") + " " + (bid_ ? "Bid" : "Ask") +
                           ":  " + FormatPrice(true, move);
  if (WatchedPrice() == 0) {
    ReportAlert(text);
    return;
  }
  const TL1Data& quote = *Quote();
  ReportAlert(text, bid_ ? quote.BidSize : quote.AskSize);
}

void TEveryNewHighLowBidAsk::NewDay() {
  extreme_ = DayStart();
  valid_ = extreme_ > 0;
}

void TEveryNewHighLowBidAsk::QuoteChanged() {
  if (!valid_) {
    NewDay();
    return;
  }
  const double price = WatchedPrice();
  if (!Beyond(price, extreme_)) return;
  if (extreme_ > 0) Report(price - extreme_);
  extreme_ = price;
}

void TFilteredNewHighLowBidAsk::VolatilityChanged() {
  threshold_ = FilterThreshold(*volatility_);
}

void TFilteredNewHighLowBidAsk::NewDay() {
  extreme_ = DayStart();
  lastReported_ = extreme_;
  lastReportTime_ = 0;
  valid_ = extreme_ > 0;
}

void TFilteredNewHighLowBidAsk::QuoteChanged() {
  if (!valid_) {
    NewDay();
    return;
  }
  const double price = WatchedPrice();
  if (!Beyond(price, extreme_)) return;
  const TDateTime now = CurrentTime();
  if (std::abs(price - extreme_) <= threshold_ && now <= lastReportTime_ + kOneMinute) {
    extreme_ = price;
    return;
  }
  if (extreme_ > 0) {
    Report(price - lastReported_);
    lastReported_ = price;
    lastReportTime_ = now;
  }
  extreme_ = price;
}

// ---------------------------------------------------------------------------------------------------------

TPreviousStats::TPreviousStats(const std::string& symbol, bool highs) : symbol_(symbol), highs_(highs) {
  file_ = Adopt(TFileOwnerDataNode::Find(kTcOvernightDataFile, TW_METHOD(this, Load)));
  Load();
}

std::vector<TPreviousStats::TLevel> TPreviousStats::ParseLevels(const std::string& cell) {
  std::vector<TLevel> levels;
  if (cell.empty()) return levels;
  std::vector<double> numbers;
  for (std::size_t at = 0;;) {
    const std::size_t comma = cell.find(',', at);
    const std::optional<double> number = ParseCellDouble(cell.substr(at, comma - at));
    if (!number) return {};
    numbers.push_back(*number);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  if (numbers.size() % 2 != 0) return {};
  for (std::size_t i = 0; i < numbers.size(); i += 2) levels.push_back({numbers[i], numbers[i + 1]});
  return levels;
}

void TPreviousStats::Load() {
  levels_.clear();
  hasRow_ = false;
  beforeHistory_ = 0;
  if (!file_->HasRow(symbol_)) return;
  // Without the date its history starts at, no level's age can be told: the row counts as missing.
  const std::optional<double> earliest = ParseCellDouble(file_->GetCell("EarliestDate", symbol_));
  if (!earliest) return;
  hasRow_ = true;
  beforeHistory_ = *earliest - 1;
  levels_ = ParseLevels(file_->GetCell(highs_ ? "Highs" : "Lows", symbol_));
}

const TPreviousStats::TLevel* TPreviousStats::FindLevel(double x) const {
  if (levels_.empty() || Beyond(x, levels_.back().Price)) return nullptr;
  // The list runs away from the current price: the first level not short of x.
  const auto found = std::partition_point(levels_.begin(), levels_.end(),
                                          [&](const TLevel& level) { return Beyond(x, level.Price); });
  return &*found;
}

TLevelDescription TPreviousStats::DescribeLevel(double x, const std::string& prefix) const {
  TLevelDescription description;
  if (!hasRow_) return description;
  description.HasRow = true;
  const TLevel* level = FindLevel(x);
  const TDateTime date = level ? level->Date : beforeHistory_;
  const double days = std::nearbyint(static_cast<double>(DayOf(TDataNode::CurrentTime())) - date - 1);
  description.Days = static_cast<std::int32_t>(std::clamp(days, -2147483648.0, 2147483647.0));
  if (level) {
    description.Text = prefix + (highs_ ? "Next resistance " : "Next support ") +
                       TAlert::FormatPrice(false, level->Price) + " from " + FormatShortDate(level->Date) +
                       ".";
  }
  return description;
}

TPreviousStats* FindPreviousStats(const std::string& symbol, bool highs, TDataNode& owner) {
  if (highs) {
    auto [node, link] = TDataNodeWithStringKey::FindOrCreate<TPreviousHighs>(symbol);
    owner.AddAutoLink(link);
    return node;
  }
  auto [node, link] = TDataNodeWithStringKey::FindOrCreate<TPreviousLows>(symbol);
  owner.AddAutoLink(link);
  return node;
}

// ---------------------------------------------------------------------------------------------------------

TNewHighLowAlert::TNewHighLowAlert(const TParamList& params, bool high)
    : TL1Alert(params), high_(high), history_(FindPreviousStats(Symbol(), high, *this)) {}

double TNewHighLowAlert::Extreme() const {
  const TL1Data* quote = Quote();
  if (!quote || quote->High <= 0 || quote->Low <= 0) return 0;
  return high_ ? quote->High : quote->Low;
}

void TNewHighLowAlert::ReportLevel(double price, double move) {
  const std::string text = std::string(high_ ? "New High:  " : "New Low:  ") + FormatPrice(true, move) + ".";
  ReportWithLevel(*this, text, history_->DescribeLevel(price, "  "));
}

void TNewHighLowEach::QuoteChanged() {
  const double extreme = Extreme();
  if (extreme == 0) {
    armed_ = false;
    return;
  }
  const double previous = std::exchange(lastExtreme_, extreme);
  if (armed_ && Beyond(extreme, previous)) ReportLevel(extreme, extreme - previous);
  armed_ = true;
}

void TNewHighLowFiltered::VolatilityChanged() {
  threshold_ = FilterThreshold(*volatility_);
}

void TNewHighLowFiltered::QuoteChanged() {
  const double x = Extreme();
  if (x == 0) {
    armed_ = false;
    return;
  }
  if (armed_ && Beyond(x, current_)) {
    const TDateTime now = CurrentTime();
    if (std::abs(x - current_) > threshold_ || now > lastReportTime_ + kOneMinute) {
      ReportLevel(x, x - lastReported_);
      lastReported_ = x;
      lastReportTime_ = now;
    }
  }
  if (!armed_) {
    armed_ = true;
    lastReported_ = x;
  } else if (Beyond(lastReported_, x)) {
    lastReported_ = x;  // the day's extreme moved back (a correction): measure from where it is now
  }
  current_ = x;
}

// ---------------------------------------------------------------------------------------------------------

TNewDailyHighLowLevel::TNewDailyHighLowLevel(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, High)");
  const std::string symbol = params[0].AsString();
  high_ = params[1].AsBoolean();
  recent_ = Adopt(TRecentHighLow::Find(symbol, high_, TW_METHOD(this, Evaluate)));
  history_ = FindPreviousStats(symbol, high_, *this);
  RunOnDataNodeThread(1, TW_METHOD(this, Evaluate));
}

void TNewDailyHighLowLevel::Evaluate() {
  const double extreme = recent_->Value();
  if (extreme == 0) return;
  const TLevelDescription level = history_->DescribeLevel(extreme, "  ");
  if (lastValid_ && level.HasRow && level.Days > lastDays_ && level.Days > firstDays_) {
    ReportAlert((high_ ? "Crossed daily highs resistance." : "Crossed daily lows support.") + level.Text,
                level.Days);
  }
  lastDays_ = level.Days;
  lastValid_ = level.HasRow;
  if (level.HasRow && !firstSet_) {
    firstDays_ = level.Days;
    firstSet_ = true;
  }
}

// ---------------------------------------------------------------------------------------------------------

TExtendedHoursHighLow::TExtendedHoursHighLow(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, High)");
  const std::string symbol = params[0].AsString();
  high_ = params[1].AsBoolean();
  history_ = FindPreviousStats(symbol, high_, *this);
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
}

const TTosData* TExtendedHoursHighLow::ExtendedHoursPrint() const {
  const TTosData* print = tos_->Current();
  if (!print || print->Snapshot || !print->FormT) return nullptr;
  return print;
}

void TPreMarketHighLow::OnPrint() {
  if (NowTimeOfDayMs() > kExtendedHoursSplitMs) {
    extreme_ = 0;
    return;
  }
  const TTosData* print = ExtendedHoursPrint();
  if (!print) return;
  if (extreme_ == 0) {
    extreme_ = print->Price;
    return;
  }
  if (!Beyond(print->Price, extreme_)) return;
  extreme_ = print->Price;
  ReportWithLevel(*this, std::string("New premarket ") + (high_ ? "high" : "low") + ".",
                  history_->DescribeLevel(print->Price, "  "));
}

TPostMarketHighLow::TPostMarketHighLow(const TParamList& params) : TExtendedHoursHighLow(params) {
  l1_ = Adopt(TGenericL1DataNode::Find(params[0].AsString()));
}

void TPostMarketHighLow::OnPrint() {
  if (NowTimeOfDayMs() < kExtendedHoursSplitMs) {
    extreme_ = 0;
    return;
  }
  const TTosData* print = ExtendedHoursPrint();
  if (!print) return;
  const double price = print->Price;
  if (extreme_ == 0) {
    extreme_ = price;
    return;
  }
  if (!Beyond(price, extreme_)) return;
  extreme_ = price;
  std::string extra;
  bool withQuality = false;
  double quality = 0;
  const TL1Data* quote = l1_->Current();
  if (quote && quote->High > 0 && quote->Low > 0) {
    withQuality = true;
    if (Beyond(price, high_ ? quote->High : quote->Low)) {
      quality = 1;
    } else {
      extra = std::string("  Approaching today's ") + (high_ ? "high" : "low") + ".";
    }
  }
  if (withQuality && quality > 0) {
    // Past the day's own extreme: how far back in history the price reaches is the news.
    const TLevelDescription level = history_->DescribeLevel(price, "  ");
    extra = level.Text;
    withQuality = level.HasRow;
    if (level.HasRow) quality = level.Days + 1;
  }
  const std::string text = std::string("New postmarket ") + (high_ ? "high" : "low") + "." + extra;
  if (withQuality) {
    ReportAlert(text, quality);
  } else {
    ReportAlert(text);
  }
}

// ---------------------------------------------------------------------------------------------------------

void RegisterNewHighLowAlerts() {
  RegisterClass<TEveryNewHighLowBidAsk>("NewHighAsk", true, false);
  RegisterClass<TEveryNewHighLowBidAsk>("NewLowBid", false, true);
  RegisterClass<TFilteredNewHighLowBidAsk>("NewHighAskFiltered", true, false);
  RegisterClass<TFilteredNewHighLowBidAsk>("NewLowBidFiltered", false, true);
  RegisterClass<TFilteredNewHighLowBidAsk>("NewHighBidFiltered", true, true);
  RegisterClass<TFilteredNewHighLowBidAsk>("NewLowAskFiltered", false, false);
  RegisterClass<TNewHigh>("NewHigh");
  RegisterClass<TNewLow>("NewLow");
  RegisterClass<TNewHighFiltered>("NewHighFiltered");
  RegisterClass<TNewLowFiltered>("NewLowFiltered");
  RegisterClass<TNewDailyHighLowLevel>("CrossedDailyHighsResistance", true);
  RegisterClass<TNewDailyHighLowLevel>("CrossedDailyLowsSupport", false);
  RegisterClass<TPreMarketHighLow>("PreMarketHigh", true);
  RegisterClass<TPreMarketHighLow>("PreMarketLow", false);
  RegisterClass<TPostMarketHighLow>("PostMarketHigh", true);
  RegisterClass<TPostMarketHighLow>("PostMarketLow", false);
}

}  // namespace tarnwell
