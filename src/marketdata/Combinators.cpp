#include "marketdata/Combinators.h"

#include <cmath>
#include <typeinfo>
#include <utility>

#include "framework/Errors.h"

namespace tarnwell {
namespace {

const TFactoryRef& FactoryOf(const TParamValue& param) {
  const TFactoryRef* factory = param.Factory();
  Assert(factory != nullptr && *factory != nullptr);
  return *factory;
}

}  // namespace

TGenericDataNode* LinkInput(TDataNode& owner, const TParamValue& param, TCallback callback) {
  auto [node, link] = FactoryOf(param)->GetNode(std::move(callback));
  owner.AddAutoLink(link);
  return node;
}

// --- TTwoDoubleInputs ------------------------------------------------------------------------------------

TTwoDoubleInputs::TTwoDoubleInputs(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (First, Second)");
  first_ = LinkInput(*this, params[0], TW_METHOD(this, InputChanged));
  second_ = LinkInput(*this, params[1], TW_METHOD(this, InputChanged));
}

bool TTwoDoubleInputs::IsValid() {
  return Evaluate();
}

bool TTwoDoubleInputs::Evaluate() {
  if (clean_) return hasValue_;
  hasValue_ = first_->IsValid() && second_->IsValid() && Compute(first_->GetDouble(), second_->GetDouble());
  clean_ = true;
  return hasValue_;
}

void TTwoDoubleInputs::InputChanged() {
  clean_ = false;
  NotifyListeners();
}

bool TAdd::Compute(double first, double second) {
  result_ = first + second;
  return true;
}

bool TSubtract::Compute(double first, double second) {
  result_ = first - second;
  return true;
}

bool TDivide::Compute(double first, double second) {
  if (second == 0) return false;
  result_ = first / second;
  return true;
}

bool TLessThan::Compute(double first, double second) {
  result_ = first < second;
  return true;
}

// --- TPositionInRange ------------------------------------------------------------------------------------

TPositionInRange::TPositionInRange(const TParamList& params) {
  CheckParamCount(params, 3, "Expected params: (Low, Value, High)");
  low_ = LinkInput(*this, params[0], TW_METHOD(this, NotifyListeners));
  value_ = LinkInput(*this, params[1], TW_METHOD(this, NotifyListeners));
  high_ = LinkInput(*this, params[2], TW_METHOD(this, NotifyListeners));
}

double TPositionInRange::GetDouble() {
  const double low = low_->GetDouble();
  const double position = (value_->GetDouble() - low) / (high_->GetDouble() - low);
  return std::isfinite(position) ? position : 0.5;
}

bool TPositionInRange::IsValid() {
  return low_->IsValid() && value_->IsValid() && high_->IsValid() && high_->GetDouble() > low_->GetDouble();
}

// --- TIntegerToDouble ------------------------------------------------------------------------------------

TIntegerToDouble::TIntegerToDouble(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Source)");
  source_ = LinkInput(*this, params[0], TW_METHOD(this, NotifyListeners));
}

// --- TPreviousValue --------------------------------------------------------------------------------------

TPreviousValue::TPreviousValue(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Source)");
  sourceFactory_ = FactoryOf(params[0]);
  RunOnDataNodeThread(1, TW_METHOD(this, Connect));
}

void TPreviousValue::Connect() {
  auto [source, link] = sourceFactory_->GetNode(TW_METHOD(this, SourceChanged));
  sourceFactory_.reset();
  source_ = source;
  AddAutoLink(link);
  // Made after construction, so AfterConstruction has not activated it.
  link->SetReceiveInput(true);
  currentValid_ = source_->IsValid();
  current_ = currentValid_ ? source_->GetDouble() : 0;
}

void TPreviousValue::SourceChanged() {
  previous_ = current_;
  previousValid_ = currentValid_;
  currentValid_ = source_->IsValid();
  current_ = currentValid_ ? source_->GetDouble() : 0;
  NotifyListeners();
}

// --- TIgnoreNullChanges ----------------------------------------------------------------------------------

TIgnoreNullChanges::TIgnoreNullChanges(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Source)");
  sourceFactory_ = FactoryOf(params[0]);
  RunOnDataNodeThread(1, TW_METHOD(this, Connect));
}

void TIgnoreNullChanges::Connect() {
  auto [source, link] = sourceFactory_->GetNode(TW_METHOD(this, SourceChanged));
  sourceFactory_.reset();
  source_ = source;
  AddAutoLink(link);
  link->SetReceiveInput(true);
  // A listener that linked before the connection read "not valid"; the first value is a change for it.
  SourceChanged();
}

void TIgnoreNullChanges::SourceChanged() {
  const bool valid = source_->IsValid();
  const double value = valid ? source_->GetDouble() : 0;
  const bool changed = valid != valid_ || (valid && value != value_);
  valid_ = valid;
  value_ = value;
  if (changed) NotifyListeners();
}

// --- TVisiblePulses --------------------------------------------------------------------------------------

TVisiblePulses::TVisiblePulses(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Source)");
  LinkInput(*this, params[0], TW_METHOD(this, SourceChanged));
}

TVisiblePulses::~TVisiblePulses() {
  // After Cancel the timer callback is not running and never runs again, so it cannot queue a step for a
  // node that is gone; a step it queued before is dropped with the node's id.
  if (timer_) timer_->Cancel();
}

void TVisiblePulses::SourceChanged() {
  if (pending_ < kMaxPending) ++pending_;
  if (nextTime_ != 0) return;  // the running steps will take it
  // The wall clock, not the data time: the flashes are for the eye, and played-back data times may lie
  // far in the past.
  nextTime_ = clock::Now();
  // The first step is queued rather than taken here, so that a burst of changes is counted whole before
  // the first flash: fifteen changes in one go flash ten times, not once plus ten.
  QueueCallback(1, TW_METHOD(this, Step));
}

void TVisiblePulses::Step() {
  timer_.reset();
  if (on_) {
    on_ = false;
    nextTime_ += kOffMs / kMsPerDay;
    ScheduleStep();
    NotifyListeners();
    return;
  }
  if (pending_ == 0) {
    nextTime_ = 0;
    return;
  }
  --pending_;
  on_ = true;
  nextTime_ += kOnMs / kMsPerDay;
  ScheduleStep();
  NotifyListeners();
}

void TVisiblePulses::ScheduleStep() {
  // The timer thread only queues the step: node state belongs to the data node thread.
  timer_ = OneShot(nextTime_, TCallback::Function([this] { QueueCallback(1, TW_METHOD(this, Step)); }, this,
                                                  &typeid(TVisiblePulses)));
}

// --- TTriColor -------------------------------------------------------------------------------------------

TTriColor::TTriColor(const TParamList& params) {
  CheckParamCount(params, 4, "Expected params: (Value, Negative, Zero, Positive)");
  value_ = LinkInput(*this, params[0], TW_METHOD(this, NotifyListeners));
  negative_ = LinkInput(*this, params[1], TW_METHOD(this, NotifyListeners));
  zero_ = LinkInput(*this, params[2], TW_METHOD(this, NotifyListeners));
  positive_ = LinkInput(*this, params[3], TW_METHOD(this, NotifyListeners));
}

TGenericDataNode* TTriColor::Chosen() {
  const double value = value_->IsValid() ? value_->GetDouble() : 0;
  if (value < 0) return negative_;
  if (value > 0) return positive_;
  return zero_;
}

}  // namespace tarnwell
