#include "marketdata/NamedValues.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "framework/StandardGenericNodes.h"
#include "framework/Timers.h"
#include "marketdata/Combinators.h"
#include "marketdata/StandardColors.h"

namespace tarnwell {

// Failures show parameter values as text.
void PrintTo(const TParamValue& value, std::ostream* os) {
  *os << value.AsString() << " (type " << value.Type() << ")";
}

namespace {

using namespace std::chrono_literals;
using testing::RunOnDataNodeThread;
using F = TGenericDataNodeFactory;

// A feed node filled by hand, installed as the implementation the way the vendor's and the fake data
// window's classes are.
template <class Generic, TClassName Key>
class TTestFeed final : public Generic {
 public:
  using TRecord = typename Generic::TRecord;
  static constexpr const char* kKeyClass = Key.value;
  static TTestFeed* CreateFromKey(const std::string&) { return TDataNode::Create<TTestFeed>(); }
  bool IsValid() override { return valid_; }
  const TRecord* GetData() override { return &record_; }
  void Set(const TRecord& record) {
    record_ = record;
    valid_ = true;
    this->NotifyListeners();
  }
  void Invalidate() {
    valid_ = false;
    this->NotifyListeners();
  }

 private:
  TRecord record_;
  bool valid_ = false;
};
using TTestL1 = TTestFeed<TGenericL1DataNode, "TTestL1">;
using TTestTos = TTestFeed<TGenericTosDataNode, "TTestTos">;
using TTestFundamental = TTestFeed<TGenericFundamentalDataNode, "TTestFundamental">;

// Stands in for the vendor's "MostRecentClose": the quote's previous close.
using TTestMostRecentClose = TDoubleField<TL1User, "TTestMostRecentClose", &TL1Data::PrevClose>;

// A value the test sets by hand; (Name) keeps tests apart.
class TTestInput final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TTestInput";
  explicit TTestInput(const TParamList& params) { CheckParamCount(params, 1, "Expected params: (Name)"); }
  double GetDouble() override { return value_; }
  std::int32_t GetInteger() override { return static_cast<std::int32_t>(value_); }
  bool IsValid() override { return valid_; }
  /// Data node thread.
  void Set(std::optional<double> value) {
    valid_ = value.has_value();
    value_ = value.value_or(0);
    NotifyListeners();
  }

 private:
  double value_ = 0;
  bool valid_ = false;
};

struct TCounter {
  void Hit() { ++hits; }
  int hits = 0;  // data node thread
};

struct TReading {
  bool valid;
  double value;
};

TReading ReadDouble(TGenericDataNode* node) {
  return RunOnDataNodeThread([node] { return TReading{node->IsValid(), node->GetDouble()}; });
}

const TDateTime kDay = EncodeDateTime(2031, 3, 4);

// Each test holds its nodes through links released at the end; by then every node it made must be gone.
class NamedValues : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterNamedValues();
    RegisterClass<TTestMostRecentClose>("MostRecentClose");
  }
  void SetUp() override {
    InstallFeeds();
    TDataNodeThread::Instance().Flush();
    nodesBefore_ = GenericNodeCount();
  }
  void TearDown() override {
    links_.clear();
    TDataNodeThread::Instance().Flush();
    EXPECT_EQ(GenericNodeCount(), nodesBefore_) << "nodes left behind";
    clock::UseSystem();
    testing::ClearFeedImplementations();
  }

  static void InstallFeeds() {
    TGenericL1DataNode::SetImplementation<TTestL1>();
    TGenericTosDataNode::SetImplementation<TTestTos>();
    TGenericFundamentalDataNode::SetImplementation<TTestFundamental>();
  }

  /// The node of a factory, held until the end of the test; with a counter, linked to it.
  TGenericDataNode* Hold(const TFactoryRef& factory, TCounter* counter = nullptr) {
    auto [node, link] = counter ? factory->GetNode(TW_METHOD(counter, Hit)) : factory->GetNode();
    links_.emplace_back(link);
    if (counter) link->SetReceiveInput(true);
    return node;
  }
  /// Validity and value through one getter, read on the data node thread. A getter the node does not
  /// publish fails.
  static std::pair<bool, TParamValue> Read(TGenericDataNode* node, TGetter getter) {
    return RunOnDataNodeThread([=]() -> std::pair<bool, TParamValue> {
      switch (getter) {
        case gtInteger:
          return {node->IsValid(), TParamValue(node->GetInteger())};
        case gtDouble:
          return {node->IsValid(), TParamValue(node->GetDouble())};
        case gtBoolean:
          return {node->IsValid(), TParamValue(node->GetBoolean())};
        case gtString:
          return {node->IsValid(), TParamValue(node->GetString())};
        case gtColor:
          return {node->IsValid(), TParamValue(std::int64_t{node->GetColor()})};
      }
      return {};
    });
  }
  /// A fresh input, held until the end of the test, and its factory.
  std::pair<TTestInput*, TFactoryRef> Input() {
    TFactoryRef factory = F::Make<TTestInput>(testing::FreshKey("input"));
    return {static_cast<TTestInput*>(Hold(factory)), factory};
  }
  static void Set(TTestInput* input, std::optional<double> value) {
    RunOnDataNodeThread([=] { input->Set(value); });
  }
  /// A named value for a symbol, held until the end of the test.
  TGenericDataNode* Value(const std::string& name, const std::string& symbol, TCounter* counter = nullptr) {
    TFactoryRef factory = FindFactory(name)->Clone();
    factory->SetParam(kSymbolName, symbol);
    return Hold(factory, counter);
  }

  // The feed of a symbol, as its nodes' readers see it. A node nobody holds is made and dropped at once.
  template <class Feed>
  static void Send(const std::string& symbol, const typename Feed::TRecord& record) {
    RunOnDataNodeThread([&] {
      auto [node, link] = TDataNodeWithStringKey::FindOrCreate<Feed>(symbol);
      node->Set(record);
      TDataNodeLink::Release(link);
    });
  }
  template <class Feed>
  static void Invalidate(const std::string& symbol) {
    RunOnDataNodeThread([&] {
      auto [node, link] = TDataNodeWithStringKey::FindOrCreate<Feed>(symbol);
      node->Invalidate();
      TDataNodeLink::Release(link);
    });
  }
  static void Quote(const std::string& symbol, const TL1Data& quote) { Send<TTestL1>(symbol, quote); }
  static void Print(const std::string& symbol, const TTosData& print) { Send<TTestTos>(symbol, print); }

  static TTosData RegularPrint(double price, TDateTime time) {
    TTosData print;
    print.Price = price;
    print.Time = time;
    return print;
  }
  static TTosData FormTPrint(double price, TDateTime time) {
    TTosData print = RegularPrint(price, time);
    print.FormT = true;
    return print;
  }

  std::vector<TOwnedLink> links_;
  std::int32_t nodesBefore_ = 0;
};

// --- The registry ----------------------------------------------------------------------------------------

TEST_F(NamedValues, EveryNameBuildsForEverySymbolKindWithAndWithoutAFeed) {
  enum TValidWithoutData { vNever, vAlways, vIndexOnly };
  struct Entry {
    const char* name;
    TGetter getter;
    TValidWithoutData valid = vNever;
  };
  // clang-format off
  const Entry table[] = {
      {"BidSize", gtInteger},           {"BidPrice", gtDouble},          {"AskSize", gtInteger},
      {"AskPrice", gtDouble},           {"Volume", gtInteger},           {"OpenPrice", gtDouble},
      {"ClosePrice", gtDouble},         {"TodaysClosePrice", gtDouble},  {"BidExchange", gtString},
      {"AskExchange", gtString},        {"ListedExchange", gtString, vIndexOnly},
      {"LastPrintExchange", gtString},  {"LastPrintFormT", gtBoolean},   {"HighPrice", gtDouble},
      {"LowPrice", gtDouble},           {"BidTick", gtBoolean},          {"LastPrintPrice", gtDouble},
      {"LastPrintTime", gtDouble},      {"LastPrintSize", gtInteger},    {"Symbol", gtString, vAlways},
      {"CompanyName", gtString},        {"PrintableName", gtString, vAlways},
      {"52WeekHigh", gtDouble},         {"52WeekLow", gtDouble},         {"YearRange", gtDouble},
      {"ChangeFromClose", gtDouble},    {"ChangeFromOpen", gtDouble},    {"52HighDate", gtDouble},
      {"52LowDate", gtDouble},          {"ExpectedOpen", gtDouble},      {"Gap", gtDouble},
      {"PutCallRatio", gtDouble},       {"DistanceFromNbbo", gtDouble},  {"TodaysRange", gtDouble},
      {"StandardBackgroundColor", gtColor}, {"StandardForegroundColor", gtColor},
      {"StandardRedFgColor", gtColor},      {"StandardGreenFgColor", gtColor},
      {"StandardRedBgColor", gtColor},      {"StandardGreenBgColor", gtColor},
  };
  // clang-format on
  // The thread-safe copy class tells which getter a factory's class publishes.
  const char* kTypeNames[] = {"Integer", "Double", "Boolean", "String", "Color"};
  auto threadSafeClassOf = [&](TGetter getter) {
    return std::string("TThreadSafe") + kTypeNames[std::countr_zero(unsigned{getter})] + "DataNode;";
  };

  // Without an implementation every feed node is the empty default, whose record is null.
  for (bool withFeed : {false, true}) {
    if (withFeed) {
      InstallFeeds();
    } else {
      testing::ClearFeedImplementations();
    }
    for (const std::string symbol : {"IBM", "$COMPX", "/ESZ6"}) {
      for (const Entry& entry : table) {
        SCOPED_TRACE(entry.name + (" for " + symbol) + (withFeed ? " with a feed" : " without a feed"));
        TFactoryRef factory = FindFactory(entry.name, false);
        ASSERT_NE(factory, nullptr);
        EXPECT_EQ(factory->GetThreadSafe()->GetKey().rfind(threadSafeClassOf(entry.getter), 0), 0u);
        std::pair<bool, TParamValue> reading;
        EXPECT_NO_THROW(reading = Read(Value(entry.name, symbol), entry.getter));
        const bool expected = entry.valid == vAlways || (entry.valid == vIndexOnly && symbol.front() == '$');
        EXPECT_EQ(reading.first, expected);
      }
    }
    links_.clear();
    TDataNodeThread::Instance().Flush();
  }
}

TEST_F(NamedValues, ReadersShowTheirFieldsWhileTheFeedIsValid) {
  TL1Data quote;
  quote.BidPrice = 10.25;
  quote.BidSize = 300;
  quote.BidExchange = "NASDAQ";
  quote.AskPrice = 10.5;
  quote.AskSize = 700;
  quote.AskExchange = "ARCA";
  quote.High = 11.75;
  quote.Low = 9.5;
  quote.PrevClose = 10.0;
  TTosData print = RegularPrint(10.4, kDay + 7 * kOneHour);
  print.TodaysClose = 10.35;
  print.Size = 200;
  print.Exchange = "NYSE";
  print.FormT = true;
  print.TotalVolume = 123456;
  TFundamentalData fundamentals;
  fundamentals.ListedExchange = "NASD";
  fundamentals.High52 = 14.0;
  fundamentals.Low52 = 8.0;
  fundamentals.CompanyName = "Orbital Widgets";
  fundamentals.High52Date = kDay - 40;
  fundamentals.Low52Date = kDay - 200;

  struct Case {
    const char* name;
    TGetter getter;
    TParamValue value;
    TParamValue withoutFeed;  // read while the feed is not valid
    bool validWithoutFeed = false;
  } cases[] = {
      {"BidSize", gtInteger, 300, 0},
      {"BidPrice", gtDouble, 10.25, 0.0},
      {"AskSize", gtInteger, 700, 0},
      {"AskPrice", gtDouble, 10.5, 0.0},
      {"Volume", gtInteger, 123456, 0},
      {"ClosePrice", gtDouble, 10.0, 0.0},
      {"TodaysClosePrice", gtDouble, 10.35, 0.0},
      {"BidExchange", gtString, "NASDAQ", ""},
      {"AskExchange", gtString, "ARCA", ""},
      {"ListedExchange", gtString, "NASD", ""},
      {"LastPrintExchange", gtString, "NYSE", ""},
      {"LastPrintFormT", gtBoolean, true, false},
      {"HighPrice", gtDouble, 11.75, 0.0},
      {"LowPrice", gtDouble, 9.5, 0.0},
      {"LastPrintPrice", gtDouble, 10.4, 0.0},
      {"LastPrintTime", gtDouble, kDay + 7 * kOneHour, 0.0},
      {"LastPrintSize", gtInteger, 200, 0},
      {"Symbol", gtString, "WIDG", "WIDG", true},
      {"CompanyName", gtString, "Orbital Widgets", ""},
      {"PrintableName", gtString, "Orbital Widgets", "WIDG", true},
      {"52WeekHigh", gtDouble, 14.0, 0.0},
      {"52WeekLow", gtDouble, 8.0, 0.0},
      {"52HighDate", gtDouble, kDay - 40, 0.0},
      {"52LowDate", gtDouble, kDay - 200, 0.0},
      {"TodaysRange", gtDouble, 2.25, 0.0},
  };
  std::vector<TGenericDataNode*> nodes;
  for (const Case& c : cases) nodes.push_back(Value(c.name, "WIDG"));

  Quote("WIDG", quote);
  Print("WIDG", print);
  Send<TTestFundamental>("WIDG", fundamentals);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    auto [valid, value] = Read(nodes[i], cases[i].getter);
    EXPECT_TRUE(valid);
    EXPECT_EQ(value, cases[i].value);
  }

  // An empty company name is no name: the symbol stands in.
  fundamentals.CompanyName.clear();
  Send<TTestFundamental>("WIDG", fundamentals);
  EXPECT_EQ(Read(Value("PrintableName", "WIDG"), gtString).second, TParamValue("WIDG"));

  Invalidate<TTestL1>("WIDG");
  Invalidate<TTestTos>("WIDG");
  Invalidate<TTestFundamental>("WIDG");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    auto [valid, value] = Read(nodes[i], cases[i].getter);
    EXPECT_EQ(valid, cases[i].validWithoutFeed);
    EXPECT_EQ(value, cases[i].withoutFeed);
  }
}

TEST_F(NamedValues, ReadersPassEveryFeedNotificationOn) {
  TCounter bid, volume, name;
  Value("BidPrice", "PASS", &bid);
  Value("Volume", "PASS", &volume);
  Value("CompanyName", "PASS", &name);
  Quote("PASS", {});
  Quote("PASS", {});
  Print("PASS", {});
  Invalidate<TTestFundamental>("PASS");
  RunOnDataNodeThread([&] {
    EXPECT_EQ(bid.hits, 2);
    EXPECT_EQ(volume.hits, 1);
    EXPECT_EQ(name.hits, 1);
  });
}

// --- Open, expected open and gap -------------------------------------------------------------------------

TEST_F(NamedValues, OpenPriceComesFromTheFirstRegularPrintUntilTheQuoteHasOne) {
  clock::SetManual(kDay + 5 * kOneHour);
  TGenericDataNode* open = Value("OpenPrice", "OPN");
  TL1Data quote;
  quote.BidPrice = 9.9;
  Quote("OPN", quote);
  EXPECT_FALSE(ReadDouble(open).valid);

  Print("OPN", FormTPrint(9.8, kDay + 5 * kOneHour));
  EXPECT_FALSE(ReadDouble(open).valid) << "a form T print is not the open";
  TTosData snapshot = RegularPrint(9.85, kDay + 5 * kOneHour);
  snapshot.Snapshot = true;
  Print("OPN", snapshot);
  EXPECT_FALSE(ReadDouble(open).valid) << "a snapshot restates yesterday's price";

  clock::SetManual(kDay + 6.5 * kOneHour);
  Print("OPN", RegularPrint(10.0, kDay + 6.5 * kOneHour));
  Print("OPN", RegularPrint(10.4, kDay + 6.6 * kOneHour));
  TReading reading = ReadDouble(open);
  EXPECT_TRUE(reading.valid);
  EXPECT_EQ(reading.value, 10.0);

  // The first price belongs to its day: after midnight it is gone, and the new day's first print counts.
  clock::SetManual(kDay + 1 + kOneSecond);
  EXPECT_FALSE(ReadDouble(open).valid);
  clock::SetManual(kDay + 1 + 6.5 * kOneHour);
  Print("OPN", RegularPrint(11.0, kDay + 1 + 6.5 * kOneHour));
  EXPECT_EQ(ReadDouble(open).value, 11.0);

  // The feed's own open wins once it has one.
  quote.Open = 10.9;
  Quote("OPN", quote);
  EXPECT_EQ(ReadDouble(open).value, 10.9);
}

TEST_F(NamedValues, OpenPriceOfASlashSymbolIgnoresPrints) {
  TGenericDataNode* open = Value("OpenPrice", "/ESZ6");
  Quote("/ESZ6", {});
  Print("/ESZ6", RegularPrint(4500.25, clock::Now()));
  EXPECT_FALSE(ReadDouble(open).valid);
  TL1Data quote;
  quote.Open = 4490.5;
  Quote("/ESZ6", quote);
  EXPECT_EQ(ReadDouble(open).value, 4490.5);
}

TEST_F(NamedValues, ExpectedOpenFollowsExtendedHoursUntilTheOpenAndGapMeasuresItFromTheClose) {
  clock::SetManual(kDay + 5 * kOneHour);
  TGenericDataNode* expected = Value("ExpectedOpen", "EXO");
  TGenericDataNode* gap = Value("Gap", "EXO");
  TL1Data quote;
  quote.PrevClose = 9.5;
  Quote("EXO", quote);
  EXPECT_FALSE(ReadDouble(expected).valid);
  EXPECT_FALSE(ReadDouble(gap).valid);

  Print("EXO", FormTPrint(9.9, kDay + 5 * kOneHour));
  EXPECT_EQ(ReadDouble(expected).value, 9.9);
  TReading gapReading = ReadDouble(gap);
  EXPECT_TRUE(gapReading.valid);
  EXPECT_NEAR(gapReading.value, 0.4, 1e-9);

  clock::SetManual(kDay + 6.5 * kOneHour);
  Print("EXO", RegularPrint(10.0, kDay + 6.5 * kOneHour));
  EXPECT_EQ(ReadDouble(expected).value, 10.0);
  Print("EXO", RegularPrint(10.2, kDay + 7 * kOneHour));
  EXPECT_EQ(ReadDouble(expected).value, 10.0) << "after the open it is the open";
  Print("EXO", FormTPrint(10.3, kDay + 13.5 * kOneHour));
  EXPECT_EQ(ReadDouble(expected).value, 10.3) << "after the close the late prints point at tomorrow";

  // A slash symbol has no extended hours: only its open counts.
  TGenericDataNode* slash = Value("ExpectedOpen", "/EXO");
  Quote("/EXO", {});
  Print("/EXO", FormTPrint(9.9, kDay + 5 * kOneHour));
  EXPECT_FALSE(ReadDouble(slash).valid);
}

// --- Quote statistics ------------------------------------------------------------------------------------

TEST_F(NamedValues, PutCallRatio) {
  struct Case {
    std::int32_t puts, calls;
    bool valid;
    double value;
  } cases[] = {
      {500, 0, true, 2147483648.0 + 500},
      {0, 0, false, 0},
      {300, 600, true, 0.5},
      {0, 10, true, 0},
      {-1, 5, false, 0},
      {5, -1, false, 0},
  };
  TGenericDataNode* ratio = Value("PutCallRatio", "PCR");
  EXPECT_FALSE(ReadDouble(ratio).valid) << "no quote";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.puts) + ":" + std::to_string(c.calls));
    TL1Data quote;
    quote.PutVolume = c.puts;
    quote.CallVolume = c.calls;
    Quote("PCR", quote);
    TReading reading = ReadDouble(ratio);
    EXPECT_EQ(reading.valid, c.valid);
    EXPECT_EQ(reading.value, c.value);
  }
}

TEST_F(NamedValues, DistanceFromNbboIsAPercentageOutsideTheInsideQuote) {
  struct Case {
    double bid, ask, print;
    bool valid;
    double percent;
  } cases[] = {
      {10.00, 10.10, 10.15, true, 0.05 / 10.10 * 100},  // about 0.495
      {10.00, 10.10, 10.05, true, 0},
      {10.00, 10.10, 9.90, true, 1.0},
      {10.10, 10.00, 10.15, true, 0.05 / 10.10 * 100},  // crossed: the higher side is the top
      {0, 10.10, 10.15, false, 0},
      {10.00, 0, 10.15, false, 0},
  };
  TGenericDataNode* distance = Value("DistanceFromNbbo", "NBB");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bid) + "/" + std::to_string(c.ask) + " at " + std::to_string(c.print));
    TL1Data quote;
    quote.BidPrice = c.bid;
    quote.AskPrice = c.ask;
    Quote("NBB", quote);
    Print("NBB", RegularPrint(c.print, kDay));
    TReading reading = ReadDouble(distance);
    EXPECT_EQ(reading.valid, c.valid);
    EXPECT_NEAR(reading.value, c.percent, 1e-9);
  }
  Invalidate<TTestTos>("NBB");
  EXPECT_FALSE(ReadDouble(distance).valid);
}

TEST_F(NamedValues, RangesOfTheDayAndOfTheYear) {
  struct Case {
    double low52, high52, last;
    bool valid;
    double position;
  } yearCases[] = {
      {10, 20, 25, true, 1.5},  {10, 20, 15, true, 0.5},
      {10, 20, 5, true, -0.5},  {15, 15, 15, false, 0.5},  // an empty range has no position
      {20, 10, 15, false, 0.5},
  };
  TGenericDataNode* year = Value("YearRange", "RNG");
  for (const Case& c : yearCases) {
    SCOPED_TRACE(std::to_string(c.low52) + ".." + std::to_string(c.high52) + " at " + std::to_string(c.last));
    TFundamentalData fundamentals;
    fundamentals.Low52 = c.low52;
    fundamentals.High52 = c.high52;
    Send<TTestFundamental>("RNG", fundamentals);
    Print("RNG", RegularPrint(c.last, kDay));
    TReading reading = ReadDouble(year);
    EXPECT_EQ(reading.valid, c.valid);
    EXPECT_DOUBLE_EQ(reading.value, c.position);
  }
  Invalidate<TTestTos>("RNG");
  EXPECT_FALSE(ReadDouble(year).valid);

  struct DayCase {
    double low, high;
    bool valid;
  } dayCases[] = {{10, 12, true}, {0, 12, false}, {10, 0, false}};
  TGenericDataNode* day = Value("TodaysRange", "RNG");
  for (const DayCase& c : dayCases) {
    TL1Data quote;
    quote.Low = c.low;
    quote.High = c.high;
    Quote("RNG", quote);
    TReading reading = ReadDouble(day);
    EXPECT_EQ(reading.valid, c.valid) << c.low << ".." << c.high;
    EXPECT_EQ(reading.value, c.valid ? c.high - c.low : 0);
  }
}

TEST_F(NamedValues, BidTickNeedsAChangeAfterTheFirstBid) {
  Value("BidPrice", "TCK");  // keeps the quote while the tick does not exist yet
  TL1Data quote;
  quote.BidPrice = 10.0;
  Quote("TCK", quote);  // the tick's first look at the bid is its starting point
  TCounter counter;
  TGenericDataNode* tick = Value("BidTick", "TCK", &counter);
  auto read = [tick] {
    return RunOnDataNodeThread([tick] { return std::pair(tick->IsValid(), tick->GetBoolean()); });
  };
  EXPECT_FALSE(read().first);

  struct Step {
    std::optional<double> bid;  // nullopt: the quote goes invalid
    bool valid, up;
    int hits;  // notifications so far
  } steps[] = {
      {10.0, false, false, 0},         {10.01, true, true, 1}, {10.0, true, false, 2}, {10.0, true, false, 2},
      {std::nullopt, false, false, 3}, {9.9, true, false, 4},  // the last bid is remembered across the gap
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.bid ? std::to_string(*step.bid) : "invalid");
    if (step.bid) {
      quote.BidPrice = *step.bid;
      Quote("TCK", quote);
    } else {
      Invalidate<TTestL1>("TCK");
    }
    auto [valid, up] = read();
    EXPECT_EQ(valid, step.valid);
    if (valid) {
      EXPECT_EQ(up, step.up);
    }
    EXPECT_EQ(RunOnDataNodeThread([&] { return counter.hits; }), step.hits);
  }
}

// --- Combinators -----------------------------------------------------------------------------------------

class Combinators : public NamedValues {};

TEST_F(Combinators, TwoInputsHaveAValueOnlyWhenBothAreValidAndTheResultExists) {
  using TMake = TFactoryRef (*)(TFactoryRef, TFactoryRef);
  TMake add = [](TFactoryRef a, TFactoryRef b) { return F::Make<TAdd>(a, b); };
  TMake subtract = [](TFactoryRef a, TFactoryRef b) { return F::Make<TSubtract>(a, b); };
  TMake divide = [](TFactoryRef a, TFactoryRef b) { return F::Make<TDivide>(a, b); };
  TMake lessThan = [](TFactoryRef a, TFactoryRef b) { return F::Make<TLessThan>(a, b); };
  struct Case {
    const char* label;
    TMake make;
    std::optional<double> first, second;
    bool valid;
    double value;  // 1 and 0 for true and false
    double later;  // after the inputs change to -8 and 4
  } cases[] = {
      {"2 + 3", add, 2, 3, true, 5, -4},
      {"2 - 3", subtract, 2, 3, true, -1, -12},
      {"3 / 2", divide, 3, 2, true, 1.5, -2},
      {"3 / 0", divide, 3, 0, false, 0, -2},
      {"0 / 3", divide, 0, 3, true, 0, -2},
      {"2 < 3", lessThan, 2, 3, true, 1, 1},
      {"3 < 2", lessThan, 3, 2, true, 0, 1},
      {"2 < 2", lessThan, 2, 2, true, 0, 1},
      {"? + 3", add, std::nullopt, 3, false, 0, -4},
      {"2 - ?", subtract, 2, std::nullopt, false, 0, -12},
      {"? / 2", divide, std::nullopt, 2, false, 0, -2},
      {"2 < ?", lessThan, 2, std::nullopt, false, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto [first, firstFactory] = Input();
    auto [second, secondFactory] = Input();
    TFactoryRef factory = c.make(firstFactory, secondFactory);
    const bool boolean = c.make == lessThan;
    TCounter counter;
    TGenericDataNode* node = Hold(factory, &counter);
    Set(first, c.first);
    Set(second, c.second);
    auto [valid, value] = RunOnDataNodeThread(
        [&] { return std::pair(node->IsValid(), boolean ? double(node->GetBoolean()) : node->GetDouble()); });
    EXPECT_EQ(valid, c.valid);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(RunOnDataNodeThread([&] { return counter.hits; }), 2);

    // A change of an input is seen by the next read, not only by the first.
    Set(first, -8);
    Set(second, 4);
    auto [laterValid, later] = RunOnDataNodeThread(
        [&] { return std::pair(node->IsValid(), boolean ? double(node->GetBoolean()) : node->GetDouble()); });
    EXPECT_TRUE(laterValid);
    EXPECT_EQ(later, c.later);
  }
}

TEST_F(Combinators, IntegerToDoubleFollowsItsSource) {
  auto [input, inputFactory] = Input();
  TGenericDataNode* node = Hold(F::Make<TIntegerToDouble>(inputFactory));
  EXPECT_FALSE(ReadDouble(node).valid);
  Set(input, 1500);
  TReading reading = ReadDouble(node);
  EXPECT_TRUE(reading.valid);
  EXPECT_EQ(reading.value, 1500.0);
}

TEST_F(Combinators, PreviousValueIsTheValueBeforeTheLatestNotification) {
  auto [input, inputFactory] = Input();
  Set(input, 5);  // read when the node connects
  TCounter counter;
  TGenericDataNode* previous = Hold(F::Make<TPreviousValue>(inputFactory), &counter);
  TDataNodeThread::Instance().Flush();
  EXPECT_FALSE(ReadDouble(previous).valid) << "nothing came before the first value";

  struct Step {
    std::optional<double> source;
    bool valid;
    double value;
  } steps[] = {{6, true, 5}, {6, true, 6}, {std::nullopt, true, 6}, {7, false, 0}, {8, true, 7}};
  int notifications = 0;
  for (const Step& step : steps) {
    Set(input, step.source);
    ++notifications;
    TReading reading = ReadDouble(previous);
    EXPECT_EQ(reading.valid, step.valid);
    EXPECT_EQ(reading.value, step.value);
  }
  EXPECT_EQ(RunOnDataNodeThread([&] { return counter.hits; }), notifications);
}

TEST_F(Combinators, IgnoreNullChangesPassesOnlyChangesOfValueOrValidity) {
  auto [input, inputFactory] = Input();
  TCounter counter;
  TGenericDataNode* node = Hold(F::Make<TIgnoreNullChanges>(inputFactory), &counter);
  TDataNodeThread::Instance().Flush();
  struct Step {
    std::optional<double> source;
    int hits;
  } steps[] = {{std::nullopt, 0}, {10, 1}, {10, 1}, {10.5, 2}, {std::nullopt, 3}, {std::nullopt, 3}, {0, 4}};
  for (const Step& step : steps) {
    Set(input, step.source);
    EXPECT_EQ(RunOnDataNodeThread([&] { return counter.hits; }), step.hits)
        << (step.source ? std::to_string(*step.source) : "invalid");
    TReading reading = ReadDouble(node);
    EXPECT_EQ(reading.valid, step.source.has_value());
    EXPECT_EQ(reading.value, step.source.value_or(0));
  }
}

TEST_F(Combinators, TriColorTakesTheColourOfTheValuesSign) {
  auto [value, valueFactory] = Input();
  TFactoryRef negative = F::Make<TConstantColorDataNode>(0x0000FF);
  TFactoryRef zero = F::Make<TConstantColorDataNode>(0x000000);
  TFactoryRef positive = F::Make<TConstantColorDataNode>(TParamValue());  // a colour that is not set
  TGenericDataNode* node = Hold(F::Make<TTriColor>(valueFactory, negative, zero, positive));
  struct Case {
    std::optional<double> value;
    bool valid;
    std::uint32_t color;
  } cases[] = {{-0.01, true, 0x0000FF}, {0, true, 0}, {std::nullopt, true, 0}, {2, false, 0}};
  for (const Case& c : cases) {
    Set(value, c.value);
    auto [valid, color] = RunOnDataNodeThread([&] { return std::pair(node->IsValid(), node->GetColor()); });
    EXPECT_EQ(valid, c.valid) << (c.value ? std::to_string(*c.value) : "invalid");
    EXPECT_EQ(color, c.color);
  }
}

// The flashing cell runs on the real timer thread against a clock the test moves by hand.
class VisiblePulses : public Combinators {
 protected:
  static constexpr std::chrono::seconds kPatience{5};

  // Moves the clock and waits until every timer event due by then has fired and the steps it queued ran:
  // two one-shots in a row show that the timer thread made a full pass after the change.
  static void AdvanceMs(int ms) {
    clock::Advance(ms / 86400000.0);
    for (int i = 0; i < 2; ++i) {
      auto fired = std::make_shared<TEvent>(true);
      OneShot(0, TCallback::Function([fired] { fired->Set(); }));
      ASSERT_TRUE(fired->WaitFor(kPatience)) << "the timer thread did not fire a due event";
    }
    TDataNodeThread::Instance().Flush();
  }
};

struct TFlashRecorder {
  void Changed() {
    changes.emplace_back(std::llround((clock::Now() - start) * 86400000.0), node->GetBoolean());
  }
  TGenericDataNode* node = nullptr;
  TDateTime start = 0;
  std::vector<std::pair<long long, bool>> changes;  // (ms since start, on); data node thread
};

TEST_F(VisiblePulses, FifteenNotificationsGiveTenFlashesOf300MsOnAnd200MsOff) {
  const TDateTime start = kDay + 7 * kOneHour;
  clock::SetManual(start);
  auto [source, sourceFactory] = Input();
  TFlashRecorder recorder;
  recorder.start = start;
  auto [node, link] = F::Make<TVisiblePulses>(sourceFactory)->GetNode(TW_METHOD(&recorder, Changed));
  links_.emplace_back(link);
  recorder.node = node;
  link->SetReceiveInput(true);

  RunOnDataNodeThread([source = source] {
    for (int i = 0; i < 15; ++i) source->Set(i);
  });
  TDataNodeThread::Instance().Flush();  // the first flash starts before the clock moves
  for (int elapsed = 0; elapsed < 6000; elapsed += 100) AdvanceMs(100);

  std::vector<std::pair<long long, bool>> expected;
  for (int flash = 0; flash < 10; ++flash) {
    expected.emplace_back(flash * 500, true);
    expected.emplace_back(flash * 500 + 300, false);
  }
  EXPECT_EQ(RunOnDataNodeThread([&] { return recorder.changes; }), expected);

  // Idle again: the next change flashes at once, and only once.
  RunOnDataNodeThread([source = source] { source->Set(99); });
  TDataNodeThread::Instance().Flush();
  for (int elapsed = 0; elapsed < 1000; elapsed += 100) AdvanceMs(100);
  expected.emplace_back(6000, true);
  expected.emplace_back(6300, false);
  EXPECT_EQ(RunOnDataNodeThread([&] { return recorder.changes; }), expected);
}

TEST_F(VisiblePulses, ANodeFreedWhileFlashingTakesItsTimerWithIt) {
  clock::SetManual(kDay + 7 * kOneHour);
  auto [source, sourceFactory] = Input();
  TOwnedLink link(F::Make<TVisiblePulses>(sourceFactory)->GetNode().second);
  const std::int64_t id = link->Source()->NodeId();
  RunOnDataNodeThread([source = source] { source->Set(1); });
  link.Reset();
  TDataNodeThread::Instance().Flush();
  EXPECT_FALSE(TDataNode::IsAlive(id));
  // The step that was due must not reach the freed node; the sanitizer builds report it if it does.
  AdvanceMs(1000);
}

// --- Standard colours ------------------------------------------------------------------------------------

TEST_F(NamedValues, ColoursComeFromTheGlobalPaletteUnlessAWindowNamesItsOwn) {
  const int window = 0;
  TStandardPalette global(kGlobalOwner);
  TStandardPalette mine(&window);
  EXPECT_TRUE(std::regex_match(mine.Name(), std::regex(R"(\$[0-9A-F]{8,})"))) << mine.Name();
  EXPECT_EQ(mine.Name(), TStandardPalette::NameOf(&window));

  TGenericDataNode* globalRed = Value("StandardRedFgColor", "ANY");  // owner left at its default
  TFactoryRef mineFactory = FindFactory("StandardRedFgColor")->Clone();
  mineFactory->SetParam(kConfigurationOwner, mine.Name());
  TCounter counter;
  TGenericDataNode* mineRed = Hold(mineFactory, &counter);
  auto read = [](TGenericDataNode* node) {
    return RunOnDataNodeThread([node] { return std::pair(node->IsValid(), node->GetColor()); });
  };
  EXPECT_FALSE(read(globalRed).first) << "no colour before the palette sets one";

  global.SetDefaults();
  mine.SetColor(2, 0x00C0C0);
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(read(globalRed), std::pair(true, std::uint32_t{255}));
  EXPECT_EQ(read(mineRed), std::pair(true, std::uint32_t{0x00C0C0}));
  EXPECT_EQ(mine.GetColor(2), 0x00C0C0u);
  EXPECT_EQ(RunOnDataNodeThread([&] { return counter.hits; }), 1);

  // A colour column filled for the window reads the window's colours; the registered ones stay global.
  mine.SetDefaults();
  auto [value, valueFactory] = Input();
  TFactoryRef column = BackgroundTriColor(valueFactory)->Clone();
  column->SetParam(kConfigurationOwner, mine.Name());
  mine.SetColor(5, 0x00FF80);
  TGenericDataNode* cell = Hold(column);
  Set(value, 1);
  EXPECT_EQ(read(cell), std::pair(true, std::uint32_t{0x00FF80}));
  Set(value, -1);
  EXPECT_EQ(read(cell), std::pair(true, std::uint32_t{255}));
  EXPECT_NE(FindFactory("StandardGreenBgColor")->GetKey().find(kGlobalOwner), std::string::npos);

  EXPECT_THROW(mine.SetColor(0, 0x80000005), EAssertionFailed) << "a system colour code is not a colour";
  EXPECT_THROW(mine.SetColor(6, 0), EAssertionFailed);
}

}  // namespace
}  // namespace tarnwell
