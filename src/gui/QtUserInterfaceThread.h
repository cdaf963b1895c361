#pragma once
// The user interface thread of the desktop program: Qt's main thread.

#include <QObject>
#include <QTimer>
#include <map>

#include "framework/UserInterfaceThread.h"

namespace tarnwell {

class TQtUserInterfaceThread final : public QObject, public IUserInterfaceThread {
  Q_OBJECT
 public:
  /// Create on the Qt main thread, after the application object.
  TQtUserInterfaceThread();

  void RunAndWait(const std::function<void()>& fn) override;
  bool IsCurrentThread() const override;
  int StartTimer(std::chrono::milliseconds interval, std::function<void()> onTick) override;
  void StopTimer(int id) override;

 protected:
  bool event(QEvent* e) override;

 private:
  std::map<int, QTimer*> timers_;  // user interface thread only
  int nextTimer_ = 1;
};

}  // namespace tarnwell
