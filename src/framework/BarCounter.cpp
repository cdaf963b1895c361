#include "framework/BarCounter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "framework/DebugLog.h"
#include "framework/Errors.h"

namespace tarnwell {
namespace {

constexpr double kMsPerMinute = 60000.0;
constexpr double kTolerance = 1.0 / kMsPerDay;  // times within 1 ms of each other are the same time

std::atomic<TSynchronizedTimer*> synchronizedTimer{nullptr};

// Fails before the node base registers anything, so a refused counter leaves no half-built node behind
// (a keyed node destroyed without its key would fail again in its destructor).
bool NotPermanentWithMinutes(int minutesPerBar) {
  Assert(minutesPerBar != 0);
  return false;
}

}  // namespace

// --- TFishyPrints ----------------------------------------------------------------------------------------

bool TFishyPrints::Accept(double lead) {
  if (lead <= kLargestLead) return true;
  ++count_;
  if (count_ < limit_ && lead <= worst_) return false;
  char text[160];
  std::snprintf(text, sizeof text, "%d fishy prints.  Last:  %.7g seconds ahead.  Worst:  %.7g seconds ahead",
                count_, lead * kSecondsPerDay, worst_ * kSecondsPerDay);
  AddLine(text);
  worst_ = std::max(worst_, lead);
  limit_ = 2 * count_;
  return false;
}

// --- TSynchronizedTimer ----------------------------------------------------------------------------------

TSynchronizedTimer& TSynchronizedTimer::Instance() {
  if (TSynchronizedTimer* timer = synchronizedTimer.load(std::memory_order_acquire)) return *timer;
  std::lock_guard guard(RegistryLock());
  TSynchronizedTimer* timer = synchronizedTimer.load(std::memory_order_relaxed);
  if (!timer) {
    timer = TDataNode::Create<TSynchronizedTimer>();
    synchronizedTimer.store(timer, std::memory_order_release);
  }
  return *timer;
}

std::pair<TSynchronizedTimer*, TDataNodeLink*> TSynchronizedTimer::Subscribe(TCallback callback) {
  std::lock_guard guard(RegistryLock());
  TSynchronizedTimer& timer = Instance();
  return {&timer, timer.CreateLink(std::move(callback))};
}

void TSynchronizedTimer::AdvanceTo(TDateTime time) {
  Instance().Step(time);
}

void TSynchronizedTimer::NewPrintTime(TDateTime time) {
  TSynchronizedTimer& timer = Instance();
  if (!timer.fishyPrints_.Accept(time - clock::Now())) return;
  timer.Step(time);
}

void TSynchronizedTimer::Step(TDateTime time) {
  if (nextMinute_ - time > kTolerance) return;
  // Whole milliseconds first, so 06:30:59.9996 counts as 06:31 rather than as the minute before.
  const double totalMs = std::round(time * kMsPerDay);
  const double day = std::floor(totalMs / kMsPerDay);
  const double minuteOfDay = std::floor((totalMs - day * kMsPerDay) / kMsPerMinute);
  minuteStart_ = day + minuteOfDay * kMsPerMinute / kMsPerDay;
  nextMinute_ = day + (minuteOfDay + 1) * kMsPerMinute / kMsPerDay;
  minuteIndex_ = static_cast<std::int32_t>(minuteOfDay) - kSessionStartMinute;
  // A failing listener ends the step; the phase must not stay set for readers of the next one.
  struct TPhaseReset {
    int& phase;
    ~TPhaseReset() { phase = 0; }
  } reset{phase_};
  phase_ = 1;
  NotifyListeners();
  phase_ = 2;
  NotifyListeners();
}

// --- TBarCounter -----------------------------------------------------------------------------------------

std::pair<TBarCounter*, TDataNodeLink*> TBarCounter::Find(int minutesPerBar, TCallback callback) {
  // Larger values would wrap into another counter's one-character key.
  Assert(minutesPerBar >= 1 && minutesPerBar <= 255);
  const std::string keyText(1, static_cast<char>(static_cast<unsigned char>(minutesPerBar)));
  return FindOrCreate<TBarCounter>(keyText, std::move(callback));
}

TBarCounter* TBarCounter::CreateFromKey(const std::string& keyText) {
  Assert(keyText.size() == 1);
  return Create<TBarCounter>(static_cast<unsigned char>(keyText[0]));
}

TBarCounter::TBarCounter(int minutesPerBar)
    : TDataNodeWithStringKey(NotPermanentWithMinutes(minutesPerBar)), minutesPerBar_(minutesPerBar) {
  timer_ = Adopt(TSynchronizedTimer::Subscribe(TW_METHOD(this, OnMinute)));
}

void TBarCounter::OnMinute() {
  switch (timer_->Phase()) {
    case 1:
      OnPhase1();
      return;
    case 2:
      if (passedOn_) {
        phase_ = 2;
        NotifyListeners();
      }
      phase_ = 0;
      return;
    default:
      return;
  }
}

void TBarCounter::OnPhase1() {
  phase_ = 1;
  const std::int32_t minute = timer_->MinuteIndex();
  if (minute < 0 || minute >= TSynchronizedTimer::kSessionMinutes) {
    if (barState_ == bsNone || barState_ == bsOutOfSession) return;
    currentBar_ = kNoBar;
    barState_ = bsOutOfSession;
    NotifyPhase1();
    return;
  }
  minuteStart_ = timer_->MinuteStart();
  const std::int32_t bar = minute / minutesPerBar_;
  if (bar == currentBar_) return;
  // Wrap-around increment: kNoBar + 1 is negative, never a bar index, so a session that follows
  // bsOutOfSession starts with bsSkippedBars.
  const auto following = static_cast<std::int32_t>(static_cast<std::uint32_t>(currentBar_) + 1u);
  if (barState_ == bsNone) {
    barState_ = bsFirstBar;
  } else if (bar == following) {
    barState_ = bsNextBar;
  } else {
    barState_ = bsSkippedBars;
  }
  previousBar_ = currentBar_;
  currentBar_ = bar;
  NotifyPhase1();
}

void TBarCounter::NotifyPhase1() {
  phase_ = 1;
  passedOn_ = true;
  NotifyListeners();
}

}  // namespace tarnwell
