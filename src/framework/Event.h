#pragma once
// An event in the old sense: auto-reset (one waiter passes per Set, then it is unsignalled again) or
// manual-reset (stays signalled until Reset). Waits may have a time-out.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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

  /// Wait, but first watches the event for up to `spin` before sleeping: for a thread that hands work to
  /// another and expects the answer within microseconds. A Set that finds nobody asleep makes no system call.
  void Wait(std::chrono::microseconds spin) {
    if (spin.count() <= 0) return Wait();
    const auto until = std::chrono::steady_clock::now() + spin;
    for (int round = 0; !signalledHint_.load(std::memory_order_acquire); ++round) {
      if (round % 64 == 63) {
        if (std::chrono::steady_clock::now() >= until) break;
        std::this_thread::yield();  // the thread that will Set may be waiting for this core
      }
      CpuRelax();
    }
    Wait();
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
  static void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }

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
