#include "server/Log.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace tarnwell::vendor {

namespace {
std::atomic<bool> quietLog{false};
}  // namespace

void SetLogQuiet(bool quiet) {
  quietLog = quiet;
}

void LogLine(std::string_view text) {
  if (quietLog) return;
  static std::mutex mutex;
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[32];
  std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
  std::lock_guard lock(mutex);
  std::fprintf(stderr, "%s.%03d tarnwell-feed: %.*s\n", stamp, static_cast<int>(millis),
               static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

}  // namespace tarnwell::vendor
