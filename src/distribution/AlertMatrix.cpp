#include "distribution/AlertMatrix.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace tarnwell {
namespace {

std::atomic<std::uint32_t> nextIdentity{1};

// The one lock of every queue's buffer and of the queue-name counter.
std::mutex& QueueLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::uint64_t queueNames = 0;  // guarded by QueueLock()

const char* const kBackgroundNames[] = {
    "RelVol",          "MostRecentClose",  "ExpectedOpen",  "DayRange",       "RSI15",
    "Volume",          "UpCandles5",       "UpCandles10",   "UpCandles15",    "UpCandles30",
    "PutCallRatio",    "DistanceFromNbbo", "TodaysRange",   "TimedMovement5", "TimedMovement10",
    "TimedMovement15", "TimedMovement30",  "VolumeChange5", "VolumeChange10", "VolumeChange15",
    "VolumeChange30"};

}  // namespace

TAlertCategory::TAlertCategory(TFactoryRef factory) : factory_(std::move(factory)), id_(nextIdentity++) {
  Assert(factory_ != nullptr);
}

TAlertInputs::TAlertInputs(std::string symbol) : symbol_(std::move(symbol)), id_(nextIdentity++) {}

void TAlertInputs::AddInputs(IGenericDataNodeFactory& factory) const {
  factory.SetParam(kSymbolName, symbol_);
}

// --- Queue -----------------------------------------------------------------------------------------------

std::string TAlertQueue::NewQueueName() {
  std::lock_guard guard(QueueLock());
  return std::to_string(queueNames++);
}

std::pair<TAlertQueue*, TDataNodeLink*> TAlertQueue::Find(const std::string& name, TCallback callback) {
  return FindOrCreate<TAlertQueue>(name, std::move(callback));
}

void TAlertQueue::AddEvent(TAlertEvent event) {
  {
    std::lock_guard guard(QueueLock());
    if (count_ == events_.size()) events_.resize(std::max<std::size_t>(2 * events_.size(), 11));
    events_[count_++] = std::move(event);
  }
  NotifyListeners();
}

TAlertEvents TAlertQueue::TakeEvents() {
  std::lock_guard guard(QueueLock());
  events_.resize(count_);
  TAlertEvents taken;
  taken.swap(events_);
  count_ = 0;
  return taken;
}

std::size_t TAlertQueue::Capacity() const {
  std::lock_guard guard(QueueLock());
  return events_.size();
}

// --- Background data -------------------------------------------------------------------------------------

TAlertBackgroundData::TAlertBackgroundData(const std::string& symbol) {
  Assert(!symbol.empty());
  tos_ = Adopt(TGenericTosDataNode::Find(symbol));
  l1_ = Adopt(TGenericL1DataNode::Find(symbol));
  // The values are made in field order, except that "Volume" comes after "UpCandles30".
  static const int kCreationOrder[] = {
      kRelVol,  kMostRecentClose,  kExpectedOpen, kDayRange, kRsi15, kUp5,   kUp10,  kUp15, kUp30,  kVolume,
      kPutCall, kDistanceFromNbbo, kTodaysRange,  kPUp5,     kPUp10, kPUp15, kPUp30, kVUp5, kVUp10, kVUp15,
      kVUp30};
  for (int field : kCreationOrder) {
    auto [node, link] = FindForSymbol(kBackgroundNames[field], symbol);
    values_[field] = node;
    AddAutoLink(link);
  }
}

void TAlertBackgroundData::FillIn(TAlertEventData& data) {
  if (tos_->IsValid()) {
    const TTosData& print = *tos_->GetData();
    data.Price = print.Price;
    data.Mark(aefPrice);
    data.SaleCondition = static_cast<std::int16_t>(print.SaleCondition);
    data.Mark(aefSaleCondition);
  }
  if (l1_->IsValid()) {
    const TL1Data& quote = *l1_->GetData();
    if (quote.AskPrice > 0 && quote.BidPrice > 0) {
      data.Spread = quote.AskPrice - quote.BidPrice;
      data.Mark(aefSpread);
    }
    if (quote.BidSize > 0) {
      data.BidSize = quote.BidSize;
      data.Mark(aefBidSize);
    }
    if (quote.AskSize > 0) {
      data.AskSize = quote.AskSize;
      data.Mark(aefAskSize);
    }
  }
  auto real = [&](int field, double& target, TAlertEventField bit) {
    if (!values_[field]->IsValid()) return;
    target = values_[field]->GetDouble();
    data.Mark(bit);
  };
  auto integer = [&](int field, std::int32_t& target, TAlertEventField bit) {
    if (!values_[field]->IsValid()) return;
    target = values_[field]->GetInteger();
    data.Mark(bit);
  };
  real(kRelVol, data.RelVol, aefRelVol);
  real(kMostRecentClose, data.MostRecentClose, aefMostRecentClose);
  real(kExpectedOpen, data.ExpectedOpen, aefExpectedOpen);
  real(kDayRange, data.DayRange, aefDayRange);
  real(kRsi15, data.Rsi15, aefRsi15);
  real(kPutCall, data.PutCall, aefPutCall);
  real(kDistanceFromNbbo, data.DistanceFromNbbo, aefDistanceFromNbbo);
  real(kTodaysRange, data.TodaysRange, aefTodaysRange);
  real(kPUp5, data.PUp5, aefPUp5);
  real(kPUp10, data.PUp10, aefPUp10);
  real(kPUp15, data.PUp15, aefPUp15);
  real(kPUp30, data.PUp30, aefPUp30);
  integer(kVolume, data.TVol, aefTVol);
  integer(kUp5, data.Up5, aefUp5);
  integer(kUp10, data.Up10, aefUp10);
  integer(kUp15, data.Up15, aefUp15);
  integer(kUp30, data.Up30, aefUp30);
  integer(kVUp5, data.VUp5, aefVUp5);
  integer(kVUp10, data.VUp10, aefVUp10);
  integer(kVUp15, data.VUp15, aefVUp15);
  integer(kVUp30, data.VUp30, aefVUp30);
}

// --- Listener --------------------------------------------------------------------------------------------

TAlertListener::TAlertListener(const TAlertCategory& category, TAlertQueue& queue, const TAlertInputs& inputs,
                               TAlertBackgroundData* backgroundData)
    : category_(category), inputs_(inputs), backgroundData_(backgroundData), queue_(queue) {
  TFactoryRef factory = category.Factory()->Clone();
  inputs.AddInputs(*factory);
  auto [node, link] = factory->GetNode(TW_METHOD(this, OnAlert));
  alertLink_ = link;
  alert_ = dynamic_cast<TAlert*>(node);
  if (!alert_) {
    TDataNodeLink::Release(alertLink_);
    Assert(false);
  }
  alertLink_->SetReceiveInput(true);
}

TAlertListener::~TAlertListener() {
  TDataNodeLink::Release(alertLink_);
}

void TAlertListener::OnAlert() {
  TAlertEvent event;
  event.Category = &category_;
  event.Inputs = &inputs_;
  event.Data.Time = TDataNode::CurrentTime();
  event.Data.Description = alert_->GetString();
  event.Data.Num = alert_->Count();
  double quality = 0;
  if (alert_->GetQuality(quality)) {
    event.Data.Quality = quality;
    event.Data.Mark(aefQuality);
  }
  if (backgroundData_) backgroundData_->FillIn(event.Data);
  queue_.AddEvent(std::move(event));
}

// --- Matrix ----------------------------------------------------------------------------------------------

TAlertMatrix::TAlertMatrix() : queueName_(TAlertQueue::NewQueueName()) {}

TAlertMatrix::~TAlertMatrix() {
  std::lock_guard guard(lock_);
  listeners_.clear();
  boundInputs_.clear();
  queueLink_.Reset();
}

void TAlertMatrix::AddCategory(TAlertCategory* category) {
  std::lock_guard guard(lock_);
  pendingCategoryRemoves_.erase(category->Id());
  pendingCategoryAdds_[category->Id()] = category;
}

void TAlertMatrix::RemoveCategory(TAlertCategory* category) {
  std::lock_guard guard(lock_);
  pendingCategoryAdds_.erase(category->Id());
  pendingCategoryRemoves_[category->Id()] = category;
}

void TAlertMatrix::AddInputs(TAlertInputs* inputs) {
  std::lock_guard guard(lock_);
  pendingInputRemoves_.erase(inputs->Id());
  pendingInputAdds_[inputs->Id()] = inputs;
}

void TAlertMatrix::RemoveInputs(TAlertInputs* inputs) {
  std::lock_guard guard(lock_);
  pendingInputAdds_.erase(inputs->Id());
  pendingInputRemoves_[inputs->Id()] = inputs;
}

void TAlertMatrix::ClearPending() {
  std::lock_guard guard(lock_);
  pendingCategoryAdds_.clear();
  pendingCategoryRemoves_.clear();
  pendingInputAdds_.clear();
  pendingInputRemoves_.clear();
}

void TAlertMatrix::ApplyChanges() {
  QueueCallback(1, TW_METHOD(this, ApplyPass));
}

std::size_t TAlertMatrix::ListenerCount() {
  std::lock_guard guard(lock_);
  return listeners_.size();
}

bool TAlertMatrix::HasPending() {
  std::lock_guard guard(lock_);
  return !pendingCategoryAdds_.empty() || !pendingCategoryRemoves_.empty() || !pendingInputAdds_.empty() ||
         !pendingInputRemoves_.empty();
}

void TAlertMatrix::Bind(TAlertCategory* category, TAlertInputs* inputs) {
  const std::uint64_t key = PairKey(category, inputs);
  Assert(!listeners_.contains(key));
  TBoundInputs& bound = boundInputs_[inputs->Id()];
  try {
    // The shared nodes are found when the first pair needs them, in the order a pair finds its nodes:
    // background data, queue, alert. Every pair uses up the numbers of a background and a queue link,
    // whether it makes them or shares the first pair's, so that the links of the alert nodes are numbered
    // as if each pair held its own (their numbers order the listener tables they are in).
    if (!inputs->Symbol().empty()) {
      if (bound.pairs == 0) {
        auto [background, link] = TAlertBackgroundData::Find(inputs->Symbol());
        bound.backgroundLink.Reset(link);
        bound.background = background;
      } else {
        TDataNode::SkipLinkNumbers(1);
      }
    }
    if (!queue_) {
      auto [queue, link] = TAlertQueue::Find(queueName_);
      queueLink_.Reset(link);
      queue_ = queue;
    } else {
      TDataNode::SkipLinkNumbers(1);
    }
    // Built in its place in the map: one allocation per pair, and the address its callback holds never moves.
    listeners_.try_emplace(key, *category, *queue_, *inputs, bound.background);
    ++bound.pairs;
  } catch (...) {
    ReleaseUnused(inputs);
    TExceptionInfo info = DescribeException(std::current_exception());
    AssertionFailure("Found " + info.className + ":  \"" + info.message + "\" while trying to add \"" +
                     category->Factory()->GetKey() + "\", \"" + inputs->Symbol() + "\" to the alert matrix.");
  }
}

void TAlertMatrix::Unbind(TAlertCategory* category, TAlertInputs* inputs) {
  auto it = listeners_.find(PairKey(category, inputs));
  Assert(it != listeners_.end());
  listeners_.erase(it);
  --boundInputs_[inputs->Id()].pairs;
  ReleaseUnused(inputs);
}

void TAlertMatrix::ReleaseUnused(TAlertInputs* inputs) {
  auto bound = boundInputs_.find(inputs->Id());
  if (bound != boundInputs_.end() && bound->second.pairs == 0) boundInputs_.erase(bound);
  if (listeners_.empty()) {
    queueLink_.Reset();
    queue_ = nullptr;
  }
}

void TAlertMatrix::ApplyPass() {
  std::lock_guard guard(lock_);
  // A time budget, not a point in time: the wall clock's passing, whatever the framework clock says.
  const auto start = std::chrono::steady_clock::now();
  auto overBudget = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > kPassSeconds;
  };
  auto next = [&](auto& pending, auto apply) {
    while (!pending.empty()) {
      auto first = pending.begin();
      apply(first->second);
      pending.erase(first);
      if (overBudget()) return false;
    }
    return true;
  };
  const bool done = next(pendingInputRemoves_,
                         [&](TAlertInputs* inputs) {
                           if (!inputs_.erase(inputs->Id())) return;
                           for (auto& [id, category] : categories_) Unbind(category, inputs);
                         }) &&
                    next(pendingCategoryRemoves_,
                         [&](TAlertCategory* category) {
                           if (!categories_.erase(category->Id())) return;
                           for (auto& [id, inputs] : inputs_) Unbind(category, inputs);
                         }) &&
                    next(pendingCategoryAdds_,
                         [&](TAlertCategory* category) {
                           if (!categories_.emplace(category->Id(), category).second)
                             return;  // bound already
                           for (auto& [id, inputs] : inputs_) Bind(category, inputs);
                         }) &&
                    next(pendingInputAdds_, [&](TAlertInputs* inputs) {
                      if (!inputs_.emplace(inputs->Id(), inputs).second) return;
                      for (auto& [id, category] : categories_) Bind(category, inputs);
                    });
  if (!done) QueueCallback(1, TW_METHOD(this, ApplyPass));
}

}  // namespace tarnwell
