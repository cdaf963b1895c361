#include "framework/BarCounter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "FrameworkTestSupport.h"
#include "framework/DebugLog.h"
#include "framework/Errors.h"

namespace tarnwell {
namespace {

using testing::RunOnDataNodeThread;

constexpr std::int32_t kNoBar = TBarCounter::kNoBar;
constexpr double kMicrosecond = kOneSecond / 1e6;  // date-times of the same moment may differ in the last bit

// The synchronized timer is one per process and never goes back, and bar counters are shared by length:
// each test takes trading days no earlier test used, and leaves no counter alive behind it.
class BarCounterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TDataNodeThread::Instance().Flush();
    TDebugLog::Instance().TakePending();
  }
  void TearDown() override {
    links_.clear();
    TDataNodeThread::Instance().Flush();  // frees the counters released above
    clock::UseSystem();
  }

  static TDateTime FreshDay() {
    static int used = 0;
    return EncodeDateTime(2031, 3, 3) + 2 * used++;
  }
  static TDateTime At(TDateTime day, int hour, int minute, int second = 0, int millisecond = 0) {
    return day + EncodeDateTime(1899, 12, 30, hour, minute, second, millisecond);
  }
  static void AdvanceTo(TDateTime time) {
    RunOnDataNodeThread([time] { TSynchronizedTimer::AdvanceTo(time); });
  }
  static void NewPrintTime(TDateTime time) {
    RunOnDataNodeThread([time] { TSynchronizedTimer::NewPrintTime(time); });
  }

  std::vector<TOwnedLink> links_;
};

// What a listener of a counter saw at one notification.
struct TSeen {
  int phase;
  TBarState state;
  std::int32_t current;
  std::int32_t previous;
  bool operator==(const TSeen&) const = default;
};
std::ostream& operator<<(std::ostream& out, const TSeen& s) {
  return out << "{phase " << s.phase << ", state " << s.state << ", bar " << s.current << ", previous "
             << s.previous << "}";
}

struct TBarProbe {
  void OnBar() {
    seen.push_back({counter->Phase(), counter->BarState(), counter->CurrentBar(), counter->PreviousBar()});
  }
  std::vector<TSeen> Take() { return std::exchange(seen, {}); }
  TBarCounter* counter = nullptr;
  std::vector<TSeen> seen;  // data node thread; read by the test between jobs
};

class BarCounterProbe : public BarCounterTest {
 protected:
  TBarCounter* Listen(int minutesPerBar) {
    auto [counter, link] = TBarCounter::Find(minutesPerBar, TW_METHOD(&probe_, OnBar));
    probe_.counter = counter;
    link->SetReceiveInput(true);
    links_.emplace_back(link);
    EXPECT_EQ(counter->BarState(), bsNone) << "a counter of an earlier test is still alive";
    return counter;
  }
  TBarProbe probe_;
};

TEST_F(BarCounterProbe, PreOpenMinuteGivesNoBarAndTheOpenGivesTheFirst) {
  const TDateTime day = FreshDay();
  TBarCounter* counter = Listen(1);

  AdvanceTo(At(day, 6, 29, 59));
  EXPECT_EQ(TSynchronizedTimer::Instance().MinuteIndex(), -1);
  EXPECT_TRUE(probe_.Take().empty());
  EXPECT_EQ(counter->BarState(), bsNone);
  EXPECT_EQ(counter->CurrentBar(), kNoBar);
  EXPECT_FALSE(counter->PassedOn());

  AdvanceTo(At(day, 6, 30, 0));
  EXPECT_EQ(TSynchronizedTimer::Instance().MinuteIndex(), 0);
  const std::vector<TSeen> open = {{1, bsFirstBar, 0, kNoBar}, {2, bsFirstBar, 0, kNoBar}};
  EXPECT_EQ(probe_.Take(), open);
  EXPECT_NEAR(counter->MinuteStart(), At(day, 6, 30), kMicrosecond);
  EXPECT_EQ(counter->Phase(), 0);
  EXPECT_EQ(TSynchronizedTimer::Instance().Phase(), 0);
}

// One counter through a day with a data gap, the close, the evening and the next day's open. Every step
// passes Phase 2 on (the counter has passed something on); Phase 1 only when the bar changes.
TEST_F(BarCounterProbe, FiveMinuteBarsThroughTheCloseIntoTheNextDay) {
  const TDateTime day = FreshDay();
  const TDateTime nextDay = day + 1;
  TBarCounter* counter = Listen(5);
  struct TStep {
    TDateTime time;
    std::optional<TSeen> phase1;  // state, bar and previous bar of a Phase 1 notification, if any
  };
  const TStep steps[] = {
      {At(day, 6, 30, 10), TSeen{1, bsFirstBar, 0, kNoBar}},
      {At(day, 6, 31), std::nullopt},  // same bar
      {At(day, 6, 35), TSeen{1, bsNextBar, 1, 0}},
      {At(day, 6, 40, 30), TSeen{1, bsNextBar, 2, 1}},
      {At(day, 6, 55), TSeen{1, bsSkippedBars, 5, 2}},  // no prints from 06:41 to 06:54
      {At(day, 12, 59, 59), TSeen{1, bsSkippedBars, 77, 5}},
      {At(day, 13, 0), TSeen{1, bsOutOfSession, kNoBar, 5}},
      {At(day, 13, 1), std::nullopt},
      {At(day, 20, 0), std::nullopt},
      {At(nextDay, 6, 29), std::nullopt},
      {At(nextDay, 6, 30), TSeen{1, bsSkippedBars, 0, kNoBar}},
      {At(nextDay, 6, 36), TSeen{1, bsNextBar, 1, 0}},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(FormatLogStamp(step.time));
    AdvanceTo(step.time);
    std::vector<TSeen> expected;
    TSeen last{2, counter->BarState(), counter->CurrentBar(), counter->PreviousBar()};
    if (step.phase1) {
      expected.push_back(*step.phase1);
      last = {2, step.phase1->state, step.phase1->current, step.phase1->previous};
    }
    expected.push_back(last);
    EXPECT_EQ(probe_.Take(), expected);
  }
  EXPECT_NEAR(counter->MinuteStart(), At(nextDay, 6, 36), kMicrosecond);
}

TEST_F(BarCounterProbe, TimesWithinOneMillisecondOfTheNextMinuteCountAsIt) {
  const TDateTime day = FreshDay();
  Listen(1);
  const TSynchronizedTimer& timer = TSynchronizedTimer::Instance();
  const double ms = kOneSecond / 1000;
  AdvanceTo(At(day, 6, 31));
  EXPECT_NEAR(timer.NextMinute(), At(day, 6, 32), kMicrosecond);

  AdvanceTo(At(day, 6, 32) - 2 * ms);
  EXPECT_EQ(timer.MinuteIndex(), 1);
  AdvanceTo(At(day, 6, 30));  // an old print never moves market time back
  EXPECT_EQ(timer.MinuteIndex(), 1);
  probe_.Take();

  AdvanceTo(At(day, 6, 32) - 0.4 * ms);
  EXPECT_EQ(timer.MinuteIndex(), 2);
  EXPECT_NEAR(timer.MinuteStart(), At(day, 6, 32), kMicrosecond);
  const std::vector<TSeen> nextBar = {{1, bsNextBar, 2, 1}, {2, bsNextBar, 2, 1}};
  EXPECT_EQ(probe_.Take(), nextBar);
}

TEST_F(BarCounterTest, PrintsFarAheadOfTheLocalClockDoNotMoveMarketTime) {
  const TDateTime day = FreshDay();
  const TSynchronizedTimer& timer = TSynchronizedTimer::Instance();
  clock::SetManual(At(day, 6, 30, 57));
  NewPrintTime(At(day, 6, 30, 50));
  EXPECT_EQ(timer.MinuteIndex(), 0);

  const int fishyBefore = timer.FishyPrints().Count();
  NewPrintTime(At(day, 6, 31, 3));  // 6 s ahead
  EXPECT_EQ(timer.MinuteIndex(), 0);
  EXPECT_EQ(timer.FishyPrints().Count(), fishyBefore + 1);

  NewPrintTime(At(day, 6, 31, 1));  // 4 s ahead
  EXPECT_EQ(timer.MinuteIndex(), 1);
  EXPECT_EQ(timer.FishyPrints().Count(), fishyBefore + 1);
}

// Which fishy prints reach the log: the count doubles between lines, and a new worst always gets one.
TEST_F(BarCounterTest, FishyPrintsAreLoggedAtPowersOfTwoAndAtEveryNewWorst) {
  struct TCase {
    const char* name;
    int worstAt;  // the print (1-based) that is 20 s ahead instead of 10 s; 0 for none
    std::vector<int> logged;
  };
  const TCase cases[] = {
      {"steady", 0, {1, 2, 4, 8, 16}},
      {"new worst 14th", 14, {1, 2, 4, 8, 14}},  // and the limit starts again from there: not the 16th
      {"new worst 3rd", 3, {1, 2, 3, 6, 12}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFishyPrints filter;
    TDebugLog::Instance().TakePending();
    for (int print = 1; print <= 16; ++print) {
      EXPECT_FALSE(filter.Accept((print == c.worstAt ? 20 : 10) * kOneSecond));
    }
    EXPECT_EQ(filter.Count(), 16);
    std::vector<int> logged;
    for (const std::string& line : TDebugLog::Instance().TakePending()) {
      int count = 0;
      auto at = line.find(":  ");
      ASSERT_NE(at, std::string::npos);
      ASSERT_EQ(std::sscanf(line.c_str() + at + 3, "%d fishy prints.", &count), 1) << line;
      logged.push_back(count);
    }
    EXPECT_EQ(logged, c.logged);
  }
}

TEST_F(BarCounterTest, FishyPrintTextAndLeadBoundary) {
  TFishyPrints filter;
  EXPECT_TRUE(filter.Accept(5 * kOneSecond));
  EXPECT_TRUE(filter.Accept(-3600 * kOneSecond));  // late prints are normal
  EXPECT_FALSE(filter.Accept(5.5 * kOneSecond));
  EXPECT_FALSE(filter.Accept(12.25 * kOneSecond));
  auto lines = TDebugLog::Instance().TakePending();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(":  1 fishy prints.  Last:  5.5 seconds ahead.  Worst:  0 seconds ahead"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find(":  2 fishy prints.  Last:  12.25 seconds ahead.  Worst:  5.5 seconds ahead"),
            std::string::npos)
      << lines[1];
}

TEST_F(BarCounterTest, CountersAreSharedPerBarLength) {
  auto [five, a] = TBarCounter::Find(5);
  auto [again, b] = TBarCounter::Find(5);
  auto [one, c] = TBarCounter::Find(1);
  links_.emplace_back(a);
  links_.emplace_back(b);
  links_.emplace_back(c);
  EXPECT_EQ(five, again);
  EXPECT_NE(five, one);
  EXPECT_EQ(five->Key(), std::string("TBarCounter;\x05"));
  EXPECT_EQ(five->MinutesPerBar(), 5);

  const std::pair<int, std::int32_t> barsPerSession[] = {{1, 390}, {5, 78}, {30, 13}, {60, 7}, {255, 2}};
  for (auto [minutes, bars] : barsPerSession) {
    auto [counter, link] = TBarCounter::Find(minutes);
    links_.emplace_back(link);
    EXPECT_EQ(counter->BarsPerSession(), bars) << minutes << " minutes";
  }
}

TEST_F(BarCounterTest, BadKeysAndLengthsFailWithoutLeavingANode) {
  const std::int32_t before = TDataNode::LiveNodeCount();
  for (const std::string& key : {std::string(), std::string("\x05\x05"), std::string(1, '\0')}) {
    SCOPED_TRACE(key.size());
    try {
      TBarCounter::CreateFromKey(key);
      ADD_FAILURE() << "accepted";
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), "Assertion failure");
    }
  }
  for (int minutes : {0, -1, 256}) {
    EXPECT_THROW(TBarCounter::Find(minutes), EAssertionFailed) << minutes;
  }
  EXPECT_EQ(TDataNode::LiveNodeCount(), before);
}

}  // namespace
}  // namespace tarnwell
