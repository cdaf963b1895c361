#pragma once
// The screen beat. Windows never read nodes while the data node thread changes them: about every 100 ms the
// data node thread notifies the interface updater's listeners on the user interface thread and waits for
// them, so they read node state while nothing changes it. TDeferredUpdate folds any number of node changes
// between two beats into one refresh of a window.

#include <atomic>
#include <utility>
#include <vector>

#include "framework/DataNode.h"

namespace tarnwell {

class TScreenUpdater : public TDataNode {
 public:
  enum TWhich { swTicking = 0, swInterface = 1 };

  /// A new inactive link on an updater; both are created on first use. swInterface listeners run on the
  /// user interface thread, swTicking listeners on the data node thread. The caller owns the link.
  static TDataNodeLink* CreateScreenLink(TWhich which, TCallback callback);
  static TDataNodeLink* CreateScreenLink(TCallback callback) { return CreateScreenLink(swInterface, std::move(callback)); }

  /// The ticking updater's timer step, on the user interface thread: every tenth queues Tick.
  void TimerTick();
  /// The beat itself, a job on the data node thread.
  void Tick();

  /// Beats queued so far (diagnostics and tests).
  int BeatCount() const { return beats_.load(); }
  static TScreenUpdater& Interface();
  static TScreenUpdater& Ticking();

 private:
  explicit TScreenUpdater(bool withTimer);
  static void CreateUpdaters();

  int tickCounter_ = 0;  // user interface thread
  std::atomic<int> beats_{0};
  int timerId_ = 0;
};

class TDeferredUpdate : public TDataNode {
 public:
  TDeferredUpdate();
  ~TDeferredUpdate() override;

  /// A new update and an inactive link on it to the owner's refresh method; releasing that link frees the
  /// update and every link it adopted.
  static std::pair<TDeferredUpdate*, TDataNodeLink*> CreateWithLink(TCallback refresh);

  /// The callback for links from data nodes: marks the owner for refresh at the next beat.
  void Invalidate() { dirty_.store(true, std::memory_order_relaxed); }
  TCallback InvalidateCallback() { return TW_METHOD(this, Invalidate); }
  /// Takes ownership of a link (usually one whose callback is InvalidateCallback) and activates it.
  void AdoptLink(TDataNodeLink* link);

  /// On the beat, user interface thread: refresh the owner if anything changed since the last beat.
  void ScreenTick();

 private:
  TDataNodeLink* screenLink_ = nullptr;
  std::atomic<bool> dirty_{false};
  std::vector<TDataNodeLink*> ownedLinks_;
};

}  // namespace tarnwell
