// Tapes: replay through the real feed, recording determinism, and the errors a broken tape must produce.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FeedProcess.h"

namespace tarnwell::vendor::testing {
namespace {

using namespace std::chrono_literals;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwell-tape-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int32_t RawPrice(const std::vector<uint8_t>& field) {
  int32_t raw;
  std::memcpy(&raw, field.data() + 8, 4);
  return raw;
}

// What a test expects of one delivered record: its symbol and its field numbers in order.
struct Expected {
  std::string symbol;
  std::vector<uint16_t> numbers;
};

void ExpectRecords(const std::vector<Record>& records, const std::vector<Expected>& expected) {
  ASSERT_EQ(records.size(), expected.size());
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    EXPECT_EQ(records[i].Symbol(), expected[i].symbol);
    std::vector<uint16_t> numbers;
    for (size_t f = 1; f < records[i].fields.size(); ++f) numbers.push_back(records[i].Number(f));
    EXPECT_EQ(numbers, expected[i].numbers);
  }
}

TEST(TapeTest, ReplayAtSpeedZeroDeliversExactlyTheTapeInOrder) {
  TempDir dir;
  const std::string tape = dir.File("small.tape");
  WriteFile(tape,
            "# a hand-made tape\n"
            "2026-12-09 09:30:00.000,LIVEQUOTE,ABC,1006=10.50;1178=100;1018=09:30:00;1016=2026-12-09;1044=N\n"
            "2026-12-09 09:30:00.500,LIVEQUOTE,XYZ,1022=20.01;1025=20.03;1030=500\n"
            "2026-12-09 09:30:01.000,REGIONAL,ABC,6074=N;6053=10.49;6057=10.52\n"
            "2026-12-09 09:30:01.000,LIVEQUOTE,ABC,6002=\"Comma, Inc \"\"A\"\"\";1012=\n"
            "\n"
            "2026-12-09 09:30:02.000,LIVEQUOTE,QRS,1006=5.25\n"
            "2026-12-09 09:30:03.250,LIVEQUOTE,XYZ,1006=20.02;1178=300\n");
  FeedProcess feed({"--tape", tape, "--speed", "0", "--paused"});
  Conversation conversation(feed.Address());
  ASSERT_TRUE(conversation.connected());
  ASSERT_EQ(conversation.Next()->Type, 0);
  const std::string quotes =
      "LIVEQUOTE;1003,1006,1178,1018,1016,1044,1022,1025,1030,6002,1012;9034='List_9_0'";
  const std::string regional = "REGIONAL;1003,6053,6057;6074='N',9034='List_9_1'";
  ASSERT_EQ(VConvAdvise(conversation.handle(), quotes.c_str(), "VB4"), 1);
  ASSERT_EQ(VConvAdvise(conversation.handle(), regional.c_str(), "VB4"), 1);
  for (const char* command : {"[AddWatch(LIVEQUOTE,List_9_0,ABC)]", "[AddWatch(LIVEQUOTE,List_9_0,XYZ)]",
                              "[AddWatch(REGIONAL,List_9_1,ABC)]"}) {
    ASSERT_EQ(VConvExecute(conversation.handle(), command), 1);
  }
  ASSERT_TRUE(conversation.RequestAndWait("LIVEQUOTE;1003,1006;1003='ABC'"));
  EXPECT_EQ(feed.Control("resume"), "ok resumed");

  std::vector<Record> quote_records, regional_records;
  while (quote_records.size() + regional_records.size() < 5) {
    Message message = conversation.Next(10000ms);
    ASSERT_TRUE(message) << "the tape's records did not all arrive";
    ASSERT_EQ(message->Type, 7);
    auto& into = std::string(message->Text) == quotes ? quote_records : regional_records;
    for (Record& record : ReadBlock(*message)) into.push_back(std::move(record));
  }
  ExpectRecords(quote_records, {{"ABC", {1006, 1178, 1018, 1016, 1044}},
                                {"XYZ", {1022, 1025, 1030}},
                                {"ABC", {6002, 1012}},
                                {"XYZ", {1006, 1178}}});
  ExpectRecords(regional_records, {{"ABC", {6053, 6057}}});
  EXPECT_EQ(RawPrice(quote_records[0].fields[1]), 1050);
  EXPECT_STREQ(reinterpret_cast<const char*>(quote_records[2].fields[1].data() + 8), "Comma, Inc \"A\"");
  EXPECT_EQ(quote_records[2].fields[2][0], 99) << "an empty value is a blank field";
  EXPECT_FALSE(conversation.Next(300ms)) << "nothing beyond the tape";

  Message reply = conversation.RequestAndWait("LIVEQUOTE;1003,1006;1003='XYZ'");
  ASSERT_TRUE(reply);
  EXPECT_EQ(RawPrice(ReadBlock(*reply)[0].fields[1]), 2002) << "the records hold the tape's last values";
}

// Lockstep: the updates at the first time are the opening picture that requests see; nothing plays before
// "until", and then those updates too are played; each update is a message of its own, announced by a time
// mark when its time is new; playback stops before the allowed time with a mark of that time, and ends with
// "end N".
TEST(TapeTest, LockstepPlaysOneUpdatePerMessageUpToTheAllowedTimeWithTimeMarks) {
  TempDir dir;
  const std::string tape = dir.File("steps.tape");
  WriteFile(tape,
            "2026-12-09 09:30:00.000,LIVEQUOTE,ABC,1006=10.50;1178=100\n"
            "2026-12-09 09:30:00.000,LIVEQUOTE,ABC,1006=10.51;1178=200\n"
            "2026-12-09 09:30:00.500,LIVEQUOTE,XYZ,1022=20.01\n"
            "2026-12-09 09:30:02.000,LIVEQUOTE,ABC,1006=10.52\n");
  FeedProcess feed({"--tape", tape, "--lockstep"});
  Conversation conversation(feed.Address());
  ASSERT_TRUE(conversation.connected());
  ASSERT_EQ(conversation.Next()->Type, 0);
  const std::string quotes = "LIVEQUOTE;1003,1006,1178,1022;9034='List_1_0'";
  ASSERT_EQ(VConvAdvise(conversation.handle(), quotes.c_str(), "VB4"), 1);
  for (const char* command : {"[AddWatch(LIVEQUOTE,List_1_0,ABC)]", "[AddWatch(LIVEQUOTE,List_1_0,XYZ)]"}) {
    ASSERT_EQ(VConvExecute(conversation.handle(), command), 1);
  }
  Message opening = conversation.RequestAndWait("LIVEQUOTE;1003,1006;1003='ABC'");
  ASSERT_TRUE(opening);
  EXPECT_EQ(RawPrice(ReadBlock(*opening)[0].fields[1]), 1051) << "requests see the updates at the first time";
  EXPECT_FALSE(conversation.Next(200ms)) << "nothing plays before the first 'until'";

  // Each message as "mark <text>" or "<symbol> <fields in the record>".
  auto take = [&](size_t count) {
    std::vector<std::string> seen;
    while (seen.size() < count) {
      Message message = conversation.Next(5000ms);
      if (!message) break;
      if (message->Type == 9) {
        seen.push_back(std::string("mark ") + message->Text);
        continue;
      }
      EXPECT_EQ(message->Type, 7);
      const std::vector<Record> records = ReadBlock(*message);
      EXPECT_EQ(records.size(), 1u) << "one update per message";
      for (const Record& record : records)
        seen.push_back(record.Symbol() + " " + std::to_string(record.fields.size() - 1));
    }
    return seen;
  };
  EXPECT_EQ(feed.Control("until 2026-12-09 09:30:01.000"), "ok until 2026-12-09 09:30:01.000");
  EXPECT_EQ(take(6), (std::vector<std::string>{"mark 2026-12-09 09:30:00.000 0", "ABC 2", "ABC 2",
                                               "mark 2026-12-09 09:30:00.500 2", "XYZ 1",
                                               "mark 2026-12-09 09:30:01.000 3"}));
  EXPECT_FALSE(conversation.Next(200ms)) << "the update at 09:30:02 waits";
  EXPECT_EQ(feed.Control("until 2026-12-09 09:30:00.000").substr(0, 5), "error") << "time never goes back";
  EXPECT_EQ(feed.Control("until end"), "ok until the end");
  EXPECT_EQ(take(3), (std::vector<std::string>{"mark 2026-12-09 09:30:02.000 3", "ABC 1", "mark end 4"}));
}

TEST(TapeTest, RecordingADayIsDeterministicForASeed) {
  TempDir dir;
  auto record = [&](const std::string& name, const std::string& seed) {
    const RunResult run = RunFeed({"--record", dir.File(name), "--speed", "0", "--symbols", "20", "--seed",
                                   seed, "--date", "2026-03-02"});
    EXPECT_EQ(run.status, 0) << run.output;
    return ReadFile(dir.File(name));
  };
  const std::string first = record("a.tape", "11");
  EXPECT_EQ(first, record("b.tape", "11"));
  EXPECT_NE(first, record("c.tape", "12"));

  // The day runs from 04:00 to 20:00 of the vendor's clock, in time order.
  std::istringstream lines(first);
  std::string line, previous;
  size_t count = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::string stamp = line.substr(0, 23);
    ASSERT_GE(stamp, "2026-03-02 04:00:00.000") << line;
    ASSERT_LE(stamp, "2026-03-02 20:00:00.000") << line;
    ASSERT_GE(stamp, previous) << line;
    previous = stamp;
    ++count;
  }
  EXPECT_GT(count, 10000u);
}

TEST(TapeTest, MalformedLineStopsTheFeedNamingFileLineAndField) {
  struct Case {
    const char* line;
    const char* names;  // must appear in the error
  };
  const Case cases[] = {
      {"2026-12-09 09:30:00.000,LIVEQUOTE,ABC,1006=ten", "1006 (TRDPRC_1)"},
      {"2026-12-09 09:30:00.000,LIVEQUOTE,ABC,1018=25:00:00", "1018 (TRDTIM_1)"},
      {"2026-12-09 09:30:00.000,LIVEQUOTE,ABC,4242=1", "field 4242"},
      {"2026-12-09 09:30,LIVEQUOTE,ABC,1006=1", "time"},
      {"2026-12-09 09:30:00.000,QUOTES,ABC,1006=1", "table"},
      {"2026-12-09 09:30:00.000,REGIONAL,ABC,6053=1", "6074"},
      {"2026-12-09 09:30:00.000,LIVEQUOTE,ABC,6002=\"open", "6002 (SYMBOL_DESC)"},
      {"2026-12-09 09:29:00.000,LIVEQUOTE,ABC,1006=1", "earlier"},
  };
  TempDir dir;
  const std::string tape = dir.File("broken.tape");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    WriteFile(tape,
              "# header\n2026-12-09 09:29:30.000,LIVEQUOTE,ABC,1006=1.00\n" + std::string(c.line) + "\n");
    const RunResult run = RunFeed({"--tape", tape, "--listen", "127.0.0.1:0"}, std::chrono::seconds(10));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find(tape + ":3:"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(c.names), std::string::npos) << run.output;
  }
}

}  // namespace
}  // namespace tarnwell::vendor::testing
