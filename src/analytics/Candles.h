#pragma once
// Standard candle series: the open/high/low/close/volume bars of one symbol and one width, aligned to the
// regular session, built live from prints and optionally seeded with the previous days' candles. One shared
// node per (symbol, minutes per bar). Consumers keep the epoch they last processed: an unchanged epoch means
// nothing to do, ltNewCandle means fold in the last candle, anything else means recompute.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/BarCounter.h"
#include "framework/DataNode.h"
#include "marketdata/FeedNodes.h"
#include "marketdata/VolumeBlocks.h"  // UseHistory

namespace tarnwell {

struct TCandle {
  double Open = 0;
  double High = 0;
  double Low = 0;
  double Close = 0;
  std::int32_t Volume = 0;
  bool operator==(const TCandle&) const = default;
};

/// A shared, read-only list of candles, oldest first.
using TCandleArray = std::shared_ptr<const std::vector<TCandle>>;

enum TLastTransition { ltNew, ltReset, ltNewCandle, ltUpdateCurrentCandle };

/// Test tools' message to a series: a whole new list, or one candle to append.
class TStandardCandlesDebugInfo final : public TBroadcastMessage {
 public:
  TStandardCandlesDebugInfo(bool oneCandle, std::vector<TCandle> candles)
      : OneCandle(oneCandle), Candles(std::move(candles)) {}
  bool OneCandle;
  std::vector<TCandle> Candles;
};

class TStandardCandles : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TStandardCandles";
  /// The key text: one character whose code is the minutes per bar, then the symbol.
  static std::string KeyText(const std::string& symbol, int minutesPerBar);
  static TStandardCandles* CreateFromKey(const std::string& keyText);
  /// The shared series and a new inactive link to `callback`. Minutes per bar 1 to 255.
  static std::pair<TStandardCandles*, TDataNodeLink*> Find(const std::string& symbol, int minutesPerBar,
                                                           TCallback callback = {});

  TStandardCandles(const std::string& symbol, int minutesPerBar);

  /// Exactly HistoricalCandleCount candles, oldest first; the same object until the series changes.
  TCandleArray GetCandles();
  std::int32_t HistoricalCandleCount() const { return count_; }
  TLastTransition LastTransition() const { return lastTransition_; }
  std::int32_t Epoch() const { return epoch_; }
  int MinutesPerBar() const { return barCounter_->MinutesPerBar(); }
  /// The start of the most recent session minute: prints stamped earlier are late and dropped.
  TDateTime LastStartTime() const { return barCounter_->MinuteStart(); }
  const std::string& Symbol() const { return symbol_; }

  /// The symbol's candles of that width from "SC_OvernightData.csv"; empty (with one log line) when the
  /// cell does not parse.
  static std::vector<TCandle> LoadOvernightCandles(const std::string& symbol, int minutesPerBar);

  // Test tools: these reach the series through its broadcast channel, on the data node thread.
  static void ResetCandles(TStandardCandles& node);
  static void SetHistory(TStandardCandles& node, std::vector<TCandle> candles);
  static void SendCandle(TStandardCandles& node, const TCandle& candle);

 private:
  void NewPrint();
  void BarTransition();
  void OnDebugMessage(TBroadcastMessage& message, TDataNode& self);
  void Append(const TCandle& candle);
  void Reset();
  void Changed(TLastTransition transition);

  std::string symbol_;
  TBarCounter* barCounter_;
  TGenericTosDataNode* tosNode_;
  std::vector<TCandle> candles_;  // the first count_ entries are the series
  TCandleArray candlesCopy_;      // null while it does not match candles_
  std::int32_t count_ = 0;
  TCandle current_;
  bool currentStarted_ = false;
  TLastTransition lastTransition_ = ltNew;
  std::int32_t epoch_ = 1;
  bool notifyPending_ = false;
  std::string broadcastName_;
};

/// A copy of a series for screen windows, taken on the screen beat while the data node thread waits.
class TThreadSafeCandles : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TThreadSafeCandles";
  static TThreadSafeCandles* CreateFromKey(const std::string& keyText);
  static std::pair<TThreadSafeCandles*, TDataNodeLink*> Find(const std::string& symbol, int minutesPerBar,
                                                             TCallback callback = {});
  explicit TThreadSafeCandles(const std::string& keyText);

  // The last snapshot; user interface thread.
  const std::vector<TCandle>& Candles() const { return candles_; }
  TLastTransition LastTransition() const { return lastTransition_; }
  std::int32_t HistoricalCandleCount() const { return historicalCandleCount_; }
  TDateTime LastStartTime() const { return lastStartTime_; }
  std::int32_t Epoch() const { return epoch_; }

 private:
  void MarkStale() { upToDate_.store(false, std::memory_order_relaxed); }
  void Refresh();

  TStandardCandles* source_;
  std::vector<TCandle> candles_;
  TLastTransition lastTransition_ = ltNew;
  std::int32_t historicalCandleCount_ = 0;
  TDateTime lastStartTime_ = 0;
  std::int32_t epoch_ = 0;
  std::atomic<bool> upToDate_{false};  // cleared on the data node thread, set on the interface thread
};

}  // namespace tarnwell
