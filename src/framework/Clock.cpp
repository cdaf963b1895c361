#include "framework/Clock.h"

#include <atomic>
#include <chrono>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace tarnwell {
namespace {

// 1899-12-30 is 25569 days before the Unix epoch.
constexpr double kUnixEpochDays = 25569.0;

struct ClockState {
  std::mutex lock;
  std::atomic<bool> manual{false};
  std::atomic<double> manualTime{0};
  // A simulated day: unix seconds of the clock = start + (system - since) * rate. Set before threads read it.
  std::atomic<bool> simulated{false};
  double simulatedStart = 0;
  double simulatedSince = 0;
  std::atomic<double> rate{1.0};
  std::atomic<std::uint64_t> setbacks{0};
  std::map<int, std::function<void()>> watchers;  // guarded by lock
  int nextWatcher = 1;
};

ClockState& State() {
  static ClockState state;
  return state;
}

// Zone offsets change only on whole minutes, so each thread keeps the offset of the last minute it
// converted: the zone's rules are consulted once a minute per thread, never read once for the whole run.
long OffsetAtUnixSeconds(std::int64_t seconds) {
  thread_local std::int64_t cachedMinute = INT64_MIN;
  thread_local long cachedOffset = 0;
  const std::int64_t minute = seconds >= 0 ? seconds / 60 : (seconds - 59) / 60;
  if (minute != cachedMinute) {
    std::time_t t = static_cast<std::time_t>(minute * 60);
    std::tm local{};
    localtime_r(&t, &local);
    cachedOffset = local.tm_gmtoff;
    cachedMinute = minute;
  }
  return cachedOffset;
}

// Counts a setback when the clock now shows an earlier time than `before`, its time just before a change.
void CountSetback(TDateTime before) {
  if (clock::Now() < before) State().setbacks.fetch_add(1, std::memory_order_acq_rel);
}

void NotifyWatchers() {
  std::vector<std::function<void()>> copy;
  {
    std::lock_guard guard(State().lock);
    for (auto& [id, fn] : State().watchers) copy.push_back(fn);
  }
  for (auto& fn : copy) fn();
}

}  // namespace

namespace clock {

double LocalToUnixSeconds(TDateTime local) {
  // The wall-clock seconds as if the zone were UTC; the offset is the zone's at that moment. Near a change
  // the first guess's offset may be the other side's, so the guess is corrected once.
  const double wall = (local - kUnixEpochDays) * kSecondsPerDay;
  const auto wallWhole = static_cast<std::int64_t>(std::floor(wall));
  long offset = OffsetAtUnixSeconds(wallWhole - OffsetAtUnixSeconds(wallWhole));
  offset = OffsetAtUnixSeconds(wallWhole - offset);
  return wall - offset;
}

TDateTime UnixSecondsToLocal(double seconds) {
  const long offset = OffsetAtUnixSeconds(static_cast<std::int64_t>(std::floor(seconds)));
  return (seconds + offset) / kSecondsPerDay + kUnixEpochDays;
}

double NowUnixSeconds() {
  if (State().manual.load(std::memory_order_acquire)) return LocalToUnixSeconds(State().manualTime.load());
  auto since = std::chrono::system_clock::now().time_since_epoch();
  const double system = std::chrono::duration<double>(since).count();
  if (!State().simulated.load(std::memory_order_acquire)) return system;
  return State().simulatedStart + (system - State().simulatedSince) * State().rate.load();
}

TDateTime Now() {
  if (State().manual.load(std::memory_order_acquire)) return State().manualTime.load();
  return UnixSecondsToLocal(NowUnixSeconds());
}

void SetManual(TDateTime localTime) {
  SetManualQuietly(localTime);
  NotifyWatchers();
}

void SetManualQuietly(TDateTime localTime) {
  const TDateTime before = Now();
  State().manualTime.store(localTime);
  State().manual.store(true, std::memory_order_release);
  CountSetback(before);
}

void Advance(double days) {
  if (!IsManual()) throw std::logic_error("Advance needs a manual clock");
  SetManual(State().manualTime.load() + days);
}

void UseSystem() {
  const TDateTime before = Now();
  State().manual.store(false, std::memory_order_release);
  State().simulated.store(false, std::memory_order_release);
  State().rate.store(1.0);
  CountSetback(before);
  NotifyWatchers();
}

void UseSimulated(TDateTime startLocal, double rate, double sinceUnixSeconds) {
  if (!(rate > 0)) throw std::invalid_argument("a simulated clock needs a positive rate");
  const TDateTime before = Now();
  State().manual.store(false, std::memory_order_release);
  State().simulated.store(false, std::memory_order_release);
  State().simulatedStart = LocalToUnixSeconds(startLocal);
  State().simulatedSince = sinceUnixSeconds;
  State().rate.store(rate);
  State().simulated.store(true, std::memory_order_release);
  CountSetback(before);
  NotifyWatchers();
}

double Rate() { return State().simulated.load(std::memory_order_acquire) ? State().rate.load() : 1.0; }

std::int64_t RealMs(double clockMs) {
  if (clockMs <= 0) return 0;
  return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(clockMs / Rate())));
}

bool ParseLocalDateTime(const std::string& text, TDateTime& result) {
  int year, month, day, hour, minute, second = 0, used = 0;
  const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%n:%2d%n", &year, &month, &day, &hour, &minute, &used,
                            &second, &used);
  if (n < 5 || static_cast<std::size_t>(used) != text.size()) return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 || hour < 0 ||
      minute < 0 || second < 0) {
    return false;
  }
  result = EncodeDateTime(year, month, day, hour, minute, second);
  // A day that the month does not have (2026-02-30) comes back as another date.
  const TDateTimeParts parts = DecodeDateTime(result);
  return parts.year == year && parts.month == month && parts.day == day;
}

std::uint64_t Setbacks() {
  return State().setbacks.load(std::memory_order_acquire);
}

bool IsManual() {
  return State().manual.load(std::memory_order_acquire);
}

int AddWatcher(std::function<void()> onChange) {
  std::lock_guard guard(State().lock);
  int id = State().nextWatcher++;
  State().watchers.emplace(id, std::move(onChange));
  return id;
}

void RemoveWatcher(int id) {
  std::lock_guard guard(State().lock);
  State().watchers.erase(id);
}

}  // namespace clock

namespace {

// Days from the civil calendar, proleptic Gregorian (Howard Hinnant's algorithm).
long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long yy = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  double days = static_cast<double>(DaysFromCivil(year, month, day)) + kUnixEpochDays;
  double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
  return days + ms / (kSecondsPerDay * 1000.0);
}

TDateTimeParts DecodeDateTime(TDateTime t) {
  // Round to the millisecond first so that 09:30:00 never decodes as 09:29:59.999.
  double totalMs = std::round(t * kSecondsPerDay * 1000.0);
  double dayMs = kSecondsPerDay * 1000.0;
  double days = std::floor(totalMs / dayMs);
  long ms = static_cast<long>(totalMs - days * dayMs);
  TDateTimeParts p{};
  CivilFromDays(static_cast<long>(days - kUnixEpochDays), p.year, p.month, p.day);
  p.millisecond = static_cast<int>(ms % 1000);
  long s = ms / 1000;
  p.second = static_cast<int>(s % 60);
  p.minute = static_cast<int>((s / 60) % 60);
  p.hour = static_cast<int>(s / 3600);
  return p;
}

std::string FormatFileStamp(TDateTime t) {
  TDateTimeParts p = DecodeDateTime(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d_%02d_%02d__%02d_%02d_%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  return buf;
}

std::string FormatShortDate(TDateTime t) {
  TDateTimeParts p = DecodeDateTime(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", p.month, p.day, p.year);
  return buf;
}

std::string FormatLogStamp(TDateTime t) {
  TDateTimeParts p = DecodeDateTime(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
  return FormatShortDate(t) + " " + buf;
}

}  // namespace tarnwell
