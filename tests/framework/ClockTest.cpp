#include "framework/Clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <stdexcept>

namespace tarnwell {
namespace {

TEST(Clock, EncodeDecodeRoundTripsAcrossTheCalendar) {
  struct Case {
    int y, mo, d, h, mi, s, ms;
    double expected;  // days since 1899-12-30, where known
  } cases[] = {
      {1899, 12, 30, 0, 0, 0, 0, 0.0},
      {1900, 3, 1, 0, 0, 0, 0, 61.0},
      {2004, 7, 15, 9, 30, 0, 0, 38183.0 + 9.5 / 24},
      {2024, 2, 29, 23, 59, 59, 999, -1},
      {2026, 12, 10, 6, 30, 0, 0, -1},
  };
  for (const Case& c : cases) {
    TDateTime t = EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms);
    if (c.expected >= 0) {
      EXPECT_DOUBLE_EQ(t, c.expected);
    }
    TDateTimeParts p = DecodeDateTime(t);
    EXPECT_EQ(p.year, c.y);
    EXPECT_EQ(p.month, c.mo);
    EXPECT_EQ(p.day, c.d);
    EXPECT_EQ(p.hour, c.h);
    EXPECT_EQ(p.minute, c.mi);
    EXPECT_EQ(p.second, c.s);
    EXPECT_EQ(p.millisecond, c.ms);
  }
}

TEST(Clock, FileStampPadsEveryField) {
  EXPECT_EQ(FormatFileStamp(EncodeDateTime(2004, 7, 15, 9, 30, 0)), "2004_07_15__09_30_00");
  EXPECT_EQ(FormatLogStamp(EncodeDateTime(2004, 7, 5, 9, 3, 7)), "07/05/2004 09:03:07");
}

TEST(Clock, ManualTimeWinsUntilTheSystemClockIsRestored) {
  int changes = 0;
  int watcher = clock::AddWatcher([&] { ++changes; });
  TDateTime t = EncodeDateTime(2026, 3, 2, 6, 30);
  clock::SetManual(t);
  EXPECT_DOUBLE_EQ(clock::Now(), t);
  clock::Advance(kOneHour);
  EXPECT_NEAR(clock::Now(), t + kOneHour, 1e-9);
  clock::UseSystem();
  EXPECT_FALSE(clock::IsManual());
  EXPECT_GT(clock::Now(), EncodeDateTime(2020, 1, 1));
  EXPECT_EQ(changes, 3);
  clock::RemoveWatcher(watcher);
  EXPECT_THROW(clock::Advance(1), std::logic_error);
}

// The inline rounding helpers stand in for llround and floor on the hot path: same answers, including
// the halves, the negatives and the value just below a half that adding 0.5 would round up.
TEST(Clock, RoundingHelpersMatchTheLibrary) {
  for (double x : {0.0, 0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 0.49999999999999994, -0.49999999999999994, 1e15 + 0.5,
                   3966969600000.4999, 3966969600000.5, -3966969600000.5, 46365.999999999993, 4503599627370497.0}) {
    SCOPED_TRACE(x);
    EXPECT_EQ(RoundHalfAwayFromZero(x), std::llround(x));
    EXPECT_EQ(FloorToInt64(x), static_cast<std::int64_t>(std::floor(x)));
  }
}

}  // namespace
}  // namespace tarnwell

namespace tarnwell {
namespace {

TEST(Clock, ASimulatedDayRunsFromItsStartAtItsRateAndWaitsShrinkToMatch) {
  const double now = static_cast<double>(std::time(nullptr));
  const TDateTime start = EncodeDateTime(2026, 12, 9, 4, 15);
  // Shown its start ten real seconds ago, at 60 times real pace: ten minutes later now.
  clock::UseSimulated(start, 60, now - 10);
  EXPECT_NEAR((clock::Now() - start) * kSecondsPerDay, 600, 90);
  EXPECT_EQ(clock::Rate(), 60);
  EXPECT_EQ(clock::RealMs(60000), 1000);
  EXPECT_EQ(clock::RealMs(10), 1) << "a positive wait never rounds to nothing";
  EXPECT_EQ(clock::RealMs(0), 0);
  EXPECT_THROW(clock::UseSimulated(start, 0, now), std::invalid_argument);
  clock::UseSystem();
  EXPECT_EQ(clock::Rate(), 1);
  EXPECT_NEAR(clock::NowUnixSeconds(), static_cast<double>(std::time(nullptr)), 2);
}

}  // namespace
}  // namespace tarnwell
