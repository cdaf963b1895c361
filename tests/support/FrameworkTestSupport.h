#pragma once
// Helpers for tests that drive the data node thread from the test's own thread.

#include <future>
#include <string>

#include "framework/DataNode.h"
#include "framework/DataNodeThread.h"
#include "framework/DebugLog.h"
#include "framework/Event.h"
#include "framework/ScreenUpdates.h"
#include "framework/UserInterfaceThread.h"

namespace tarnwell::testing {

/// Runs fn on the data node thread and waits; a failure inside is rethrown here.
template <class Fn>
auto RunOnDataNodeThread(Fn fn) -> decltype(fn()) {
  return CallOnDataNodeThread(std::move(fn));
}

/// Holds the data node thread inside a job until Open, so a test can line up jobs behind it. At priority 1
/// (the default) it starts after every job queued before it.
class TGate {
 public:
  explicit TGate(int priority = 1) {
    TDataNodeThread::Instance().Enqueue(priority, -1,
                                        TCallback::Function([entered = entered_, opened = opened_] {
                                          entered->Set();
                                          opened->Wait();
                                        }));
    entered_->Wait();
  }
  ~TGate() { Open(); }
  void Open() { opened_->Set(); }

 private:
  // Shared with the job, which may still be leaving them after the gate is gone.
  std::shared_ptr<TEvent> entered_ = std::make_shared<TEvent>(true);
  std::shared_ptr<TEvent> opened_ = std::make_shared<TEvent>(true);
};

/// One screen beat by hand: ten steps of the ticking updater's timer on the user interface thread, then
/// every job queued before (the beat among them) has run. For updaters made without a timer of their own.
inline void ScreenBeat(IUserInterfaceThread& ui) {
  ui.RunAndWait([] {
    for (int i = 0; i < 10; ++i) TScreenUpdater::Ticking().TimerTick();
  });
  TDataNodeThread::Instance().Flush();
}

/// A name no other test uses, for keyed nodes that must be fresh.
inline std::string FreshKey(const std::string& stem) {
  static int counter = 0;
  return stem + "#" + std::to_string(++counter);
}

}  // namespace tarnwell::testing
