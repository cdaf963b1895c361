#pragma once
// Crossings of a reference level: the previous close or today's open judged print by print, or a level
// (the open, the VWAP, the moving averages, the close) judged by whole volume blocks. Each remembers the side
// the price was last on and reports only a change to the side it watches.

#include <string>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"
#include "marketdata/VolumeBlocks.h"

namespace tarnwell {

/// Seconds since the last crossing report of a symbol and alert class: the quality of the next one.
class TTimePassed : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TTimePassed";
  explicit TTimePassed(const TParamList& params);
  bool IsValid() override { return true; }
  double GetDouble() override { return passed_; }
  /// A report now: Passed becomes the seconds since the previous one (300 for the first, or after the clock
  /// went back).
  void Mark(TDateTime now);
  double Passed() const { return passed_; }

 private:
  TDateTime lastTime_ = 0;
  double passed_ = 0;
};

/// The fast crossings: each print against the close or the open.
class TFastCrossing : public TAlert {
 protected:
  TFastCrossing(const TParamList& params, const char* className, const char* levelWord);
  /// The level, when valid.
  virtual bool Level(double& level) = 0;
  void Evaluate();

  TGenericTosDataNode* tos_;

 private:
  bool reportAbove_;
  int side_ = 0;  // 0 undecided, 1 above, 2 below
  TTimePassed* timePassed_;
  const char* levelWord_;
};

/// "CrossedAboveClose" / "CrossedBelowClose".
class TCrossedClose : public TFastCrossing {
 public:
  static constexpr const char* kClassName = "TCrossedClose";
  explicit TCrossedClose(const TParamList& params);

 protected:
  bool Level(double& level) override;

 private:
  TGenericDataNode* close_;
};

/// "CrossedAboveOpen" / "CrossedBelowOpen".
class TCrossedOpen : public TFastCrossing {
 public:
  static constexpr const char* kClassName = "TCrossedOpen";
  explicit TCrossedOpen(const TParamList& params);

 protected:
  bool Level(double& level) override;

 private:
  TGenericL1DataNode* l1_;
};

/// "CrossedAboveOpenConfirmed" / "CrossedBelowOpenConfirmed": the open, judged by volume blocks.
class TConfirmedPosition : public TAlert {
 public:
  static constexpr const char* kClassName = "TConfirmedPosition";
  explicit TConfirmedPosition(const TParamList& params);

 private:
  void NewDay() { side_ = 0; }
  void NewBlock();

  bool reportAbove_;
  int side_ = 0;
  TGenericL1DataNode* l1_;
  TNormalVolumeBreakBars* blocks_;
};

/// Any level from a factory, judged by volume blocks: three quarters of a block's volume must trade beyond
/// every value the level took since the previous block.
class TConfirmedCrossing : public TAlert {
 public:
  static constexpr const char* kClassName = "TConfirmedCrossing";
  /// (Symbol, PriceLevelFactory, PriceLevelName, ReportAbove).
  explicit TConfirmedCrossing(const TParamList& params);

 private:
  void LevelChanged();
  void NewBlock();

  TGenericDataNode* level_;
  bool reportAbove_;
  std::string levelName_;
  const char* sideWord_;
  int side_ = 0;
  double levelLow_ = 0, levelHigh_ = 0, levelValue_ = 0;
  bool ready_ = false;
  TNormalVolumeBreakBars* blocks_;
};

/// Registers the crossing alerts. `vwapFactory`, when given, is the factory of the VWAP for the
/// "CrossedAboveVWAP" / "CrossedBelowVWAP" pair.
void RegisterCrossingAlerts(TFactoryRef vwapFactory = nullptr);

}  // namespace tarnwell
