#include "gui/QtUserInterfaceThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <exception>
#include <memory>

#include "framework/Event.h"

namespace tarnwell {

TQtUserInterfaceThread::TQtUserInterfaceThread() : QObject(QCoreApplication::instance()) {}

bool TQtUserInterfaceThread::IsCurrentThread() const { return QThread::currentThread() == thread(); }

namespace {

class TWorkEvent final : public QEvent {
 public:
  static QEvent::Type Kind() {
    static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  explicit TWorkEvent(std::function<void()> work) : QEvent(Kind()), work_(std::move(work)) {}
  void Run() const { work_(); }

 private:
  std::function<void()> work_;
};

}  // namespace

bool TQtUserInterfaceThread::event(QEvent* e) {
  if (e->type() != TWorkEvent::Kind()) return QObject::event(e);
  static_cast<TWorkEvent*>(e)->Run();
  return true;
}

void TQtUserInterfaceThread::RunAndWait(const std::function<void()>& fn) {
  if (IsCurrentThread()) {
    fn();
    return;
  }
  // A failure must not unwind through Qt's event loop: carry it back to the waiting caller. The work goes
  // in an event of ours, which the user interface thread frees after running it, and the caller waits on
  // an event object of ours rather than on Qt's blocking connection: both hand-overs are then ones a
  // thread checker sees (a queued functor is freed by whichever thread drops it last, through a count
  // inside Qt). The waiting event is shared, as the caller may return while Set is still finishing.
  std::exception_ptr failure;
  auto done = std::make_shared<TEvent>(true);
  QCoreApplication::postEvent(this, new TWorkEvent([&fn, &failure, done] {
    try {
      fn();
    } catch (...) {
      failure = std::current_exception();
    }
    done->Set();
  }));
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
