#include "alerts/definitions/BasicAlerts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "ChildProcess.h"
#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "OvernightHome.h"
#include "framework/Errors.h"
#include "framework/Event.h"
#include "framework/Timers.h"
#include "marketdata/FileData.h"

namespace tarnwell {
namespace {

using testing::RunOnDataNodeThread;

// The feed is driven by hand, installed behind the generic nodes as the fake data window does.
using testing::Hand;
using testing::THandFundamentals;
using testing::THandPrints;
using testing::THandQuotes;
using testing::TProbe;
using testing::TReport;

/// A time on a trading day; day 0 is a Monday.
TDateTime At(int day, int hour, int minute, int second = 0) {
  return EncodeDateTime(2026, 3, 2 + day, hour, minute, second);
}

struct TQuoteIn {
  double Open = 0, High = 0, Low = 0, PrevClose = 0;
  double Bid = 0;
  std::int32_t BidSize = 0;
  double Ask = 0;
  std::int32_t AskSize = 0;
  bool Valid = true;
};

struct TPrintIn {
  double Price = 0;
  std::int32_t Size = 0;
  std::string Exchange;
  bool Snapshot = false;
  bool FormT = false;
  std::int32_t TotalVolume = 0;
  bool Valid = true;
};

/// One line of a tape: at a time, one input changes; the alert then reports Expect (with Quality, or
/// without one when it has none) or, when Expect is empty, nothing.
struct TStep {
  TDateTime Time = 0;
  std::optional<TQuoteIn> Quote;
  std::optional<TPrintIn> Print;
  std::optional<std::string> Listed;  // the fundamental node's ListedExchange
  std::string Expect;
  std::optional<double> Quality;
};

/// Feeds one step's input on the data node thread, at the step's time.
void Feed(const std::string& symbol, const TStep& step) {
  clock::SetManual(step.Time);
  RunOnDataNodeThread([&] {
    if (step.Quote) {
      THandQuotes& node = Hand<THandQuotes>(symbol);
      const TQuoteIn& q = *step.Quote;
      node.valid = q.Valid;
      node.data.Open = q.Open;
      node.data.High = q.High;
      node.data.Low = q.Low;
      node.data.PrevClose = q.PrevClose;
      node.data.BidPrice = q.Bid;
      node.data.BidSize = q.BidSize;
      node.data.AskPrice = q.Ask;
      node.data.AskSize = q.AskSize;
      node.NotifyListeners();
    }
    if (step.Print) {
      THandPrints& node = Hand<THandPrints>(symbol);
      const TPrintIn& p = *step.Print;
      node.valid = p.Valid;
      node.data.Price = p.Price;
      node.data.Size = p.Size;
      node.data.Time = step.Time;
      node.data.Exchange = p.Exchange;
      node.data.Snapshot = p.Snapshot;
      node.data.FormT = p.FormT;
      node.data.TotalVolume = p.TotalVolume;
      node.NotifyListeners();
    }
    if (step.Listed) {
      THandFundamentals& node = Hand<THandFundamentals>(symbol);
      node.valid = true;
      node.data.ListedExchange = *step.Listed;
      node.NotifyListeners();
    }
  });
}

/// A tape: the alert of `name` on `symbol`, created after the first `before` steps have been fed.
struct TTape {
  const char* Name;
  std::string Symbol;
  std::vector<TStep> Steps;
  std::size_t Before = 0;
};

void RunTape(const TTape& tape) {
  SCOPED_TRACE(std::string(tape.Name) + " on " + tape.Symbol);
  std::optional<TProbe> probe;
  for (std::size_t i = 0; i <= tape.Steps.size(); ++i) {
    if (i == tape.Before) {
      clock::SetManual(tape.Steps.empty() ? At(0, 6, 0) : tape.Steps[i < tape.Steps.size() ? i : 0].Time);
      probe.emplace(tape.Name, tape.Symbol);
    }
    if (i == tape.Steps.size()) break;
    const TStep& step = tape.Steps[i];
    Feed(tape.Symbol, step);
    if (i < tape.Before) continue;
    std::vector<TReport> reports = probe->Take();
    SCOPED_TRACE("step " + std::to_string(i));
    if (step.Expect.empty()) {
      EXPECT_TRUE(reports.empty()) << reports.front().Text;
      continue;
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].Text, step.Expect);
    ASSERT_EQ(reports[0].Quality.has_value(), step.Quality.has_value());
    if (step.Quality) {
      EXPECT_NEAR(*reports[0].Quality, *step.Quality, 1e-6);
    }
  }
}

TQuoteIn Gap(double open, double high, double low, double prevClose) {
  TQuoteIn q;
  q.Open = open;
  q.High = high;
  q.Low = low;
  q.PrevClose = prevClose;
  return q;
}
TQuoteIn Bid(double price, std::int32_t size) {
  TQuoteIn q;
  q.Bid = price;
  q.BidSize = size;
  return q;
}
TQuoteIn Ask(double price, std::int32_t size) {
  TQuoteIn q;
  q.Ask = price;
  q.AskSize = size;
  return q;
}
TQuoteIn Spread(double bid, double ask) {
  TQuoteIn q = Bid(bid, 100);
  q.Ask = ask;
  q.AskSize = 100;
  return q;
}
TQuoteIn NoQuote() {
  TQuoteIn q;
  q.Valid = false;
  return q;
}

TPrintIn Trade(double price, std::int32_t size = 100, std::string exchange = "") {
  TPrintIn p;
  p.Price = price;
  p.Size = size;
  p.Exchange = std::move(exchange);
  return p;
}
TPrintIn Snapshot(double price, std::int32_t size, std::int32_t totalVolume = 0) {
  TPrintIn p = Trade(price, size);
  p.Snapshot = true;
  p.TotalVolume = totalVolume;
  return p;
}
TPrintIn FormT(double price) {
  TPrintIn p = Trade(price);
  p.FormT = true;
  return p;
}
TPrintIn Volume(std::int32_t totalVolume) {
  TPrintIn p = Trade(10);
  p.TotalVolume = totalVolume;
  return p;
}
TPrintIn NoPrint() {
  TPrintIn p;
  p.Valid = false;
  return p;
}

// Tape lines: an input at a time, and the report it must produce (none when `expect` is empty).
TStep Q(TDateTime time, TQuoteIn quote, std::string expect = "",
        std::optional<double> quality = std::nullopt) {
  TStep step;
  step.Time = time;
  step.Quote = quote;
  step.Expect = std::move(expect);
  step.Quality = quality;
  return step;
}
TStep P(TDateTime time, TPrintIn print, std::string expect = "",
        std::optional<double> quality = std::nullopt) {
  TStep step;
  step.Time = time;
  step.Print = std::move(print);
  step.Expect = std::move(expect);
  step.Quality = quality;
  return step;
}
TStep Listed(TDateTime time, std::string exchange) {
  TStep step;
  step.Time = time;
  step.Listed = std::move(exchange);
  return step;
}

// Tests of other alert families share this process and may load the same overnight file names from their
// own folders. File nodes are shared by file name, so each test starts and ends with none loaded.
class BasicAlerts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterFileDataValues();
    RegisterBasicAlerts();
  }

  void SetUp() override {
    clock::SetManual(At(0, 6, 0));
    home_.emplace();
    WriteOvernightData(800000);
    std::ostringstream averages;
    averages << "Symbol,Pre";
    for (int period = 1; period <= 27; ++period) averages << "," << period;
    // Quieter at the edges of the session than inside it, and very busy after the close; HRX's edges are
    // nearly empty.
    averages << "\nHRV,0,400,3000,2000";
    for (int period = 4; period <= 25; ++period) averages << ",3000";
    averages << ",400,50000\nHRX,0,1";
    for (int period = 2; period <= 25; ++period) averages << ",3000";
    averages << ",1,3000\n";
    home_->Write(kVOvernightDataFile, averages.str());

    testing::InstallHandFeed();
    TDebugLog::Instance().TakePending();
  }

  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    for (const std::string& line : TDebugLog::Instance().TakePending()) {
      EXPECT_EQ(line.find("In DataNode thread"), std::string::npos) << line;
    }
    home_.reset();  // fails the test if an alert kept an overnight file
    testing::ClearFeedImplementations();
    clock::UseSystem();
  }

  /// The daily statistics, with `rewritten` as the average daily volume of BPR.
  void WriteOvernightData(std::int32_t rewritten) const {
    std::ofstream(home_->Path() / kOvernightDataFile, std::ios::trunc)
        << "Symbol,Avg Daily Volume,Volume Break,Tick Volatility,Bright Volatility\n"
           "HRV,,1000,,\nHRX,,1000,,\nHRZ,,1000,,\n"
           "BPT,800000,,,\nBPB,2000000,,,\nBPR,"
        << rewritten
        << ",,,\n"
           "GRU,,,0.10,\nGRD,,,0.10,\n"
           "LBS,500000,,,\nLAS,2000000,,,\nLBH,5000000,,,\n"
           "STV,100000,,,\n"
           "BBU,,,,0.01\nBBD,,,,0.01\nBBZ,,,,0\n";
  }

  std::optional<testing::TOvernightHome> home_;
};

TEST_F(BasicAlerts, HighRelativeVolumeJudgesEachBlockAgainstTheBusiestSlotItCovers) {
  // Blocks of 1000 shares.
  RunTape(
      {"HighRelativeVolume",
       "HRV",
       {
           P(At(0, 7, 0), Trade(10, 1000), "High instantaneous volume.", 100),
           P(At(0, 7, 0), Trade(10, 500)),
           // Slots 2 and 3: 3000 a quarter hour is 300 a minute.
           P(At(0, 7, 1), Trade(10, 500), "Very high relative volume during the last 60 seconds.", 5),
           P(At(0, 7, 10), Trade(10, 500)),
           // Slot 3 alone: 2000 a quarter hour, 600 expected in three minutes.
           P(At(0, 7, 13), Trade(10, 500), "High relative volume during the last 3 minutes.", 2.5),
           P(At(0, 8, 0), Trade(10, 500)),
           P(At(0, 8, 5), Trade(10, 500)),  // 1500 expected in five minutes: an ordinary pace
           // After the close the last session slot is the yardstick, not the busy evening average; before
           // the open, the first.
           P(At(1, 13, 10), Trade(10, 500)),
           P(At(1, 13, 11), Trade(10, 500), "Very high relative volume during the last 60 seconds.", 37.5),
           P(At(2, 6, 0), Trade(10, 500)),
           P(At(2, 6, 1), Trade(10, 500), "Very high relative volume during the last 60 seconds.", 37.5),
           P(At(2, 6, 2), Snapshot(10, 1000)),
       }});
  // Overnight: the end of one session and the start of the next, both nearly empty.
  RunTape({"HighRelativeVolume",
           "HRX",
           {
               P(At(0, 12, 50), Trade(10, 500)),
               P(At(1, 6, 40), Trade(10, 500),
                 "Very high relative volume during the last 17 hours 50 minutes.", 1000.0 * 15 / 1070),
           }});
  // Without averages every block is very high, and the quality is the cap.
  RunTape({"HighRelativeVolume",
           "HRZ",
           {
               P(At(0, 7, 0), Trade(10, 500)),
               P(At(0, 7, 30), Trade(10, 500), "Very high relative volume during the last 30 minutes.", 100),
           }});
}

TEST_F(BasicAlerts, GapReversalsReportOnceWhenThePriceCrossesTheClose) {
  const TTape tapes[] = {
      {"GapDownReversal",
       "GDR",
       {
           Q(At(0, 7, 0), Gap(9.50, 9.80, 9.20, 10.00)),
           Q(At(0, 7, 1), Gap(9.50, 10.05, 9.20, 10.00), "Gap reversal, Gap=-0.50, 0.30 gap continuation.",
             0.80),
           Q(At(0, 7, 2), Gap(9.50, 10.20, 9.20, 10.00)),
           Q(At(1, 7, 0), Gap(9.60, 9.70, 9.60, 10.00)),
           Q(At(1, 7, 1), Gap(9.60, 10.01, 9.60, 10.00), "Gap reversal, Gap=-0.40, No gap continuation.",
             0.40),
           // An invalid quote in between disarms.
           Q(At(2, 7, 0), Gap(9.50, 9.80, 9.20, 10.00)),
           Q(At(2, 7, 1), NoQuote()),
           Q(At(2, 7, 2), Gap(9.50, 10.05, 9.20, 10.00)),
       }},
      // Already above the close when watching starts: never that day.
      {"GapDownReversal",
       "GDA",
       {
           Q(At(0, 7, 0), Gap(9.50, 10.05, 9.20, 10.00)),
           Q(At(0, 7, 1), Gap(9.50, 10.10, 9.20, 10.00)),
           Q(At(0, 7, 2), Gap(9.50, 10.20, 9.10, 10.00)),
       },
       1},
      {"GapUpReversal",
       "GUR",
       {
           Q(At(0, 7, 0), Gap(10.50, 10.60, 10.20, 10.00)),
           Q(At(0, 7, 1), Gap(10.50, 10.80, 9.95, 10.00), "Gap reversal, Gap=+0.50, 0.30 gap continuation.",
             0.80),
           Q(At(0, 7, 2), Gap(10.50, 10.80, 9.90, 10.00)),
           // A missing value disarms.
           Q(At(1, 7, 0), Gap(10.50, 10.60, 10.20, 10.00)),
           Q(At(1, 7, 1), Gap(10.50, 10.60, 0, 10.00)),
           Q(At(1, 7, 2), Gap(10.50, 10.80, 9.95, 10.00)),
           // No gap at all.
           Q(At(2, 7, 0), Gap(10.00, 10.60, 10.20, 10.00)),
           Q(At(2, 7, 1), Gap(10.00, 10.80, 9.95, 10.00)),
       }},
  };
  for (const TTape& tape : tapes) RunTape(tape);
}

TEST_F(BasicAlerts, BlockPrintsSayWhereTheyTradedAndWhere) {
  const TTape tapes[] = {
      {"BlockPrint",
       "BPT",  // average daily volume 800000: 5000 shares are a block
       {
           Q(At(0, 7, 0), Spread(10.00, 10.10)),
           P(At(0, 7, 1), Trade(10.00, 4999, "NYSE")),
           P(At(0, 7, 2), Trade(10.00, 5000, "NYSE"), "Block trade.  At the bid.  (New York)", 5000),
           P(At(0, 7, 3), Trade(10.05, 6000), "Block trade.  Trading between.", 6000),
           P(At(0, 7, 4), Trade(10.10, 6000, "AMEX"), "Block trade.  At the ask.  (American)", 6000),
           P(At(0, 7, 5), Trade(9.90, 6000, "ARCA"), "Block trade.  Trading below.  (ARCA)", 6000),
           P(At(0, 7, 6), Trade(10.20, 7000, "NASD"), "Block trade.  Trading above.  (NASDAQ)", 7000),
           P(At(0, 7, 7), Snapshot(10.20, 50000)),
           P(At(0, 7, 8), NoPrint()),
           Q(At(0, 7, 9), Spread(10.10, 10.00)),  // crossed: no place to name
           P(At(0, 7, 10), Trade(10.05, 6000), "Block trade.", 6000),
           Q(At(0, 7, 11), NoQuote()),
           P(At(0, 7, 12), Trade(10.20, 6000, "CBOE"), "Block trade.  (Chicago Board Options)", 6000),
       }},
      {"BlockPrint",
       "BPB",  // average daily volume 2000000: only 20000 shares are
       {
           P(At(0, 7, 1), Trade(10.00, 5000)),
           P(At(0, 7, 2), Trade(10.00, 19999)),
           P(At(0, 7, 3), Trade(10.00, 20000), "Block trade.", 20000),
       }},
      {"BlockPrint", "$BPX", {P(At(0, 7, 1), Trade(100.0, 90000))}},
  };
  for (const TTape& tape : tapes) RunTape(tape);
}

TEST_F(BasicAlerts, GapRetracementArcsCrossTheOpenByMoreThanTheVolatility) {
  const TTape tapes[] = {
      {"GapRetracementArcUp",
       "GRU",  // tick volatility 0.10
       {
           Q(At(0, 7, 0), Gap(10.50, 10.55, 10.20, 10.00)),
           Q(At(0, 7, 1), Gap(10.50, 10.70, 10.20, 10.00), "Crossed above open after 60.00% gap closure.",
             60),
           Q(At(0, 7, 2), Gap(10.50, 10.80, 10.20, 10.00)),
           // A gap no larger than the volatility is no gap.
           Q(At(1, 7, 0), Gap(10.08, 10.10, 10.05, 10.00)),
           Q(At(1, 7, 1), Gap(10.08, 10.30, 10.05, 10.00)),
       }},
      // Without a volatility the upward arc stays silent.
      {"GapRetracementArcUp",
       "GRN",
       {
           Q(At(0, 7, 0), Gap(10.50, 10.55, 10.20, 10.00)),
           Q(At(0, 7, 1), Gap(10.50, 10.70, 10.20, 10.00)),
       }},
      {"GapRetracementArcDown",
       "GRD",
       {
           Q(At(0, 7, 0), Gap(9.50, 9.70, 9.45, 10.00)),
           Q(At(0, 7, 1), Gap(9.50, 9.70, 9.30, 10.00), "Crossed below open after 40.00% gap closure.", 40),
           Q(At(0, 7, 2), Gap(9.50, 9.80, 9.20, 10.00)),
           Q(At(1, 7, 0), Gap(9.50, 9.70, 9.45, 10.00)),
           Q(At(1, 7, 1), NoQuote()),
           Q(At(1, 7, 2), Gap(9.50, 9.70, 9.30, 10.00)),
       }},
      // The downward arc judges a symbol without a volatility with a volatility of 0.
      {"GapRetracementArcDown",
       "GRM",
       {
           Q(At(0, 7, 0), Gap(9.50, 9.70, 9.50, 10.00)),
           Q(At(0, 7, 1), Gap(9.50, 9.70, 9.40, 10.00), "Crossed below open after 40.00% gap closure.", 40),
       }},
  };
  for (const TTape& tape : tapes) RunTape(tape);
}

TEST_F(BasicAlerts, IntraDayHighsAndLowsBeatThePreviousPeriodOncePerPeriod) {
  const TTape tapes[] = {
      {"5MinHigh",
       "IDH",
       {
           P(At(0, 7, 0, 10), Trade(10.00)),
           P(At(0, 7, 5, 10), Trade(10.10)),  // the first period seen had no extreme yet
           P(At(0, 7, 6), Trade(10.30)),
           P(At(0, 7, 10, 5), Trade(10.20)),
           P(At(0, 7, 11), Trade(10.35), "New 5 minute high."),
           P(At(0, 7, 12), Trade(10.40)),  // once per period
           P(At(0, 7, 13), Snapshot(11.00, 100)),
           P(At(0, 7, 15, 1), Trade(10.45), "New 5 minute high."),
       }},
      {"1MinLow",
       "IDL",
       {
           P(At(0, 7, 0, 10), Trade(10.00)),
           P(At(0, 7, 1, 10), Trade(9.90)),
           P(At(0, 7, 2, 10), Trade(9.95)),
           P(At(0, 7, 2, 20), Trade(9.85), "New 1 minute low."),
           P(At(0, 7, 2, 30), Trade(9.80)),
           // An invalid print forgets the period's extreme: the next period has nothing to beat.
           P(At(0, 7, 2, 40), NoPrint()),
           P(At(0, 7, 3, 10), Trade(9.70)),
           P(At(0, 7, 4, 10), Trade(9.60), "New 1 minute low."),
       }},
      // The same hour of the next day is a new period: yesterday's last hour is the one to beat.
      {"60MinHigh",
       "IDD",
       {
           P(At(0, 6, 30, 10), Trade(10.00)),
           P(At(0, 7, 0, 10), Trade(10.50)),
           P(At(0, 8, 0, 10), Trade(10.20)),
           P(At(1, 8, 10), Trade(10.40), "New 60 minute high."),
       }},
  };
  for (const TTape& tape : tapes) RunTape(tape);
}

TEST_F(BasicAlerts, SizeThresholdsFollowARewrittenOvernightFile) {
  clock::SetManual(At(0, 7, 0));
  TProbe block("BlockPrint", "BPR");
  TProbe strong("StrongVolume", "BPR");
  TFactoryRef factory = FindFactory("ADVol")->Clone();
  factory->SetParam(kSymbolName, "BPR");
  auto [value, valueLink] = factory->GetNode();
  TOwnedLink holdValue(valueLink);
  auto trade = [](TDateTime time, std::int32_t size, std::int32_t totalVolume) {
    TStep step = P(time, Trade(10, size));
    step.Print->TotalVolume = totalVolume;
    return step;
  };

  Feed("BPR", trade(At(0, 7, 1), 5000, 1700000));  // 800000 a day: 5000 shares are a block
  EXPECT_EQ(block.Take().size(), 1u);
  EXPECT_TRUE(strong.Take().empty());  // the first print only arms, at twice the average

  WriteOvernightData(2000000);
  ASSERT_TRUE(testing::WaitUntil(
      [value = value] { return RunOnDataNodeThread([value] { return value->GetInteger() == 2000000; }); },
      std::chrono::seconds(5)));
  Feed("BPR", trade(At(0, 7, 2), 5000, 2500000));
  EXPECT_TRUE(block.Take().empty());   // 20000 shares now
  EXPECT_TRUE(strong.Take().empty());  // a new average starts unarmed
  Feed("BPR", trade(At(0, 7, 3), 20000, 4100000));
  EXPECT_EQ(block.Take().size(), 1u);
  std::vector<TReport> reports = strong.Take();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Text, "Currently at 2 x average daily volume.");
}

TEST_F(BasicAlerts, LargeSizesReportAfterThreeQuietMinutesThenFollowGrowthAndMoves) {
  const TTape tapes[] = {
      {"LargeBidSize",
       "LBS",  // average daily volume 500000: 6000 shares are large
       {
           Q(At(0, 7, 0), Bid(10.00, 8000)),  // already large when watching starts
           Q(At(0, 7, 0, 30), Bid(10.00, 8000)),
           Q(At(0, 7, 1), Bid(10.00, 5000)),
           Q(At(0, 7, 2), Bid(10.00, 8000)),  // small for only a minute
           Q(At(0, 7, 3), Bid(10.00, 3000)),
           Q(At(0, 7, 6, 1), Bid(10.00, 9000), "Large Bid Size", 9000),
           Q(At(0, 7, 6, 10), Bid(10.00, 9500), "Large Bid Size (Size increasing)", 9500),
           Q(At(0, 7, 6, 20), Bid(9.99, 9500), "Large Bid Size (Price dropping)", 9500),
           Q(At(0, 7, 6, 30), NoQuote()),
           Q(At(0, 7, 6, 40), Bid(10.02, 9600), "Large Bid Size (Size increasing) (Price rising)", 9600),
           Q(At(0, 7, 6, 50), Bid(10.03, 9600), "Large Bid Size (Price rising)", 9600),
           Q(At(0, 7, 7), Bid(10.04, 9700)),  // five reports per large spell
           Q(At(0, 7, 10), Bid(10.04, 100)),
           Q(At(0, 7, 13), Bid(10.04, 9700)),  // exactly three minutes is not more than three
           Q(At(0, 7, 14), Bid(10.04, 100)),
           Q(At(0, 7, 17, 1), Bid(10.04, 7000), "Large Bid Size", 7000),
       }},
      {"LargeAskSize",
       "LAS",  // average daily volume 2000000: 10000 shares are large
       {
           Q(At(0, 7, 0), Ask(10.10, 8000)),
           Q(At(0, 7, 0, 10), Ask(10.10, 12000), "Large Ask Size", 12000),  // small seen first
       }},
      {"LargeAskSize", "LBH", {Q(At(0, 7, 0), Ask(10.10, 100)), Q(At(0, 7, 1), Ask(10.10, 900000))}},
      {"LargeBidSize", "LBN", {Q(At(0, 7, 0), Bid(10.10, 100)), Q(At(0, 7, 1), Bid(10.10, 900000))}},
      {"LargeBidSize", "$LBX", {Q(At(0, 7, 0), Bid(10.10, 100)), Q(At(0, 7, 1), Bid(10.10, 900000))}},
      {"LargeAskSize", "/LBX", {Q(At(0, 7, 0), Ask(10.10, 100)), Q(At(0, 7, 1), Ask(10.10, 900000))}},
  };
  for (const TTape& tape : tapes) RunTape(tape);
}

TEST_F(BasicAlerts, DayMovesReportEachNewWholeLevel) {
  auto high = [](double value) { return Gap(10.00, value, 9.90, 10.00); };
  auto low = [](double value) { return Gap(10.00, 10.10, value, 10.00); };
  const TTape tapes[] = {
      {"PercentUpForDay",
       "PUP",
       {
           Q(At(0, 7, 0), high(10.29)),
           Q(At(0, 7, 1), high(10.31), "Up 3% for the day.", 3),
           Q(At(0, 7, 2), high(10.39)),
           Q(At(0, 7, 3), high(10.42), "Up 4% for the day.", 4),
           Q(At(0, 7, 4), NoQuote()),
           Q(At(0, 7, 5), high(10.55)),  // the first valid quote after a gap only sets the level
           Q(At(0, 7, 6), high(10.61), "Up 6% for the day.", 6),
           // A new day starts from nothing.
           Q(At(1, 6, 0), NoQuote()),
           Q(At(1, 7, 0), high(10.05)),
           Q(At(1, 7, 1), high(10.35), "Up 3% for the day.", 3),
       }},
      {"PercentDownForDay",
       "PDN",
       {
           Q(At(0, 7, 0), low(9.69)),  // already 3 % down when watching starts
           Q(At(0, 7, 1), low(9.68)),
           Q(At(0, 7, 2), low(9.58), "Down 4% for the day.", 4),
       }},
      {"BrightBandsUp",
       "BBU",  // volatility 0.01
       {
           Q(At(0, 7, 0), high(10.05)),
           Q(At(0, 7, 1), high(10.12), "Up 1 standard deviation for the day.", 1),
           Q(At(0, 7, 2), high(10.19)),
           Q(At(0, 7, 3), high(10.25), "Up 2 standard deviations for the day.", 2),
       }},
      {"BrightBandsDown",
       "BBD",
       {
           Q(At(0, 7, 0), low(9.95)),
           Q(At(0, 7, 1), low(9.78), "Down 2 standard deviations for the day.", 2),
           Q(At(0, 7, 2), low(9.75)),
       }},
      {"BrightBandsUp", "BBZ", {Q(At(0, 7, 0), high(10.05)), Q(At(0, 7, 1), high(10.50))}},  // volatility 0
      {"BrightBandsUp", "BBN", {Q(At(0, 7, 0), high(10.05)), Q(At(0, 7, 1), high(10.50))}},  // none at all
  };
  for (const TTape& tape : tapes) RunTape(tape);
}

TEST_F(BasicAlerts, StrongVolumeReportsEachNewMultipleOfTheAverage) {
  const TTape tapes[] = {
      {"StrongVolume",
       "STV",  // average daily volume 100000
       {
           P(At(0, 7, 0), Volume(250000)),  // the first print only arms
           P(At(0, 7, 1), Volume(260000)),
           P(At(0, 7, 2), Volume(310000), "Currently at 3 x average daily volume.", 3),
           P(At(0, 7, 3), Snapshot(10, 100, 420000), "Currently at 4 x average daily volume.", 4),
           P(At(0, 7, 4), Volume(0)),
           P(At(0, 7, 5), Volume(530000)),
           P(At(0, 7, 6), Volume(640000), "Currently at 6 x average daily volume.", 6),
           P(At(0, 7, 7), NoPrint()),
           P(At(0, 7, 8), Volume(750000)),
       }},
      {"StrongVolume", "STN", {P(At(0, 7, 0), Volume(500000)), P(At(0, 7, 1), Volume(900000))}},
  };
  for (const TTape& tape : tapes) RunTape(tape);
}

TEST_F(BasicAlerts, OpeningRangeBreaksAfterTheRangeHasSettled) {
  const TTape tapes[] = {
      {"OpeningRangeBreakout5",
       "ORN",
       {
           Listed(At(0, 6, 0), "NYSE"),  // known before the alert exists
           // Only the listing exchange opens the range: opened here, the break below would be late enough.
           P(At(0, 6, 29), Trade(20.00, 100, "NASD")),
           P(At(0, 6, 30, 10), Trade(20.10, 100, "NYSE")),
           P(At(0, 6, 31), Trade(20.30, 100, "NASD")),
           P(At(0, 6, 35, 40), Trade(20.40, 100, "NASD")),  // 30 seconds after the range: ends the day
           P(At(0, 6, 40), Trade(20.50, 100, "NASD")),
           P(At(1, 6, 30, 10), Trade(20.00, 100, "NYSE")),
           P(At(1, 6, 32), Trade(20.20, 100, "NASD")),
           P(At(1, 6, 37, 10), FormT(20.30)),
           P(At(1, 6, 37, 10), Snapshot(20.30, 100)),
           P(At(1, 6, 37, 10), Trade(20.25, 100, "NASD"), "Opening range breakout. (5 minutes)"),
           P(At(1, 6, 40), Trade(20.60, 100, "NASD")),
       },
       1},
      // A listing that arrives while watching counts from then on.
      {"OpeningRangeBreakout1",
       "ORF",
       {
           Listed(At(0, 6, 0), "NYSE"),
           P(At(0, 6, 30, 5), Trade(20.20, 100, "NASD")),
           P(At(0, 6, 30, 10), Trade(20.10, 100, "NYSE")),
           P(At(0, 6, 33), Trade(20.05, 100, "NASD")),
           P(At(0, 6, 34), Trade(20.11, 100, "NASD"), "Opening range breakout. (1 minutes)"),
       }},
      // An index opens with its first value after 06:30:00.
      {"OpeningRangeBreakdown1",
       "$ORX",
       {
           P(At(0, 6, 30, 0), Trade(100.0)),
           P(At(0, 6, 30, 1), Trade(100.5)),
           P(At(0, 6, 30, 30), Trade(100.2)),
           P(At(0, 6, 32, 30), Trade(100.1), "Opening range breakdown. (1 minutes)"),
       }},
      {"OpeningRangeBreakout1", "/ORS", {P(At(0, 6, 31), Trade(5.0)), P(At(0, 6, 40), Trade(6.0))}},
  };
  for (const TTape& tape : tapes) RunTape(tape);
}

TEST_F(BasicAlerts, EveryNameBuildsForOrdinaryIndexAndSlashSymbols) {
  const char* names[] = {"HighRelativeVolume",
                         "GapDownReversal",
                         "GapUpReversal",
                         "BlockPrint",
                         "GapRetracementArcUp",
                         "GapRetracementArcDown",
                         "1MinHigh",
                         "1MinLow",
                         "5MinHigh",
                         "5MinLow",
                         "10MinHigh",
                         "10MinLow",
                         "15MinHigh",
                         "15MinLow",
                         "30MinHigh",
                         "30MinLow",
                         "60MinHigh",
                         "60MinLow",
                         "LargeBidSize",
                         "LargeAskSize",
                         "PercentUpForDay",
                         "PercentDownForDay",
                         "StrongVolume",
                         "OpeningRangeBreakout1",
                         "OpeningRangeBreakdown1",
                         "OpeningRangeBreakout5",
                         "OpeningRangeBreakdown5",
                         "OpeningRangeBreakout10",
                         "OpeningRangeBreakdown10",
                         "OpeningRangeBreakout15",
                         "OpeningRangeBreakdown15",
                         "OpeningRangeBreakout30",
                         "OpeningRangeBreakdown30",
                         "OpeningRangeBreakout60",
                         "OpeningRangeBreakdown60",
                         "BrightBandsUp",
                         "BrightBandsDown"};
  clock::SetManual(At(0, 7, 0));
  for (const char* name : names) {
    for (const char* symbol : {"TBL", "$TBL", "/TBL"}) {
      SCOPED_TRACE(std::string(name) + " " + symbol);
      std::optional<TProbe> probe;
      ASSERT_NO_THROW(probe.emplace(name, symbol));
      // A quote and a print reach every alert that listens without failing inside it.
      TStep step = Q(At(0, 7, 1), Gap(10, 10.5, 9.5, 10));
      step.Print = Trade(10.2);
      Feed(symbol, step);
      EXPECT_TRUE(probe->Take().empty());
    }
  }
}

TEST_F(BasicAlerts, WrongParameterListsNameTheExpectedOnes) {
  struct Case {
    TFactoryRef factory;
    const char* text;
  } cases[] = {
      {TGenericDataNodeFactory::Make<THighVolume>("X", true), "Assertion failure"},
      {TGenericDataNodeFactory::Make<TBlockPrint>("X", 1), "Assertion failure"},
      {TGenericDataNodeFactory::Make<TGapDownReversal>("X", 1), "Expected params: (Symbol)"},
      {TGenericDataNodeFactory::Make<TGapRetracementArcUp>("X", 1), "Expected params: (Symbol)"},
      {TGenericDataNodeFactory::Make<TStrongVolume>("X", 1), "Expected params: (Symbol)"},
      {TGenericDataNodeFactory::Make<IntraDayHighLow>("X", true),
       "Expected params: (Symbol, Highs, Minutes)"},
      {TGenericDataNodeFactory::Make<IntraDayHighLow>("X", true, 0),
       "Expected params: (Symbol, Highs, Minutes)"},
      {TGenericDataNodeFactory::Make<TLargeBidOrAsk>("X"), "Expected args: Symbol, BidSide)"},
      {TGenericDataNodeFactory::Make<TPercentChangeForTheDay>("X"), "Expected params: (Symbol, Up)"},
      {TGenericDataNodeFactory::Make<TBrightBands>("X", true, 1), "Expected params: (Symbol, Up)"},
      {TGenericDataNodeFactory::Make<TOpeningRangeBreak>("X", true),
       "Expected params: (Symbol, Up, Minutes)"},
  };
  for (const Case& c : cases) {
    try {
      c.factory->GetNode();
      ADD_FAILURE() << "built " << c.factory->GetKey();
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), c.text) << c.factory->GetKey();
    }
  }
}

}  // namespace
}  // namespace tarnwell
