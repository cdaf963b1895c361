#include "alerts/definitions/FibonacciAlerts.h"

#include <algorithm>
#include <limits>

namespace tarnwell {

TGoalSet BuildFibGoals(const TVBMMTurningPoints& detected, const TVolumeBlocks& blocks, double pullback,
                       bool buy) {
  // Written for buy goals (swings up); d mirrors every comparison for sell goals.
  const double d = buy ? 1 : -1;
  TGoalSet goals;
  if (detected.empty()) return goals;
  TVBMMTurningPoints t = detected;
  const auto blockCount = static_cast<std::int32_t>(blocks.size());
  // The swing still under way ends, for now, at the farthest block since the last turn.
  if (t.back().IsMin == buy) {
    std::int32_t best = -1;
    for (std::int32_t k = t.back().BlockIndex; k < blockCount; ++k) {
      const double price = buy ? blocks[k].Upper : blocks[k].Lower;
      if (best < 0 || d * price >= d * (buy ? blocks[best].Upper : blocks[best].Lower)) best = k;
    }
    if (best >= 0) t.push_back({buy ? blocks[best].Upper : blocks[best].Lower, best, !buy});
  }
  const auto n = static_cast<std::int32_t>(t.size());
  std::int32_t top = n - 1;
  // How far back the price has come since the swing's end: the lowest (highest) block since.
  double since = d * std::numeric_limits<double>::infinity();
  for (std::int32_t k = t[top].BlockIndex; k < blockCount; ++k) {
    const double price = buy ? blocks[k].Lower : blocks[k].Upper;
    since = buy ? std::min(since, price) : std::max(since, price);
  }
  for (std::int32_t j = n - 1; j > 0; j -= 2) {
    if (d * t[j].Price > d * t[top].Price) {
      for (std::int32_t k = j; k < top; ++k)
        since = buy ? std::min(since, t[k].Price) : std::max(since, t[k].Price);
      top = j;
    }
    const std::int32_t b = j - 1;
    bool lowest = true;
    for (std::int32_t k = b + 1; k < top; ++k) lowest = lowest && d * t[b].Price <= d * t[k].Price;
    if (!lowest) continue;
    const double origin = t[b].Price, extreme = t[top].Price;
    const double level = extreme - (extreme - origin) * pullback;
    if (d * since > d * level) goals.push_back({t[b].BlockIndex, origin, extreme, level});
  }
  return goals;
}

std::vector<TGoal> CheckFibGoals(TGoalSet& goals, double price, bool buy) {
  const double d = buy ? 1 : -1;
  std::vector<TGoal> reported;
  for (std::size_t i = goals.size(); i-- > 0;) {
    const TGoal goal = goals[i];
    if (d * price > d * goal.Extreme) {
      // The swing went on past its end: it is another swing now.
    } else if (d * price <= d * goal.Level) {
      // Goals of one extreme stand side by side; a print past several of their levels reports the first only.
      const bool coveredByPrevious =
          i > 0 && d * price <= d * goals[i - 1].Level && goals[i - 1].Extreme == goal.Extreme;
      if (!coveredByPrevious) reported.push_back(goal);
    } else {
      continue;
    }
    goals[i] = goals.back();
    goals.pop_back();
  }
  return reported;
}

TFibBuySellSignal::TFibBuySellSignal(const TParamList& params, bool buy) : buy_(buy) {
  CheckParamCount(params, 3, "Expected args: Symbol, Pullback, Pullback string");
  symbol_ = params[0].AsString();
  pullback_ = params[1].AsDouble();
  pullbackText_ = params[2].AsString();
  RunOnDataNodeThread(1, TW_METHOD(this, Init));
}

void TFibBuySellSignal::Init() {
  auto [tos, tosLink] = TGenericTosDataNode::Find(symbol_, TW_METHOD(this, NewTosData));
  tos_ = tos;
  AddAutoLink(tosLink);
  tosLink->SetReceiveInput(true);
  auto [points, pointsLink] = TVolumeBlockMinAndMax::Find(symbol_, TW_METHOD(this, RebuildGoals));
  turningPoints_ = points;
  AddAutoLink(pointsLink);
  pointsLink->SetReceiveInput(true);
  RebuildGoals();
}

void TFibBuySellSignal::RebuildGoals() {
  goals_ =
      BuildFibGoals(turningPoints_->GetTurningPoints(), turningPoints_->GetVolumeBlocks(), pullback_, buy_);
}

void TFibBuySellSignal::NewTosData() {
  const TTosData* print = tos_->Current();
  if (!print || print->Snapshot || goals_.empty()) return;
  const std::vector<TGoal> reported = CheckFibGoals(goals_, print->Price, buy_);
  if (reported.empty()) return;
  const TVolumeBlocks& blocks = turningPoints_->GetVolumeBlocks();
  const auto blockCount = static_cast<double>(blocks.size());
  for (const TGoal& goal : reported) {
    const TDateTime start =
        static_cast<std::size_t>(goal.BlockIndex) < blocks.size() ? blocks[goal.BlockIndex].StartTime : 0;
    const std::string text = std::string("Fibonacci ") + (buy_ ? "buy" : "sell") + " signal.  Retraced " +
                             pullbackText_ + " from " + (buy_ ? "resistance (" : "support (") +
                             FormatPrice(false, goal.Extreme) + ") back to " +
                             (buy_ ? "support (" : "resistance (") + FormatPrice(false, goal.Origin) +
                             ").  Started " + DescribeTimeSpan(CurrentTime(), start) + " ago.";
    ReportAlert(text, (blockCount - goal.BlockIndex) / 4);
  }
}

void RegisterFibonacciAlerts() {
  const struct {
    const char* suffix;
    double pullback;
    const char* text;
  } levels[] = {{"38", 0.381966, "38.1966%"},
                {"50", 0.5, "50%"},
                {"62", 0.618034, "61.8034%"},
                {"79", 0.786151, "78.6151%"}};
  for (const auto& level : levels) {
    RegisterClass<TFibBuySignal>(std::string("FibBuy") + level.suffix, level.pullback,
                                 std::string(level.text));
    RegisterClass<TFibSellSignal>(std::string("FibSell") + level.suffix, level.pullback,
                                  std::string(level.text));
  }
}

}  // namespace tarnwell
