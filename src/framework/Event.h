#pragma once
// An event in the old sense: auto-reset (one waiter passes per Set, then it is unsignalled again) or
// manual-reset (stays signalled until Reset). Waits may have a time-out.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarnwell {

class TEvent {
 public:
  explicit TEvent(bool manualReset = false, bool signalled = false)
      : manualReset_(manualReset), signalled_(signalled), signalledHint_(signalled) {}

  void Set() {
    // Nobody can be waiting on a signalled event: producers that find it set need neither lock nor wake-up.
    if (signalledHint_.load()) return;
    {
      std::lock_guard guard(lock_);
      if (signalled_) return;
      signalled_ = true;
      signalledHint_.store(true);
    }
    if (manualReset_) {
      changed_.notify_all();
    } else {
      changed_.notify_one();
    }
  }

  void Reset() {
    std::lock_guard guard(lock_);
    Clear();
  }

  void Wait() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return signalled_; });
    if (!manualReset_) Clear();
  }

  /// True when the event was signalled within the time-out.
  template <class Rep, class Period>
  bool WaitFor(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock guard(lock_);
    if (!changed_.wait_for(guard, timeout, [this] { return signalled_; })) return false;
    if (!manualReset_) Clear();
    return true;
  }

 private:
  void Clear() {
    signalled_ = false;
    signalledHint_.store(false);
  }

  const bool manualReset_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool signalled_;                          // guarded by lock_
  std::atomic<bool> signalledHint_{false};  // written under lock_ with signalled_, read without
};

}  // namespace tarnwell
