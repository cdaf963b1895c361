#include "marketdata/VolumeBlocks.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "framework/DebugLog.h"
#include "marketdata/FileData.h"
#include "marketdata/vendor/VendorField.h"

namespace tarnwell {
namespace {

std::atomic<bool> useHistory{false};

std::vector<std::string> Split(const std::string& text, char delimiter) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    std::size_t at = text.find(delimiter, start);
    pieces.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return pieces;
    start = at + 1;
  }
}

// Capacity grows to max(32, twice the length), so a day of blocks costs few reallocations.
template <class T>
void Reserve(std::vector<T>& v) {
  if (v.size() == v.capacity()) v.reserve(std::max<std::size_t>(32, 2 * v.size()));
}

}  // namespace

bool UseHistory() {
  return useHistory.load();
}
void SetUseHistory(bool use) {
  useHistory.store(use);
}

// --- TVolumeBlockFactory ---------------------------------------------------------------------------------

void TVolumeBlockFactory::AddPrint(std::int32_t shares, TDateTime time, double price) {
  while (!stopped_ && shares > 0) {
    const std::int32_t n = std::min(shares, blockSize_ - filled_);
    if (n <= 0) return;
    firstTime_ = std::min(firstTime_, time);
    lastTime_ = std::max(lastTime_, time);
    auto at = std::lower_bound(prices_.begin(), prices_.end(), price,
                               [](const TPriceShares& entry, double p) { return entry.Price < p; });
    if (at != prices_.end() && at->Price == price) {
      at->Shares += n;
    } else {
      std::size_t index = static_cast<std::size_t>(at - prices_.begin());
      Reserve(prices_);
      prices_.insert(prices_.begin() + static_cast<std::ptrdiff_t>(index), TPriceShares{price, n});
    }
    filled_ += n;
    shares -= n;
    if (filled_ < blockSize_) continue;
    if (count_ + 1 < kMaxBlocks) {
      CloseBlock();
      continue;
    }
    AddLine("Cutting off volume block list due to overflow.");
    stopped_ = true;
    blocks_.clear();
    prices_.clear();
    count_ = 0;
  }
}

void TVolumeBlockFactory::CloseBlock() {
  TVolumeBlock block;
  block.High = prices_.back().Price;
  block.Low = prices_.front().Price;
  std::int32_t total = 0;
  std::size_t k = 0;
  double* targets[] = {&block.Lower, &block.Median, &block.Upper};
  const std::int32_t goals[] = {blockSize_ / 4, blockSize_ / 2, 3 * blockSize_ / 4};
  for (int i = 0; i < 3; ++i) {
    while (k + 1 < prices_.size() && total + prices_[k].Shares < goals[i]) total += prices_[k++].Shares;
    *targets[i] = prices_[k].Price;
  }
  block.StartTime = firstTime_;
  block.EndTime = lastTime_;
  Reserve(blocks_);
  blocks_.push_back(block);
  ++count_;
  prices_.clear();
  filled_ = 0;
  firstTime_ = 1.7e308;
  lastTime_ = 0;
}

void TVolumeBlockFactory::SetHistory(TVolumeBlocks blocks) {
  blocks_ = std::move(blocks);
  count_ = static_cast<std::int32_t>(blocks_.size());
  prices_.clear();
  filled_ = 0;
  firstTime_ = 1.7e308;
  lastTime_ = 0;
}

TVolumeBlocks TVolumeBlockFactory::GetBlocks() const {
  try {
    return TVolumeBlocks(blocks_.begin(), blocks_.begin() + count_);
  } catch (const std::exception& e) {
    throw std::runtime_error(ClassNameOf(typeid(e)) + ":  " + e.what() + ", while copying " +
                             std::to_string(count_) + " of " + std::to_string(blocks_.size()) + " blocks");
  }
}

// --- Volume-weighted nodes -------------------------------------------------------------------------------

std::string TVolumeWeightedDataNode::KeyText(const std::string& symbol, std::int32_t blockSize) {
  char bytes[4];
  std::memcpy(bytes, &blockSize, 4);
  return std::string(bytes, 4) + symbol;
}

void TVolumeWeightedDataNode::ParseKey(const std::string& keyText, std::string& symbol,
                                       std::int32_t& blockSize) {
  Assert(keyText.size() >= 4);
  std::memcpy(&blockSize, keyText.data(), 4);
  symbol = keyText.substr(4);
}

const TVolumeBlocks& TVolumeWeightedDataNode::GetBlocks() {
  if (!cacheValid_) {
    blockCache_ = factory_.GetBlocks();
    cacheValid_ = true;
  }
  return blockCache_;
}

TVolumeWeightedRealTimeDataNode* TVolumeWeightedRealTimeDataNode::CreateFromKey(const std::string& keyText) {
  std::string symbol;
  std::int32_t blockSize = 0;
  ParseKey(keyText, symbol, blockSize);
  return Create<TVolumeWeightedRealTimeDataNode>(symbol, blockSize);
}

std::pair<TVolumeWeightedRealTimeDataNode*, TDataNodeLink*> TVolumeWeightedRealTimeDataNode::Find(
    const std::string& symbol, std::int32_t blockSize, TCallback callback) {
  return FindOrCreate<TVolumeWeightedRealTimeDataNode>(KeyText(symbol, blockSize), std::move(callback));
}

TVolumeWeightedRealTimeDataNode::TVolumeWeightedRealTimeDataNode(const std::string& symbol,
                                                                 std::int32_t blockSize)
    : TVolumeWeightedDataNode(symbol, blockSize) {
  source_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
  if (!UseHistory()) return;
  auto [file, fileLink] = TFileOwnerDataNode::Find("VB_OvernightData.csv");
  std::string cell = file->GetCell("Vol", symbol + "_" + std::to_string(blockSize));
  TDataNodeLink::Release(fileLink);
  factory_.SetHistory(ParseHistory(cell));
}

TVolumeBlocks TVolumeWeightedRealTimeDataNode::ParseHistory(const std::string& cell) {
  TVolumeBlocks blocks;
  if (cell.empty()) return blocks;
  for (const std::string& text : Split(cell, ';')) {
    std::vector<std::string> numbers = Split(text, ':');
    Assert(numbers.size() == 7);
    double values[7];
    for (int i = 0; i < 7; ++i) {
      std::optional<double> value = ParseCellDouble(numbers[static_cast<std::size_t>(i)]);
      Assert(value.has_value());
      values[i] = *value;
    }
    blocks.push_back({values[0], values[1], values[2], values[3], values[4], values[5], values[6]});
  }
  return blocks;
}

void TVolumeWeightedRealTimeDataNode::OnPrint() {
  if (!source_->IsValid()) return;
  const TTosData& print = *source_->GetData();
  if (print.Snapshot) return;
  const std::int32_t before = factory_.GetCount();
  factory_.AddPrint(print.Size, CurrentTime(), print.Price);
  if (factory_.GetCount() == before) return;
  cacheValid_ = false;
  NotifyListeners();
}

TVolumeWeightedHistoricalDataNode* TVolumeWeightedHistoricalDataNode::CreateFromKey(
    const std::string& keyText) {
  std::string symbol;
  std::int32_t blockSize = 0;
  ParseKey(keyText, symbol, blockSize);
  return Create<TVolumeWeightedHistoricalDataNode>(symbol, blockSize);
}

std::pair<TVolumeWeightedHistoricalDataNode*, TDataNodeLink*> TVolumeWeightedHistoricalDataNode::Find(
    const std::string& symbol, std::int32_t blockSize, TCallback callback) {
  return FindOrCreate<TVolumeWeightedHistoricalDataNode>(KeyText(symbol, blockSize), std::move(callback));
}

TVolumeWeightedHistoricalDataNode::TVolumeWeightedHistoricalDataNode(const std::string& symbol,
                                                                     std::int32_t blockSize)
    : TVolumeWeightedDataNode(symbol, blockSize) {
  source_ = Adopt(TGenericTickDataNode::Find(symbol, TW_METHOD(this, Rebuild)));
  RunOnDataNodeThread(1, TW_METHOD(this, Rebuild));
}

void TVolumeWeightedHistoricalDataNode::Rebuild() {
  factory_ = TVolumeBlockFactory(blockSize_);
  cacheValid_ = false;
  TTickRecordArray ticks = source_->GetTicks();
  Assert(ticks.empty() || ticks.back().Time <= ticks.front().Time);  // newest first
  for (auto it = ticks.rbegin(); it != ticks.rend(); ++it) {
    if (it->IsTrade) factory_.AddPrint(it->TradeSize, it->Time, it->TradeOrBidPrice);
  }
  NotifyListeners();
}

// --- TNormalVolumeBreakBars ------------------------------------------------------------------------------

TNormalVolumeBreakBars::TNormalVolumeBreakBars(const std::string& symbol) : symbol_(symbol) {
  RunOnDataNodeThread(1, TW_METHOD(this, Connect));
}

TNormalVolumeBreakBars::~TNormalVolumeBreakBars() {
  if (blocksLink_) TDataNodeLink::Release(blocksLink_);
}

void TNormalVolumeBreakBars::Connect() {
  auto [node, link] = FindForSymbol("VolumeBreak", symbol_, TW_METHOD(this, BreakChanged));
  breakNode_ = node;
  link->SetReceiveInput(true);
  AddAutoLink(link);
  Evaluate(false);
}

void TNormalVolumeBreakBars::Evaluate(bool notify) {
  std::int32_t size = breakNode_->IsValid() ? breakNode_->GetInteger() : 0;
  if (size < (IsSlashSymbol(symbol_) ? 20 : 1000)) size = 0;
  if (size == currentBreak_) return;
  if (blocksLink_) TDataNodeLink::Release(blocksLink_);
  blocksLink_ = nullptr;
  blocks_ = nullptr;
  if (size > 0) {
    auto [blocks, link] =
        TVolumeWeightedRealTimeDataNode::Find(symbol_, size, TW_METHOD(this, NotifyListeners));
    blocks_ = blocks;
    blocksLink_ = link;
    link->SetReceiveInput(true);
  }
  currentBreak_ = size;
  if (notify) NotifyListeners();
}

const TVolumeBlocks& TNormalVolumeBreakBars::GetBlocks() {
  static const TVolumeBlocks kNone;
  return blocks_ ? blocks_->GetBlocks() : kNone;
}

// --- Averages per period ---------------------------------------------------------------------------------

int PeriodOf(TDateTime time) {
  const std::int64_t sinceOpen = TimeOfDayMs(time) - HoursMinutesMs(6, 30);
  if (sinceOpen < 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(1 + sinceOpen / 900000, 27));
}

TAverageHistoricalData::TAverageHistoricalData(const std::string& symbol) : symbol_(symbol) {
  file_ = Adopt(TFileOwnerDataNode::Find("V_OvernightData.csv", TW_METHOD(this, NotifyListeners)));
}

bool TAverageHistoricalData::HasData() const {
  return file_->HasRow(symbol_);
}

std::int32_t TAverageHistoricalData::Integer(const std::string& column) const {
  return ParseCellInteger(file_->GetCell(column, symbol_)).value_or(0);
}

std::int32_t TAverageHistoricalData::PeriodVolume(int period) const {
  return Integer(std::to_string(period));
}
std::int32_t TAverageHistoricalData::PreMarketVolume() const {
  return Integer("Pre");
}

// --- Recent high and low ---------------------------------------------------------------------------------

TRecentHighLow* TRecentHighLow::CreateFromKey(const std::string& keyText) {
  Assert(!keyText.empty() && (keyText[0] == 'H' || keyText[0] == 'L'));
  return Create<TRecentHighLow>(keyText.substr(1), keyText[0] == 'H');
}

std::pair<TRecentHighLow*, TDataNodeLink*> TRecentHighLow::Find(const std::string& symbol, bool high,
                                                                TCallback callback) {
  return FindOrCreate<TRecentHighLow>((high ? "H" : "L") + symbol, std::move(callback));
}

TRecentHighLow::TRecentHighLow(const std::string& symbol, bool isHigh) : isHigh_(isHigh) {
  l1Node_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, Update)));
  RunOnDataNodeThread(1, TW_METHOD(this, Update));
}

double TRecentHighLow::Current() {
  if (!l1Node_->IsValid()) return 0;
  return isHigh_ ? l1Node_->GetData()->High : l1Node_->GetData()->Low;
}

double TRecentHighLow::Value() {
  const double current = Current();
  return current > 0 ? current : remembered_;
}

void TRecentHighLow::Update() {
  hadValue_ = remembered_ != 0;
  const double v = Current();
  if (v == 0 || v == remembered_) return;
  remembered_ = v;
  NotifyListeners();
}

// --- New day ---------------------------------------------------------------------------------------------

TNewDay::TNewDay(const std::string& symbol) {
  l1Node_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, Update)));
  RunOnDataNodeThread(1, TW_METHOD(this, Update));
}

void TNewDay::Update() {
  if (!l1Node_->IsValid()) {
    phase_ = 0;
    return;
  }
  if (l1Node_->GetData()->Open == 0) {
    phase_ = 1;
    return;
  }
  const bool opened = phase_ == 1;
  phase_ = 2;
  if (opened) NotifyListeners();
}

}  // namespace tarnwell
