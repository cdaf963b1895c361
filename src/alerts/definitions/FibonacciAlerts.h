#pragma once
// Fibonacci signals: after a swing between a turning point of the volume blocks and a later extreme, the
// price has come back a fixed fraction of the swing. A buy signal watches a swing up from a support to a
// resistance and fires when a print comes back down to resistance - fraction x swing; a sell signal is the
// mirror image for a swing down.

#include <cstdint>
#include <string>
#include <vector>

#include "alerts/definitions/GeometricPatterns.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// One watched retracement.
struct TGoal {
  std::int32_t BlockIndex;  ///< of the turning point where the swing began
  double Origin;            ///< the price there: the support of a buy goal, the resistance of a sell goal
  double Extreme;           ///< where the swing ended
  double Level;             ///< Extreme - (Extreme - Origin) x pullback
};
using TGoalSet = std::vector<TGoal>;

/// The goals of the swings up (buy) or down (sell) that have not retraced yet, the most recent swing start
/// first. The last turning point, when it is not a swing's end, is completed provisionally from the blocks.
TGoalSet BuildFibGoals(const TVBMMTurningPoints& detected, const TVolumeBlocks& blocks, double pullback,
                       bool buy);

/// Takes a print against the goals: a broken swing is dropped silently, a reached level is dropped and
/// reported (the positions reported, in the order found) unless the level of the goal before it, of the same
/// extreme, was reached too.
std::vector<TGoal> CheckFibGoals(TGoalSet& goals, double price, bool buy);

/// (Symbol, Pullback, Pullback text).
class TFibBuySellSignal : public TAlert {
 protected:
  TFibBuySellSignal(const TParamList& params, bool buy);

 private:
  void Init();
  void NewTosData();
  void RebuildGoals();

  bool buy_;
  std::string symbol_;
  double pullback_;
  std::string pullbackText_;
  TGenericTosDataNode* tos_ = nullptr;
  TVolumeBlockMinAndMax* turningPoints_ = nullptr;
  TGoalSet goals_;
};

class TFibBuySignal : public TFibBuySellSignal {
 public:
  static constexpr const char* kClassName = "TFibBuySignal";
  explicit TFibBuySignal(const TParamList& params) : TFibBuySellSignal(params, true) {}
};

class TFibSellSignal : public TFibBuySellSignal {
 public:
  static constexpr const char* kClassName = "TFibSellSignal";
  explicit TFibSellSignal(const TParamList& params) : TFibBuySellSignal(params, false) {}
};

/// Registers "FibBuy38" ... "FibSell79". Start-up.
void RegisterFibonacciAlerts();

}  // namespace tarnwell
