#pragma once
// What the framework needs of the user interface thread, without knowing the toolkit: run a function there
// and wait, tell whether the caller is there, and repeating timers there. The desktop program installs a Qt
// implementation; tests and the unattended server install TPlainUserInterfaceThread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace tarnwell {

class IUserInterfaceThread {
 public:
  virtual ~IUserInterfaceThread() = default;
  /// Runs fn on the user interface thread and returns when it has run (at once when called there).
  virtual void RunAndWait(const std::function<void()>& fn) = 0;
  virtual bool IsCurrentThread() const = 0;
  /// Calls onTick on the user interface thread every interval until StopTimer. Returns the timer's id.
  virtual int StartTimer(std::chrono::milliseconds interval, std::function<void()> onTick) = 0;
  virtual void StopTimer(int id) = 0;
};

/// Installs the process's user interface thread (not owned). Null removes it.
void SetUserInterfaceThread(IUserInterfaceThread* thread);
/// The installed user interface thread, or null.
IUserInterfaceThread* UserInterfaceThread();

/// A plain thread that runs queued functions and timers in order: the user interface thread of tests and of
/// a process without a display.
class TPlainUserInterfaceThread final : public IUserInterfaceThread {
 public:
  TPlainUserInterfaceThread();
  ~TPlainUserInterfaceThread() override;

  void RunAndWait(const std::function<void()>& fn) override;
  bool IsCurrentThread() const override;
  int StartTimer(std::chrono::milliseconds interval, std::function<void()> onTick) override;
  void StopTimer(int id) override;

 private:
  struct TTimer {
    std::chrono::milliseconds interval;
    std::chrono::steady_clock::time_point due;
    std::function<void()> onTick;
  };
  void Run();

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;  // guarded by lock_
  std::map<int, TTimer> timers_;             // guarded by lock_
  int nextTimer_ = 1;                        // guarded by lock_
  bool stopping_ = false;                    // guarded by lock_
  std::thread thread_;
};

}  // namespace tarnwell
