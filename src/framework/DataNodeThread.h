#pragma once
// The data node thread: the one worker that runs every node job. Two FIFO queues, priority 0 always drained
// first; a job's queue time is the "current time" market logic sees while it runs.

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "framework/Callback.h"
#include "framework/Clock.h"
#include "framework/Event.h"

namespace tarnwell {

/// One queued job. Pooled records go back to the pool after use; the rest are made and freed per job.
struct TCallbackContainer {
  bool Pooled = false;
  TCallback Callback;
  std::int64_t NodeId = -1;  ///< the node the job belongs to, or -1 for none
  TDateTime QueuedAt = 0;
  TCallbackContainer* next = nullptr;  // queue or pool chain
};

class TDataNodeThread {
 public:
  static constexpr int kPoolSize = 10000;

  /// The thread of the process, created and started on first use; never stopped or freed.
  static TDataNodeThread& Instance();
  /// True only on the data node thread.
  static bool IsCurrentThread();

  /// Queues a job (any thread, never waits for the consumer). Priority 0 or 1.
  void Enqueue(int priority, std::int64_t nodeId, TCallback callback);

  /// Waits until every job queued before the call has run. Not from the data node thread.
  void Flush();
  /// Waits until no more than `length` jobs wait in the queues, so that a producer can stay a bounded
  /// distance ahead. Not from the data node thread; one such waiter at a time.
  void WaitForQueueAtMost(std::size_t length);

  std::uint32_t AddedCount() const;
  std::uint32_t RemovedCount() const;
  /// Jobs waiting in a queue.
  std::size_t QueueLength(int priority) const;
  /// Pooled records currently free.
  std::size_t PoolFree() const;

  /// The queue time of the job running now. Any thread (others see a recent value).
  TDateTime CurrentDataTime() const { return currentDataTime_.load(std::memory_order_relaxed); }
  void SetCurrentDataTime(TDateTime time) { currentDataTime_.store(time, std::memory_order_relaxed); }

 private:
  TDataNodeThread();
  void Execute();
  /// The next job whose node is still alive, or false when both queues are empty.
  bool GetNextJob(TCallback& job);
  void Recycle(TCallbackContainer* record);

  struct TQueue {
    TCallbackContainer* head = nullptr;
    TCallbackContainer* tail = nullptr;
    std::size_t length = 0;
  };

  std::atomic<TDateTime> currentDataTime_{0};  // written by the data node thread only
  mutable std::recursive_mutex queueLock_;
  TQueue queues_[2];                    // guarded by queueLock_
  TCallbackContainer* pool_ = nullptr;  // guarded by queueLock_
  std::size_t poolFree_ = 0;            // guarded by queueLock_
  std::uint32_t addedCount_ = 0;        // guarded by queueLock_
  std::uint32_t removedCount_ = 0;      // guarded by queueLock_
  std::ptrdiff_t lowWater_ = -1;        // guarded by queueLock_: the length a waiter waits for, or -1
  TEvent lowWaterReached_;              // auto-reset
  TEvent wake_;                         // auto-reset
  std::thread thread_;
};

/// Starts the framework's process-wide state: the data node thread and the registries.
void InitializeFramework();

/// Runs fn as a job on the data node thread and waits for its result; a failure inside is rethrown here.
/// Not from the data node thread.
template <class Fn>
auto CallOnDataNodeThread(Fn fn) -> decltype(fn()) {
  auto task = std::make_shared<std::packaged_task<decltype(fn())()>>(std::move(fn));
  auto result = task->get_future();
  TDataNodeThread::Instance().Enqueue(1, -1, TCallback::Function([task] { (*task)(); }));
  return result.get();
}

}  // namespace tarnwell
