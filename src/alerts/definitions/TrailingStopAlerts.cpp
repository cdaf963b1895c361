#include "alerts/definitions/TrailingStopAlerts.h"

#include <algorithm>
#include <cmath>

#include "framework/DebugLog.h"
#include "framework/Errors.h"
#include "framework/Random.h"

namespace tarnwell {

TTrailingStop::TTrailingStop(const TParamList& params) {
  CheckParamCount(params, 2, "Expected: (Symbol, Down)");
  direction_ = params[1].AsBoolean() ? -1 : 1;
  tos_ = Adopt(TGenericTosDataNode::Find(params[0].AsString(), TW_METHOD(this, NewTosData)));
}

std::int32_t TTrailingStop::PowerOfTwo(std::int64_t steps) {
  if (steps <= 0) return 0;
  return static_cast<std::int32_t>(steps & -steps);
}

int TTrailingStop::Side(double price, double level) const {
  if (price == level) return 1;
  return direction_ * price > direction_ * level ? 2 : 0;
}

void TTrailingStop::Reset() {
  entries_.clear();
  initialized_ = false;
  NewTosData();
}

void TTrailingStop::NewTosData() {
  const TTosData* print = tos_->Current();
  if (!print) {
    initialized_ = false;
    return;
  }
  try {
    const double price = print->Price;  // a restated price counts: only where the price is matters
    // Starts the price has come back to are over.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (Side(price, entries_[i].StartPrice) != 2) {
        entries_.resize(i);
        break;
      }
    }
    bool reached = false;
    for (std::size_t j = 0; j < entries_.size(); ++j) {
      TEntry& entry = entries_[j];
      if (Side(price, entry.Target) == 0) continue;
      const double unit = StepSize(entry.StartPrice);
      const double move = price - entry.StartPrice;
      const auto steps = static_cast<std::int64_t>(std::floor(direction_ * move / unit));
      const std::string text = DescribeMove(steps, move);
      // Round numbers of steps weigh more; the jitter keeps equal moves from sorting always alike.
      const double quality = StepQuality(PowerOfTwo(steps)) * 2 / (2 - UniformRandom());
      entry.Target = entry.StartPrice + direction_ * static_cast<double>(steps + 1) * unit;
      if (initialized_) {
        ReportAlert("Moved:  " + text + " in " + DescribeTimeSpan(CurrentTime(), entry.StartTime) + ".",
                    quality);
      }
      entries_.resize(j + 1);  // younger starts are part of this move now
      reached = true;
      break;
    }
    if (!reached) {
      const double unit = StepSize(price);
      const double target = price + direction_ * 2 * unit;
      const bool usable = unit > 0 && target != price && target > 0;
      if (usable && (entries_.empty() ||
                     (Side(target, entries_.back().Target) == 0 && price != entries_.back().StartPrice))) {
        if (entries_.size() == entries_.capacity())
          entries_.reserve(std::max<std::size_t>(4, 2 * entries_.size()));
        entries_.push_back({price, CurrentTime(), target});
      }
    }
    initialized_ = true;
  } catch (const std::exception& e) {
    AddLine(ClassNameOf(typeid(e)) + ": \"" + e.what() + "\" in TTrailingStop.NewTosData");
  }
}

std::string TTrailingStopPercent::DescribePercent(std::int64_t steps, bool down) {
  static const char* const kQuarters[] = {"", ".25", ".5", ".75"};
  steps = std::max<std::int64_t>(steps, 0);
  return std::string(down ? "-" : "+") + std::to_string(steps / 4) + kQuarters[steps % 4] + "%";
}

TTrailingStopSigma::TTrailingStopSigma(const TParamList& params) : TTrailingStop(params) {
  auto [volatility, link] =
      FindForSymbol("TickVolatility", params[0].AsString(), TW_METHOD(this, OnVolatility));
  volatility_ = volatility;
  AddAutoLink(link);
  RunOnDataNodeThread(1, TW_METHOD(this, OnVolatility));
}

void TTrailingStopSigma::OnVolatility() {
  double value = volatility_->IsValid() ? volatility_->GetDouble() / 2 : 0;
  if (value < 0.01) value = 0;  // too small a step to mean anything: no starts at all
  if (value == sigma_) return;
  sigma_ = value;
  Reset();
}

void RegisterTrailingStopAlerts() {
  RegisterClass<TTrailingStopPercent>("TTrailingStopUpPercent", false);
  RegisterClass<TTrailingStopPercent>("TTrailingStopDownPercent", true);
  RegisterClass<TTrailingStopSigma>("TTrailingStopUpSigma", false);
  RegisterClass<TTrailingStopSigma>("TTrailingStopDownSigma", true);
}

}  // namespace tarnwell
