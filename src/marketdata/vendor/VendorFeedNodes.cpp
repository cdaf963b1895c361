#include "marketdata/vendor/VendorFeedNodes.h"

#include <cmath>
#include <cstdio>

#include "framework/BarCounter.h"
#include "framework/DataNodeThread.h"
#include "framework/DebugLog.h"
#include "marketdata/vendor/VendorField.h"

namespace tarnwell {
namespace {

std::string FormatGeneral(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

// "hh:nn:ss" of a time of day (which may be negative before 03:00 at the vendor).
std::string FormatTimeOfDay(TDateTime time) {
  long seconds = std::lround((time - std::floor(time)) * kSecondsPerDay);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02ld:%02ld:%02ld", seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
  return buffer;
}

std::string FormatDate(TDateTime date) { return FormatLogStamp(date).substr(0, 10); }

TDateTime Today() { return std::floor(clock::Now()); }

bool ShortUpperCaseSymbol(const std::string& symbol) {
  if (symbol.empty() || symbol.size() > 3) return false;
  for (char c : symbol) {
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}

}  // namespace

// --- Prints ----------------------------------------------------------------------------------------------

// The fields of one print record; absent ones stay empty.
struct TVendorTosDataNode::TFields {
  std::optional<std::int32_t> saleCondition, irgCond, trdVol1, saleConditionVolume, acVol1, quoteUpdateType,
      quoteStatus;
  std::optional<double> trdPrc1, saleConditionPrice;
  std::optional<TDateTime> trdTim1, saleConditionTime, trdDate;
  std::optional<std::string> trdXid1, saleConditionXid, status;
  bool symbolError = false;
};

TVendorTosDataNode::TVendorTosDataNode(const std::string& symbol) : symbol_(symbol) {
  auto [listener, link] =
      TVendorMsgListenerDataNode::Subscribe(kVendorTosQuery, vtLiveQuote, false, symbol, TW_METHOD(this, Update));
  tosListener_ = listener;
  AddAutoLink(link);
}

void TVendorTosDataNode::Dump(const std::string& reason, const TFields& f, int mode) const {
  std::string text = reason + ":  Symbol=\"" + symbol_ + "\", Size=" + std::to_string(data_.Size) +
                     ", UseFields=" + std::to_string(mode);
  auto add = [&text](const char* name, const std::string& value) { text += std::string(", ") + name + "=" + value; };
  auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
  if (f.saleCondition) add("SALE_CONDITION", std::to_string(*f.saleCondition));
  if (f.irgCond) add("IRGCOND", std::to_string(*f.irgCond));
  if (f.trdPrc1) add("TRDPRC_1", FormatGeneral(*f.trdPrc1));
  if (f.trdTim1) add("TRDTIM_1", FormatTimeOfDay(*f.trdTim1));
  if (f.saleConditionPrice) add("SALE_CONDITION_PRICE", FormatGeneral(*f.saleConditionPrice));
  if (f.saleConditionTime) add("SALE_CONDITION_TIME", FormatTimeOfDay(*f.saleConditionTime));
  if (f.trdDate) add("TRD_DATE", FormatDate(*f.trdDate));
  if (f.trdVol1) add("TRDVOL_1", std::to_string(*f.trdVol1));
  if (f.trdXid1) add("TRDXID_1", quoted(*f.trdXid1));
  if (f.saleConditionVolume) add("SALE_CONDITION_VOLUME", std::to_string(*f.saleConditionVolume));
  if (f.saleConditionXid) add("SALE_CONDITION_XID", quoted(*f.saleConditionXid));
  if (f.acVol1) add("ACVOL_1", std::to_string(*f.acVol1));
  if (f.status) add("STATUS", quoted(*f.status));
  if (f.quoteUpdateType) add("QUOTE_UPDATE_TYPE", std::to_string(*f.quoteUpdateType));
  if (f.quoteStatus) add("QUOTE_STATUS", std::to_string(*f.quoteStatus));
  text += tosListener_->Kind() == rkReply ? " (Most recent price.)" : " (New print.)";
  if (f.symbolError) text += " SYMBOL_ERROR";
  AddLine(text);
}

void TVendorTosDataNode::Update() {
  VB4Cursor* cursor = tosListener_->Cursor();
  if (!cursor) {
    valid_ = false;
    NotifyListeners();
    return;
  }
  TFields f;
  const void* raw = nullptr;
  while (VB4_GetField(cursor, &raw) == 0) {
    TVendorField field(raw);
    if (!field.HasValue()) continue;
    switch (field.Number()) {
      case vf::DISP_NAME:
      case vf::EXCHID: break;
      case vf::SALE_CONDITION: f.saleCondition = field.AsInteger(); break;
      case vf::IRGCOND: f.irgCond = field.AsInteger(); break;
      case vf::TRDPRC_1: f.trdPrc1 = field.AsPrice(); break;
      case vf::TRDTIM_1: f.trdTim1 = field.AsTime(); break;
      case vf::SALE_CONDITION_PRICE: f.saleConditionPrice = field.AsPrice(); break;
      case vf::SALE_CONDITION_TIME: f.saleConditionTime = field.AsTime(); break;
      case vf::TRD_DATE: f.trdDate = field.AsDate(); break;
      case vf::TRDVOL_1: f.trdVol1 = field.AsInteger(); break;
      case vf::TRDXID_1: f.trdXid1 = field.AsExchange(); break;
      case vf::SALE_CONDITION_VOLUME: f.saleConditionVolume = field.AsInteger(); break;
      case vf::SALE_CONDITION_XID: f.saleConditionXid = field.AsExchange(); break;
      case vf::ACVOL_1: f.acVol1 = field.AsInteger(); break;
      case vf::STATUS: f.status = field.AsString(); break;
      case vf::QUOTE_UPDATE_TYPE: f.quoteUpdateType = field.AsInteger(); break;
      case vf::QUOTE_STATUS: f.quoteStatus = field.AsInteger(); break;
      default:
        AddLine("Found unexpected field in TOS data:  " + FieldName(field.Number()));
        if (field.Number() == vf::SYMBOL_ERROR) f.symbolError = true;
    }
  }

  if (f.quoteUpdateType && *f.quoteUpdateType == 6) {
    valid_ = false;  // the record keeps its contents
    NotifyListeners();
    return;
  }
  if (f.symbolError) return;
  if (f.quoteUpdateType && *f.quoteUpdateType != 2 && *f.quoteUpdateType != 13) {
    int type = *f.quoteUpdateType;
    if (type != 1 && type != 3 && type != 5) Dump("Unknown quote udate type", f, 0);
    return;
  }

  int mode = f.saleConditionPrice ? (f.trdPrc1 ? 3 : 2) : (f.trdPrc1 ? 1 : 0);
  if (f.saleConditionVolume && *f.saleConditionVolume == 0 && f.trdVol1) f.saleConditionVolume.reset();
  const int condition = f.irgCond ? *f.irgCond : f.saleCondition ? *f.saleCondition : 0;
  switch (condition) {
    case 2:
      if (ShortUpperCaseSymbol(symbol_)) mode = 0;
      break;
    case 7:
    case 15:
    case 17:
    case 23:
    case 26:
      mode = 0;
      break;
    case 13:
      if (valid_) {
        mode = 0;
      } else if (mode == 3) {
        mode = 1;
      }
      break;
  }
  if (mode == 3) {
    if (f.trdTim1) {
      if (!f.saleConditionTime || *f.saleConditionTime < *f.trdTim1) {
        mode = 1;
      } else if (*f.saleConditionTime > *f.trdTim1) {
        mode = 2;
      }
    } else if (f.saleConditionTime) {
      mode = 2;
    }
    if (mode == 3 && (condition == 20 || condition == 21)) mode = 2;
    if (mode == 3) mode = 1;
  }
  if (mode == 0) return;

  data_.SaleCondition = static_cast<std::uint16_t>(condition);
  data_.FormT = condition == 20 || condition == 21;
  data_.TotalVolume = f.acVol1.value_or(0);
  const TDateTime date = f.trdDate ? *f.trdDate : Today();
  if (mode == 1) {
    data_.Price = f.trdPrc1.value_or(0);
    data_.Size = f.trdVol1.value_or(0);
    data_.Time = date + f.trdTim1.value_or(0);
    data_.Exchange = f.trdXid1.value_or("");
  } else {
    data_.Price = f.saleConditionPrice.value_or(0);
    data_.Size = f.saleConditionVolume ? *f.saleConditionVolume : f.trdVol1.value_or(0);
    data_.Time = date + f.saleConditionTime.value_or(0);
    data_.Exchange = f.saleConditionXid.value_or("");
  }
  data_.Snapshot = tosListener_->Kind() == rkReply || (f.quoteUpdateType && *f.quoteUpdateType == 13);
  if (f.trdPrc1) data_.TodaysClose = *f.trdPrc1;
  valid_ = true;

  if (!data_.Snapshot) TSynchronizedTimer::NewPrintTime(data_.Time);

  const std::int64_t timeOfDay = TimeOfDayMs(data_.Time);
  if (timeOfDay == 0 && !data_.Snapshot) {
    Dump("Print with no time", f, mode);
  } else if (!data_.Snapshot && !data_.FormT && !symbol_.empty() && symbol_[0] >= 'A' && symbol_[0] <= 'Z' &&
             timeOfDay < HoursMinutesMs(6, 30)) {
    if (condition == 2 && symbol_.size() < 4 && data_.Exchange == "NASD") {
      data_.FormT = true;
      Dump("Time before the open but not marked as form T -- Fixed", f, mode);
    } else if (condition == 6 && symbol_.size() > 3) {
      data_.FormT = true;
    } else {
      Dump("Time before the open but not marked as form T -- Not fixed", f, mode);
    }
  } else if (data_.Size == 0 && data_.TotalVolume != 0 && f.quoteStatus && *f.quoteStatus != 1) {
    Dump("Print with no size", f, mode);
  }
  NotifyListeners();
}

// --- Quotes ----------------------------------------------------------------------------------------------

TVendorL1DataNode::TVendorL1DataNode(const std::string& symbol) {
  auto [listener, link] =
      TVendorMsgListenerDataNode::Subscribe(kVendorL1Query, vtLiveQuote, false, symbol, TW_METHOD(this, Update));
  l1Listener_ = listener;
  AddAutoLink(link);
}

TVendorL1DataNode::~TVendorL1DataNode() {
  if (TVendorL1Refresh* refresh = TVendorL1Refresh::Existing()) refresh->Unflag(this);
}

void TVendorL1DataNode::Update() {
  VB4Cursor* cursor = l1Listener_->Cursor();
  if (!cursor) {
    valid_ = false;
    NotifyListeners();
    return;
  }
  const void* raw = nullptr;
  while (VB4_GetField(cursor, &raw) == 0) {
    TVendorField field(raw);
    const bool has = field.HasValue();
    auto price = [&] { return has ? field.AsPrice() : 0.0; };
    auto integer = [&] { return has ? field.AsInteger() : 0; };
    switch (field.Number()) {
      case vf::DISP_NAME:
      case vf::EXCHID: break;
      case vf::HIGH_1: data_.High = price(); break;
      case vf::LOW_1: data_.Low = price(); break;
      case vf::OPEN_PRC: data_.Open = price(); break;
      case vf::HST_CLOSE: data_.PrevClose = price(); break;
      case vf::BID: data_.BidPrice = price(); break;
      case vf::ASK: data_.AskPrice = price(); break;
      case vf::BIDSIZE: data_.BidSize = integer(); break;
      case vf::ASKSIZE: data_.AskSize = integer(); break;
      case vf::PUT_VOLUME: data_.PutVolume = integer(); break;
      case vf::CALL_VOLUME: data_.CallVolume = integer(); break;
      case vf::BIDEXID: data_.BidExchange = field.AsExchange(); break;
      case vf::ASKEXID: data_.AskExchange = field.AsExchange(); break;
      default: AddLine("Found unexpected field in L1 data:  " + FieldName(field.Number()));
    }
  }
  valid_ = true;
  if (NeedsRefresh()) TVendorL1Refresh::Instance().Flag(this);
  NotifyListeners();
}

namespace {
std::atomic<TVendorL1Refresh*> theRefresh{nullptr};
}  // namespace

TVendorL1Refresh& TVendorL1Refresh::Instance() {
  static TVendorL1Refresh* refresh = [] {
    auto* made = new TVendorL1Refresh;  // lives until the process ends
    theRefresh = made;
    return made;
  }();
  return *refresh;
}

TVendorL1Refresh* TVendorL1Refresh::Existing() { return theRefresh.load(); }

TDateTime TVendorL1Refresh::FirstRun(TDateTime now) {
  const TDateTime date = std::floor(now);
  const double step = 10 * kOneMinute;
  // Counted from today's 00:05, so that a start between midnight and 00:05 waits for today's 00:05, not
  // tomorrow's. Rounded to the millisecond first, so that a start exactly on hh:m5 runs at once.
  double sinceFive = std::round((now - date - 5 * kOneMinute) * kSecondsPerDay * 1000) / (kSecondsPerDay * 1000);
  return date + (std::ceil(sinceFive / step) + 0.5) * step;
}

TVendorL1Refresh::TVendorL1Refresh() {
  TDateTime now = clock::Now();
  TDateTime first = FirstRun(now);
  AddLine("Initializing TVendorL1Refresh.  " + FormatLogStamp(now) + " -> " + FormatLogStamp(first));
  timer_ = Repeating(600000, first, TCallback::Function([this] {
                       TDataNodeThread::Instance().Enqueue(1, -1, TW_METHOD(this, TimerEvent));
                     }));
}

void TVendorL1Refresh::TimerEvent() {
  const std::int32_t flagged = flagged_.Count();
  if (flagged == 0) return;
  int okay = 0;
  int refreshed = 0;
  std::vector<std::intptr_t> keys;
  flagged_.CopyKeys(keys);
  for (std::intptr_t key : keys) {
    if (refreshed >= 99) break;  // the rest wait for the next run
    TVendorL1DataNode* node = flagged_.Remove(key);
    if (!node) continue;
    if (!node->NeedsRefresh()) {
      ++okay;
      continue;
    }
    node->Refresh();
    ++refreshed;
  }
  char text[128];
  std::snprintf(text, sizeof text, "In vendor L1, %d items flaged, %d found okay, %d refreshed.", flagged, okay,
                refreshed);
  AddLine(text);
}

// --- Fundamentals ----------------------------------------------------------------------------------------

TVendorFundamentalDataNode::TVendorFundamentalDataNode(const std::string& symbol) {
  fundamentalListener_ = Adopt(TVendorMsgListenerDataNode::Subscribe(kVendorFundamentalQuery, vtLiveQuote, true, symbol,
                                                               TW_METHOD(this, Update)));
}

void TVendorFundamentalDataNode::Update() {
  VB4Cursor* cursor = fundamentalListener_->Cursor();
  if (!cursor) return;  // fundamentals stay as they were
  const void* raw = nullptr;
  while (VB4_GetField(cursor, &raw) == 0) {
    TVendorField field(raw);
    if (!field.HasValue()) continue;
    switch (field.Number()) {
      case vf::HIGH_52: data_.High52 = field.AsPrice(); break;
      case vf::LOW_52: data_.Low52 = field.AsPrice(); break;
      case vf::HIGH52_DATE: data_.High52Date = field.AsDate(); break;
      case vf::LOW52_DATE: data_.Low52Date = field.AsDate(); break;
      case vf::SYMBOL_DESC: data_.CompanyName = field.AsString(); break;
      case vf::EXCH_NAME: data_.ListedExchange = field.AsExchange(); break;
      default: break;
    }
  }
  valid_ = true;
  NotifyListeners();
}

// --- MostRecentClose -------------------------------------------------------------------------------------

TMostRecentCloseVendor::TMostRecentCloseVendor(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  const std::string symbol = params[0].AsString();
  tosNode_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, NotifyListeners)));
  l1Node_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, NotifyListeners)));
  slashSymbol_ = IsSlashSymbol(symbol);
}

double TMostRecentCloseVendor::GetDouble() {
  if (!IsValid()) return 0;
  double close = 0;
  if (!slashSymbol_) {
    const TTosData& print = *tosNode_->GetData();
    const TDateTime now = CurrentTime();
    if (TimeOfDayMs(now) < HoursMinutesMs(13, 0)) {
      // Before the close a print from an earlier day still gives that day's close.
      if (std::floor(clock::Now()) > std::floor(print.Time)) close = print.TodaysClose;
    } else {
      close = print.TodaysClose;
    }
  }
  return close != 0 ? close : l1Node_->GetData()->PrevClose;
}

void InstallVendorFeed() {
  TGenericTosDataNode::SetImplementation<TVendorTosDataNode>();
  TGenericFundamentalDataNode::SetImplementation<TVendorFundamentalDataNode>();
  TGenericL1DataNode::SetImplementation<TVendorL1DataNode>();
}

void RegisterVendorValues() { RegisterClass<TMostRecentCloseVendor>("MostRecentClose"); }

}  // namespace tarnwell
