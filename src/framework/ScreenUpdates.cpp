#include "framework/ScreenUpdates.h"

#include <chrono>
#include <mutex>

#include "framework/UserInterfaceThread.h"

namespace tarnwell {
namespace {
TScreenUpdater* interfaceUpdater = nullptr;  // guarded by the registry lock until created
TScreenUpdater* tickingUpdater = nullptr;
}  // namespace

TScreenUpdater::TScreenUpdater(bool withTimer) : TDataNode(true) {
  if (!withTimer) return;
  // Without a user interface thread there is no beat; the unattended server installs a plain one.
  if (IUserInterfaceThread* ui = UserInterfaceThread()) {
    timerId_ = ui->StartTimer(std::chrono::milliseconds(10), [this] { TimerTick(); });
  }
}

void TScreenUpdater::CreateUpdaters() {
  std::lock_guard guard(RegistryLock());
  if (interfaceUpdater) return;
  interfaceUpdater = new TScreenUpdater(false);
  interfaceUpdater->AfterConstruction();
  tickingUpdater = new TScreenUpdater(true);
  tickingUpdater->AfterConstruction();
}

TScreenUpdater& TScreenUpdater::Interface() {
  CreateUpdaters();
  return *interfaceUpdater;
}

TScreenUpdater& TScreenUpdater::Ticking() {
  CreateUpdaters();
  return *tickingUpdater;
}

TDataNodeLink* TScreenUpdater::CreateScreenLink(TWhich which, TCallback callback) {
  TScreenUpdater& updater = which == swTicking ? Ticking() : Interface();
  return updater.CreateLink(std::move(callback));
}

void TScreenUpdater::TimerTick() {
  if (++tickCounter_ <= 9) return;
  tickCounter_ = 0;
  ++beats_;
  QueueCallback(1, TW_METHOD(this, Tick));
}

void TScreenUpdater::Tick() {
  NotifyListeners();
  TScreenUpdater* ui = interfaceUpdater;
  SynchronizeWithGui([ui] { ui->NotifyListeners(); });
}

TDeferredUpdate::TDeferredUpdate() {
  screenLink_ = TScreenUpdater::CreateScreenLink(TW_METHOD(this, ScreenTick));
  screenLink_->SetReceiveInput(true);
}

TDeferredUpdate::~TDeferredUpdate() {
  for (TDataNodeLink* link : ownedLinks_) TDataNodeLink::Release(link);
  ownedLinks_.clear();
  TDataNodeLink::Release(screenLink_);
}

std::pair<TDeferredUpdate*, TDataNodeLink*> TDeferredUpdate::CreateWithLink(TCallback refresh) {
  auto* update = Create<TDeferredUpdate>();
  return {update, update->CreateLink(std::move(refresh))};
}

void TDeferredUpdate::AdoptLink(TDataNodeLink* link) {
  ownedLinks_.push_back(link);
  TDataNodeLink::SetReceiveInput(link, true);
}

void TDeferredUpdate::ScreenTick() {
  if (!dirty_.exchange(false, std::memory_order_relaxed)) return;
  NotifyListeners();
}

}  // namespace tarnwell
