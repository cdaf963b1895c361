#include "framework/Timers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <string>

#include "framework/DebugLog.h"
#include "framework/Errors.h"

namespace tarnwell {
namespace {

std::recursive_mutex& ProcessTimerLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex;  // never freed: the thread outlives statics
  return *lock;
}

void LogCallbackFailure(const TCallback& callback, std::exception_ptr error) {
  AddLine("In Timer thread:  " + DescribeCallbackFailure(callback, error));
}

}  // namespace

// --- TTimerEvent -----------------------------------------------------------------------------------------

TTimerEvent::TTimerEvent(TDateTime due, double periodDays, bool absolute, TCallback callback)
    : callback_(std::move(callback)),
      due_(due),
      anchor_(due),
      period_(periodDays),
      repeating_(periodDays > 0),
      absolute_(absolute) {}

TTimerEventRef TTimerEvent::Start(std::int64_t delayMs, std::int64_t periodMs, TDateTime startTime,
                                  TCallback callback) {
  const bool absolute = startTime != 0;
  // Counted before the time is read: a setback in between re-plans the event rather than leaving it late.
  const std::uint64_t setbacks = clock::Setbacks();
  const TDateTime start = absolute ? startTime : clock::Now();
  std::shared_ptr<TTimerEvent> event(new TTimerEvent(start + static_cast<double>(delayMs) / kMsPerDay,
                                                     static_cast<double>(periodMs) / kMsPerDay, absolute,
                                                     std::move(callback)));
  event->plannedAt_ = setbacks;
  TTimerThread::Instance().Add(event);
  return event;
}

bool TTimerEvent::LessThan(const IHeapable& other) const {
  const auto& that = static_cast<const TTimerEvent&>(other);
  if (due_ != that.due_) return due_ < that.due_;
  // Wrap-around difference: still right when the counter passes 2^32 while both events wait.
  return static_cast<std::int32_t>(sequence_ - that.sequence_) < 0;
}

void TTimerEvent::Fire() {
  std::lock_guard guard(TTimerThread::TimerLock());
  if (finished_.load(std::memory_order_acquire)) return;
  try {
    callback_();
  } catch (...) {
    LogCallbackFailure(callback_, std::current_exception());
  }
  if (!repeating_) {
    finished_.store(true, std::memory_order_release);
    return;
  }
  if (finished_.load(std::memory_order_acquire)) return;  // cancelled by its own callback
  due_ = anchor_ + static_cast<double>(++periods_) * period_;
  TTimerThread::Instance().Add(shared_from_this());
}

void TTimerEvent::Cancel() {
  std::lock_guard guard(TTimerThread::TimerLock());
  finished_.store(true, std::memory_order_release);
}

// --- TTimerThread ----------------------------------------------------------------------------------------

TTimerThread& TTimerThread::Instance() {
  static TTimerThread* thread = new TTimerThread;
  return *thread;
}

std::recursive_mutex& TTimerThread::TimerLock() {
  return ProcessTimerLock();
}

TTimerThread::TTimerThread() {
  // A clock set by hand (tests, replay) must not wait for the next 100 ms look at it.
  clock::AddWatcher([this] { wake_.Set(); });
  thread_ = std::thread([this] { Execute(); });
  thread_.detach();  // runs until the process ends
}

void TTimerThread::Add(std::shared_ptr<TTimerEvent> event) {
  Assert(event != nullptr);
  {
    std::lock_guard guard(queueLock_);
    Push(std::move(event));
    ++addedCount_;
  }
  wake_.Set();
}

void TTimerThread::Push(std::shared_ptr<TTimerEvent> event) {
  event->sequence_ = nextSequence_++;
  queue_.Push(std::move(event));
}

std::uint32_t TTimerThread::AddedCount() const {
  std::lock_guard guard(queueLock_);
  return addedCount_;
}

std::uint32_t TTimerThread::RemovedCount() const {
  std::lock_guard guard(queueLock_);
  return removedCount_;
}

TDateTime TTimerThread::NextDue() const {
  std::lock_guard guard(queueLock_);
  if (const THeap::Item& top = queue_.Peek()) return static_cast<const TTimerEvent&>(*top).due_;
  return std::numeric_limits<TDateTime>::infinity();
}

TDateTime TTimerThread::NextDueNotQuiet() const {
  std::lock_guard guard(queueLock_);
  TDateTime earliest = std::numeric_limits<TDateTime>::infinity();
  for (std::int32_t i = 0; i < queue_.Count(); ++i) {
    const auto& event = static_cast<const TTimerEvent&>(*queue_.At(i));
    if (!event.IsQuiet() && event.due_ < earliest) earliest = event.due_;
  }
  return earliest;
}

void TTimerThread::WaitForDueEvents() {
  // Events due at the same moment fire in queue order, so a marker due as late as counts as now fires after
  // every event due by now.
  auto fired = std::make_shared<TEvent>(true);
  TTimerEventRef marker = OneShot(clock::Now() + kDueSlack, TCallback::Function([fired] { fired->Set(); }));
  fired->Wait();
}

std::int32_t TTimerThread::QueueLength() const {
  std::lock_guard guard(queueLock_);
  return queue_.Count();
}

void TTimerThread::Execute() {
  std::uint64_t seenSetbacks = clock::Setbacks();
  TDateTime previous = clock::Now();
  for (;;) {
    try {
      // The count tells of every setback of the clock, even one this thread never saw (set back and forward
      // again between two looks), and which events were planned before it. A time below the last one with
      // no setback counted is the system clock going back: every relative event is re-planned.
      const std::uint64_t setbacks = clock::Setbacks();
      const TDateTime now = clock::Now();
      if (setbacks != seenSetbacks) {
        Reschedule(now, setbacks, false);
      } else if (now < previous) {
        Reschedule(now, setbacks, true);
      }
      seenSetbacks = setbacks;
      previous = now;

      std::shared_ptr<TTimerEvent> due;
      std::int64_t wait = kNoWait;
      {
        std::lock_guard guard(queueLock_);
        if (const THeap::Item& top = queue_.Peek()) {
          auto& event = static_cast<TTimerEvent&>(*top);
          if (!event.IsPending()) {
            queue_.Pop();
            ++removedCount_;
            wait = 0;
          } else {
            // Due means due: an event a fraction of a millisecond ahead waits for it. Rounded to the
            // millisecond, it fired before its time, and a player of recorded data that had set the clock
            // just short of it found it firing among the updates that followed.
            if (IsDueBy(event.due_, now)) {
              wait = 0;
              due = std::static_pointer_cast<TTimerEvent>(queue_.Pop());
              ++removedCount_;
            } else {
              const double ms = std::ceil((event.due_ - now) * kMsPerDay);
              wait = static_cast<std::int64_t>(std::clamp(ms, 1.0, static_cast<double>(kNoWait)));
            }
          }
        }
      }
      nextWait_.store(static_cast<std::int32_t>(wait), std::memory_order_relaxed);
      if (due) due->Fire();
      if (wait <= 0) continue;
      sleeping_.store(true, std::memory_order_relaxed);
      // The wait is in the clock's milliseconds; a simulated day runs faster than the system's.
      wake_.WaitFor(std::chrono::milliseconds(std::min<std::int64_t>(clock::RealMs(static_cast<double>(wait)), kLongestSleepMs)));
      sleeping_.store(false, std::memory_order_relaxed);
    } catch (...) {
      // Callbacks are contained by Fire; this is the queue itself failing (memory). Keep the timers going.
      ReportException(std::current_exception(), "Timer thread");
    }
  }
}

void TTimerThread::Reschedule(TDateTime now, std::uint64_t setbacks, bool all) {
  std::vector<std::shared_ptr<TTimerEvent>> events;
  {
    std::lock_guard guard(queueLock_);
    std::vector<std::shared_ptr<TTimerEvent>> kept;
    while (THeap::Item item = queue_.Pop()) {
      auto event = std::static_pointer_cast<TTimerEvent>(item);
      const bool stale = !event->absolute_ && (all || event->plannedAt_ != setbacks);
      (stale ? events : kept).push_back(std::move(event));
    }
    for (auto& event : kept) Push(std::move(event));  // the same events back in, not new ones
    removedCount_ += static_cast<std::uint32_t>(events.size());
  }
  for (std::shared_ptr<TTimerEvent>& event : events) {
    // A relative event meant "so long from now"; after the jump that moment is now.
    event->due_ = now;
    event->anchor_ = now;
    event->periods_ = 0;
    event->plannedAt_ = setbacks;
    event->Fire();
  }
}

TTimerEventRef Repeating(std::int64_t periodMs, TDateTime startTime, TCallback callback) {
  return TTimerEvent::Start(0, periodMs, startTime, std::move(callback));
}

TTimerEventRef OneShot(TDateTime startTime, TCallback callback) {
  return TTimerEvent::Start(0, 0, startTime, std::move(callback));
}

}  // namespace tarnwell
