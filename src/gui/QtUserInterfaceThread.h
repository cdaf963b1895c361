#pragma once
// The user interface thread of the desktop program: Qt's main thread.

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "framework/UserInterfaceThread.h"

namespace tarnwell {

class TQtUserInterfaceThread final : public QObject, public IUserInterfaceThread {
  Q_OBJECT
 public:
  /// Create on the Qt main thread, after the application object.
  TQtUserInterfaceThread();
  ~TQtUserInterfaceThread() override;

  void RunAndWait(const std::function<void()>& fn) override;
  bool IsCurrentThread() const override;
  int StartTimer(std::chrono::milliseconds interval, std::function<void()> onTick) override;
  void StopTimer(int id) override;

 private:
  void RunQueuedWork();

  const int wakeUp_;  // an eventfd: written when work is queued, read by the user interface thread
  std::mutex queueLock_;
  std::deque<std::function<void()>> queue_;  // under queueLock_
  std::map<int, QTimer*> timers_;  // user interface thread only
  int nextTimer_ = 1;
};

}  // namespace tarnwell
