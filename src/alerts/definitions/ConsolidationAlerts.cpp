#include "alerts/definitions/ConsolidationAlerts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarnwell {

namespace {
constexpr double kMinVolatility = 0.001;
constexpr std::int32_t kMinChannelBlocks = 7;
/// A run or a break counts from this speed on (quality 1); " briskly" from kBrisk (quality 5).
constexpr double kFast = 1.25;
constexpr double kBrisk = 1.75;

double RunQuality(double speed) {
  return 8 * speed - 9;
}
}  // namespace

double ChannelSpeed(std::int32_t blocks, double older, double newer, double tickVolatility) {
  const double speed = (newer - older) / std::sqrt(static_cast<double>(blocks)) / tickVolatility;
  return std::isfinite(speed) ? speed : 0;
}

void ComputeChannel(const TVolumeBlocks& blocks, double tickVolatility, std::int32_t blockVolume,
                    TDateTime now, TChannelState& state) {
  state.Valid = state.HasRange = false;
  const auto n = static_cast<std::int32_t>(blocks.size());
  if (tickVolatility < kMinVolatility || n < kMinChannelBlocks) return;
  double hiMax = -std::numeric_limits<double>::infinity(), loMin = std::numeric_limits<double>::infinity();
  double bestRatio = std::numeric_limits<double>::infinity(), bestHi = 0, bestLo = 0;
  std::int32_t bestK = 0;
  for (std::int32_t k = 1; k <= n; ++k) {
    const TVolumeBlock& block = blocks[n - k];
    hiMax = std::max(hiMax, block.Upper);
    loMin = std::min(loMin, block.Lower);
    if (k < kMinChannelBlocks) continue;
    const double ratio = (hiMax - loMin) / std::sqrt(static_cast<double>(k)) / tickVolatility;
    if (ratio < bestRatio) {  // on a tie the shorter channel stays
      bestRatio = ratio;
      bestK = k;
      bestHi = hiMax;
      bestLo = loMin;
    }
  }
  if (bestK == 0 || 10 - 20 * bestRatio < 2) return;
  state.Valid = true;
  state.Score = 10 - 20 * bestRatio;
  state.Top = bestHi;
  state.Bottom = bestLo;
  state.HasRange = bestHi > bestLo;
  state.StartTime = blocks[n - bestK].StartTime;
  state.ComputedAt = now;
  state.Shares = blockVolume * bestK;
  state.Blocks = bestK;
}

std::int32_t ConsolidationCountdown(std::int32_t blocks) {
  std::int32_t log = 0;
  while ((std::int64_t{1} << log) < blocks) ++log;  // ⌈log2(blocks)⌉
  return std::max(log - 3, 0);
}

// --- The channel -------------------------------------------------------------------------------------------

TChannel::TChannel(const std::string& symbol) {
  bars_ = Adopt(TNormalVolumeBreakBars::Find(symbol, TW_METHOD(this, OnBlocks)));
  volatility_ = Adopt(FindForSymbol("TickVolatility", symbol));
}

std::optional<double> TChannel::Volatility() const {
  if (!volatility_->IsValid()) return std::nullopt;
  const double value = volatility_->GetDouble();
  if (value < kMinVolatility) return std::nullopt;
  return value;
}

void TChannel::OnBlocks() {
  beforePrevious_ = previous_;
  previous_ = current_;
  const std::optional<double> volatility = Volatility();
  if (volatility) {
    ComputeChannel(bars_->GetBlocks(), *volatility, bars_->CurrentBreak(), CurrentTime(), current_);
  } else {
    current_.Valid = current_.HasRange = false;
  }
  NotifyListeners();
}

// --- Consolidation -----------------------------------------------------------------------------------------

TConsolidation::TConsolidation(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  channel_ = Adopt(TChannel::Find(params[0].AsString(), TW_METHOD(this, OnChannel)));
}

void TConsolidation::OnChannel() {
  const TChannelState& current = channel_->Current();
  if (!current.Valid) {
    countdown_ = 0;
    lastReported_.Valid = false;
    return;
  }
  if (countdown_ > 0) {
    --countdown_;
    return;
  }
  std::string text = current.Score >= 5 ? "Strong consolidation" : "Consolidation";
  if (lastReported_.Valid) text += current.Score >= lastReported_.Score ? " (Improving)" : " (Decaying)";
  text += ".  $" + FormatPrice(false, current.Bottom) + "-" + FormatPrice(false, current.Top) +
          ".  Shares:  " + FormatWhole(current.Shares) +
          ".  Time:  " + DescribeTimeSpan(current.ComputedAt, current.StartTime) + ".";
  ReportAlert(text, current.Score);
  lastReported_ = current;
  countdown_ = ConsolidationCountdown(current.Blocks);
}

// --- Confirmed runs and breakouts --------------------------------------------------------------------------

TRunningConfirmed::TRunningConfirmed(const TParamList& params) {
  CheckParamCount(params, 3, "Expected params: (Symbol, Up, BreakoutRequired)");
  up_ = params[1].AsBoolean();
  breakoutRequired_ = params[2].AsBoolean();
  channel_ = Adopt(TChannel::Find(params[0].AsString(), TW_METHOD(this, OnChannel)));
}

bool TRunningConfirmed::IsNewRun(const std::vector<std::pair<std::int32_t, double>>& reported, std::int32_t j,
                                 double r) {
  for (auto entry = reported.rbegin(); entry != reported.rend() && entry->first >= j; ++entry) {
    if (entry->second >= r) return false;
  }
  return true;
}

double TRunningConfirmed::Speed(const TVolumeBlocks& blocks, std::size_t older, std::size_t newer,
                                double volatility) const {
  const auto n = static_cast<std::int32_t>(newer - older);
  auto speed = [&](double from, double to) {
    return up_ ? ChannelSpeed(n, from, to, volatility) : ChannelSpeed(n, to, from, volatility);
  };
  return std::min(speed(blocks[older].Upper, blocks[newer].Upper),
                  speed(blocks[older].Lower, blocks[newer].Lower));
}

void TRunningConfirmed::OnChannel() {
  const bool wasBroken = std::exchange(justBrokeOut_, false);
  const std::optional<double> volatility = channel_->Volatility();
  const TVolumeBlocks& blocks = channel_->Bars().GetBlocks();
  if (!volatility || blocks.size() < 2) return;
  const std::size_t a = blocks.size() - 1;
  if (!wasBroken) {
    if (channel_->Current().Valid) return;  // still in the channel
    std::optional<double> r;
    if (channel_->Previous().Valid) {
      r = Speed(blocks, a - 1, a, *volatility);  // the channel ended with this block
    } else if (channel_->BeforePrevious().Valid && a >= 2) {
      r = Speed(blocks, a - 2, a, *volatility);  // it ended with the block before
    }
    if (r && *r > kFast) {
      if (breakoutRequired_) {
        const TChannelState& ended = channel_->Previous();
        ReportAlert(std::string("Channel break") + (up_ ? "out" : "down") + " from $" +
                        FormatPrice(false, ended.Bottom) + "-" + FormatPrice(false, ended.Top) + ", " +
                        DescribeTimeSpan(CurrentTime(), ended.StartTime) + ".",
                    RunQuality(*r));
      }
      justBrokeOut_ = true;
      return;
    }
  }
  if (breakoutRequired_) return;

  double best = 0;
  std::size_t start = 0;
  for (std::size_t j = a; j-- > 0;) {
    const bool beyond = up_ ? blocks[a].Upper > blocks[j].Upper && blocks[a].Lower > blocks[j].Lower
                            : blocks[a].Upper < blocks[j].Upper && blocks[a].Lower < blocks[j].Lower;
    if (!beyond) break;
    const double r = Speed(blocks, j, a, *volatility);
    if (r > best && IsNewRun(reported_, static_cast<std::int32_t>(j), r)) {
      best = r;
      start = j;
    }
  }
  if (best <= kFast) return;
  const double move = up_ ? blocks[a].Upper - blocks[start].Lower : blocks[a].Lower - blocks[start].Upper;
  ReportAlert(std::string(up_ ? "Running up" : "Running down") + (best >= kBrisk ? " briskly" : "") + ":  " +
                  FormatPrice(true, move) + " in " +
                  DescribeTimeSpan(blocks[a].EndTime, blocks[start].StartTime) + ".  Confirmed by volume.",
              RunQuality(best));
  while (!reported_.empty() && reported_.back().second <= best) reported_.pop_back();
  reported_.emplace_back(static_cast<std::int32_t>(a) - 1, best);
}

// --- Channel breaks on the quote ---------------------------------------------------------------------------

TChannelBreak::TChannelBreak(const TParamList& params, bool up) : up_(up) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  const std::string symbol = params[0].AsString();
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, OnQuote)));
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
  channel_ = Adopt(TChannel::Find(symbol, TW_METHOD(this, OnChannel)));
}

const TL1Data* TChannelBreak::Quote() const {
  const TL1Data* quote = l1_->Current();
  if (!quote || quote->BidPrice == 0 || quote->AskPrice == 0 || quote->BidPrice >= quote->AskPrice)
    return nullptr;
  return quote;
}

void TChannelBreak::OnChannel() {
  lastReportTime_ = 0;
  const TChannelState& current = channel_->Current();
  if (!current.HasRange) {
    haveChannel_ = false;
    return;
  }
  haveChannel_ = true;
  const TChannelState& previous = channel_->Previous();
  const double edge = up_ ? current.Top : current.Bottom;
  const double previousEdge = up_ ? previous.Top : previous.Bottom;
  // A channel that just narrowed still has to get past where the wider one ended.
  breakLevel_ =
      !previous.HasRange ? edge : (up_ ? std::max(edge, previousEdge) : std::min(edge, previousEdge));
  armed_ = true;
  OnQuote();
}

void TChannelBreak::OnQuote() {
  if (!armed_ || !haveChannel_) return;
  const TL1Data* quote = Quote();
  if (!quote || !Beyond(up_ ? quote->BidPrice : quote->AskPrice, breakLevel_)) return;
  const TDateTime now = CurrentTime();
  if (lastReportTime_ == 0 || lastReportTime_ < now - kOneMinute) {
    const TChannelState& current = channel_->Current();
    ReportAlert(std::string("Channel break") + (up_ ? "out" : "down") + " from $" +
                    FormatPrice(false, current.Bottom) + "-" + FormatPrice(false, current.Top) + ", " +
                    DescribeTimeSpan(now, current.StartTime) + ".",
                current.Score);
  }
  lastReportTime_ = now;
  armed_ = false;
}

void TChannelBreak::OnPrint() {
  if (armed_ || !haveChannel_) return;
  const TL1Data* quote = Quote();
  const TTosData* print = tos_->Current();
  if (!quote || !print) return;
  const TChannelState& current = channel_->Current();
  // Back inside the channel: the next break is news again.
  const bool inside = up_ ? quote->AskPrice <= current.Top && print->Price < current.Top
                          : quote->BidPrice >= current.Bottom && print->Price > current.Bottom;
  if (inside) armed_ = true;
}

// --- Trend strength ----------------------------------------------------------------------------------------

double TrendStrength(const TVolumeBlocks& blocks, double tickVolatility, bool up) {
  const std::size_t n = blocks.size();
  auto best = [&](double TVolumeBlock::*price) {
    const double newest = blocks[n - 1].*price;
    double extreme = up ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
    double fastest = -std::numeric_limits<double>::infinity();
    for (std::size_t k = 1; k < n; ++k) {
      const double x = blocks[n - 1 - k].*price;
      if (up ? x < extreme : x > extreme) {
        const auto span = static_cast<std::int32_t>(k);
        fastest = std::max(fastest, up ? ChannelSpeed(span, x, newest, tickVolatility)
                                       : ChannelSpeed(span, newest, x, tickVolatility));
        extreme = x;
      }
    }
    return fastest;
  };
  return RunQuality(std::min(best(&TVolumeBlock::Upper), best(&TVolumeBlock::Lower)));
}

TTrendStrength::TTrendStrength(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Up)");
  const std::string symbol = params[0].AsString();
  up_ = params[1].AsBoolean();
  bars_ = Adopt(TNormalVolumeBreakBars::Find(symbol, TW_METHOD(this, OnBlocks)));
  volatility_ = Adopt(FindForSymbol("TickVolatility", symbol, TW_METHOD(this, OnVolatility)));
}

void TTrendStrength::Reset() {
  value_ = 0;
  valid_ = false;
  blockCountUsed_ = 0;
}

void TTrendStrength::OnBlocks() {
  if (bars_->GetBlocks().empty()) Reset();  // otherwise the next read catches up
  NotifyListeners();
}

void TTrendStrength::OnVolatility() {
  Reset();
  NotifyListeners();
}

void TTrendStrength::Refresh() {
  const auto n = static_cast<std::int32_t>(bars_->GetBlocks().size());
  const double volatility = volatility_->IsValid() ? volatility_->GetDouble() : 0;
  if (volatility <= 0 || n < 2) {
    Reset();
    return;
  }
  if (n == blockCountUsed_) return;
  value_ = TrendStrength(bars_->GetBlocks(), volatility, up_);
  valid_ = std::isfinite(value_);
  if (!valid_) value_ = 0;
  blockCountUsed_ = valid_ ? n : 0;
}

bool TTrendStrength::IsValid() {
  Refresh();
  return valid_;
}

double TTrendStrength::GetDouble() {
  Refresh();
  return value_;
}

void RegisterConsolidationAlerts() {
  RegisterClass<TConsolidation>("Consolidation");
  RegisterClass<TRunningConfirmed>("RunningUpConfirmed", true, false);
  RegisterClass<TRunningConfirmed>("RunningDownConfirmed", false, false);
  RegisterClass<TRunningConfirmed>("ChannelBreakoutConfirmed", true, true);
  RegisterClass<TRunningConfirmed>("ChannelBreakdownConfirmed", false, true);
  RegisterClass<TChannelBreakout>("ChannelBreakout");
  RegisterClass<TChannelBreakdown>("ChannelBreakdown");
  RegisterClass<TTrendStrength>("UpTrendStrength", true);
  RegisterClass<TTrendStrength>("DownTrendStrength", false);
}

}  // namespace tarnwell
