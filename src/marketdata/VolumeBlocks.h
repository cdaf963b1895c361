#pragma once
// Per-symbol history beyond the current quote and print: volume blocks (slices of a fixed number of shares,
// however long they take to trade, with the prices at which their volume traded), the average volume per
// 15-minute period of the day, the most recent high and low of the day, and the start of a new day.

#include <cstdint>
#include <string>
#include <vector>

#include "framework/DataNode.h"
#include "framework/GenericNode.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

class TFileOwnerDataNode;

/// The process-wide switch that seeds volume blocks and candle series with overnight history; off at start,
/// set by the automatic monitor. Any thread.
bool UseHistory();
void SetUseHistory(bool use);

struct TVolumeBlock {
  double High = 0;
  double Upper = 0;   ///< price at three quarters of the block's volume
  double Median = 0;  ///< price at half
  double Lower = 0;   ///< price at one quarter
  double Low = 0;
  TDateTime StartTime = 0;
  TDateTime EndTime = 0;
  bool operator==(const TVolumeBlock&) const = default;
};
using TVolumeBlocks = std::vector<TVolumeBlock>;

/// Cuts a stream of prints into blocks of BlockSize shares. At 2048 blocks it stops for good.
class TVolumeBlockFactory {
 public:
  static constexpr std::int32_t kMaxBlocks = 2048;
  explicit TVolumeBlockFactory(std::int32_t blockSize) : blockSize_(blockSize) {}

  /// Adds shares at a price; a print larger than the room left spills into the following blocks.
  void AddPrint(std::int32_t shares, TDateTime time, double price);
  /// Replaces the completed blocks; the block in progress starts empty.
  void SetHistory(TVolumeBlocks blocks);
  TVolumeBlocks GetBlocks() const;
  std::int32_t GetCount() const { return count_; }
  std::int32_t BlockSize() const { return blockSize_; }

 private:
  struct TPriceShares {
    double Price;
    std::int32_t Shares;
  };
  void CloseBlock();

  std::int32_t blockSize_;
  TVolumeBlocks blocks_;
  std::int32_t count_ = 0;
  std::int32_t filled_ = 0;
  TDateTime firstTime_ = 1.7e308;
  TDateTime lastTime_ = 0;
  std::vector<TPriceShares> prices_;  // the block in progress, ascending by price
  bool stopped_ = false;
};

/// The blocks of one symbol and block size. Listeners hear of every completed block.
class TVolumeWeightedDataNode : public TDataNodeWithStringKey {
 public:
  /// The key text: the block size as four raw bytes, then the symbol.
  static std::string KeyText(const std::string& symbol, std::int32_t blockSize);
  static void ParseKey(const std::string& keyText, std::string& symbol, std::int32_t& blockSize);

  /// The completed blocks, oldest first.
  const TVolumeBlocks& GetBlocks();
  std::int32_t GetCount() const { return factory_.GetCount(); }
  const std::string& Symbol() const { return symbol_; }

 protected:
  TVolumeWeightedDataNode(const std::string& symbol, std::int32_t blockSize)
      : symbol_(symbol), blockSize_(blockSize), factory_(blockSize) {}

  std::string symbol_;
  std::int32_t blockSize_;
  TVolumeBlocks blockCache_;
  bool cacheValid_ = false;
  TVolumeBlockFactory factory_;
};

/// Blocks built live from the symbol's prints, seeded from "VB_OvernightData.csv" under the use-history
/// switch.
class TVolumeWeightedRealTimeDataNode : public TVolumeWeightedDataNode {
 public:
  static constexpr const char* kKeyClass = "TVolumeWeightedRealTimeDataNode";
  static TVolumeWeightedRealTimeDataNode* CreateFromKey(const std::string& keyText);
  static std::pair<TVolumeWeightedRealTimeDataNode*, TDataNodeLink*> Find(const std::string& symbol,
                                                                          std::int32_t blockSize,
                                                                          TCallback callback = {});
  TVolumeWeightedRealTimeDataNode(const std::string& symbol, std::int32_t blockSize);

  /// The blocks of a history cell: ";" between blocks, ":" between the seven numbers of one.
  static TVolumeBlocks ParseHistory(const std::string& cell);

 private:
  void OnPrint();
  TGenericTosDataNode* source_;
};

/// Blocks rebuilt from the symbol's tick list on every change of it.
class TVolumeWeightedHistoricalDataNode : public TVolumeWeightedDataNode {
 public:
  static constexpr const char* kKeyClass = "TVolumeWeightedHistoricalDataNode";
  static TVolumeWeightedHistoricalDataNode* CreateFromKey(const std::string& keyText);
  static std::pair<TVolumeWeightedHistoricalDataNode*, TDataNodeLink*> Find(const std::string& symbol,
                                                                            std::int32_t blockSize,
                                                                            TCallback callback = {});
  TVolumeWeightedHistoricalDataNode(const std::string& symbol, std::int32_t blockSize);

 private:
  void Rebuild();
  TGenericTickDataNode* source_;
};

/// The blocks of the symbol's own volume break, following it when it changes.
class TNormalVolumeBreakBars : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TNormalVolumeBreakBars";
  static TNormalVolumeBreakBars* CreateFromKey(const std::string& symbol) {
    return Create<TNormalVolumeBreakBars>(symbol);
  }
  static std::pair<TNormalVolumeBreakBars*, TDataNodeLink*> Find(const std::string& symbol, TCallback callback = {}) {
    return FindOrCreate<TNormalVolumeBreakBars>(symbol, std::move(callback));
  }
  explicit TNormalVolumeBreakBars(const std::string& symbol);
  ~TNormalVolumeBreakBars() override;

  /// Empty without a block size.
  const TVolumeBlocks& GetBlocks();
  std::int32_t GetCount() const { return blocks_ ? blocks_->GetCount() : 0; }
  std::int32_t CurrentBreak() const { return currentBreak_; }

 private:
  void Connect();
  void BreakChanged() { Evaluate(true); }
  void Evaluate(bool notify);

  std::string symbol_;
  std::int32_t currentBreak_ = 0;
  TVolumeWeightedRealTimeDataNode* blocks_ = nullptr;
  TDataNodeLink* blocksLink_ = nullptr;  // owned; released when the break changes
  TGenericDataNode* breakNode_ = nullptr;
};

/// The 15-minute period of a time of day: 0 before 06:30, 1 to 26 in the regular session, 27 after it.
int PeriodOf(TDateTime time);

/// The symbol's average volume per period from "V_OvernightData.csv".
class TAverageHistoricalData : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TAverageHistoricalData";
  static TAverageHistoricalData* CreateFromKey(const std::string& symbol) {
    return Create<TAverageHistoricalData>(symbol);
  }
  static std::pair<TAverageHistoricalData*, TDataNodeLink*> Find(const std::string& symbol, TCallback callback = {}) {
    return FindOrCreate<TAverageHistoricalData>(symbol, std::move(callback));
  }
  explicit TAverageHistoricalData(const std::string& symbol);

  bool HasData() const;
  /// The volume of period 1 to 27; 0 when missing or not an integer.
  std::int32_t PeriodVolume(int period) const;
  std::int32_t PreMarketVolume() const;

 private:
  std::int32_t Integer(const std::string& column) const;
  TFileOwnerDataNode* file_;
  std::string symbol_;
};

/// The most recent non-zero high (or low) of the day: a quote that turns invalid or zero keeps it.
class TRecentHighLow : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TRecentHighLow";
  static TRecentHighLow* CreateFromKey(const std::string& keyText);
  static std::pair<TRecentHighLow*, TDataNodeLink*> Find(const std::string& symbol, bool high, TCallback callback = {});
  TRecentHighLow(const std::string& symbol, bool isHigh);

  double Value();
  bool IsValid() { return Value() != 0; }
  bool HadValue() const { return hadValue_; }

 private:
  void Update();
  double Current();

  bool isHigh_;
  bool hadValue_ = false;
  double remembered_ = 0;
  TGenericL1DataNode* l1Node_;
};

/// Notifies once a day, when the quote first carries an open price.
class TNewDay : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TNewDay";
  static TNewDay* CreateFromKey(const std::string& symbol) { return Create<TNewDay>(symbol); }
  static std::pair<TNewDay*, TDataNodeLink*> Find(const std::string& symbol, TCallback callback = {}) {
    return FindOrCreate<TNewDay>(symbol, std::move(callback));
  }
  explicit TNewDay(const std::string& symbol);

 private:
  void Update();
  TGenericL1DataNode* l1Node_;
  std::uint8_t phase_ = 0;  // 0 no quote, 1 quote without an open, 2 quote with an open
};

}  // namespace tarnwell
