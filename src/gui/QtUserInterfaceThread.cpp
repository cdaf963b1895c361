#include "gui/QtUserInterfaceThread.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>

namespace tarnwell {

TQtUserInterfaceThread::TQtUserInterfaceThread() : QObject(QCoreApplication::instance()) {}

bool TQtUserInterfaceThread::IsCurrentThread() const { return QThread::currentThread() == thread(); }

void TQtUserInterfaceThread::RunAndWait(const std::function<void()>& fn) {
  if (IsCurrentThread()) {
    fn();
    return;
  }
  // A failure must not unwind through Qt's event loop: carry it back to the waiting caller.
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      this,
      [&] {
        try {
          fn();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
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
