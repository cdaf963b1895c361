// The vendor layer against the real tarnwell-feed on loopback: the conversation, its reconnection, the
// watch lists and the per-symbol fronts.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "ChildProcess.h"
#include "FeedProcess.h"
#include "FrameworkTestSupport.h"
#include "framework/DebugLog.h"
#include "marketdata/vendor/VendorField.h"
#include "marketdata/vendor/VendorListeners.h"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using vendor::testing::FeedProcess;
using vendor::testing::RunFeed;

const char* kTosQuery = "1032,1006,1018,1178,1044;";

// A consumer of one symbol's records, as the vendor nodes are.
class TRecordSink {
 public:
  TRecordSink(const std::string& symbol, bool requestOnly) : symbol_(symbol) {
    auto [node, link] =
        TVendorMsgListenerDataNode::Subscribe(kTosQuery, vtLiveQuote, requestOnly, symbol, TW_METHOD(this, OnChange));
    front_ = node;
    link_.Reset(link);
    link_->SetReceiveInput(true);
  }
  ~TRecordSink() {
    // Releasing the last link frees the front node, which unsubscribes; that must happen on the data node
    // thread before this object goes.
    testing::RunOnDataNodeThread([this] { link_.Reset(); });
  }

  // Data node thread.
  void OnChange() {
    if (!front_->Cursor()) {
      ++withoutRecord;
      return;
    }
    const void* field = nullptr;
    if (VB4_FindField(front_->Cursor(), vf::DISP_NAME, &field) == 0) {
      std::string symbol = TVendorField(field).AsString();
      if (symbol != symbol_) ++foreign;
    }
    if (front_->Kind() == rkReply) ++replies;
    if (front_->Kind() == rkUpdate) ++updates;
  }

  std::atomic<int> replies{0}, updates{0}, withoutRecord{0}, foreign{0};
  TVendorMsgListenerDataNode* front_;

 private:
  std::string symbol_;
  TOwnedLink link_;
};

class VendorConversation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The symbols of the synthetic universe, as the server writes them.
    home_ = std::filesystem::temp_directory_path() / ("tarnwell_vendor_home_" + std::to_string(::getpid()));
    std::filesystem::create_directories(home_);
    RunFeed({"--write-home", home_.string(), "--symbols", "500", "--seed", "5"});
    std::ifstream in(home_ / "symbols.txt");
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] != '$' && line[0] != '/') symbols_.push_back(line);
    }
    ASSERT_TRUE(InitializeVendorLibrary());
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(home_); }

  void StartFeed(const std::string& listen = "127.0.0.1:0") {
    feed_ = std::make_unique<FeedProcess>(
        std::vector<std::string>{"--symbols", "500", "--seed", "5", "--time", "10:00", "--speed", "60"}, listen);
    ::setenv("VCONV_SERVER", feed_->Address().c_str(), 1);
  }

  TVendorConvListenerDataNode& Listener() {
    return *testing::RunOnDataNodeThread([] {
      auto [node, link] =
          TGenericDataNodeFactory::Make<TVendorConvListenerDataNode>(kTosQuery, int{vtLiveQuote}, VendorConversationFactory())
              ->GetNode();
      TDataNodeLink::Release(link);  // permanent: it stays
      return static_cast<TVendorConvListenerDataNode*>(node);
    });
  }

  static bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    return testing::WaitUntil(done, limit);
  }

  static std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    for (std::string& line : TDebugLog::Instance().TakePending()) lines.push_back(line.substr(line.find(":  ") + 3));
    return lines;
  }

  static inline std::filesystem::path home_;
  static inline std::vector<std::string> symbols_;
  std::unique_ptr<FeedProcess> feed_;
};

TEST_F(VendorConversation, WatchListsHoldTwoHundredSymbolsAndEachRecordReachesItsOwnSymbol) {
  StartFeed();
  ASSERT_GE(symbols_.size(), 451u);
  std::vector<std::unique_ptr<TRecordSink>> sinks;
  for (int i = 0; i < 450; ++i) sinks.push_back(std::make_unique<TRecordSink>(symbols_[i], false));
  auto onceOnly = std::make_unique<TRecordSink>(symbols_[450], true);

  TVendorConvListenerDataNode& listener = Listener();
  ASSERT_TRUE(Eventually([&] {
    return testing::RunOnDataNodeThread([&] {
      for (auto& s : sinks) {
        if (s->replies == 0) return false;
      }
      return onceOnly->replies == 1;
    });
  })) << "not every symbol got its reply";
  testing::RunOnDataNodeThread([&] {
    EXPECT_EQ(listener.ListCount(0), 200);
    EXPECT_EQ(listener.ListCount(1), 200);
    EXPECT_EQ(listener.ListCount(2), 50);
    EXPECT_TRUE(listener.ListAdvised(2));
    EXPECT_EQ(listener.ListIndexOf(symbols_[0]), 0);
    EXPECT_EQ(listener.ListIndexOf(symbols_[200]), 1);
    EXPECT_FALSE(listener.IsPending(symbols_[450]));  // a one-time request ends with its reply
  });
  ASSERT_TRUE(Eventually([&] {
    int streaming = 0;
    for (auto& s : sinks) streaming += s->updates > 0;
    return streaming > 100;
  })) << "watch lists do not stream";

  // Dropping the 200 symbols of list 0 unadvises it; list 1 streams on.
  for (int i = 0; i < 200; ++i) sinks[i].reset();
  testing::RunOnDataNodeThread([&] {
    EXPECT_EQ(listener.ListCount(0), 0);
    EXPECT_FALSE(listener.ListAdvised(0));
    EXPECT_TRUE(listener.ListAdvised(1));
  });
  int before = 0;
  for (int i = 200; i < 450; ++i) before += sinks[i]->updates;
  EXPECT_TRUE(Eventually([&] {
    int now = 0;
    for (int i = 200; i < 450; ++i) now += sinks[i]->updates;
    return now > before + 50;
  }));
  for (int i = 200; i < 450; ++i) EXPECT_EQ(sinks[i]->foreign, 0) << symbols_[i];
  EXPECT_EQ(onceOnly->replies, 1);
  EXPECT_EQ(onceOnly->updates, 0);
}

TEST_F(VendorConversation, TerminatedConversationReconnectsAtOnceAndRequestsEverythingAgain) {
  StartFeed();
  LogLines();
  TRecordSink streamed(symbols_[0], false);
  TRecordSink another(symbols_[1], false);
  ASSERT_TRUE(Eventually([&] { return streamed.replies == 1 && another.replies == 1; }));
  ASSERT_TRUE(Eventually([&] { return streamed.updates + another.updates > 0; }));

  EXPECT_EQ(feed_->Control("terminate"), "ok terminated 1");
  ASSERT_TRUE(Eventually([&] { return streamed.withoutRecord > 0; })) << "the fronts never heard of the drop";
  ASSERT_TRUE(Eventually([&] { return streamed.replies == 2 && another.replies == 2; }))
      << "pending symbols were not requested again";
  int updates = streamed.updates + another.updates;
  EXPECT_TRUE(Eventually([&] { return streamed.updates + another.updates > updates; })) << "lists not advised again";

  std::vector<std::string> log = LogLines();
  auto at = [&](const std::string& text, std::size_t from = 0) {
    for (std::size_t i = from; i < log.size(); ++i) {
      if (log[i] == text) return i;
    }
    return log.size();
  };
  std::size_t terminate = at("VCONV_TERMINATE");
  ASSERT_LT(terminate, log.size());
  std::size_t attempt = at("Attempting to connect (&QUOTES&, MD_SRV, LIVEQUOTE)", terminate);
  std::size_t ack = at("VCONV_INIT_ACK", attempt);
  EXPECT_LT(ack, log.size());
  for (std::size_t i = terminate; i < ack && i < log.size(); ++i) {
    EXPECT_EQ(log[i].find("VConvConnect failed"), std::string::npos) << "waited before reconnecting: " << log[i];
  }
}

TEST_F(VendorConversation, KilledServerIsRetriedUntilItIsBack) {
  StartFeed();
  std::string address = feed_->Address();
  LogLines();
  TRecordSink sink(symbols_[2], false);
  ASSERT_TRUE(Eventually([&] { return sink.replies == 1; }));

  feed_->Kill();
  ASSERT_TRUE(Eventually([&] { return sink.withoutRecord > 0; }));
  std::vector<std::string> log;
  ASSERT_TRUE(Eventually([&] {
    for (std::string& line : LogLines()) log.push_back(line);
    int failures = 0;
    for (const std::string& line : log) failures += line.rfind("VConvConnect failed:  ", 0) == 0;
    return failures >= 2;
  })) << "no retries while the server is down";

  StartFeed(address);
  EXPECT_TRUE(Eventually([&] { return sink.replies == 2; })) << "no recovery once the server is back";
  EXPECT_TRUE(Eventually([&] { return sink.updates > 0; }));
}

TEST_F(VendorConversation, EveryMessageTakenFromTheLibraryIsReleasedOnce) {
  StartFeed();
  {
    std::vector<std::unique_ptr<TRecordSink>> sinks;
    for (int i = 0; i < 50; ++i) sinks.push_back(std::make_unique<TRecordSink>(symbols_[i], false));
    ASSERT_TRUE(Eventually([&] {
      int streaming = 0;
      for (auto& s : sinks) streaming += s->updates > 0;
      return streaming > 10;
    }));
    EXPECT_EQ(feed_->Control("terminate"), "ok terminated 1");
    ASSERT_TRUE(Eventually([&] { return sinks[0]->replies >= 2; }));
    // The fronts go while updates are still arriving: their items' messages are released unseen.
  }
  feed_.reset();  // no more messages
  EXPECT_TRUE(Eventually([] {
    TDataNodeThread::Instance().Flush();
    return TVendorConversationDataNode::MessagesTaken() == TVendorConversationDataNode::MessagesReleased();
  }));
  EXPECT_GT(TVendorConversationDataNode::MessagesTaken(), 0u);
  EXPECT_EQ(TVendorMessageInfo::PoolFree(), static_cast<std::size_t>(TVendorMessageInfo::kPoolSize));
}

TEST(VendorListener, TextFormsAndProgrammingErrors) {
  ASSERT_TRUE(InitializeVendorLibrary());
  ::setenv("VCONV_SERVER", "127.0.0.1:1", 1);  // nobody there: the conversation stays down
  auto* listener = testing::RunOnDataNodeThread([] {
    auto [node, link] = TGenericDataNodeFactory::Make<TVendorConvListenerDataNode>(
                            "6002,6023,1352,1096,1353,1097;", int{vtLiveQuote}, VendorConversationFactory())
                            ->GetNode();
    TDataNodeLink::Release(link);
    return static_cast<TVendorConvListenerDataNode*>(node);
  });
  const std::string n = std::to_string(reinterpret_cast<std::intptr_t>(listener));
  EXPECT_EQ(listener->SymbolItem("XYZ"), "LIVEQUOTE;1003,6002,6023,1352,1096,1353,1097;1003='XYZ'");
  EXPECT_EQ(listener->ListName(3), "List_" + n + "_3");
  EXPECT_EQ(listener->ListItem(0), "LIVEQUOTE;1003,6002,6023,1352,1096,1353,1097;9034='List_" + n + "_0'");
  EXPECT_EQ(listener->SymbolChannel("XYZ"), "TVendorConvListenerDataNode." + n + ".XYZ");

  testing::RunOnDataNodeThread([&] {
    listener->AddSymbol("XYZ", true);
    try {
      listener->AddSymbol("XYZ", false);
      ADD_FAILURE() << "a symbol subscribed twice";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Duplicate symbol, XYZ, for 6002,6023,1352,1096,1353,1097;");
    }
    try {
      listener->Conversation().RegisterRequest(listener->SymbolItem("XYZ"));
      ADD_FAILURE() << "an item registered twice";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(std::string(e.what()), "Duplicate vendor request:  " + listener->SymbolItem("XYZ"));
    }
    EXPECT_THROW(listener->SendRequest("NOPE"), EAssertionFailed);
    listener->RemoveSymbol("XYZ");
    EXPECT_FALSE(listener->Conversation().LookupRequest(listener->SymbolItem("XYZ")));
  });
  EXPECT_THROW(VendorTableName(3), EAssertionFailed);
  EXPECT_THROW(TGenericDataNodeFactory::Make<TVendorConversationDataNode>("a", "b", "c")->GetNode(), EAssertionFailed);
}

}  // namespace
}  // namespace tarnwell
