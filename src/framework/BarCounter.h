#pragma once
// Market time. Bars must close in step with the data, not with the local clock, so that a delayed or
// replayed feed still ends its bars where its prints say: the synchronized timer turns print time stamps
// into minute ticks, and bar counters turn minute ticks into bars of N minutes of the trading session
// (06:30 to 13:00 local). Both live on the data node thread.

#include <cstdint>
#include <string>
#include <utility>

#include "framework/Callback.h"
#include "framework/Clock.h"
#include "framework/DataNode.h"

namespace tarnwell {

/// Prints stamped too far ahead of the local clock (a wrong vendor clock, a bad record) must not drag market
/// time forward. They are counted and logged sparingly: the 1st, 2nd, 4th, 8th ... and every new worst.
class TFishyPrints {
 public:
  static constexpr double kLargestLead = 5.0 * kOneSecond;

  /// True when a print this far ahead (days) may move market time; false counts and perhaps logs it.
  bool Accept(double lead);
  int Count() const { return count_; }

 private:
  int count_ = 0;
  int limit_ = 1;
  double worst_ = 0;  // days
};

/// The market-minute clock of the process: permanent, created on first use. Listeners are called twice per
/// step, Phase 1 (bookkeeping) then Phase 2 (publishing), so that everything depending on the minute has
/// updated before anything reports. Data node thread.
class TSynchronizedTimer : public TDataNode {
 public:
  static constexpr std::int32_t kNoMinute = 2147483647;
  static constexpr std::int32_t kSessionMinutes = 390;
  static constexpr int kSessionStartMinute = 6 * 60 + 30;

  /// The timer and a new inactive link on it with the callback; the caller owns the link.
  static std::pair<TSynchronizedTimer*, TDataNodeLink*> Subscribe(TCallback callback);
  /// Steps market time to the minute of `time` unless that is earlier than the next minute (1 ms tolerance).
  static void AdvanceTo(TDateTime time);
  /// A print's time stamp: moves market time unless the print is fishy (far ahead of the local clock).
  static void NewPrintTime(TDateTime time);
  /// The timer, created on first use. Any thread; the fields are read on the data node thread.
  static TSynchronizedTimer& Instance();

  TDateTime MinuteStart() const { return minuteStart_; }
  /// 0 before the first step.
  TDateTime NextMinute() const { return nextMinute_; }
  /// Minutes since 06:30 of the current minute (0 to 389 in session); kNoMinute before the first step.
  std::int32_t MinuteIndex() const { return minuteIndex_; }
  /// 1 or 2 while notifying, else 0.
  int Phase() const { return phase_; }
  const TFishyPrints& FishyPrints() const { return fishyPrints_; }

 private:
  friend class TDataNode;
  TSynchronizedTimer() : TDataNode(/*permanent=*/true) {}
  void Step(TDateTime time);

  TDateTime minuteStart_ = 0;
  TDateTime nextMinute_ = 0;
  std::int32_t minuteIndex_ = kNoMinute;
  int phase_ = 0;
  TFishyPrints fishyPrints_;
};

enum TBarState : int { bsNone = 0, bsFirstBar = 1, bsNextBar = 2, bsOutOfSession = 3, bsSkippedBars = 4 };

/// Bars of N minutes over the synchronized timer, one shared counter per bar length. Listeners read the
/// fields during their callbacks, doing bookkeeping in Phase 1 and publishing in Phase 2. Data node thread.
class TBarCounter : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TBarCounter";
  static constexpr std::int32_t kNoBar = 2147483647;

  /// The counter for that bar length (1 to 255, else "Assertion failure") and a new inactive link on it.
  static std::pair<TBarCounter*, TDataNodeLink*> Find(int minutesPerBar, TCallback callback = {});
  /// The key text is one character whose code is the minutes per bar; anything else is "Assertion failure".
  static TBarCounter* CreateFromKey(const std::string& keyText);

  /// 390 for 1-minute bars, 78 for 5-minute bars.
  std::int32_t BarsPerSession() const {
    return (TSynchronizedTimer::kSessionMinutes - 1) / minutesPerBar_ + 1;
  }

  /// Bar index in the session; kNoBar when there is none.
  std::int32_t CurrentBar() const { return currentBar_; }
  /// CurrentBar before the last change; kNoBar at first.
  std::int32_t PreviousBar() const { return previousBar_; }
  TBarState BarState() const { return barState_; }
  int MinutesPerBar() const { return minutesPerBar_; }
  /// The synchronized timer's MinuteStart at the last tick inside the session.
  TDateTime MinuteStart() const { return minuteStart_; }
  int Phase() const { return phase_; }
  /// True once this counter has notified in Phase 1; from then on it passes every Phase 2 on.
  bool PassedOn() const { return passedOn_; }

 private:
  friend class TDataNode;
  explicit TBarCounter(int minutesPerBar);
  void OnMinute();
  void OnPhase1();
  void NotifyPhase1();

  std::int32_t currentBar_ = kNoBar;
  std::int32_t previousBar_ = kNoBar;
  TBarState barState_ = bsNone;
  int minutesPerBar_;
  TDateTime minuteStart_ = 0;
  int phase_ = 0;
  bool passedOn_ = false;
  TSynchronizedTimer* timer_ = nullptr;
};

}  // namespace tarnwell
