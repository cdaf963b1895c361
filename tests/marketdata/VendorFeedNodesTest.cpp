// The vendor's print, quote, fundamental and regional nodes, fed records built with the market-data
// server's own block encoding and delivered through the same listener channel the conversation uses.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "common/Block.h"
#include "framework/BarCounter.h"
#include "framework/DebugLog.h"
#include "marketdata/vendor/RegionalQuotes.h"
#include "marketdata/vendor/VendorFeedNodes.h"
#include "marketdata/vendor/VendorField.h"

namespace tarnwell {
namespace {

using vendor::FieldValue;
using testing::RunOnDataNodeThread;

// Vendor times are three hours ahead of ours.
int VendorSeconds(int hour, int minute, int second = 0) { return ((hour + 3) * 60 + minute) * 60 + second; }

using testing::TCounter;

class VendorFeedNodes : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("VCONV_SERVER", "127.0.0.1:1", 1);  // no server: records come from the test
    TDataNodeThread::Instance().Flush();
    TDebugLog::Instance().TakePending();
  }
  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    clock::UseSystem();
  }

  /// Delivers one record of `fields` for `symbol` to the fronts of that query, as the listener does.
  static void Deliver(const char* query, TVendorTable table, const std::string& symbol, TRecordKind kind,
                      const std::vector<FieldValue>& fields) {
    vendor::BlockBuilder builder;
    builder.BeginRecord();
    builder.Add(FieldValue::String(vf::DISP_NAME, symbol));
    for (const FieldValue& f : fields) builder.Add(f);
    builder.EndRecord();
    std::string_view bytes = builder.Finish();
    std::vector<std::uint64_t> aligned((bytes.size() + 7) / 8);
    std::memcpy(aligned.data(), bytes.data(), bytes.size());
    RunOnDataNodeThread([&] {
      auto [node, link] =
          TGenericDataNodeFactory::Make<TVendorConvListenerDataNode>(query, int{table}, VendorConversationFactory())
              ->GetNode();
      TDataNodeLink::Release(link);
      auto* listener = static_cast<TVendorConvListenerDataNode*>(node);
      VB4Cursor cursor;
      ASSERT_EQ(VB4_Open(aligned.data(), &cursor, 0), 0);
      VB4_GotoField(&cursor, 0);
      TBroadcastMessage::Send(std::make_unique<TVendorRecordInfo>(&cursor, kind), listener->SymbolChannel(symbol),
                              true, 1);
    });
  }

  /// The fronts say the connection dropped.
  static void Disconnect(const char* query, TVendorTable table) {
    RunOnDataNodeThread([&] {
      auto [node, link] =
          TGenericDataNodeFactory::Make<TVendorConvListenerDataNode>(query, int{table}, VendorConversationFactory())
              ->GetNode();
      TDataNodeLink::Release(link);
      node->NotifyListeners();
    });
  }

  static std::vector<std::string> Log() { return TDebugLog::Instance().TakePending(); }
};

// --- Prints ----------------------------------------------------------------------------------------------

class TPrintWatch {
 public:
  explicit TPrintWatch(const std::string& symbol) {
    auto [node, link] = TDataNodeWithStringKey::FindOrCreate<TVendorTosDataNode>(symbol, TW_METHOD(&counter, Hit));
    node_ = node;
    link_.Reset(link);
    link_->SetReceiveInput(true);
    TDataNodeThread::Instance().Flush();  // subscribed
  }
  TVendorTosDataNode& Node() const { return *node_; }
  const TTosData& Data() const { return *node_->GetData(); }
  TCounter counter;

 private:
  TVendorTosDataNode* node_;
  TOwnedLink link_;
};

TEST_F(VendorFeedNodes, PrintsTakeTheFieldGroupTheMessageDescribes) {
  const int ten = VendorSeconds(10, 0), tenFive = VendorSeconds(10, 5);
  struct Case {
    const char* name;
    std::string symbol;
    std::vector<FieldValue> fields;
    bool notifies;
    double price;
    int size;
    const char* exchange;
    bool formT;
  } cases[] = {
      {"later sale-condition print wins", "SCL",
       {FieldValue::Price(vf::TRDPRC_1, 1000, 2), FieldValue::Time(vf::TRDTIM_1, ten), FieldValue::Long(vf::TRDVOL_1, 100),
        FieldValue::String(vf::TRDXID_1, "N"), FieldValue::Price(vf::SALE_CONDITION_PRICE, 1010, 2),
        FieldValue::Time(vf::SALE_CONDITION_TIME, tenFive), FieldValue::Long(vf::SALE_CONDITION_VOLUME, 300),
        FieldValue::String(vf::SALE_CONDITION_XID, "Q")},
       true, 10.10, 300, "NASD", false},
      {"equal times with condition 20 give a form T print", "FTE",
       {FieldValue::Price(vf::TRDPRC_1, 1000, 2), FieldValue::Time(vf::TRDTIM_1, ten),
        FieldValue::Price(vf::SALE_CONDITION_PRICE, 1020, 2), FieldValue::Time(vf::SALE_CONDITION_TIME, ten),
        FieldValue::Long(vf::SALE_CONDITION, 20), FieldValue::Long(vf::TRDVOL_1, 50)},
       true, 10.20, 50, "", true},
      {"condition 2 drops a short symbol", "IBM",
       {FieldValue::Price(vf::TRDPRC_1, 1000, 2), FieldValue::Time(vf::TRDTIM_1, ten), FieldValue::Long(vf::IRGCOND, 2)},
       false, 0, 0, "", false},
      {"condition 2 passes a four-letter symbol", "MSFT",
       {FieldValue::Price(vf::TRDPRC_1, 2500, 2), FieldValue::Time(vf::TRDTIM_1, ten), FieldValue::Long(vf::IRGCOND, 2),
        FieldValue::Long(vf::TRDVOL_1, 10)},
       true, 25.00, 10, "", false},
      {"condition 7 never counts", "CSEV",
       {FieldValue::Price(vf::TRDPRC_1, 1000, 2), FieldValue::Long(vf::SALE_CONDITION, 7)}, false, 0, 0, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPrintWatch watch(c.symbol);
    Deliver(kVendorTosQuery, vtLiveQuote, c.symbol, rkUpdate, c.fields);
    EXPECT_EQ(watch.counter.hits, c.notifies ? 1 : 0);
    EXPECT_EQ(watch.Node().IsValid(), c.notifies);
    if (!c.notifies) continue;
    EXPECT_DOUBLE_EQ(watch.Data().Price, c.price);
    EXPECT_EQ(watch.Data().Size, c.size);
    EXPECT_EQ(watch.Data().Exchange, c.exchange);
    EXPECT_EQ(watch.Data().FormT, c.formT);
    EXPECT_FALSE(watch.Data().Snapshot);
  }
}

TEST_F(VendorFeedNodes, ARequestReplyIsASnapshotThatLeavesTheMinuteClockAlone) {
  TPrintWatch watch("SNAP");
  // A day later than any other test's, with the clock past the prints so that none runs ahead of it.
  clock::SetManual(EncodeDateTime(2030, 6, 3, 7, 31));
  RunOnDataNodeThread([] { TSynchronizedTimer::AdvanceTo(EncodeDateTime(2030, 6, 3, 7, 0)); });
  std::int32_t minute = TSynchronizedTimer::Instance().MinuteIndex();
  ASSERT_EQ(minute, 30);
  Deliver(kVendorTosQuery, vtLiveQuote, "SNAP", rkReply,
          {FieldValue::Price(vf::TRDPRC_1, 4321, 2), FieldValue::Time(vf::TRDTIM_1, VendorSeconds(7, 30)),
           FieldValue::Date(vf::TRD_DATE, 2030, 6, 3), FieldValue::Long(vf::TRDVOL_1, 5)});
  EXPECT_TRUE(watch.Data().Snapshot);
  EXPECT_DOUBLE_EQ(watch.Data().Price, 43.21);
  EXPECT_DOUBLE_EQ(watch.Data().TodaysClose, 43.21);
  EXPECT_EQ(TSynchronizedTimer::Instance().MinuteIndex(), minute);

  Deliver(kVendorTosQuery, vtLiveQuote, "SNAP", rkUpdate,
          {FieldValue::Price(vf::TRDPRC_1, 4322, 2), FieldValue::Time(vf::TRDTIM_1, VendorSeconds(7, 30)),
           FieldValue::Date(vf::TRD_DATE, 2030, 6, 3), FieldValue::Long(vf::TRDVOL_1, 5)});
  EXPECT_FALSE(watch.Data().Snapshot);
  EXPECT_EQ(TSynchronizedTimer::Instance().MinuteIndex(), 60);  // 07:30 is minute 60 of the session
  EXPECT_DOUBLE_EQ(watch.Data().Time, EncodeDateTime(2030, 6, 3, 7, 30));
}

TEST_F(VendorFeedNodes, EarlyPrintsAreReportedAndUpdateType6InvalidatesKeepingTheRecord) {
  TPrintWatch watch("EARL");
  Deliver(kVendorTosQuery, vtLiveQuote, "EARL", rkUpdate,
          {FieldValue::Price(vf::TRDPRC_1, 1234, 2), FieldValue::Time(vf::TRDTIM_1, VendorSeconds(5, 45)),
           FieldValue::Date(vf::TRD_DATE, 2026, 6, 2), FieldValue::Long(vf::TRDVOL_1, 100),
           FieldValue::String(vf::TRDXID_1, "Z")});
  EXPECT_FALSE(watch.Data().FormT);
  auto log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find(":  Time before the open but not marked as form T -- Not fixed:  Symbol=\"EARL\", "
                            "Size=100, UseFields=1, TRDPRC_1=12.34, TRDTIM_1=05:45:00, TRD_DATE=06/02/2026, "
                            "TRDVOL_1=100, TRDXID_1=\"[Z]\" (New print.)"),
            std::string::npos)
      << log.back();

  // Condition 2, a short symbol on NASD before the open: a late form T mark, repaired. (A short symbol of
  // letters only would have been dropped for condition 2 before.)
  TPrintWatch fixed("FX1");
  Deliver(kVendorTosQuery, vtLiveQuote, "FX1", rkUpdate,
          {FieldValue::Price(vf::SALE_CONDITION_PRICE, 500, 2), FieldValue::Time(vf::SALE_CONDITION_TIME, VendorSeconds(6, 0)),
           FieldValue::Long(vf::SALE_CONDITION, 2), FieldValue::String(vf::SALE_CONDITION_XID, "Q"),
           FieldValue::Date(vf::TRD_DATE, 2026, 6, 2)});
  EXPECT_TRUE(fixed.Data().FormT);
  log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("Time before the open but not marked as form T -- Fixed"), std::string::npos);

  Deliver(kVendorTosQuery, vtLiveQuote, "EARL", rkUpdate, {FieldValue::Long(vf::QUOTE_UPDATE_TYPE, 6)});
  EXPECT_FALSE(watch.Node().IsValid());
  EXPECT_DOUBLE_EQ(watch.Data().Price, 12.34);
  EXPECT_EQ(watch.counter.hits, 2);

  Deliver(kVendorTosQuery, vtLiveQuote, "EARL", rkUpdate, {FieldValue::Long(vf::QUOTE_UPDATE_TYPE, 4)});
  log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("Unknown quote udate type:  Symbol=\"EARL\""), std::string::npos) << log.back();

  Disconnect(kVendorTosQuery, vtLiveQuote);
  EXPECT_EQ(watch.counter.hits, 3);
}

// --- Quotes, fundamentals, the close -----------------------------------------------------------------------

TEST_F(VendorFeedNodes, QuotesKeepAbsentFieldsAndAreFlaggedForRefreshWithoutAnOpen) {
  TCounter counter;
  auto [node, link] = TDataNodeWithStringKey::FindOrCreate<TVendorL1DataNode>("QUO", TW_METHOD(&counter, Hit));
  TOwnedLink hold(link);
  hold->SetReceiveInput(true);
  TDataNodeThread::Instance().Flush();
  Deliver(kVendorL1Query, vtLiveQuote, "QUO", rkReply,
          {FieldValue::Price(vf::BID, 995, 2), FieldValue::Price(vf::ASK, 1005, 2), FieldValue::Long(vf::BIDSIZE, 7),
           FieldValue::String(vf::BIDEXID, "N"), FieldValue::Price(vf::HIGH_1, 1000, 2),
           FieldValue::Price(vf::LOW_1, 900, 2), FieldValue::Price(vf::HST_CLOSE, 950, 2)});
  const TL1Data& q = *node->GetData();
  EXPECT_TRUE(node->IsValid());
  EXPECT_DOUBLE_EQ(q.BidPrice, 9.95);
  EXPECT_EQ(q.BidExchange, "NYSE");
  EXPECT_TRUE(TVendorL1Refresh::Instance().IsFlagged(node));

  Deliver(kVendorL1Query, vtLiveQuote, "QUO", rkUpdate,
          {FieldValue::Price(vf::ASK, 1006, 2), FieldValue::Blank(vf::BIDSIZE), FieldValue::Price(vf::OPEN_PRC, 960, 2),
           FieldValue::Long(vf::STATUS, 1)});
  EXPECT_DOUBLE_EQ(q.BidPrice, 9.95);  // absent: kept
  EXPECT_DOUBLE_EQ(q.AskPrice, 10.06);
  EXPECT_EQ(q.BidSize, 0);  // blank: cleared
  EXPECT_EQ(counter.hits, 2);
  auto log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("Found unexpected field in L1 data:  STATUS"), std::string::npos);

  RunOnDataNodeThread([] { TVendorL1Refresh::Instance().TimerEvent(); });
  EXPECT_FALSE(TVendorL1Refresh::Instance().IsFlagged(node));
  log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("In vendor L1, 1 items flaged, 1 found okay, 0 refreshed."), std::string::npos);
}

TEST_F(VendorFeedNodes, RefreshRunsAtEveryHourAndMinuteFive) {
  struct Case {
    int h, m, s;
    int expectedDayOffset, eh, em;
  } cases[] = {{10, 3, 0, 0, 10, 5}, {10, 5, 0, 0, 10, 5}, {10, 5, 1, 0, 10, 15},
               {0, 2, 0, 0, 0, 5},  {23, 58, 0, 1, 0, 5}, {0, 0, 0, 0, 0, 5}};
  for (const Case& c : cases) {
    TDateTime now = EncodeDateTime(2026, 6, 3, c.h, c.m, c.s);
    TDateTime expected = EncodeDateTime(2026, 6, 3 + c.expectedDayOffset, c.eh, c.em);
    EXPECT_NEAR(TVendorL1Refresh::FirstRun(now), expected, 1e-9) << c.h << ":" << c.m << ":" << c.s;
  }
}

TEST_F(VendorFeedNodes, FundamentalsSurviveADisconnection) {
  auto [node, link] = TDataNodeWithStringKey::FindOrCreate<TVendorFundamentalDataNode>("FUN");
  TOwnedLink hold(link);
  TDataNodeThread::Instance().Flush();
  Deliver(kVendorFundamentalQuery, vtLiveQuote, "FUN", rkReply,
          {FieldValue::String(vf::SYMBOL_DESC, "Fun Corp"), FieldValue::String(vf::EXCH_NAME, "NYS"),
           FieldValue::Price(vf::HIGH_52, 5000, 2), FieldValue::Date(vf::HIGH52_DATE, 2026, 3, 4)});
  EXPECT_TRUE(node->IsValid());
  EXPECT_EQ(node->GetData()->CompanyName, "Fun Corp");
  EXPECT_EQ(node->GetData()->ListedExchange, "NYSE");
  EXPECT_DOUBLE_EQ(node->GetData()->High52Date, EncodeDateTime(2026, 3, 4));
  Disconnect(kVendorFundamentalQuery, vtLiveQuote);
  EXPECT_TRUE(node->IsValid());
}

TEST_F(VendorFeedNodes, MostRecentCloseBeforeAndAfterTheClose) {
  InstallVendorFeed();
  RegisterVendorValues();
  TFactoryRef factory = FindFactory("MostRecentClose")->Clone();
  factory->SetParam(kSymbolName, "MRC");
  auto [value, link] = factory->GetNode();
  TOwnedLink hold(link);
  TDataNodeThread::Instance().Flush();
  Deliver(kVendorL1Query, vtLiveQuote, "MRC", rkReply, {FieldValue::Price(vf::HST_CLOSE, 2000, 2)});
  // The last print is from yesterday.
  Deliver(kVendorTosQuery, vtLiveQuote, "MRC", rkReply,
          {FieldValue::Price(vf::TRDPRC_1, 2100, 2), FieldValue::Time(vf::TRDTIM_1, VendorSeconds(12, 30)),
           FieldValue::Date(vf::TRD_DATE, 2026, 6, 4)});
  auto read = [&](int hour, int minute) {
    clock::SetManual(EncodeDateTime(2026, 6, 5, hour, minute));
    return RunOnDataNodeThread([&] { return value->GetDouble(); });
  };
  EXPECT_DOUBLE_EQ(read(12, 59), 21.00);  // yesterday's close
  Deliver(kVendorTosQuery, vtLiveQuote, "MRC", rkUpdate,
          {FieldValue::Price(vf::TRDPRC_1, 2200, 2), FieldValue::Time(vf::TRDTIM_1, VendorSeconds(9, 0)),
           FieldValue::Date(vf::TRD_DATE, 2026, 6, 5)});
  EXPECT_DOUBLE_EQ(read(12, 59), 20.00);  // a print from today: the previous close
  EXPECT_DOUBLE_EQ(read(13, 0), 22.00);   // after the close: today's
  testing::ClearFeedImplementations();
}

// --- Regional quotes -------------------------------------------------------------------------------------

TEST_F(VendorFeedNodes, RegionalQuoteIsValidWithBothSidesAndNotifiesOnlyChanges) {
  RegisterRegionalValues();
  TFactoryRef bidFactory = FindFactory("NyseBidPrice")->Clone();
  bidFactory->SetParam(kSymbolName, "REG");
  TCounter counter;
  auto [bid, link] = bidFactory->GetNode(TW_METHOD(&counter, Hit));
  TOwnedLink hold(link);
  hold->SetReceiveInput(true);
  TDataNodeThread::Instance().Flush();

  Deliver(kRegionalQuery, vtRegional, "REG", rkReply, {FieldValue::Price(vf::REGIONAL_BID, 1000, 2)});
  EXPECT_EQ(counter.hits, 1);
  EXPECT_FALSE(bid->IsValid());  // no ask yet
  Deliver(kRegionalQuery, vtRegional, "REG", rkUpdate, {FieldValue::Price(vf::REGIONAL_ASK, 1002, 2)});
  EXPECT_TRUE(bid->IsValid());
  EXPECT_DOUBLE_EQ(bid->GetDouble(), 10.00);
  Deliver(kRegionalQuery, vtRegional, "REG", rkUpdate,
          {FieldValue::Price(vf::REGIONAL_BID, 1000, 2), FieldValue::Price(vf::REGIONAL_ASK, 1002, 2)});
  EXPECT_EQ(counter.hits, 2);  // nothing changed
  Disconnect(kRegionalQuery, vtRegional);
  EXPECT_EQ(counter.hits, 3);
  EXPECT_FALSE(bid->IsValid());
  EXPECT_DOUBLE_EQ(bid->GetDouble(), 0);
}

}  // namespace
}  // namespace tarnwell
