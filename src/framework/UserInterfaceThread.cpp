#include "framework/UserInterfaceThread.h"

#include <atomic>
#include <future>
#include <memory>

namespace tarnwell {
namespace {
std::atomic<IUserInterfaceThread*> installed{nullptr};
}  // namespace

void SetUserInterfaceThread(IUserInterfaceThread* thread) { installed.store(thread); }
IUserInterfaceThread* UserInterfaceThread() { return installed.load(); }

TPlainUserInterfaceThread::TPlainUserInterfaceThread() : thread_([this] { Run(); }) {}

TPlainUserInterfaceThread::~TPlainUserInterfaceThread() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void TPlainUserInterfaceThread::RunAndWait(const std::function<void()>& fn) {
  if (IsCurrentThread()) {
    fn();
    return;
  }
  // The queued function owns the task, so the result stays valid however soon this caller returns.
  auto task = std::make_shared<std::packaged_task<void()>>(fn);
  std::future<void> done = task->get_future();
  {
    std::lock_guard guard(lock_);
    tasks_.emplace_back([task] { (*task)(); });
  }
  changed_.notify_all();
  done.get();  // rethrows a failure of fn in the caller
}

bool TPlainUserInterfaceThread::IsCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

int TPlainUserInterfaceThread::StartTimer(std::chrono::milliseconds interval, std::function<void()> onTick) {
  std::lock_guard guard(lock_);
  int id = nextTimer_++;
  timers_[id] = TTimer{interval, std::chrono::steady_clock::now() + interval, std::move(onTick)};
  changed_.notify_all();
  return id;
}

void TPlainUserInterfaceThread::StopTimer(int id) {
  std::lock_guard guard(lock_);
  timers_.erase(id);
}

void TPlainUserInterfaceThread::Run() {
  std::unique_lock guard(lock_);
  while (!stopping_) {
    if (!tasks_.empty()) {
      auto task = std::move(tasks_.front());
      tasks_.pop_front();
      guard.unlock();
      task();
      guard.lock();
      continue;
    }
    auto now = std::chrono::steady_clock::now();
    auto nextDue = now + std::chrono::hours(1);
    for (auto& [id, timer] : timers_) {
      if (timer.due > now) {
        nextDue = std::min(nextDue, timer.due);
        continue;
      }
      // Like a toolkit timer: a late tick is not repeated to catch up.
      timer.due = now + timer.interval;
      auto onTick = timer.onTick;
      guard.unlock();
      onTick();
      guard.lock();
      nextDue = now;  // the timer table may have changed while unlocked: look again
      break;
    }
    if (nextDue > now) changed_.wait_until(guard, nextDue);
  }
}

}  // namespace tarnwell
