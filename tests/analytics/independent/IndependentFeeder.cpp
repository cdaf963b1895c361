// Plays a tape of prints, market minutes and test-tool messages into our candle series and indicators and
// writes what they show as JSON lines: one line per series notification (the series and every indicator
// on it, read at that moment) and one per print (the VWAP). check_indicators.mjs writes the tape, runs this
// program and compares the lines with libraries written elsewhere.
//
// Tape lines (times are days since 1899-12-30, candles are open high low close volume):
//   W minutes...                   series to watch
//   I id EMA|CCI|RSI|REG minutes bars, I id UP minutes
//   T time                          market time moves (as the first print of a minute would move it)
//   P time price size snapshot      a print (snapshot 0 or 1), stamped and queued at `time`
//   R minutes | H minutes candles... | C minutes candle    reset, history, one more candle (test tools)

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "AnalyticsTestSupport.h"
#include "analytics/Indicators.h"

namespace tarnwell {
namespace {

const char* kSymbol = "INDEP";

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

const char* Bool(bool value) {
  return value ? "true" : "false";
}

const char* TransitionName(TLastTransition transition) {
  switch (transition) {
    case ltNew:
      return "new";
    case ltReset:
      return "reset";
    case ltNewCandle:
      return "newCandle";
    default:
      return "updateCurrentCandle";
  }
}

struct TIndicator {
  std::string id;
  std::string kind;
  int minutes = 0;
  TGenericDataNode* generic = nullptr;
  TLinearRegressionBase* regression = nullptr;

  std::string Json() const {
    std::string text = "\"" + id + "\":{";
    if (regression) {
      double slope = 0, intercept = 0, end = 0;
      const bool valid = regression->IsValid();
      regression->LineEnd(slope, intercept, end);
      return text + "\"v\":" + Bool(valid) + ",\"slope\":" + Number(slope) +
             ",\"icpt\":" + Number(intercept) + ",\"end\":" + Number(end) +
             ",\"sd\":" + Number(regression->StdDev()) + "}";
    }
    const bool valid = generic->IsValid();
    const double value = kind == "UP" ? generic->GetInteger() : generic->GetDouble();
    return text + "\"v\":" + Bool(valid) + ",\"x\":" + Number(value) + "}";
  }
};

class TFeeder {
 public:
  explicit TFeeder(std::ostream& out) : out_(out) {}

  /// Data node thread.
  void Watch(int minutes) {
    auto watch = std::make_unique<TWatch>();
    watch->feeder = this;
    watch->minutes = minutes;
    auto [series, link] = TStandardCandles::Find(kSymbol, minutes, TW_METHOD(watch.get(), Notified));
    watch->series = series;
    watch->link.Reset(link);
    watch->link->SetReceiveInput(true);
    watches_[minutes] = std::move(watch);
  }

  /// Data node thread.
  void Add(const std::string& id, const std::string& kind, int minutes, int bars) {
    TIndicator indicator{id, kind, minutes};
    TDataNodeLink* link = nullptr;
    using F = TGenericDataNodeFactory;
    if (kind == "REG") {
      std::tie(indicator.regression, link) = TLinearRegressionBase::Find(kSymbol, minutes, bars);
    } else {
      TFactoryRef factory;
      if (kind == "EMA") factory = F::Make<TIntradayEma>(kSymbol, minutes, bars);
      if (kind == "CCI") factory = F::Make<TCCI>(kSymbol, minutes, bars);
      if (kind == "RSI") factory = F::Make<TRSI>(kSymbol, minutes, bars);
      if (kind == "UP") factory = F::Make<TUpCandles>(kSymbol, minutes);
      if (!factory) throw std::runtime_error("unknown indicator " + kind);
      std::tie(indicator.generic, link) = factory->GetNode();
    }
    links_.emplace_back(link);
    indicators_.push_back(indicator);
  }

  /// Data node thread.
  void AddVwap() {
    auto [node, link] = TGenericDataNodeFactory::Make<TVWAP>(kSymbol)->GetNode();
    vwap_ = node;
    links_.emplace_back(link);
  }

  /// Data node thread.
  void Print(TDateTime time, double price, int size, bool snapshot) {
    TDataNode::SetCurrentTime(time);
    testing::MarketTime(time);
    testing::HandPrints(kSymbol).Print(price, size, time, snapshot);
    out_ << "{\"e\":\"p\",\"vwap\":{\"v\":" << Bool(vwap_->IsValid())
         << ",\"x\":" << Number(vwap_->GetDouble()) << "}}\n";
  }

  TStandardCandles& Series(int minutes) { return *watches_.at(minutes)->series; }

  /// Data node thread.
  void Release() {
    links_.clear();
    watches_.clear();
  }

 private:
  struct TWatch {
    void Notified() { feeder->Report(*this); }
    TFeeder* feeder;
    int minutes;
    TStandardCandles* series;
    TOwnedLink link;
  };

  void Report(TWatch& watch) {
    TCandleArray candles = watch.series->GetCandles();
    out_ << "{\"e\":\"s\",\"w\":" << watch.minutes << ",\"epoch\":" << watch.series->Epoch() << ",\"tr\":\""
         << TransitionName(watch.series->LastTransition()) << "\",\"n\":" << candles->size() << ",\"last\":";
    if (candles->empty()) {
      out_ << "null";
    } else {
      const TCandle& c = candles->back();
      out_ << "[" << Number(c.Open) << "," << Number(c.High) << "," << Number(c.Low) << "," << Number(c.Close)
           << "," << c.Volume << "]";
    }
    out_ << ",\"ind\":{";
    bool first = true;
    for (const TIndicator& indicator : indicators_) {
      if (indicator.minutes != watch.minutes) continue;
      out_ << (first ? "" : ",") << indicator.Json();
      first = false;
    }
    out_ << "}}\n";
  }

  std::ostream& out_;
  std::map<int, std::unique_ptr<TWatch>> watches_;
  std::vector<TIndicator> indicators_;
  std::vector<TOwnedLink> links_;
  TGenericDataNode* vwap_ = nullptr;
};

std::vector<TCandle> ReadCandles(std::istringstream& in) {
  std::vector<TCandle> candles;
  TCandle c;
  while (in >> c.Open >> c.High >> c.Low >> c.Close >> c.Volume) candles.push_back(c);
  return candles;
}

int Run(const char* tapeFile, const char* outFile) {
  std::ifstream tape(tapeFile);
  if (!tape) {
    std::cerr << "cannot read " << tapeFile << "\n";
    return 2;
  }
  std::ofstream out(outFile);
  TFeeder feeder(out);
  testing::RunOnDataNodeThread([] { testing::HandPrints(kSymbol); });
  std::string line;
  int lineNumber = 0;
  while (std::getline(tape, line)) {
    ++lineNumber;
    std::istringstream in(line);
    std::string kind;
    if (!(in >> kind)) continue;
    if (kind == "W") {
      int minutes;
      while (in >> minutes) testing::RunOnDataNodeThread([&] { feeder.Watch(minutes); });
    } else if (kind == "I") {
      std::string id, type;
      int minutes = 0, bars = 0;
      in >> id >> type >> minutes >> bars;
      testing::RunOnDataNodeThread([&] { feeder.Add(id, type, minutes, bars); });
    } else if (kind == "V") {
      testing::RunOnDataNodeThread([&] { feeder.AddVwap(); });
    } else if (kind == "T") {
      TDateTime time;
      in >> time;
      testing::RunOnDataNodeThread([&] { testing::MarketTime(time); });
    } else if (kind == "P") {
      TDateTime time;
      double price;
      int size, snapshot;
      in >> time >> price >> size >> snapshot;
      testing::RunOnDataNodeThread([&] { feeder.Print(time, price, size, snapshot != 0); });
    } else if (kind == "R" || kind == "H" || kind == "C") {
      int minutes;
      in >> minutes;
      TStandardCandles& series = feeder.Series(minutes);
      if (kind == "R") TStandardCandles::ResetCandles(series);
      if (kind == "H") TStandardCandles::SetHistory(series, ReadCandles(in));
      if (kind == "C") TStandardCandles::SendCandle(series, ReadCandles(in).at(0));
      TDataNodeThread::Instance().Flush();
    } else {
      std::cerr << tapeFile << ":" << lineNumber << ": unknown line\n";
      return 2;
    }
  }
  testing::RunOnDataNodeThread([&] { feeder.Release(); });
  // Expected lines (a CCI over identical candles) and unexpected ones alike, for whoever reads the output.
  for (const std::string& logLine : TDebugLog::Instance().TakePending()) std::cerr << logLine << "\n";
  return out ? 0 : 2;
}

}  // namespace
}  // namespace tarnwell

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " tape.txt values.jsonl\n";
    return 2;
  }
  try {
    return tarnwell::Run(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 2;
  }
}
