#pragma once
// The one clock of the system. Every read of "now" goes through here, so tests, replay and benchmarks can
// set the time instead of sleeping.

#include <cstdint>
#include <functional>
#include <string>

namespace tarnwell {

/// Date-times are days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

constexpr double kSecondsPerDay = 86400.0;
constexpr double kOneSecond = 1.0 / kSecondsPerDay;
constexpr double kOneMinute = 60.0 / kSecondsPerDay;
constexpr double kOneHour = 3600.0 / kSecondsPerDay;
constexpr double kMsPerDay = 86400000.0;

namespace clock {

/// Local date-time now: the system clock in the local zone (with the zone's offset of this moment, so a
/// run across a daylight-saving change follows it), or the manual time while one is set. Any thread.
TDateTime Now();

/// Seconds since the Unix epoch (UTC) that correspond to Now().
double NowUnixSeconds();

/// Freezes the clock at a local date-time; Now() returns it until changed. Wakes every clock watcher.
void SetManual(TDateTime localTime);

/// Sets the manual time without waking the clock watchers, for a caller that fires every timer due by then
/// itself (a replay moving the clock at every update). Any thread.
void SetManualQuietly(TDateTime localTime);

/// Moves a manual clock forward (or back, with a negative step). Fails when the clock is not manual.
void Advance(double days);

/// Goes back to the system clock. Wakes every clock watcher.
void UseSystem();

bool IsManual();

/// How many times the clock has been set back: a manual time earlier than the one before it, or a switch
/// of source (system, simulated, manual) that may go back. Counted where the clock is set, so a thread that
/// looks at the clock only now and then still learns of a setback it never saw. Any thread.
std::uint64_t Setbacks();

/// A simulated day: the clock showed `startLocal` at the moment `sinceUnixSeconds` of the system clock and
/// runs `rate` times as fast from there. Processes given the same three values share one clock. Wakes
/// every clock watcher.
void UseSimulated(TDateTime startLocal, double rate, double sinceUnixSeconds);
/// How many seconds of this clock pass in one real second: the simulated rate, else 1.
double Rate();
/// Real milliseconds until this clock has moved `clockMs` milliseconds (at least 1 for a positive span).
std::int64_t RealMs(double clockMs);

/// "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" as a local date-time; none when the text is not one.
bool ParseLocalDateTime(const std::string& text, TDateTime& result);

/// Seconds since the Unix epoch of a local date-time, with the zone's offset of that date. A wall time the
/// spring change skips counts with the offset before the change; one the autumn change repeats, with one
/// of its two offsets.
double LocalToUnixSeconds(TDateTime local);
/// The local date-time of seconds since the Unix epoch.
TDateTime UnixSecondsToLocal(double seconds);

/// Called (on the thread that changed the clock) whenever a manual time is set or the clock returns to
/// the system; timer threads use it to re-plan their waits. Returns an id for RemoveWatcher.
int AddWatcher(std::function<void()> onChange);
void RemoveWatcher(int id);

}  // namespace clock

/// Calendar helpers on TDateTime.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
struct TDateTimeParts {
  int year, month, day, hour, minute, second, millisecond;
};
TDateTimeParts DecodeDateTime(TDateTime t);

/// std::llround and std::floor without the library calls (these run for every update): the same results
/// for every magnitude a date-time in days or milliseconds takes (below 2^63).
inline std::int64_t RoundHalfAwayFromZero(double x) {
  const auto whole = static_cast<std::int64_t>(x);  // toward zero
  const double rest = x - static_cast<double>(whole);  // exact
  return whole + (rest >= 0.5) - (rest <= -0.5);
}
inline std::int64_t FloorToInt64(double x) {
  const auto whole = static_cast<std::int64_t>(x);
  return whole - (static_cast<double>(whole) > x);
}

/// A date-time in whole milliseconds, so that times less than a millisecond apart compare as equal.
inline std::int64_t MsOf(TDateTime t) {
  return RoundHalfAwayFromZero(t * kMsPerDay);
}
/// The day of a date-time: whole days since 1899-12-30.
inline std::int64_t DayOf(TDateTime t) {
  return FloorToInt64(t);
}
/// Milliseconds since midnight of a date-time, rounded, so that 13:00 compares as 13:00 whatever the
/// floating-point error of the day count.
inline std::int64_t TimeOfDayMs(TDateTime t) {
  return RoundHalfAwayFromZero((t - static_cast<double>(FloorToInt64(t))) * kSecondsPerDay * 1000.0);
}
constexpr std::int64_t HoursMinutesMs(int hours, int minutes) {
  return (hours * 60LL + minutes) * 60000LL;
}

/// "yyyy_mm_dd__hh_nn_ss": the stamp used in log file names.
std::string FormatFileStamp(TDateTime t);
/// The system's short date: "mm/dd/yyyy".
std::string FormatShortDate(TDateTime t);
/// The short date and long time of log lines: "mm/dd/yyyy hh:nn:ss".
std::string FormatLogStamp(TDateTime t);

}  // namespace tarnwell
