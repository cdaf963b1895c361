#include "framework/DataNodeThread.h"

#include <charconv>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "framework/DataNode.h"
#include "framework/DebugLog.h"
#include "framework/Errors.h"

namespace tarnwell {
namespace {
thread_local bool onDataNodeThread = false;

// How long a thread waiting for the other side of a hand-off with the data node thread watches before it
// sleeps: the data node thread whose queue ran dry, a Flush, a producer held back by the queue's low water.
// Under load the answer mostly comes within microseconds, and a sleep and the wake-up that ends it would cost
// both threads a system call and a trip through the scheduler, far more than the work handed over (and it is
// the data node thread, the busiest, that would wake the others). Idle, each wait costs this once and then
// sleeps. TARNWELL_HANDOFF_SPIN_US sets it (0: sleep at once); a single core never watches, as the thread it
// waits for could not run meanwhile.
std::chrono::microseconds HandOffSpin() {
  static const std::chrono::microseconds spin = [] {
    using std::chrono::microseconds;
    constexpr microseconds kDefault{50};
    if (std::thread::hardware_concurrency() < 2) return microseconds(0);
    const char* set = std::getenv("TARNWELL_HANDOFF_SPIN_US");
    const std::string_view text = set != nullptr ? set : "";
    if (text.empty()) return kDefault;
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 1000000) {
      AddLine("TARNWELL_HANDOFF_SPIN_US='" + std::string(text) + "' is not 0 to 1000000: " +
              std::to_string(kDefault.count()) + " is used");
      return kDefault;
    }
    return microseconds(value);
  }();
  return spin;
}
}  // namespace

TDataNodeThread& TDataNodeThread::Instance() {
  static TDataNodeThread* thread = new TDataNodeThread;
  return *thread;
}

bool TDataNodeThread::IsCurrentThread() {
  return onDataNodeThread;
}

TDataNodeThread::TDataNodeThread() {
  for (int i = 0; i < kPoolSize; ++i) {
    auto* record = new TCallbackContainer;
    record->Pooled = true;
    record->next = pool_;
    pool_ = record;
  }
  poolFree_ = kPoolSize;
  thread_ = std::thread([this] { Execute(); });
  thread_.detach();  // runs until the process ends
}

void TDataNodeThread::Enqueue(int priority, std::int64_t nodeId, TCallback callback) {
  Assert(priority == 0 || priority == 1, "Job priority must be 0 or 1");
  TDateTime queuedAt = clock::Now();
  {
    std::lock_guard guard(queueLock_);
    TCallbackContainer* record = pool_;
    if (record) {
      pool_ = record->next;
      --poolFree_;
    } else {
      record = new TCallbackContainer;
    }
    record->Callback = std::move(callback);
    record->NodeId = nodeId;
    record->QueuedAt = queuedAt;
    record->next = nullptr;
    ++addedCount_;
    TQueue& queue = queues_[priority];
    if (queue.tail) {
      queue.tail->next = record;
    } else {
      queue.head = record;
    }
    queue.tail = record;
    ++queue.length;
  }
  wake_.Set();
}

bool TDataNodeThread::GetNextJob(TCallback& job) {
  for (;;) {
    std::int64_t nodeId;
    TDateTime queuedAt;
    {
      std::lock_guard guard(queueLock_);
      currentDataTime_.store(0, std::memory_order_relaxed);
      TQueue* queue = queues_[0].head ? &queues_[0] : queues_[1].head ? &queues_[1] : nullptr;
      if (!queue) return false;
      TCallbackContainer* record = queue->head;
      queue->head = record->next;
      if (!queue->head) queue->tail = nullptr;
      --queue->length;
      ++removedCount_;
      if (lowWater_ >= 0 && queues_[0].length + queues_[1].length <= static_cast<std::size_t>(lowWater_)) {
        lowWater_ = -1;
        lowWaterReached_.Set();
      }
      nodeId = record->NodeId;
      queuedAt = record->QueuedAt;
      job = std::move(record->Callback);
      Recycle(record);
    }
    // The node registry is asked outside the queue lock, so producers never wait behind it. Nodes are freed
    // on this thread only, so the answer holds until the job has run.
    if (nodeId == -1 || TDataNode::IsAlive(nodeId)) {
      currentDataTime_.store(queuedAt, std::memory_order_relaxed);
      return true;
    }
    job = TCallback();  // the job of a freed node is dropped unrun
  }
}

void TDataNodeThread::Recycle(TCallbackContainer* record) {
  if (!record->Pooled) {
    delete record;
    return;
  }
  record->Callback = TCallback();
  record->next = pool_;
  pool_ = record;
  ++poolFree_;
}

void TDataNodeThread::Execute() {
  onDataNodeThread = true;
  TCallback job;
  for (;;) {
    if (GetNextJob(job)) {
      try {
        job();
      } catch (const std::exception& e) {
        AddLine(std::string("In DataNode thread:  ") + e.what());
      } catch (...) {
        AddLine("In DataNode thread:  Unknown exception");
      }
      job = TCallback();
      continue;
    }
    wake_.Wait(HandOffSpin());
  }
}

void TDataNodeThread::Flush() {
  Assert(!IsCurrentThread(), "Flush from the data node thread would wait for itself");
  // The job owns the event, so it stays valid however soon this caller returns.
  auto done = std::make_shared<TEvent>(true);
  Enqueue(1, -1, TCallback::Function([done] { done->Set(); }));
  done->Wait(HandOffSpin());
}

void TDataNodeThread::WaitForQueueAtMost(std::size_t length) {
  Assert(!IsCurrentThread(), "The data node thread cannot wait for its own queue");
  {
    std::lock_guard guard(queueLock_);
    if (queues_[0].length + queues_[1].length <= length) return;
    lowWater_ = static_cast<std::ptrdiff_t>(length);
  }
  lowWaterReached_.Wait(HandOffSpin());
}

std::uint32_t TDataNodeThread::AddedCount() const {
  std::lock_guard guard(queueLock_);
  return addedCount_;
}

std::uint32_t TDataNodeThread::RemovedCount() const {
  std::lock_guard guard(queueLock_);
  return removedCount_;
}

std::size_t TDataNodeThread::QueueLength(int priority) const {
  std::lock_guard guard(queueLock_);
  return queues_[priority].length;
}

std::size_t TDataNodeThread::PoolFree() const {
  std::lock_guard guard(queueLock_);
  return poolFree_;
}

void InitializeFramework() {
  TDataNodeThread::Instance();
  RegistryLock();
}

}  // namespace tarnwell
