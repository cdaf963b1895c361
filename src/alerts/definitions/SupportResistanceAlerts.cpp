#include "alerts/definitions/SupportResistanceAlerts.h"

#include <algorithm>

#include "framework/Errors.h"

namespace tarnwell {

void TSupportOrResistanceAccumulator::AddPrice(double x) {
  // Every level the price passes falls, and with it every nearer one.
  for (std::size_t i = 0; i < levels_.size(); ++i) {
    if (Beyond(x, levels_[i].Price)) {
      levels_.resize(i);
      break;
    }
  }
  if (added_ > 1 && Beyond(prev_, prevPrev_) && Beyond(prev_, x)) {
    const double threshold = prev_ - direction_ * tickVolatility_;
    if (levels_.empty() || Beyond(levels_.back().Price, prev_)) {
      levels_.push_back({prev_, threshold, added_ - 1});
    } else {
      // A peak at the nearest level's own price (any lower one fell when this price came): it holds again.
      levels_.back().Threshold = threshold;
    }
  }
  ++added_;
  prevPrev_ = prev_;
  prev_ = x;
}

bool TSupportOrResistanceAccumulator::IsBreak(double x) const {
  return !levels_.empty() && Beyond(x, levels_.back().Price);
}

const TSupportOrResistanceAccumulator::TLevel* TSupportOrResistanceAccumulator::FindLevel(double x) const {
  for (const TLevel& level : levels_) {
    if (Beyond(x, level.Price)) return &level;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------------------

TSupportOrResistance* TSupportOrResistance::CreateFromKey(const std::string& keyText) {
  Assert(!keyText.empty() && (keyText[0] == 'T' || keyText[0] == 'B'));
  return Create<TSupportOrResistance>(keyText.substr(1), keyText[0] == 'T');
}

std::pair<TSupportOrResistance*, TDataNodeLink*> TSupportOrResistance::Find(const std::string& symbol,
                                                                            bool top, TCallback callback) {
  return FindOrCreate<TSupportOrResistance>((top ? "T" : "B") + symbol, std::move(callback));
}

TSupportOrResistance::TSupportOrResistance(const std::string& symbol, bool top) : top_(top), symbol_(symbol) {
  bars_ = Adopt(TNormalVolumeBreakBars::Find(symbol, TW_METHOD(this, Update)));
  volatility_ = Adopt(FindForSymbol("TickVolatility", symbol));
  RunOnDataNodeThread(1, TW_METHOD(this, Update));
}

double TSupportOrResistance::PriceOf(const TVolumeBlock& block) const {
  return top_ ? block.Upper : block.Lower;
}

TLevelBreak TSupportOrResistance::Describe(double x, const TVolumeBlocks& blocks) const {
  TLevelBreak result;
  if (!accumulator_ || !accumulator_->IsBreak(x)) return result;
  const TSupportOrResistanceAccumulator::TLevel& level = *accumulator_->FindLevel(x);
  const std::int32_t blocksSince = accumulator_->Added() - level.BlockIndex + 1;
  result.Broke = true;
  result.Price = level.Price;
  result.Quality = blocksSince / 4.0;
  result.Volume = blocksSince * bars_->CurrentBreak();
  if (static_cast<std::size_t>(level.BlockIndex) < blocks.size())
    result.StartTime = blocks[level.BlockIndex].StartTime;
  return result;
}

TLevelBreak TSupportOrResistance::CheckPrice(double x) {
  return Describe(x, bars_->GetBlocks());
}

void TSupportOrResistance::Update() {
  lastBreak_ = {};
  const TVolumeBlocks& blocks = bars_->GetBlocks();
  if (!volatility_->IsValid()) {
    accumulator_.reset();
    NotifyListeners();
    return;
  }
  const double volatility = volatility_->GetDouble();
  const auto count = static_cast<std::int32_t>(blocks.size());
  if (!accumulator_ || accumulator_->TickVolatility() != volatility || count < accumulator_->Added()) {
    // A new volatility or a block list that started again (a new volume break): the levels are read afresh
    // from the blocks, reporting nothing.
    accumulator_ = std::make_unique<TSupportOrResistanceAccumulator>(top_ ? 1 : -1, volatility);
    for (const TVolumeBlock& block : blocks) accumulator_->AddPrice(PriceOf(block));
  } else {
    for (std::int32_t i = accumulator_->Added(); i < count; ++i) {
      const double price = PriceOf(blocks[i]);
      if (accumulator_->IsBreak(price)) lastBreak_ = Describe(price, blocks);
      accumulator_->AddPrice(price);
    }
  }
  NotifyListeners();
}

// ---------------------------------------------------------------------------------------------------------

namespace {
const char* SideText(bool top) {
  return top ? "above resistance" : "below support";
}
}  // namespace

TBrokeSupportOrResistanceConfirmed::TBrokeSupportOrResistanceConfirmed(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Top)");
  top_ = params[1].AsBoolean();
  levels_ = Adopt(TSupportOrResistance::Find(params[0].AsString(), top_, TW_METHOD(this, OnLevels)));
}

void TBrokeSupportOrResistanceConfirmed::OnLevels() {
  const TLevelBreak& crossing = levels_->LastBreak();
  // A level younger than 32 blocks is noise of the last minutes, not a level the market remembers.
  if (!crossing.Broke || crossing.Quality < 8) return;
  ReportAlert(std::string("Crossed ") + SideText(top_) + ", " + FormatPrice(false, crossing.Price) +
                  ", confirmed by volume.  Time:  " + DescribeTimeSpan(CurrentTime(), crossing.StartTime) +
                  ".  Volume:  " + FormatWhole(crossing.Volume) + ".",
              crossing.Quality);
}

TBrokeSupportOrResistance::TBrokeSupportOrResistance(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Top)");
  const std::string symbol = params[0].AsString();
  top_ = params[1].AsBoolean();
  levels_ = Adopt(TSupportOrResistance::Find(symbol, top_, TW_METHOD(this, OnLevels)));
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, OnQuote)));
  RunOnDataNodeThread(1, TW_METHOD(this, OnQuote));
}

double TBrokeSupportOrResistance::QuotePrice() const {
  const TL1Data* quote = l1_->Current();
  if (!quote || quote->BidPrice <= 0 || quote->AskPrice <= 0) return 0;
  return top_ ? std::min(quote->BidPrice, quote->AskPrice) : std::max(quote->BidPrice, quote->AskPrice);
}

void TBrokeSupportOrResistance::OnLevels() {
  const double price = QuotePrice();
  haveQuote_ = price != 0;
  lastQuotePrice_ = price;
  if (!haveQuote_) {
    prevQuoteValid_ = false;
    haveReported_ = false;
    reportedLevel_ = 0;
    return;
  }
  // A level the quote is already beyond counts as reported: only a crossing seen happening is news.
  prevQuoteValid_ = true;
  const TLevelBreak crossing = levels_->CheckPrice(price);
  haveReported_ = crossing.Broke;
  reportedLevel_ = crossing.Price;
}

void TBrokeSupportOrResistance::OnQuote() {
  if (!haveQuote_) {
    OnLevels();
    return;
  }
  const double price = QuotePrice();
  const bool valid = price != 0;
  if (valid && Beyond(price, lastQuotePrice_)) {
    lastQuotePrice_ = price;
    const TLevelBreak crossing = levels_->CheckPrice(price);
    if (crossing.Broke && (!haveReported_ || Beyond(crossing.Price, reportedLevel_))) {
      reportedLevel_ = crossing.Price;
      haveReported_ = true;
      if (prevQuoteValid_) {
        ReportAlert(std::string("Crossed ") + SideText(top_) + ", " + FormatPrice(false, crossing.Price) +
                        ".  Time:  " + DescribeTimeSpan(CurrentTime(), crossing.StartTime) +
                        ".  Volume:  " + FormatWhole(crossing.Volume) + ".",
                    crossing.Quality);
      }
    }
  }
  prevQuoteValid_ = valid;
}

void RegisterSupportResistanceAlerts() {
  RegisterClass<TBrokeSupportOrResistanceConfirmed>("CrossedAboveResistanceConfirmed", true);
  RegisterClass<TBrokeSupportOrResistanceConfirmed>("CrossedBelowSupportConfirmed", false);
  RegisterClass<TBrokeSupportOrResistance>("CrossedAboveResistance", true);
  RegisterClass<TBrokeSupportOrResistance>("CrossedBelowSupport", false);
}

}  // namespace tarnwell
