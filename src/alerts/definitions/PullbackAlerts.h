#pragma once
// The shape of the day: pullbacks from a new low (high) towards the previous close or the open, check marks
// (new high, new low, new high again, or the inverse), and "DayRange", where the last price stands within
// today's range.

#include <string>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"
#include "marketdata/NamedValues.h"

namespace tarnwell {

class TPullbackCommon : public TAlert {
 protected:
  /// (Symbol, min pullback as decimal fraction, min pullback as string).
  TPullbackCommon(const TParamList& params, bool fromLows);

 private:
  void NewDay();
  void TrackExtreme();
  void OnPrint();
  void Evaluate();
  void Quiet() { quietUntil_ = CurrentTime() + 90 * kOneSecond; }

  const bool fromLows_;
  double minFraction_ = 0;
  std::string fractionText_;
  TGenericL1DataNode* l1_;
  TGenericTosDataNode* tos_;
  int stage_ = 0;  // 0 idle, 1 a new extreme was made
  double extreme_ = 0;
  bool dayStarted_ = false;
  TDateTime quietUntil_ = 0;
};

class TPullbackFromLows : public TPullbackCommon {
 public:
  static constexpr const char* kClassName = "TPullbackFromLows";
  explicit TPullbackFromLows(const TParamList& params) : TPullbackCommon(params, true) {}
};

class TPullbackFromHighs : public TPullbackCommon {
 public:
  static constexpr const char* kClassName = "TPullbackFromHighs";
  explicit TPullbackFromHighs(const TParamList& params) : TPullbackCommon(params, false) {}
};

/// "CheckMark" / "InvertedCheckMark".
class TCheckMark : public TAlert {
 public:
  static constexpr const char* kClassName = "TCheckMark";
  explicit TCheckMark(const TParamList& params);

 private:
  void QuoteChanged();
  void Save() {
    markHigh_ = lastHigh_;
    markLow_ = lastLow_;
  }

  bool inverted_;
  double lastHigh_ = 0, lastLow_ = 0, markHigh_ = 0, markLow_ = 0;
  int highMove_ = 0, lowMove_ = 0;  // 0 none, 1 first, 2 equal, 3 new extreme, 4 back within the mark, 5 past it
  int stage_ = 0;
  TGenericL1DataNode* l1_;
};

/// "DayRange": (last price - low) / (high - low).
class TDayRange : public TQuoteAndPrintUser {
 public:
  static constexpr const char* kClassName = "TDayRange";
  explicit TDayRange(const TParamList& params) : TQuoteAndPrintUser(params, "Expected: (Symbol)") {}
  double GetDouble() override;
  bool IsValid() override;
};

/// Registers the pullbacks, the check marks and "DayRange".
void RegisterPullbackAlerts();

}  // namespace tarnwell
