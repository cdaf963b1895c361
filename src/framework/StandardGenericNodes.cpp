#include "framework/StandardGenericNodes.h"

namespace tarnwell {

TConstantNodeBase::TConstantNodeBase(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  value_ = params[0];
}

TThreadSafeDataNode::TThreadSafeDataNode(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  const TFactoryRef* factory = params[0].Factory();
  Assert(factory && *factory);
  sourceFactory_ = *factory;
}

void TThreadSafeDataNode::Connect() {
  auto [source, link] = sourceFactory_->GetNode(TW_METHOD(this, MarkStale));
  source_ = source;
  link->SetReceiveInput(true);
  AddAutoLink(link);
  TDataNodeLink* screen = TScreenUpdater::CreateScreenLink(TW_METHOD(this, OnScreenTick));
  screen->SetReceiveInput(true);
  AddAutoLink(screen);
  sourceFactory_.reset();
}

void TThreadSafeDataNode::OnScreenTick() {
  if (upToDate_.load(std::memory_order_relaxed)) return;
  CopyValue();
  upToDate_.store(true, std::memory_order_relaxed);
  NotifyListeners();
}

}  // namespace tarnwell
