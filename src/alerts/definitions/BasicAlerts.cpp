#include "alerts/definitions/BasicAlerts.h"

#include <algorithm>
#include <bitset>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <optional>

#include "framework/Errors.h"
#include "marketdata/FileData.h"
#include "marketdata/VolumeBlocks.h"
#include "marketdata/vendor/VendorField.h"

namespace tarnwell {
namespace {

constexpr std::int64_t kDayMs = 86400000;
constexpr std::int64_t kSlotMs = 15 * 60000;
constexpr int kLastSlot = 27;

std::string Format(const char* format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

/// The quote when the node holds one, else null.
const TL1Data* QuoteOf(TGenericL1DataNode* node) {
  return node ? node->Current() : nullptr;
}
const TTosData* PrintOf(TGenericTosDataNode* node) {
  return node ? node->Current() : nullptr;
}

bool AllAboveZero(const TL1Data& quote) {
  return quote.High > 0 && quote.Low > 0 && quote.Open > 0 && quote.PrevClose > 0;
}

/// trunc(value), or nothing when it is not a number an integer can hold.
std::optional<std::int32_t> TruncatedLevel(double value) {
  if (!std::isfinite(value) || value >= 2147483647.0 || value <= -2147483648.0) return std::nullopt;
  return static_cast<std::int32_t>(std::trunc(value));
}

int Sign(double value) {
  return (value > 0) - (value < 0);
}

/// The slot holding the start of a span: the ceiling of the quarter hours since 06:30.
int StartSlot(TDateTime time) {
  const std::int64_t ms = TimeOfDayMs(time) - HoursMinutesMs(6, 30);
  if (ms < 0) return 0;
  return static_cast<int>(std::min<std::int64_t>((ms + kSlotMs - 1) / kSlotMs, kLastSlot));
}

/// The slot holding the end of a span: the floor of the quarter hours since 06:30, plus one.
int EndSlot(TDateTime time) {
  const std::int64_t ms = TimeOfDayMs(time) - HoursMinutesMs(6, 30);
  if (ms < 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(ms / kSlotMs + 1, kLastSlot));
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------

THighVolume::THighVolume(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  const std::string symbol = params[0].AsString();
  bars_ = Adopt(TNormalVolumeBreakBars::Find(symbol, TW_METHOD(this, OnBlocks)));
  auto [averages, averagesLink] = TAverageHistoricalData::Find(symbol);
  averages_ = averages;
  AddAutoLink(averagesLink);
}

void THighVolume::OnBlocks() {
  const TVolumeBlocks& blocks = bars_->GetBlocks();
  if (blocks.empty()) return;
  const TDateTime start = blocks.back().StartTime;
  const TDateTime end = blocks.back().EndTime;
  const double span = end - start;
  if (span == 0) {
    ReportAlert("High instantaneous volume.", 100);
    return;
  }

  std::bitset<kLastSlot + 1> slots;
  const int startSlot = StartSlot(start), endSlot = EndSlot(end);
  if (span > 1) {
    slots.set();
  } else if (DayOf(start) == DayOf(end)) {
    for (int s = startSlot; s <= endSlot; ++s) slots.set(s);
  } else {
    for (int s = 0; s <= endSlot; ++s) slots.set(s);
    for (int s = startSlot; s <= kLastSlot; ++s) slots.set(s);
  }
  // Outside the session the averages are too thin to judge a pace by: the nearest session slot stands in.
  if (slots.test(0)) slots.reset(0).set(1);
  if (slots.test(kLastSlot)) slots.reset(kLastSlot).set(kLastSlot - 1);
  if (slots.none()) return;

  std::int32_t average = 0;
  for (int s = 1; s < kLastSlot; ++s) {
    if (slots.test(s)) average = std::max(average, averages_->PeriodVolume(s));
  }
  const double slotDays = 15.0 / 1440.0;
  const double blockSize = bars_->CurrentBreak();
  const double expected = std::nearbyint(average * 1.5 * span / slotDays);
  if (expected >= blockSize) return;
  const char* strength = 2 * expected < blockSize ? "Very high" : "High";
  double quality = 100;
  if (average != 0) quality = std::min(100.0, (blockSize / span) / (average / slotDays));
  ReportAlert(std::string(strength) + " relative volume during the last " +
                  DescribeTimeSpan(CurrentTime(), start) + ".",
              quality);
}

// ---------------------------------------------------------------------------------------------------------

namespace {
std::string GapReversalText(const TL1Data& quote, double continuation) {
  const std::string gap = TAlert::FormatPrice(true, quote.Open - quote.PrevClose);
  const std::string kept = continuation > 0 ? TAlert::FormatPrice(false, continuation) : "No";
  return "Gap reversal, Gap=" + gap + ", " + kept + " gap continuation.";
}
}  // namespace

TGapAlert::TGapAlert(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  auto [l1, link] = TGenericL1DataNode::Find(params[0].AsString(), TW_METHOD(this, Evaluate));
  l1_ = l1;
  AddAutoLink(link);
}

TGapRetracementArc::TGapRetracementArc(const TParamList& params) : TGapAlert(params) {
  volatility_ = Adopt(FindForSymbol("TickVolatility", params[0].AsString(), TW_METHOD(this, Evaluate)));
}

void TGapDownReversal::Evaluate() {
  const TL1Data* quote = QuoteOf(l1_);
  if (!quote || !AllAboveZero(*quote) || quote->PrevClose <= quote->Open) {
    armed_ = false;
    return;
  }
  if (quote->High > quote->PrevClose && armed_) {
    armed_ = false;
    ReportAlert(GapReversalText(*quote, quote->Open - quote->Low), quote->PrevClose - quote->Low);
    return;
  }
  if (quote->High < quote->PrevClose) armed_ = true;
}

void TGapUpReversal::Evaluate() {
  const TL1Data* quote = QuoteOf(l1_);
  if (!quote || !AllAboveZero(*quote) || quote->Open <= quote->PrevClose) {
    armed_ = false;
    return;
  }
  if (quote->Low < quote->PrevClose && armed_) {
    armed_ = false;
    ReportAlert(GapReversalText(*quote, quote->High - quote->Open), quote->High - quote->PrevClose);
    return;
  }
  if (quote->Low > quote->PrevClose) armed_ = true;
}

// ---------------------------------------------------------------------------------------------------------

TBlockPrint::TBlockPrint(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  const std::string symbol = params[0].AsString();
  if (IsIndexSymbol(symbol)) return;  // an index has no prints of its own
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
  l1_ = Adopt(TGenericL1DataNode::Find(symbol));
  averageVolume_ = Adopt(FindForSymbol("ADVol", symbol, TW_METHOD(this, ComputeThreshold)));
  RunOnDataNodeThread(1, TW_METHOD(this, ComputeThreshold));
}

void TBlockPrint::ComputeThreshold() {
  const bool thin = averageVolume_->IsValid() && averageVolume_->GetInteger() <= 1000000;
  threshold_ = thin ? 5000 : 20000;
}

void TBlockPrint::OnPrint() {
  const TTosData* print = PrintOf(tos_);
  if (!print || print->Snapshot || print->Size < threshold_) return;
  std::string text = "Block trade.";
  const TL1Data* quote = QuoteOf(l1_);
  const double price = print->Price;
  if (quote && quote->BidPrice > 0 && quote->AskPrice > 0 && price > 0) {
    const double bid = quote->BidPrice, ask = quote->AskPrice;
    if (bid > price && ask > price) {
      text += "  Trading below.";
    } else if (bid < price && ask < price) {
      text += "  Trading above.";
    } else if (bid < ask) {
      if (price == bid) {
        text += "  At the bid.";
      } else if (ask > price) {
        text += "  Trading between.";
      } else if (price == ask) {
        text += "  At the ask.";
      }
    }
  }
  if (!print->Exchange.empty()) text += "  (" + ExchangeLongName(print->Exchange) + ")";
  ReportAlert(text, print->Size);
}

// ---------------------------------------------------------------------------------------------------------

void TGapRetracementArcUp::Evaluate() {
  const TL1Data* quote = QuoteOf(l1_);
  if (!quote || !volatility_->IsValid() || !AllAboveZero(*quote)) {
    armed_ = false;
    return;
  }
  const double v = volatility_->GetDouble();
  if (quote->Open <= quote->PrevClose + v) {
    armed_ = false;
    return;
  }
  if (quote->High > quote->Open + v && quote->PrevClose < quote->Low && quote->Low < quote->Open && armed_) {
    armed_ = false;
    const double closure = (quote->Open - quote->Low) / (quote->Open - quote->PrevClose) * 100;
    ReportAlert(Format("Crossed above open after %.2f%% gap closure.", closure), closure);
    return;
  }
  armed_ = quote->High <= quote->Open + v;
}

void TGapRetracementArcDown::Evaluate() {
  const TL1Data* quote = QuoteOf(l1_);
  if (!quote || !AllAboveZero(*quote)) {
    armed_ = false;
    return;
  }
  // Unlike the upward arc, a symbol without a volatility is judged with a volatility of 0.
  const double v = volatility_->GetDouble();
  if (quote->PrevClose <= quote->Open + v) {
    armed_ = false;
    return;
  }
  if (quote->Low < quote->Open - v && quote->Open < quote->High && quote->High < quote->PrevClose && armed_) {
    armed_ = false;
    const double closure = (quote->High - quote->Open) / (quote->PrevClose - quote->Open) * 100;
    ReportAlert(Format("Crossed below open after %.2f%% gap closure.", closure), closure);
    return;
  }
  armed_ = quote->Low >= quote->Open - v;
}

// ---------------------------------------------------------------------------------------------------------

IntraDayHighLow::IntraDayHighLow(const TParamList& params) {
  CheckParamCount(params, 3, "Expected params: (Symbol, Highs, Minutes)");
  highs_ = params[1].AsBoolean();
  minutes_ = params[2].AsInteger();
  Assert(minutes_ > 0, "Expected params: (Symbol, Highs, Minutes)");
  description_ = Format("New %d minute %s.", minutes_, highs_ ? "high" : "low");
  tos_ = Adopt(TGenericTosDataNode::Find(params[0].AsString(), TW_METHOD(this, OnPrint)));
}

std::int64_t IntraDayHighLow::PeriodOfTime(TDateTime time) const {
  // Periods count from midnight; numbering them across days as well keeps the last period of one day apart
  // from the same period of the next.
  const std::int64_t periodMs = std::int64_t{minutes_} * 60000;
  return DayOf(time) * (kDayMs / periodMs + (kDayMs % periodMs != 0)) + TimeOfDayMs(time) / periodMs;
}

void IntraDayHighLow::OnPrint() {
  const TTosData* print = PrintOf(tos_);
  if (!print) {
    currentValid_ = false;
    return;
  }
  if (print->Snapshot) return;
  if (lastPrintTime_ != 0 && PeriodOfTime(lastPrintTime_) != PeriodOfTime(print->Time)) {
    previous_ = current_;
    previousValid_ = currentValid_;
    current_ = print->Price;
    currentValid_ = true;
    reported_ = false;
  } else if (currentValid_ && Beyond(print->Price, current_)) {
    current_ = print->Price;
  }
  if (previousValid_ && !reported_ && Beyond(print->Price, previous_)) {
    ReportAlert(description_);
    reported_ = true;
  }
  lastPrintTime_ = print->Time;
}

// ---------------------------------------------------------------------------------------------------------

TLargeBidOrAsk::TLargeBidOrAsk(const TParamList& params) {
  CheckParamCount(params, 2, "Expected args: Symbol, BidSide)");
  const std::string symbol = params[0].AsString();
  bidSide_ = params[1].AsBoolean();
  if (IsIndexSymbol(symbol) || IsSlashSymbol(symbol)) return;
  const std::int32_t average = AverageDailyVolumeOf(symbol);
  if (average <= 0 || average > 3000000) return;  // unknown, or so liquid that no size stands out
  threshold_ = average <= 1000000 ? 6000 : 10000;
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, OnQuote)));
}

void TLargeBidOrAsk::OnQuote() {
  const TL1Data* quote = QuoteOf(l1_);
  const double price = quote ? (bidSide_ ? quote->BidPrice : quote->AskPrice) : 0;
  const std::int32_t size = quote ? (bidSide_ ? quote->BidSize : quote->AskSize) : 0;
  const TDateTime now = CurrentTime();

  if (!quote || price <= 0 || size <= 0) {
    if (phase_ == phLarge) phase_ = phGoneAfterLarge;
    if (phase_ == phSmall) phase_ = phGoneAfterSmall;
    return;
  }
  if (size < threshold_) {
    if (phase_ == phLarge || phase_ == phGoneAfterLarge) smallSince_ = now;
    phase_ = phSmall;
    return;
  }

  const char* base = bidSide_ ? "Large Bid Size" : "Large Ask Size";
  const bool afterSmall = phase_ == phStart || phase_ == phGoneAfterSmall || phase_ == phSmall;
  if (afterSmall && MsOf(now) - MsOf(smallSince_) > 180000) {
    // A large size already showing when watching starts is not news, but it is the level that later
    // growth and moves are measured from.
    if (phase_ != phStart) ReportAlert(base, size);
    lowPrice_ = highPrice_ = price;
    maxSize_ = size;
    reports_ = 1;
  } else if (reports_ < 5 && (price < lowPrice_ || price > highPrice_ || size > maxSize_)) {
    ++reports_;
    std::string text = base;
    if (size > maxSize_) {
      maxSize_ = size;
      text += " (Size increasing)";
    }
    if (price < lowPrice_) {
      lowPrice_ = price;
      text += " (Price dropping)";
    } else if (price > highPrice_) {
      highPrice_ = price;
      text += " (Price rising)";
    }
    ReportAlert(text, size);
  }
  phase_ = phLarge;
}

// ---------------------------------------------------------------------------------------------------------

TPercentChangeForTheDay::TPercentChangeForTheDay(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Up)");
  up_ = params[1].AsBoolean();
  l1_ = Adopt(TGenericL1DataNode::Find(params[0].AsString(), TW_METHOD(this, OnQuote)));
}

void TPercentChangeForTheDay::OnQuote() {
  const std::int64_t today = DayOf(CurrentTime());
  if (today != day_) {
    day_ = today;
    best_ = up_ ? 0 : DBL_MAX;
    lastLevel_ = 0;
  }
  bool valid = false;
  const TL1Data* quote = QuoteOf(l1_);
  const double extreme = quote ? (up_ ? quote->High : quote->Low) : 0;
  if (quote && extreme > 0 && quote->PrevClose > 0) {
    valid = true;
    const int s = up_ ? Sign(extreme - best_) : Sign(best_ - extreme);
    if (s != 0) {
      best_ = extreme;
      const double move = up_ ? quote->High - quote->PrevClose : quote->PrevClose - quote->Low;
      const std::int32_t level = std::max(0, TruncatedLevel(move / quote->PrevClose * 100).value_or(0));
      if (s < 0) {
        lastLevel_ = level;
      } else if (level > lastLevel_ && level > 2) {
        if (wasValid_) ReportAlert(Format("%s %d%% for the day.", up_ ? "Up" : "Down", level), level);
        lastLevel_ = level;
      }
    }
  }
  wasValid_ = valid;
}

// ---------------------------------------------------------------------------------------------------------

TStrongVolume::TStrongVolume(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  const std::string symbol = params[0].AsString();
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
  averageVolume_ = Adopt(FindForSymbol("ADVol", symbol, TW_METHOD(this, Refresh)));
  RunOnDataNodeThread(1, TW_METHOD(this, Refresh));
}

void TStrongVolume::Refresh() {
  averageDailyVolume_ = averageVolume_->IsValid() ? averageVolume_->GetInteger() : 0;
  enabled_ = averageDailyVolume_ > 0;
  armed_ = false;
}

void TStrongVolume::OnPrint() {
  if (!enabled_) return;
  // A snapshot restates the day's volume too, which is all this alert reads.
  const TTosData* print = PrintOf(tos_);
  const std::int32_t total = print ? print->TotalVolume : 0;
  if (total <= 0) {
    armed_ = false;
    return;
  }
  const std::int32_t ratio = total / averageDailyVolume_;
  if (ratio > lastRatio_ && ratio > 0 && armed_) {
    ReportAlert(Format("Currently at %d x average daily volume.", ratio), ratio);
  }
  lastRatio_ = ratio;
  armed_ = true;
}

// ---------------------------------------------------------------------------------------------------------

TOpeningRangeBreak::TOpeningRangeBreak(const TParamList& params) : resetTime_(clock::Now()) {
  CheckParamCount(params, 3, "Expected params: (Symbol, Up, Minutes)");
  const std::string symbol = params[0].AsString();
  up_ = params[1].AsBoolean();
  minutes_ = params[2].AsInteger();
  description_ = Format("Opening range break%s. (%d minutes)", up_ ? "out" : "down", minutes_);
  if (IsSlashSymbol(symbol)) return;
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
  if (IsIndexSymbol(symbol)) {
    exchange_ = ekIndex;
    return;
  }
  auto [fundamental, fundamentalLink] =
      TGenericFundamentalDataNode::Find(symbol, TW_METHOD(this, OnFundamental));
  fundamental_ = fundamental;
  AddAutoLink(fundamentalLink);
  // Fundamentals arrive about once a day, usually before the alert exists: read what is already there.
  RunOnDataNodeThread(1, TW_METHOD(this, OnFundamental));
}

void TOpeningRangeBreak::OnFundamental() {
  const TFundamentalData* data = fundamental_->Current();
  const std::string listed = data ? data->ListedExchange : std::string();
  if (listed.empty()) {
    exchange_ = ekNone;
  } else if (listed == "NASD") {
    exchange_ = ekNasdaq;
  } else if (listed == "NYSE") {
    exchange_ = ekNyse;
  } else if (listed == "$NDX") {
    exchange_ = ekIndex;
  } else {
    exchange_ = ekOther;
  }
}

void TOpeningRangeBreak::OnPrint() {
  const TTosData* print = PrintOf(tos_);
  if (!print || print->FormT || print->Snapshot) return;
  const std::int64_t printMs = MsOf(print->Time);
  if (printMs <= DayOf(CurrentTime()) * kDayMs) return;  // yesterday's print, or no time at all

  bool opening = true;
  if (exchange_ == ekNyse) opening = print->Exchange == "NYSE";
  if (exchange_ == ekIndex) opening = TimeOfDayMs(print->Time) > HoursMinutesMs(6, 30);

  if (DayOf(print->Time) * kDayMs > MsOf(resetTime_)) {
    resetTime_ = print->Time;
    stage_ = 0;
  }
  if (stage_ == 0 && opening) {
    rangeEnd_ = print->Time + minutes_ * kOneMinute;
    extreme_ = print->Price;
    stage_ = 1;
  }
  if (stage_ != 1) return;
  const std::int64_t sinceRangeEnd = printMs - MsOf(rangeEnd_);
  if (sinceRangeEnd <= 0) {
    extreme_ = up_ ? std::max(extreme_, print->Price) : std::min(extreme_, print->Price);
    return;
  }
  if (up_ ? print->Price > extreme_ : print->Price < extreme_) {
    stage_ = 2;
    // A break within a minute of the range's end is the range still settling: it ends the day unreported.
    if (sinceRangeEnd > 60000) ReportAlert(description_);
  }
}

// ---------------------------------------------------------------------------------------------------------

TBrightBands::TBrightBands(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Up)");
  const std::string symbol = params[0].AsString();
  up_ = params[1].AsBoolean();
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, Evaluate)));
  auto [volatility, volatilityLink] =
      FindForSymbol("BrightVolatility", symbol, TW_METHOD(this, VolatilityChanged));
  volatility_ = volatility;
  AddAutoLink(volatilityLink);
  RunOnDataNodeThread(1, TW_METHOD(this, VolatilityChanged));
}

void TBrightBands::VolatilityChanged() {
  const double volatility = volatility_->IsValid() ? volatility_->GetDouble() : 0;
  if (volatility == volatilityValue_) return;
  volatilityValue_ = volatility;
  Reset();
  Evaluate();
}

void TBrightBands::Reset() {
  best_ = up_ ? 0 : DBL_MAX;
  lastLevel_ = 0;
  wasValid_ = false;
}

void TBrightBands::Evaluate() {
  const std::int64_t today = DayOf(CurrentTime());
  if (today != day_) {
    day_ = today;
    Reset();
  }
  bool valid = false;
  const TL1Data* quote = QuoteOf(l1_);
  const double extreme = quote ? (up_ ? quote->High : quote->Low) : 0;
  if (volatilityValue_ > 0 && quote && extreme > 0 && quote->PrevClose > 0) {
    valid = true;
    const int s = up_ ? Sign(extreme - best_) : Sign(best_ - extreme);
    if (s != 0) {
      best_ = extreme;
      const double move = up_ ? extreme - quote->PrevClose : quote->PrevClose - extreme;
      // A move too large for a level is an arithmetic failure: the level stays where it was.
      if (std::optional<std::int32_t> raw = TruncatedLevel(move / volatilityValue_ / quote->PrevClose)) {
        const std::int32_t level = std::max(0, *raw);
        if (s < 0) {
          lastLevel_ = level;
        } else if (level > lastLevel_ && level >= 1) {
          if (wasValid_) {
            ReportAlert(Format("%s %d standard deviation%s for the day.", up_ ? "Up" : "Down", level,
                               level > 1 ? "s" : ""),
                        level);
          }
          lastLevel_ = level;
        }
      }
    }
  }
  wasValid_ = valid;
}

// ---------------------------------------------------------------------------------------------------------

void RegisterBasicAlerts() {
  RegisterClass<THighVolume>("HighRelativeVolume");
  RegisterClass<TGapDownReversal>("GapDownReversal");
  RegisterClass<TGapUpReversal>("GapUpReversal");
  RegisterClass<TBlockPrint>("BlockPrint");
  RegisterClass<TGapRetracementArcUp>("GapRetracementArcUp");
  RegisterClass<TGapRetracementArcDown>("GapRetracementArcDown");
  for (int minutes : {1, 5, 10, 15, 30, 60}) {
    const std::string stem = std::to_string(minutes) + "Min";
    RegisterClass<IntraDayHighLow>(stem + "High", true, minutes);
    RegisterClass<IntraDayHighLow>(stem + "Low", false, minutes);
  }
  RegisterClass<TLargeBidOrAsk>("LargeBidSize", true);
  RegisterClass<TLargeBidOrAsk>("LargeAskSize", false);
  RegisterClass<TPercentChangeForTheDay>("PercentUpForDay", true);
  RegisterClass<TPercentChangeForTheDay>("PercentDownForDay", false);
  RegisterClass<TStrongVolume>("StrongVolume");
  for (int minutes : {1, 5, 10, 15, 30, 60}) {
    RegisterClass<TOpeningRangeBreak>("OpeningRangeBreakout" + std::to_string(minutes), true, minutes);
    RegisterClass<TOpeningRangeBreak>("OpeningRangeBreakdown" + std::to_string(minutes), false, minutes);
  }
  RegisterClass<TBrightBands>("BrightBandsUp", true);
  RegisterClass<TBrightBands>("BrightBandsDown", false);
}

}  // namespace tarnwell
