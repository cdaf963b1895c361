#include "framework/Timers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/DebugLog.h"
#include "framework/Errors.h"
#include "framework/Event.h"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 5s;  // generous bound for anything the timer thread should do at once

// Every test drives the timer thread by setting a manual clock. The thread notices a set clock on its next
// pass; Settle waits until it has made one after the change, so that "has not fired" means something.
class Timers : public ::testing::Test {
 protected:
  void SetUp() override { TDebugLog::Instance().TakePending(); }
  void TearDown() override {
    for (TTimerEventRef& event : events_) event->Cancel();
    clock::UseSystem();
  }

  const TDateTime kStart = EncodeDateTime(2031, 3, 3, 9, 0, 0);

  void SetClock(TDateTime time) {
    clock::SetManual(time);
    Settle();
  }

  // Two one-shots in a row: the pass that fires the second began after the first had fired, so after
  // this change of the clock.
  static void Settle() {
    for (int i = 0; i < 2; ++i) {
      auto fired = std::make_shared<TEvent>(true);
      OneShot(0, TCallback::Function([fired] { fired->Set(); }));
      ASSERT_TRUE(fired->WaitFor(kPatience)) << "the timer thread did not fire a due event";
    }
  }

  // Records the labels of firings in order; callbacks run on the timer thread.
  TCallback Record(const std::string& label) {
    return TCallback::Function([this, label] {
      std::lock_guard guard(lock_);
      fired_.push_back(label);
    });
  }
  std::vector<std::string> Fired() {
    std::lock_guard guard(lock_);
    return fired_;
  }
  int CountOf(const std::string& label) {
    auto all = Fired();
    return static_cast<int>(std::count(all.begin(), all.end(), label));
  }
  // Polls for a condition the timer thread brings about; false after kPatience.
  static bool Eventually(const std::function<bool()>& condition) {
    for (auto until = std::chrono::steady_clock::now() + kPatience;
         std::chrono::steady_clock::now() < until;) {
      if (condition()) return true;
      std::this_thread::sleep_for(1ms);
    }
    return condition();
  }
  TTimerEventRef Keep(TTimerEventRef event) {
    events_.push_back(event);
    return event;
  }

  std::mutex lock_;
  std::vector<std::string> fired_;  // guarded by lock_
  std::vector<TTimerEventRef> events_;
};

TEST_F(Timers, EqualDueTimesFireInCreationOrder) {
  SetClock(kStart);
  // Enough events at one instant that a heap without the sequence tie-break would scramble them, with
  // earlier and later ones queued in between.
  std::vector<std::string> expected;
  Keep(OneShot(kStart + 2 * kOneMinute, Record("late-a")));
  for (int i = 0; i < 24; ++i) {
    Keep(OneShot(kStart + kOneMinute, Record("same-" + std::to_string(i))));
    expected.push_back("same-" + std::to_string(i));
    if (i == 10) Keep(OneShot(kStart + 30 * kOneSecond, Record("early")));
  }
  Keep(OneShot(kStart + 2 * kOneMinute, Record("late-b")));
  expected.insert(expected.begin(), "early");
  expected.push_back("late-a");
  expected.push_back("late-b");

  SetClock(kStart + 3 * kOneMinute);
  ASSERT_TRUE(Eventually([&] { return Fired().size() == expected.size(); }));
  EXPECT_EQ(Fired(), expected);
  for (TTimerEventRef& event : events_) EXPECT_FALSE(event->IsPending());
}

TEST_F(Timers, NothingFiresBeforeItsTime) {
  SetClock(kStart);
  auto event = Keep(TTimerEvent::Start(1500, 0, kStart, Record("due")));
  // Less than a millisecond ahead still counts as ahead: a player of recorded data sets the clock to each
  // update's time and expects nothing due after it to fire among that update's work.
  const TDateTime almost = kStart + 0.0004 * kOneSecond;
  auto close = Keep(OneShot(almost, Record("close")));
  SetClock(kStart);
  EXPECT_TRUE(close->IsPending());
  SetClock(almost);
  ASSERT_TRUE(Eventually([&] { return CountOf("close") == 1; }));
  SetClock(kStart + 1.499 * kOneSecond);
  EXPECT_EQ(Fired(), std::vector<std::string>{"close"});
  EXPECT_TRUE(event->IsPending());
  SetClock(kStart + 1.5 * kOneSecond);
  ASSERT_TRUE(Eventually([&] { return CountOf("due") == 1; }));
  EXPECT_FALSE(event->IsPending());
}

// A player of recorded data stops only for timers that are not quiet; the earliest quiet one still counts
// for NextDue.
TEST_F(Timers, NextDueNotQuietLooksPastQuietEvents) {
  SetClock(kStart);
  auto quiet = Keep(OneShot(kStart + kOneMinute, Record("quiet")));
  quiet->GetObject().SetQuiet();
  TTimerThread& timers = TTimerThread::Instance();
  EXPECT_EQ(timers.NextDueNotQuiet(), std::numeric_limits<TDateTime>::infinity());
  Keep(OneShot(kStart + 3 * kOneMinute, Record("loud")));
  Keep(OneShot(kStart + 2 * kOneMinute, Record("loud-earlier")));
  EXPECT_EQ(timers.NextDue(), kStart + kOneMinute);
  EXPECT_EQ(timers.NextDueNotQuiet(), kStart + 2 * kOneMinute);
}

TEST_F(Timers, ClockSetBackFiresRelativeEventsAtOnceAndKeepsAbsoluteOnes) {
  SetClock(kStart);
  Keep(TTimerEvent::Start(10 * 60000, 0, 0, Record("relative")));
  Keep(OneShot(kStart + 10 * kOneMinute, Record("absolute")));
  auto tick = Keep(Repeating(60000, 0, Record("tick")));
  ASSERT_TRUE(Eventually([&] { return CountOf("tick") == 1; }));  // first firing now

  const TDateTime earlier = kStart - kOneHour;
  clock::SetManual(earlier);
  ASSERT_TRUE(Eventually([&] { return CountOf("relative") == 1 && CountOf("tick") == 2; }));
  Settle();
  EXPECT_EQ(CountOf("absolute"), 0);
  // The diagnostics show added minus removed as the queue: an event put back is not a new one.
  TTimerThread& thread = TTimerThread::Instance();
  EXPECT_EQ(thread.AddedCount() - thread.RemovedCount(), static_cast<std::uint32_t>(thread.QueueLength()));

  // The repeating event continues from the moment of the jump.
  SetClock(earlier + 59 * kOneSecond);
  EXPECT_EQ(CountOf("tick"), 2);
  SetClock(earlier + kOneMinute);
  ASSERT_TRUE(Eventually([&] { return CountOf("tick") == 3; }));
  tick->Cancel();

  SetClock(kStart + 10 * kOneMinute - kOneSecond);
  EXPECT_EQ(CountOf("absolute"), 0);
  SetClock(kStart + 10 * kOneMinute);
  ASSERT_TRUE(Eventually([&] { return CountOf("absolute") == 1; }));
  EXPECT_EQ(CountOf("relative"), 1);
}

// The clock set forward and back between two looks of the timer thread: the thread never sees the later
// time, yet an event planned from it must not wait for that time to come round again.
TEST_F(Timers, ASetbackTheThreadMissedStillReplansWhatWasPlannedBeforeIt) {
  SetClock(kStart);
  clock::SetManualQuietly(kStart + kOneHour);
  Keep(TTimerEvent::Start(60000, 0, 0, Record("planned-ahead")));
  clock::SetManualQuietly(kStart);
  Keep(TTimerEvent::Start(60000, 0, 0, Record("planned-after")));
  SetClock(kStart + kOneSecond);
  ASSERT_TRUE(Eventually([&] { return CountOf("planned-ahead") == 1; }));
  EXPECT_EQ(CountOf("planned-after"), 0) << "planned after the setback, it keeps its minute";
  SetClock(kStart + kOneMinute);
  ASSERT_TRUE(Eventually([&] { return CountOf("planned-after") == 1; }));
}

TEST_F(Timers, CancelWaitsOutARunningCallbackWhichNeverRunsAgain) {
  SetClock(kStart);
  TEvent entered(true), release(true);
  std::atomic<int> calls{0};
  std::atomic<bool> left{false};
  auto event = Keep(Repeating(1000, 0, TCallback::Function([&] {
                                ++calls;
                                entered.Set();
                                release.WaitFor(kPatience);
                                left = true;
                              })));
  ASSERT_TRUE(entered.WaitFor(kPatience));

  std::atomic<bool> cancelled{false};
  bool callbackHadLeft = false;
  std::thread canceller([&] {
    event->Cancel();
    callbackHadLeft = left;
    cancelled = true;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(cancelled) << "Cancel returned while the callback was still running";
  release.Set();
  canceller.join();
  EXPECT_TRUE(callbackHadLeft);
  EXPECT_FALSE(event->IsPending());

  SetClock(kStart + 5 * kOneSecond);
  EXPECT_EQ(calls, 1);
}

TEST_F(Timers, CancelFromItsOwnCallbackReturnsAndStopsTheEvent) {
  SetClock(kStart);
  std::atomic<int> calls{0};
  auto self = std::make_shared<TTimerEventRef>();
  auto event =
      Keep(Repeating(1000, kStart + kOneSecond, TCallback::Function([&calls, weak = std::weak_ptr(self)] {
                       ++calls;
                       if (auto ref = weak.lock()) (*ref)->Cancel();
                     })));
  *self = event;
  SetClock(kStart + kOneSecond);
  ASSERT_TRUE(Eventually([&] { return calls == 1; }));
  EXPECT_FALSE(event->IsPending());
  SetClock(kStart + 5 * kOneSecond);
  EXPECT_EQ(calls, 1);
}

struct TFailingProbe {
  void Fail() {
    ++calls;
    throw std::runtime_error("quote refresh failed");
  }
  std::atomic<int> calls{0};
};

TEST_F(Timers, FailingCallbackIsLoggedAndTimersGoOn) {
  SetClock(kStart);
  TFailingProbe probe;
  Keep(Repeating(1000, kStart + kOneSecond, TW_METHOD(&probe, Fail)));
  Keep(OneShot(kStart + kOneSecond, Record("after")));

  SetClock(kStart + kOneSecond);
  ASSERT_TRUE(Eventually([&] { return CountOf("after") == 1; }));
  SetClock(kStart + 2 * kOneSecond);  // the failing event keeps its schedule
  ASSERT_TRUE(Eventually([&] { return probe.calls == 2; }));
  Settle();

  const std::string expected =
      "In Timer thread:  (std::runtime_error, quote refresh failed) raised in (TFailingProbe($" +
      HexAddress(&probe) + "), Fail)";
  auto lines = TDebugLog::Instance().TakePending();
  auto failures = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(expected) != std::string::npos;
  });
  EXPECT_EQ(failures, 2);
}

}  // namespace
}  // namespace tarnwell
