#include "alerts/definitions/CrossingAlerts.h"

#include <algorithm>
#include <cstdio>

#include "marketdata/FileData.h"

namespace tarnwell {

// --- TTimePassed -----------------------------------------------------------------------------------------

TTimePassed::TTimePassed(const TParamList& params) {
  CheckParamCount(params, 2, "Assertion failure");
}

void TTimePassed::Mark(TDateTime now) {
  passed_ = lastTime_ == 0 || lastTime_ > now ? 300 : (now - lastTime_) * kSecondsPerDay;
  lastTime_ = now;
}

// --- Fast crossings --------------------------------------------------------------------------------------

TFastCrossing::TFastCrossing(const TParamList& params, const char* className, const char* levelWord)
    : levelWord_(levelWord) {
  CheckParamCount(params, 2, "Assertion failure");
  const std::string symbol = params[0].AsString();
  reportAbove_ = params[1].AsBoolean();
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, Evaluate)));
  auto [timer, timerLink] = TGenericDataNodeFactory::Make<TTimePassed>(symbol, className)->GetNode();
  timePassed_ = static_cast<TTimePassed*>(timer);
  AddAutoLink(timerLink);
  RunOnDataNodeThread(1, TW_METHOD(this, Evaluate));
}

void TFastCrossing::Evaluate() {
  double level = 0;
  if (!Level(level) || !tos_->IsValid()) {
    side_ = 0;
    return;
  }
  const double price = tos_->GetData()->Price;  // snapshots count: only the side matters
  const int c = price > level ? 1 : price < level ? 2 : 0;
  if ((reportAbove_ && c == 1 && side_ == 2) || (!reportAbove_ && c == 2 && side_ == 1)) {
    timePassed_->Mark(CurrentTime());
    ReportAlert(std::string("Price crossed ") + (reportAbove_ ? "above " : "below ") + levelWord_ + ":  " +
                    FormatPrice(false, level),
                timePassed_->Passed());
  }
  if (c != 0) side_ = c;
}

TCrossedClose::TCrossedClose(const TParamList& params) : TFastCrossing(params, kClassName, "close") {
  close_ = Adopt(FindForSymbol("MostRecentClose", params[0].AsString(), TW_METHOD(this, Evaluate)));
}

bool TCrossedClose::Level(double& level) {
  if (!close_->IsValid()) return false;
  level = close_->GetDouble();
  return true;
}

TCrossedOpen::TCrossedOpen(const TParamList& params) : TFastCrossing(params, kClassName, "open") {
  l1_ = Adopt(TGenericL1DataNode::Find(params[0].AsString()));
}

bool TCrossedOpen::Level(double& level) {
  if (!l1_->IsValid()) return false;
  level = l1_->GetData()->Open;
  return true;
}

// --- Confirmed by volume ---------------------------------------------------------------------------------

TConfirmedPosition::TConfirmedPosition(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, ReportAbove)");
  const std::string symbol = params[0].AsString();
  reportAbove_ = params[1].AsBoolean();
  l1_ = Adopt(TGenericL1DataNode::Find(symbol));
  auto [newDay, dayLink] = TNewDay::Find(symbol, TW_METHOD(this, NewDay));
  AddAutoLink(dayLink);
  auto [blocks, blocksLink] = TNormalVolumeBreakBars::Find(symbol, TW_METHOD(this, NewBlock));
  blocks_ = blocks;
  AddAutoLink(blocksLink);
}

void TConfirmedPosition::NewBlock() {
  if (!l1_->IsValid()) return;
  const TVolumeBlocks& blocks = blocks_->GetBlocks();
  if (blocks.empty()) return;
  const double open = l1_->GetData()->Open;
  const TVolumeBlock& last = blocks.back();
  const int a = last.Lower > open ? 1 : open > last.Upper ? 2 : 0;
  if ((reportAbove_ && a == 1 && side_ == 2) || (!reportAbove_ && a == 2 && side_ == 1)) {
    char text[160];
    std::snprintf(text, sizeof text, "Price crossed %s open (%s).  Confirmed by volume.",
                  reportAbove_ ? "above" : "below", FormatPrice(false, open).c_str());
    ReportAlert(text);
  }
  if (a != 0) side_ = a;
}

TConfirmedCrossing::TConfirmedCrossing(const TParamList& params) {
  CheckParamCount(params, 4, "Expected params: (Symbol, PriceLevelFactory, PriceLevelName, ReportAbove)");
  const std::string symbol = params[0].AsString();
  const TFactoryRef* factory = params[1].Factory();
  Assert(factory && *factory);
  levelName_ = params[2].AsString();
  reportAbove_ = params[3].AsBoolean();
  sideWord_ = reportAbove_ ? "above" : "below";
  level_ = Adopt((*factory)->GetNode(TW_METHOD(this, LevelChanged)));
  blocks_ = Adopt(TNormalVolumeBreakBars::Find(symbol, TW_METHOD(this, NewBlock)));
  RunOnDataNodeThread(1, TW_METHOD(this, LevelChanged));
}

void TConfirmedCrossing::LevelChanged() {
  if (!level_->IsValid()) {
    ready_ = false;
    side_ = 0;
    return;
  }
  levelValue_ = level_->GetDouble();
  if (ready_) {
    levelLow_ = std::min(levelLow_, levelValue_);
    levelHigh_ = std::max(levelHigh_, levelValue_);
    return;
  }
  levelLow_ = levelHigh_ = levelValue_;
  ready_ = true;
}

void TConfirmedCrossing::NewBlock() {
  if (ready_) {
    const TVolumeBlocks& blocks = blocks_->GetBlocks();
    int a = 0;
    if (!blocks.empty()) {
      const TVolumeBlock& last = blocks.back();
      a = last.Lower > levelHigh_ ? 1 : last.Upper >= levelLow_ ? 0 : 2;
    }
    if ((reportAbove_ && a == 1 && side_ == 2) || (!reportAbove_ && a == 2 && side_ == 1)) {
      ReportAlert("Price crossed " + std::string(sideWord_) + " " + levelName_ + " (" +
                  FormatPrice(false, levelValue_) + ").  Confirmed by volume.");
    }
    if (a != 0) side_ = a;
  } else {
    side_ = 0;
  }
  // The next block is judged against the values the level takes from now on.
  ready_ = false;
  LevelChanged();
}

void RegisterCrossingAlerts(TFactoryRef vwapFactory) {
  using F = TGenericDataNodeFactory;
  const auto& symbol = SymbolNamePlaceHolder();
  RegisterFactory("CrossedAboveClose", F::Make<TCrossedClose>(symbol, true));
  RegisterFactory("CrossedBelowClose", F::Make<TCrossedClose>(symbol, false));
  RegisterFactory("CrossedAboveOpen", F::Make<TCrossedOpen>(symbol, true));
  RegisterFactory("CrossedBelowOpen", F::Make<TCrossedOpen>(symbol, false));
  RegisterFactory("CrossedAboveOpenConfirmed", F::Make<TConfirmedPosition>(symbol, true));
  RegisterFactory("CrossedBelowOpenConfirmed", F::Make<TConfirmedPosition>(symbol, false));
  auto level = [&](const char* aboveName, const char* belowName, TFactoryRef levelFactory,
                   const char* levelName) {
    RegisterFactory(aboveName, F::Make<TConfirmedCrossing>(symbol, levelFactory, levelName, true));
    RegisterFactory(belowName, F::Make<TConfirmedCrossing>(symbol, levelFactory, levelName, false));
  };
  if (vwapFactory) level("CrossedAboveVWAP", "CrossedBelowVWAP", vwapFactory, "VWAP");
  level("CrossedAbove200Day", "CrossedBelow200Day", FindFactory("SMA200"), "200 day SMA");
  level("CrossedAbove50Day", "CrossedBelow50Day", FindFactory("SMA50"), "50 day SMA");
  level("CrossedAbove20Day", "CrossedBelow20Day", FindFactory("SMA20"), "20 day SMA");
  level("CrossedAboveCloseConfirmed", "CrossedBelowCloseConfirmed", FindFactory("MostRecentClose"), "close");
}

}  // namespace tarnwell
