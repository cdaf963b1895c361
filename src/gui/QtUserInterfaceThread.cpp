#include "gui/QtUserInterfaceThread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <memory>
#include <system_error>

#include "framework/Event.h"

namespace tarnwell {

TQtUserInterfaceThread::TQtUserInterfaceThread()
    : QObject(QCoreApplication::instance()), wakeUp_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wakeUp_ < 0) throw std::system_error(errno, std::generic_category(), "user interface thread: eventfd");
  auto* notifier = new QSocketNotifier(wakeUp_, QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] { RunQueuedWork(); });
}

TQtUserInterfaceThread::~TQtUserInterfaceThread() { ::close(wakeUp_); }

bool TQtUserInterfaceThread::IsCurrentThread() const { return QThread::currentThread() == thread(); }

void TQtUserInterfaceThread::RunQueuedWork() {
  std::uint64_t count;
  [[maybe_unused]] auto n = ::read(wakeUp_, &count, sizeof count);
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard guard(queueLock_);
      if (queue_.empty()) return;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
  }
}

void TQtUserInterfaceThread::RunAndWait(const std::function<void()>& fn) {
  if (IsCurrentThread()) {
    fn();
    return;
  }
  // A failure must not unwind through Qt's event loop: carry it back to the waiting caller. The work goes
  // through a queue of ours and a descriptor that wakes the loop, and the caller waits on an event of ours,
  // not on Qt's blocking connection: Qt carries none of this memory between threads, so a thread checker
  // sees every hand-over. The waiting event is shared, as the caller may return while Set is finishing.
  std::exception_ptr failure;
  auto done = std::make_shared<TEvent>(true);
  {
    std::lock_guard guard(queueLock_);
    queue_.emplace_back([&fn, &failure, done] {
      try {
        fn();
      } catch (...) {
        failure = std::current_exception();
      }
      done->Set();
    });
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(wakeUp_, &one, sizeof one);
  done->Wait();
  if (failure) std::rethrow_exception(failure);
}

int TQtUserInterfaceThread::StartTimer(std::chrono::milliseconds interval, std::function<void()> onTick) {
  int id = 0;
  RunAndWait([&] {
    id = nextTimer_++;
    auto* timer = new QTimer(this);
    timer->setInterval(static_cast<int>(interval.count()));
    connect(timer, &QTimer::timeout, this, [onTick = std::move(onTick)] { onTick(); });
    timer->start();
    timers_[id] = timer;
  });
  return id;
}

void TQtUserInterfaceThread::StopTimer(int id) {
  RunAndWait([&] {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->deleteLater();
    timers_.erase(it);
  });
}

}  // namespace tarnwell
