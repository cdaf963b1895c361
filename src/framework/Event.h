#pragma once
// An event in the old sense: auto-reset (one waiter passes per Set, then it is unsignalled again) or
// manual-reset (stays signalled until Reset). Waits may have a time-out.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarnwell {

class TEvent {
 public:
  explicit TEvent(bool manualReset = false, bool signalled = false)
      : manualReset_(manualReset), signalled_(signalled) {}

  void Set() {
    {
      std::lock_guard guard(lock_);
      if (signalled_) return;  // nobody can be waiting on a signalled event: no wake-up needed
      signalled_ = true;
    }
    if (manualReset_) {
      changed_.notify_all();
    } else {
      changed_.notify_one();
    }
  }

  void Reset() {
    std::lock_guard guard(lock_);
    signalled_ = false;
  }

  void Wait() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return signalled_; });
    if (!manualReset_) signalled_ = false;
  }

  /// True when the event was signalled within the time-out.
  template <class Rep, class Period>
  bool WaitFor(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock guard(lock_);
    if (!changed_.wait_for(guard, timeout, [this] { return signalled_; })) return false;
    if (!manualReset_) signalled_ = false;
    return true;
  }

 private:
  const bool manualReset_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool signalled_;  // guarded by lock_
};

}  // namespace tarnwell
