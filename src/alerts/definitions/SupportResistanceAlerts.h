#pragma once
// Support and resistance from volume blocks: a resistance is an earlier peak of the blocks' upper prices that
// no later block has exceeded, a support the mirror image with troughs of their lower prices. One shared node
// per symbol and side keeps the levels still standing; the alerts report the price crossing one, either when
// a block closes beyond it (confirmed by volume) or as soon as the quote does.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"
#include "marketdata/VolumeBlocks.h"

namespace tarnwell {

/// The standing levels of one side, fed one block price at a time.
class TSupportOrResistanceAccumulator {
 public:
  struct TLevel {
    double Price;      ///< the peak (or trough)
    double Threshold;  ///< the price less (or plus) the tick volatility
    std::int32_t BlockIndex;
  };

  /// Direction +1 for resistance, -1 for support.
  TSupportOrResistanceAccumulator(int direction, double tickVolatility)
      : direction_(direction), tickVolatility_(tickVolatility) {}

  /// A block's price: levels it passes fall, and the block before becomes a level when it was a peak
  /// (trough).
  void AddPrice(double x);
  /// x is beyond the nearest standing level.
  bool IsBreak(double x) const;
  /// The farthest standing level x is beyond, or null.
  const TLevel* FindLevel(double x) const;

  std::int32_t Added() const { return added_; }
  double TickVolatility() const { return tickVolatility_; }
  /// Standing levels, farthest first.
  const std::vector<TLevel>& Levels() const { return levels_; }

 private:
  bool Beyond(double a, double b) const { return direction_ * a > direction_ * b; }

  std::int32_t added_ = 0;
  int direction_;
  double tickVolatility_;
  std::vector<TLevel> levels_;
  double prevPrev_ = 0;
  double prev_ = 0;
};

/// What a price crossing the levels means: the level crossed, when it was made, and the volume since.
struct TLevelBreak {
  bool Broke = false;
  double Price = 0;
  TDateTime StartTime = 0;
  std::int32_t Volume = 0;
  double Quality = 0;  ///< blocks since the level, over four
};

/// The levels of one symbol and side; key "T" + symbol for resistance, "B" + symbol for support. Listeners
/// hear of every block, with Broke set when that block crossed a level.
class TSupportOrResistance : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TSupportOrResistance";
  static TSupportOrResistance* CreateFromKey(const std::string& keyText);
  static std::pair<TSupportOrResistance*, TDataNodeLink*> Find(const std::string& symbol, bool top,
                                                               TCallback callback = {});
  TSupportOrResistance(const std::string& symbol, bool top);

  /// What a price would cross now.
  TLevelBreak CheckPrice(double x);
  /// The crossing of the last block, when it crossed one.
  const TLevelBreak& LastBreak() const { return lastBreak_; }

 private:
  void Update();
  double PriceOf(const TVolumeBlock& block) const;
  /// What x crosses, measured from the blocks taken so far.
  TLevelBreak Describe(double x, const TVolumeBlocks& blocks) const;

  TNormalVolumeBreakBars* bars_;
  TGenericDataNode* volatility_;
  std::unique_ptr<TSupportOrResistanceAccumulator> accumulator_;  // absent without a tick volatility
  bool top_;
  TLevelBreak lastBreak_;
  std::string symbol_;
};

/// (Symbol, Top): a block closing beyond a level at least 32 blocks old.
class TBrokeSupportOrResistanceConfirmed : public TAlert {
 public:
  static constexpr const char* kClassName = "TBrokeSupportOrResistanceConfirmed";
  explicit TBrokeSupportOrResistanceConfirmed(const TParamList& params);

 private:
  void OnLevels();
  TSupportOrResistance* levels_;
  bool top_;
};

/// (Symbol, Top): the whole quote moving beyond a level, each farther level once until the levels change.
class TBrokeSupportOrResistance : public TAlert {
 public:
  static constexpr const char* kClassName = "TBrokeSupportOrResistance";
  explicit TBrokeSupportOrResistance(const TParamList& params);

 private:
  void OnLevels();
  void OnQuote();
  /// The side of the quote that must be beyond the level: the bid for resistance, the ask for support (the
  /// lower and the higher of the two); 0 without a usable quote.
  double QuotePrice() const;
  bool Beyond(double a, double b) const { return top_ ? a > b : a < b; }

  TSupportOrResistance* levels_;
  TGenericL1DataNode* l1_;
  bool top_;
  double lastQuotePrice_ = 0;
  double reportedLevel_ = 0;
  bool haveQuote_ = false;
  bool haveReported_ = false;
  bool prevQuoteValid_ = false;
};

/// Registers "CrossedAboveResistance", "CrossedBelowSupport" and their confirmed forms.
void RegisterSupportResistanceAlerts();

}  // namespace tarnwell
