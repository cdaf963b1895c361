// The vendor stand-in end to end: the real tarnwell-feed on a loopback port, talked to through the C API
// only.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "FeedProcess.h"

namespace tarnwell::vendor::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kTosFields =
    "1032,6040,1006,1018,6041,6043,1016,1178,1044,6042,6044,3001,6208,9002,1374;";
constexpr const char* kFundamentalFields = "6002,6023,1352,1096,1353,1097;";

std::string SymbolItem(const std::string& fields, const std::string& symbol) {
  return "LIVEQUOTE;1003," + fields + "1003='" + symbol + "'";
}

std::string ListItem(const std::string& fields, const std::string& list) {
  return "LIVEQUOTE;1003," + fields + "9034='" + list + "'";
}

uint16_t TypeOf(const std::vector<uint8_t>& field) {
  uint16_t type;
  std::memcpy(&type, field.data(), 2);
  return type;
}

// A market at 10:00 in the vendor's clock running at sixty times real pace, so that a second of a test sees a
// minute of trading.
class FeedTest : public ::testing::Test {
 protected:
  FeedTest()
      : feed_(
            {"--symbols", "40", "--seed", "3", "--date", "2026-12-09", "--time", "10:00", "--speed", "60"}) {}

  // Connects and checks the server's acceptance.
  std::unique_ptr<Conversation> Connect() {
    auto conversation = std::make_unique<Conversation>(feed_.Address());
    EXPECT_TRUE(conversation->connected());
    Message first = conversation->Next();
    EXPECT_TRUE(first && first->Type == 0) << "expected the init acknowledgement";
    return conversation;
  }

  // Every update record that arrives within the time.
  std::vector<Record> CollectUpdates(Conversation& conversation, std::chrono::milliseconds duration) {
    std::vector<Record> records;
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) {
      Message message = conversation.Next(
          std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()));
      if (!message) break;
      EXPECT_EQ(message->Type, 7);
      for (Record& record : ReadBlock(*message)) records.push_back(std::move(record));
    }
    return records;
  }

  FeedProcess feed_;
};

TEST_F(FeedTest, RequestIsAnsweredByOneReplyWithTheRequestedFields) {
  auto conversation = Connect();
  const std::string item = SymbolItem(kFundamentalFields, "QQQQ");
  Message reply = conversation->RequestAndWait(item);
  ASSERT_TRUE(reply);
  const std::vector<Record> records = ReadBlock(*reply);
  ASSERT_EQ(records.size(), 1u);
  const Record& record = records[0];
  const std::vector<uint16_t> expected{1003, 6002, 6023, 1352, 1096, 1353, 1097};
  ASSERT_EQ(record.fields.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(record.Number(i), expected[i]);
  EXPECT_EQ(record.Symbol(), "QQQQ");
  EXPECT_EQ(TypeOf(record.fields[2]), 6);
  EXPECT_STREQ(reinterpret_cast<const char*>(record.fields[2].data() + 8), "NAS");
  EXPECT_EQ(TypeOf(record.fields[3]), 7);
  EXPECT_EQ(TypeOf(record.fields[4]), 5);
  EXPECT_FALSE(conversation->Next(300ms)) << "a request gets exactly one reply";
}

TEST_F(FeedTest, RegionalRequestReadsTheNyseRecord) {
  auto conversation = Connect();
  Message reply = conversation->RequestAndWait("REGIONAL;1003,6053,6057;6074='N',1003='XSA'");
  ASSERT_TRUE(reply);
  const std::vector<Record> records = ReadBlock(*reply);
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].fields.size(), 3u);
  EXPECT_EQ(TypeOf(records[0].fields[1]), 5) << "a NYSE-listed fund has a regional bid by 10:00";
  EXPECT_EQ(TypeOf(records[0].fields[2]), 5);
}

TEST_F(FeedTest, UnknownSymbolGetsSymbolError) {
  auto conversation = Connect();
  Message reply = conversation->RequestAndWait(SymbolItem(kTosFields, "NOSUCH"));
  ASSERT_TRUE(reply);
  const std::vector<Record> records = ReadBlock(*reply);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Symbol(), "NOSUCH");
  EXPECT_TRUE(records[0].Has(6331));
  EXPECT_FALSE(records[0].Has(1006));
}

TEST_F(FeedTest, AdvisedListStreamsWatchedSymbolsUntilDeleteWatchAndUnadvise) {
  auto conversation = Connect();
  const std::string list_item = ListItem(kTosFields, "List_7_0");
  ASSERT_EQ(VConvAdvise(conversation->handle(), list_item.c_str(), "VB4"), 1);
  for (const char* symbol : {"QQQQ", "XSA"}) {
    const std::string command = std::string("[AddWatch(LIVEQUOTE,List_7_0,") + symbol + ")]";
    ASSERT_EQ(VConvExecute(conversation->handle(), command.c_str()), 1);
  }
  const std::set<uint16_t> allowed{1003, 1032, 6040, 1006, 1018, 6041, 6043, 1016,
                                   1178, 1044, 6042, 6044, 3001, 6208, 9002, 1374};
  std::set<std::string> seen;
  for (const Record& record : CollectUpdates(*conversation, 1500ms)) {
    ASSERT_FALSE(record.fields.empty());
    EXPECT_EQ(record.Number(0), 1003);
    EXPECT_GT(record.fields.size(), 1u) << "an update carries at least one changed field";
    for (size_t i = 0; i < record.fields.size(); ++i) EXPECT_TRUE(allowed.contains(record.Number(i)));
    seen.insert(record.Symbol());
  }
  EXPECT_EQ(seen, (std::set<std::string>{"QQQQ", "XSA"}));
  // A request of the list answers with one record per watched symbol, in one block.
  Message reply = conversation->RequestAndWait(list_item);
  ASSERT_TRUE(reply);
  const std::vector<Record> listed = ReadBlock(*reply);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].Symbol(), "QQQQ");
  EXPECT_EQ(listed[1].Symbol(), "XSA");
  EXPECT_EQ(listed[1].fields.size(), 16u) << "every requested field, blank where there is no value";

  ASSERT_EQ(VConvExecute(conversation->handle(), "[DeleteWatch(LIVEQUOTE,List_7_0,XSA)]"), 1);
  ASSERT_TRUE(conversation->RequestAndWait(SymbolItem(kFundamentalFields, "QQQQ")));
  seen.clear();
  for (const Record& record : CollectUpdates(*conversation, 1500ms)) seen.insert(record.Symbol());
  EXPECT_EQ(seen, std::set<std::string>{"QQQQ"});

  ASSERT_EQ(VConvUnadvise(conversation->handle(), list_item.c_str(), "VB4"), 1);
  ASSERT_TRUE(conversation->RequestAndWait(SymbolItem(kFundamentalFields, "QQQQ")));
  EXPECT_FALSE(conversation->Next(1000ms)) << "no updates after unadvise";
}

TEST_F(FeedTest, MalformedItemsAndCommandsAreRefusedWithAReason) {
  struct Case {
    const char* what;  // "request", "advise" or "execute"
    const char* text;
    const char* reason;  // a word the refusal must contain
  };
  const Case cases[] = {
      {"request", "NOPE;1003,1006;1003='QQQQ'", "table"},
      {"request", "LIVEQUOTE;1006,1003;1003='QQQQ'", "1003"},
      {"request", "LIVEQUOTE;1003,1006;1003=QQQQ", "NUMBER='VALUE'"},
      {"request", "LIVEQUOTE;1003,x6;1003='QQQQ'", "field"},
      {"request", "REGIONAL;1003,6053;1003='XSA'", "6074"},
      {"advise", "LIVEQUOTE;1003,1006", "TABLE;fields;conditions"},
      {"advise", "LIVEQUOTE;1003,1006;1003='QQQQ',9034='List_1_0'", "exactly one"},
      {"execute", "[AddWatch(LIVEQUOTE,List_1_0)]", "three arguments"},
      {"execute", "[Subscribe(LIVEQUOTE,List_1_0,QQQQ)]", "unknown command"},
      {"execute", "[AddWatch(QUOTES,List_1_0,QQQQ)]", "table"},
  };
  auto conversation = Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const VConvHandle h = conversation->handle();
    const int sent = std::strcmp(c.what, "request") == 0  ? VConvRequest(h, c.text, "VB4")
                     : std::strcmp(c.what, "advise") == 0 ? VConvAdvise(h, c.text, "VB4")
                                                          : VConvExecute(h, c.text);
    ASSERT_EQ(sent, 1);
    Message refusal = conversation->Next();
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->Type, 6);
    ASSERT_NE(refusal->Text, nullptr);
    EXPECT_NE(std::string(refusal->Text).find(c.reason), std::string::npos) << refusal->Text;
  }
  ASSERT_EQ(VConvRequest(conversation->handle(), SymbolItem(kTosFields, "QQQQ").c_str(), "VB5"), 1);
  Message refusal = conversation->Next();
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->Type, 6);
  EXPECT_TRUE(conversation->RequestAndWait(SymbolItem(kTosFields, "QQQQ"))) << "the conversation goes on";
}

TEST_F(FeedTest, RefusingServerAnswersType1UntilItAcceptsAgain) {
  EXPECT_EQ(feed_.Control("refuse"), "ok refusing new conversations");
  {
    Conversation refused(feed_.Address());
    ASSERT_TRUE(refused.connected());
    Message first = refused.Next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Type, 1);
    EXPECT_EQ(first->Text, nullptr);
  }
  EXPECT_EQ(feed_.Control("accept"), "ok accepting new conversations");
  Connect();
}

TEST_F(FeedTest, TerminateSendsOneType8) {
  auto conversation = Connect();
  EXPECT_EQ(feed_.Control("terminate"), "ok terminated 1");
  Message message = conversation->Next();
  ASSERT_TRUE(message);
  EXPECT_EQ(message->Type, 8);
  EXPECT_FALSE(conversation->Next(500ms)) << "nothing follows the termination";
  EXPECT_EQ(VConvRequest(conversation->handle(), SymbolItem(kTosFields, "QQQQ").c_str(), "VB4"), 0)
      << "the connection is closed after a termination";
}

TEST_F(FeedTest, DroppedConnectionGivesType8) {
  auto conversation = Connect();
  EXPECT_EQ(feed_.Control("drop"), "ok dropped 1");
  Message message = conversation->Next();
  ASSERT_TRUE(message);
  EXPECT_EQ(message->Type, 8);
}

TEST_F(FeedTest, KilledServerGivesType8AndConnectWorksAgainOnceItIsBack) {
  auto conversation = Connect();
  const std::string address = feed_.Address();
  feed_.Kill();
  Message message = conversation->Next();
  ASSERT_TRUE(message);
  EXPECT_EQ(message->Type, 8);

  VConvHandle handle = 77;
  EXPECT_EQ(VConvConnect(address.c_str(), "MD_SRV", "LIVEQUOTE", &handle), 0);
  EXPECT_EQ(VConvFree(handle), 0) << "a failed connect leaves no handle to free";

  FeedProcess again({"--symbols", "20", "--time", "10:00"}, address);
  Conversation back(address);
  ASSERT_TRUE(back.connected());
  Message first = back.Next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Type, 0);
}

TEST_F(FeedTest, PauseFreezesTheMarketUntilResumeAndSigtermStopsCleanly) {
  auto conversation = Connect();
  const std::string time_item = "LIVEQUOTE;1003,1006,1018;1003='$TIME'";
  ASSERT_EQ(VConvAdvise(conversation->handle(), time_item.c_str(), "VB4"), 1);
  EXPECT_FALSE(CollectUpdates(*conversation, 700ms).empty()) << "$TIME prints every ten market seconds";

  EXPECT_EQ(feed_.Control("pause"), "ok paused");
  ASSERT_TRUE(conversation->RequestAndWait(SymbolItem(kFundamentalFields, "QQQQ")));
  EXPECT_TRUE(CollectUpdates(*conversation, 700ms).empty());
  EXPECT_EQ(feed_.Control("resume"), "ok resumed");
  EXPECT_FALSE(CollectUpdates(*conversation, 700ms).empty());
  EXPECT_EQ(feed_.Control("jump"), "error unknown command 'jump' (try help)");
  EXPECT_EQ(feed_.Terminate(), 0);
}

TEST(FeedStartTest, LiveRecordingIsAReplayableTape) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("tarnwell-live-" + std::to_string(getpid()) + ".tape"))
          .string();
  {
    FeedProcess feed(
        {"--symbols", "20", "--date", "2026-12-09", "--time", "10:00", "--speed", "60", "--record", path});
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(feed.Terminate(), 0);
  }
  std::ifstream in(path);
  std::string line, last;
  size_t snapshot = 0, later = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    (line.starts_with("2026-12-09 10:00:00.000") ? snapshot : later) += 1;
    last = line;
  }
  EXPECT_GE(snapshot, 20u) << "the recording opens with the picture at its start";
  EXPECT_GT(later, 0u);
  EXPECT_GT(last.substr(0, 23), "2026-12-09 10:00:10.000");
  EXPECT_NO_THROW(FeedProcess({"--tape", path, "--speed", "0"})) << "the feed replays its own recording";
  std::filesystem::remove(path);
}

TEST(FeedStartTest, ConnectFailsWhenNoServerListens) {
  VConvInitialize();
  // A port that was free a moment ago: bind, read it, close.
  FeedProcess probe({"--symbols", "20", "--time", "10:00"});
  const std::string address = probe.Address();
  probe.Terminate();
  VConvHandle handle = 0;
  EXPECT_EQ(VConvConnect(address.c_str(), "MD_SRV", "LIVEQUOTE", &handle), 0);
  EXPECT_EQ(VConvConnect("no-port-here", "MD_SRV", "LIVEQUOTE", &handle), 0);
}

TEST(FeedStartTest, QuotesMachineMeansTheServerNamedInTheEnvironment) {
  FeedProcess feed({"--symbols", "20", "--time", "10:00"});
  setenv("VCONV_SERVER", feed.Address().c_str(), 1);
  Conversation conversation("&QUOTES&");
  unsetenv("VCONV_SERVER");
  ASSERT_TRUE(conversation.connected());
  Message first = conversation.Next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Type, 0);
}

}  // namespace
}  // namespace tarnwell::vendor::testing
