#pragma once
// The heartbeat: every symbol with a print in the last hour reports "All filters satisfied." about once every
// five minutes, the beats of all symbols spread evenly over those minutes by one shared dispatcher, so that a
// consumer of the alerts sees the server alive and every symbol's statistics refreshed.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "alerts/Alert.h"
#include "framework/HashTable.h"
#include "framework/Timers.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// The one dispatcher: a beat a second, each to the next registered channel, N / 300 beats a second on
/// average.
class THeartbeatDispatch : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "THeartbeatDispatch";
  static THeartbeatDispatch* CreateFromKey(const std::string&) { return Create<THeartbeatDispatch>(); }
  THeartbeatDispatch();
  ~THeartbeatDispatch() override;

  /// The beats owed this second with n channels, carrying the fraction to the next second.
  static std::int32_t BeatsDue(double& carry, std::int32_t n);

  /// The channel the symbol's beats come on. A symbol registered twice fails "Assertion failure".
  std::string Register(const std::string& symbol);
  void Unregister(const std::string& symbol);
  std::int32_t ChannelCount() const { return positions_.Count(); }
  /// One second's beats. Data node thread.
  void Dispatch();

 private:
  void OnTimer();

  std::vector<std::string> channels_;  // exactly the registered channels, compact
  tStringIntegerHashTable positions_;  // channel -> its position in channels_
  TTimerEventRef timer_;
  std::int32_t next_ = 0;
  double carry_ = 0;
  std::atomic<bool> skipNext_{false};  // set on the data node thread, read and cleared on the timer thread
};

/// (Symbol): "All filters satisfied." on each beat of a symbol that printed in the last hour.
class THeartbeat : public TAlert {
 public:
  static constexpr const char* kClassName = "THeartbeat";
  explicit THeartbeat(const TParamList& params);
  ~THeartbeat() override;

  /// 5 x 2^t, t the number of 1 bits at the low end of the phase (mod 128).
  static std::int32_t Weight(std::int32_t phase);

 private:
  void Init();
  void OnPrint();
  void OnBeat(TBroadcastMessage& message, TDataNode& node);

  THeartbeatDispatch* dispatch_ = nullptr;
  std::int32_t phase_ = 0;
  std::string symbol_;
  TGenericTosDataNode* tos_ = nullptr;
  TDateTime lastPrintTime_ = 0;
};

/// Registers "Heartbeat".
void RegisterHeartbeatAlert();

}  // namespace tarnwell
