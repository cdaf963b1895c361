#pragma once
// Wall-clock timers: callbacks after a delay or every period, run by the one timer thread of the process.
// Callbacks run on that thread under the process-wide timer lock, so they must be short; node work belongs
// on the data node thread (QueueCallback). Every time read goes through the framework clock, so setting a
// manual clock moves timers at once.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/Callback.h"
#include "framework/Clock.h"
#include "framework/Event.h"
#include "framework/Heap.h"

namespace tarnwell {

class TTimerEvent;

/// An event due at `due` counts as due at `time` when it is at most this far ahead. Date-times carry about
/// a microsecond of rounding today, so a timer planned for a moment (a repeating one adding its period) can
/// land a hair after the same moment read from data; both must count as the same moment.
constexpr TDateTime kDueSlack = 0.01 / kMsPerDay;
inline bool IsDueBy(TDateTime due, TDateTime time) {
  return due <= time + kDueSlack;
}

/// A scheduled callback, shared by its creator and the timer queue.
class ITimerEvent {
 public:
  virtual ~ITimerEvent() = default;
  /// Stops the event. When it returns, the callback is not running (unless called from that callback) and
  /// never runs again. Any thread; waits for a callback running on the timer thread.
  virtual void Cancel() = 0;
  /// True until the event has fired for the last time or was cancelled.
  virtual bool IsPending() const = 0;
  virtual TTimerEvent& GetObject() = 0;
};

using TTimerEventRef = std::shared_ptr<ITimerEvent>;

class TTimerEvent final : public IHeapable,
                          public ITimerEvent,
                          public std::enable_shared_from_this<TTimerEvent> {
 public:
  /// Queues an event due at startTime (now when 0) plus delayMs, then every periodMs (one shot when 0).
  /// An explicit start time makes the event absolute: it keeps its due time when the clock is set back.
  static TTimerEventRef Start(std::int64_t delayMs, std::int64_t periodMs, TDateTime startTime,
                              TCallback callback);

  /// Due earlier, or due at the same moment and queued first.
  bool LessThan(const IHeapable& other) const override;

  /// Calls the callback unless finished, then queues the next firing or finishes. A failure of the callback
  /// is logged, never raised: one bad tick must not stop the timer thread or the event. Timer thread.
  void Fire();

  void Cancel() override;
  bool IsPending() const override { return !finished_.load(std::memory_order_acquire); }
  TTimerEvent& GetObject() override { return *this; }

  bool IsRepeating() const { return repeating_; }
  bool IsAbsolute() const { return absolute_; }
  /// Marks an event whose work only reads and reports what the engine already holds: it never asks a
  /// server for data, so a player of recorded data need not stop the data at its due times.
  void SetQuiet() { quiet_.store(true, std::memory_order_relaxed); }
  bool IsQuiet() const { return quiet_.load(std::memory_order_relaxed); }

 private:
  friend class TTimerThread;
  TTimerEvent(TDateTime due, double periodDays, bool absolute, TCallback callback);

  const TCallback callback_;
  // Written only while the event is off the queue, by the thread that took it off; read under the queue
  // lock while it is queued.
  TDateTime due_;
  // A repeating event is due at anchor_ plus whole periods, so that its times do not drift by the
  // rounding of adding one period at a time. Written as due_ is.
  TDateTime anchor_;
  std::int64_t periods_ = 0;
  const double period_;                // days
  std::atomic<bool> finished_{false};  // set under the timer lock, so a callback never starts after Cancel
  const bool repeating_;
  const bool absolute_;
  std::atomic<bool> quiet_{false};
  std::uint32_t sequence_ = 0;  // guarded by the timer thread's queue lock
  // The clock's setback count when due_ was last planned from the clock's time: a relative event planned
  // before a setback is re-planned, one planned after it keeps its time. Written as due_ is.
  std::uint64_t plannedAt_ = 0;
};

/// First firing at startTime (now when 0), then every periodMs.
TTimerEventRef Repeating(std::int64_t periodMs, TDateTime startTime, TCallback callback);
/// One firing at startTime (now when 0).
TTimerEventRef OneShot(TDateTime startTime, TCallback callback);

/// The thread that fires timer events. It looks at the clock at least every 100 ms, at once when an event is
/// queued or the clock is set, and reschedules when the clock went back.
class TTimerThread {
 public:
  /// The thread of the process, created and started on first use; never stopped or freed.
  static TTimerThread& Instance();

  /// Held while a callback runs and by Cancel; taken before the queue lock.
  static std::recursive_mutex& TimerLock();

  /// Queues the event with the next sequence number and wakes the thread. Any thread.
  void Add(std::shared_ptr<TTimerEvent> event);

  /// When the earliest queued event is due (a cancelled one counts until it reaches the top); +infinity for
  /// an empty queue. Any thread.
  TDateTime NextDue() const;
  /// The same over the events that are not quiet. Any thread; looks at every queued event.
  TDateTime NextDueNotQuiet() const;
  /// Waits until every event due by the clock's present time (IsDueBy) has fired. Any thread but the timer
  /// thread.
  void WaitForDueEvents();

  // Statistics for the diagnostics window. Any thread.
  std::uint32_t AddedCount() const;
  std::uint32_t RemovedCount() const;
  bool Sleeping() const { return sleeping_.load(std::memory_order_relaxed); }
  /// Milliseconds until the top event is due when last looked; kNoWait for an empty queue.
  std::int32_t NextWait() const { return nextWait_.load(std::memory_order_relaxed); }
  /// Events in the queue, finished ones included until they reach the top.
  std::int32_t QueueLength() const;

  static constexpr std::int32_t kNoWait = 2147483647;
  static constexpr std::int32_t kLongestSleepMs = 100;

 private:
  TTimerThread();
  void Execute();
  /// Queues with the next sequence number. Under queueLock_.
  void Push(std::shared_ptr<TTimerEvent> event);
  /// Empties the queue after the clock went back: absolute events go back in, and so do relative ones
  /// planned after the last setback (unless `all`); the others fire now.
  void Reschedule(TDateTime now, std::uint64_t setbacks, bool all);

  mutable std::recursive_mutex queueLock_;
  TEvent wake_;                                  // auto-reset
  THeap queue_;                                  // guarded by queueLock_
  std::uint32_t nextSequence_ = 0;               // guarded by queueLock_
  std::uint32_t addedCount_ = 0;                 // guarded by queueLock_
  std::uint32_t removedCount_ = 0;               // guarded by queueLock_
  std::atomic<bool> sleeping_{false};            // written by the timer thread only
  std::atomic<std::int32_t> nextWait_{kNoWait};  // written by the timer thread only
  std::thread thread_;
};

}  // namespace tarnwell
