#include "alerts/definitions/HeartbeatAlert.h"

#include <algorithm>
#include <cmath>

#include "framework/Errors.h"
#include "framework/Random.h"

namespace tarnwell {
namespace {
constexpr const char* kChannelPrefix = "THeartbeatDispatch.";
/// Each channel beats once in this many seconds on average.
constexpr double kCycleSeconds = 300;
std::atomic<std::int32_t> heartbeatsMade{0};
}  // namespace

THeartbeatDispatch::THeartbeatDispatch() {
  timer_ = TTimerEvent::Start(1000, 1000, 0, TW_METHOD(this, OnTimer));
  // A beat reports what the symbol's nodes already hold and asks no server for anything.
  timer_->GetObject().SetQuiet();
}

THeartbeatDispatch::~THeartbeatDispatch() {
  timer_->Cancel();
}

void THeartbeatDispatch::OnTimer() {
  // A change of the channels moves the beats about: the next tick is left out rather than crowded.
  if (skipNext_.exchange(false)) return;
  RunOnDataNodeThread(1, TW_METHOD(this, Dispatch));
}

std::int32_t THeartbeatDispatch::BeatsDue(double& carry, std::int32_t n) {
  carry += n / kCycleSeconds;
  const double beats = std::nearbyint(carry);  // halves to even
  carry -= beats;
  return static_cast<std::int32_t>(std::clamp(beats, 0.0, static_cast<double>(n)));
}

void THeartbeatDispatch::Dispatch() {
  const std::int32_t n = ChannelCount();
  if (n < 1) return;
  for (std::int32_t beats = BeatsDue(carry_, n); beats > 0; --beats) {
    if (next_ >= n) next_ = 0;
    TBroadcastMessage::Send(std::make_unique<TBroadcastMessage>(), channels_[next_], true, 1);
    ++next_;
  }
}

std::string THeartbeatDispatch::Register(const std::string& symbol) {
  skipNext_ = true;
  const std::string channel = kChannelPrefix + symbol;
  Assert(!positions_.ContainsKey(channel));
  positions_.Add(channel, static_cast<std::int32_t>(channels_.size()));
  channels_.push_back(channel);
  return channel;
}

void THeartbeatDispatch::Unregister(const std::string& symbol) {
  skipNext_ = true;
  const std::string channel = kChannelPrefix + symbol;
  const std::int32_t at = positions_.Remove(channel);
  if (at < 0) return;
  if (at != static_cast<std::int32_t>(channels_.size()) - 1) {
    channels_[at] = channels_.back();
    positions_.Put(channels_[at], at);
  }
  channels_.pop_back();
}

THeartbeat::THeartbeat(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  symbol_ = params[0].AsString();
  RunOnDataNodeThread(1, TW_METHOD(this, Init));
}

THeartbeat::~THeartbeat() {
  if (dispatch_) dispatch_->Unregister(symbol_);
}

std::int32_t THeartbeat::Weight(std::int32_t phase) {
  std::int32_t weight = 5;
  for (std::int32_t i = phase % 128; i & 1; i >>= 1) weight *= 2;
  return weight;
}

void THeartbeat::Init() {
  phase_ = heartbeatsMade++;
  dispatch_ = Adopt(TDataNodeWithStringKey::FindOrCreate<THeartbeatDispatch>(""));
  ListenForBroadcast(dispatch_->Register(symbol_), TW_HANDLER(this, OnBeat));
  auto [tos, tosLink] = TGenericTosDataNode::Find(symbol_, TW_METHOD(this, OnPrint));
  tos_ = tos;
  AddAutoLink(tosLink);
  tosLink->SetReceiveInput(true);
}

void THeartbeat::OnPrint() {
  const TTosData* print = tos_->Current();
  if (print && !print->Snapshot) lastPrintTime_ = CurrentTime();
}

void THeartbeat::OnBeat(TBroadcastMessage&, TDataNode&) {
  if (CurrentTime() - lastPrintTime_ <= kOneHour) {
    // The phase spreads strong and weak beats over the symbols; the jitter keeps their order from repeating.
    ReportAlert("All filters satisfied.", 2 / (2 - UniformRandom()) * Weight(phase_));
  }
  ++phase_;
}

void RegisterHeartbeatAlert() {
  RegisterClass<THeartbeat>("Heartbeat");
}

}  // namespace tarnwell
