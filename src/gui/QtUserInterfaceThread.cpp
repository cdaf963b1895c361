#include "gui/QtUserInterfaceThread.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>
#include <memory>

#include "framework/Event.h"

namespace tarnwell {

TQtUserInterfaceThread::TQtUserInterfaceThread() : QObject(QCoreApplication::instance()) {}

bool TQtUserInterfaceThread::IsCurrentThread() const { return QThread::currentThread() == thread(); }

void TQtUserInterfaceThread::RunAndWait(const std::function<void()>& fn) {
  if (IsCurrentThread()) {
    fn();
    return;
  }
  // A failure must not unwind through Qt's event loop: carry it back to the waiting caller. The caller
  // waits on an event of ours rather than on Qt's blocking connection, so that the hand-over is one a
  // thread checker sees; the event is shared, as the caller may return while Set is still finishing.
  std::exception_ptr failure;
  auto done = std::make_shared<TEvent>(true);
  QMetaObject::invokeMethod(
      this,
      [&fn, &failure, done] {
        try {
          fn();
        } catch (...) {
          failure = std::current_exception();
        }
        done->Set();
      },
      Qt::QueuedConnection);
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
