#include "analytics/Candles.h"

#include <algorithm>
#include <stdexcept>

#include "framework/DebugLog.h"
#include "framework/ScreenUpdates.h"
#include "marketdata/FileData.h"

namespace tarnwell {
namespace {

// A candle cell that does not read as candles.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::vector<std::string> Split(const std::string& text, char delimiter) {
  std::vector<std::string> pieces;
  std::string piece;
  for (char c : text) {
    if (c == delimiter) {
      pieces.push_back(piece);
      piece.clear();
      continue;
    }
    piece.push_back(c);
  }
  pieces.push_back(piece);
  return pieces;
}

TCandle ParseCandle(const std::string& text) {
  std::vector<std::string> fields = Split(text, ':');
  if (fields.size() < 5) {
    throw EConvertError("'" + text + "' has " + std::to_string(fields.size()) + " fields, expected 5");
  }
  auto price = [&](int i) {
    std::optional<double> value = ParseCellDouble(fields[i]);
    if (!value) throw EConvertError("'" + fields[i] + "' is not a valid floating point value");
    return *value;
  };
  std::optional<std::int32_t> volume = ParseCellInteger(fields[4]);
  if (!volume) throw EConvertError("'" + fields[4] + "' is not a valid integer value");
  return TCandle{price(0), price(1), price(2), price(3), *volume};
}

}  // namespace

// --- TStandardCandles ------------------------------------------------------------------------------------

std::string TStandardCandles::KeyText(const std::string& symbol, int minutesPerBar) {
  Assert(minutesPerBar >= 1 && minutesPerBar <= 255);
  return std::string(1, static_cast<char>(minutesPerBar)) + symbol;
}

TStandardCandles* TStandardCandles::CreateFromKey(const std::string& keyText) {
  Assert(!keyText.empty());
  return Create<TStandardCandles>(keyText.substr(1), static_cast<unsigned char>(keyText[0]));
}

std::pair<TStandardCandles*, TDataNodeLink*> TStandardCandles::Find(const std::string& symbol, int minutesPerBar,
                                                                    TCallback callback) {
  return FindOrCreate<TStandardCandles>(KeyText(symbol, minutesPerBar), std::move(callback));
}

TStandardCandles::TStandardCandles(const std::string& symbol, int minutesPerBar)
    : symbol_(symbol), broadcastName_("TStandardCandlesDebugInfo." + KeyText(symbol, minutesPerBar)) {
  barCounter_ = Adopt(TBarCounter::Find(minutesPerBar, TW_METHOD(this, BarTransition)));
  tosNode_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, NewPrint)));
  ListenForBroadcast(broadcastName_, TW_HANDLER(this, OnDebugMessage));
  if (!UseHistory()) return;
  candles_ = LoadOvernightCandles(symbol, minutesPerBar);
  count_ = static_cast<std::int32_t>(candles_.size());
  if (count_ > 0) lastTransition_ = ltReset;
}

std::vector<TCandle> TStandardCandles::LoadOvernightCandles(const std::string& symbol, int minutesPerBar) {
  auto [file, link] = TFileOwnerDataNode::Find("SC_OvernightData.csv");
  std::string cell = file->GetCell(std::to_string(minutesPerBar), symbol);
  TDataNodeLink::Release(link);
  std::vector<TCandle> candles;
  if (cell.empty()) return candles;
  try {
    for (const std::string& text : Split(cell, ';')) {
      if (text.empty()) continue;  // a trailing ";" ends the list, it adds no candle
      candles.push_back(ParseCandle(text));
    }
  } catch (const std::exception& e) {
    AddLine("Error reading standard candle data.  Symbol=" + symbol + ", MinutesPerBar=" +
            std::to_string(minutesPerBar) + ", Classname=" + ClassNameOf(typeid(e)) + ":  " + e.what());
    candles.clear();
  }
  return candles;
}

TCandleArray TStandardCandles::GetCandles() {
  if (!candlesCopy_) {
    candlesCopy_ = std::make_shared<const std::vector<TCandle>>(candles_.begin(), candles_.begin() + count_);
  }
  return candlesCopy_;
}

void TStandardCandles::NewPrint() {
  if (barCounter_->CurrentBar() == TBarCounter::kNoBar || !tosNode_->IsValid()) return;
  const TTosData& print = *tosNode_->GetData();
  if (print.Time < LastStartTime()) return;  // late: stamped in an earlier minute
  if (!currentStarted_) {
    current_ = TCandle{print.Price, print.Price, print.Price, print.Price, print.Size};
    currentStarted_ = true;
    return;
  }
  current_.High = std::max(current_.High, print.Price);
  current_.Low = std::min(current_.Low, print.Price);
  current_.Close = print.Price;
  current_.Volume += print.Size;
}

void TStandardCandles::Changed(TLastTransition transition) {
  candlesCopy_.reset();
  lastTransition_ = transition;
  ++epoch_;
}

void TStandardCandles::Append(const TCandle& candle) {
  if (static_cast<std::size_t>(count_) == candles_.size()) {
    candles_.resize(candles_.size() + static_cast<std::size_t>(barCounter_->BarsPerSession()));
  }
  candles_[static_cast<std::size_t>(count_++)] = candle;
  Changed(ltNewCandle);
}

void TStandardCandles::Reset() {
  candles_.clear();
  count_ = 0;
  currentStarted_ = false;
  Changed(ltReset);
  notifyPending_ = true;
}

void TStandardCandles::BarTransition() {
  if (barCounter_->Phase() == 2) {
    if (!notifyPending_) return;
    notifyPending_ = false;
    NotifyListeners();
    return;
  }
  if (barCounter_->Phase() != 1) return;
  switch (barCounter_->BarState()) {
    case bsFirstBar:
      currentStarted_ = false;
      break;
    case bsNextBar:
    case bsOutOfSession:
      if (!currentStarted_) {
        Reset();
        break;
      }
      Append(current_);
      currentStarted_ = false;
      notifyPending_ = true;
      break;
    case bsSkippedBars:
      Reset();
      break;
    case bsNone:
      break;
  }
}

void TStandardCandles::OnDebugMessage(TBroadcastMessage& message, TDataNode&) {
  auto& info = static_cast<TStandardCandlesDebugInfo&>(message);
  if (info.OneCandle) {
    Append(info.Candles.at(0));
  } else {
    candles_ = info.Candles;
    count_ = static_cast<std::int32_t>(candles_.size());
    Changed(ltReset);
  }
  NotifyListeners();
}

void TStandardCandles::ResetCandles(TStandardCandles& node) {
  TBroadcastMessage::Send(std::make_unique<TStandardCandlesDebugInfo>(false, std::vector<TCandle>{}),
                          node.broadcastName_, false, 1);
}

void TStandardCandles::SetHistory(TStandardCandles& node, std::vector<TCandle> candles) {
  TBroadcastMessage::Send(std::make_unique<TStandardCandlesDebugInfo>(false, std::move(candles)), node.broadcastName_,
                          false, 1);
}

void TStandardCandles::SendCandle(TStandardCandles& node, const TCandle& candle) {
  TBroadcastMessage::Send(std::make_unique<TStandardCandlesDebugInfo>(true, std::vector<TCandle>{candle}),
                          node.broadcastName_, false, 1);
}

// --- TThreadSafeCandles ----------------------------------------------------------------------------------

TThreadSafeCandles* TThreadSafeCandles::CreateFromKey(const std::string& keyText) {
  Assert(!keyText.empty());
  return Create<TThreadSafeCandles>(keyText);
}

std::pair<TThreadSafeCandles*, TDataNodeLink*> TThreadSafeCandles::Find(const std::string& symbol,
                                                                        int minutesPerBar, TCallback callback) {
  return FindOrCreate<TThreadSafeCandles>(TStandardCandles::KeyText(symbol, minutesPerBar), std::move(callback));
}

TThreadSafeCandles::TThreadSafeCandles(const std::string& keyText) {
  source_ = Adopt(TStandardCandles::Find(keyText.substr(1), static_cast<unsigned char>(keyText[0]),
                                               TW_METHOD(this, MarkStale)));
  AddAutoLink(TScreenUpdater::CreateScreenLink(TW_METHOD(this, Refresh)));
}

void TThreadSafeCandles::Refresh() {
  if (upToDate_.load(std::memory_order_relaxed)) return;
  TCandleArray candles = source_->GetCandles();
  candles_.assign(candles->begin(), candles->end());  // a copy of its own, never the source's storage
  lastTransition_ = source_->LastTransition();
  historicalCandleCount_ = source_->HistoricalCandleCount();
  lastStartTime_ = source_->LastStartTime();
  epoch_ = source_->Epoch();
  upToDate_.store(true, std::memory_order_relaxed);
  NotifyListeners();
}

}  // namespace tarnwell
