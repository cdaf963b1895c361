#include "marketdata/FileData.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FrameworkTestSupport.h"
#include "framework/Config.h"
#include "framework/DataNodeThread.h"
#include "framework/DebugLog.h"
#include "framework/Errors.h"
#include "framework/Event.h"
#include "framework/Timers.h"
#include "marketdata/FileWatch.h"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using testing::RunOnDataNodeThread;
using testing::WaitUntil;

constexpr auto kPatience = 5s;  // bound for anything the watch, timer or data node thread should do soon

std::vector<std::string> Split(std::string_view line) {
  return SplitCsvLine(line);
}

TEST(CsvLines, SplitByTheFileRules) {
  using Cells = std::vector<std::string>;
  struct Case {
    std::string line;
    Cells cells;
  } cases[] = {
      {"Symbol,Avg Daily Volume", {"Symbol", "Avg Daily Volume"}},
      {" ABC , 1500 ", {"ABC", "1500"}},
      {"a,,b", {"a", "", "b"}},
      {"a,b,", {"a", "b", ""}},
      {",a", {"", "a"}},
      {"", {}},
      {" ", {""}},
      {"a b,c", {"a b", "c"}},
      {"\t\ta,\tb\r", {"a", "b"}},
      {"a\tb", {"a", "b"}},  // a control character ends an unquoted cell
      {"ABC,\"92.73,46365,91.5,46360\",x", {"ABC", "92.73,46365,91.5,46360", "x"}},
      {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
      {"\"\",x", {"", "x"}},
      {"\" padded \",x", {"padded", "x"}},
      {"\"a,b\"c,d", {"a,b", "c", "d"}},
      {"\"open,to the end", {"open,to the end"}},
      {std::string("a\0b,c", 5), {"a", "b", "c"}},  // a stray NUL neither ends the line nor stalls
  };
  for (const Case& c : cases) EXPECT_EQ(Split(c.line), c.cells) << "line: \"" << c.line << "\"";
}

TEST(CsvLines, CellNumbers) {
  struct Case {
    std::string text;
    std::optional<double> number;
    std::optional<std::int32_t> integer;
  } cases[] = {
      {"1500", 1500, 1500},
      {"-7", -7, -7},
      {"+3", 3, 3},
      {"0.9027", 0.9027, std::nullopt},
      {"2e3", 2000, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"12abc", std::nullopt, std::nullopt},
      {"1,5", std::nullopt, std::nullopt},
      {"+-1", std::nullopt, std::nullopt},
      {"nan", std::nullopt, std::nullopt},
      {"inf", std::nullopt, std::nullopt},
      {"2147483648", 2147483648.0, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseCellDouble(c.text), c.number) << c.text;
    EXPECT_EQ(ParseCellInteger(c.text), c.integer) << c.text;
  }
}

// A temporary home folder per test, and a manual clock so that keep-alive minutes pass on demand. Every
// owner node is let go before the next test, which may use the same file names in another folder.
class FileData : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterFileDataValues(); }

  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwell-filedata-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home_ = pattern;
    ::setenv("TARNWELL_HOME", home_.c_str(), 1);
    clock::SetManual(EncodeDateTime(2031, 3, 3, 9, 0, 0));
    TDebugLog::Instance().TakePending();
  }

  /// The table saved and read again has the same columns, rows and cells.
  void ExpectSavedTableReadsBack(const TTwoDArray& table) {
    table.SaveToFile(PathOf("Saved.csv"));
    TTwoDArray again;
    again.LoadFromFile(PathOf("Saved.csv"));
    EXPECT_EQ(again.Columns(), table.Columns());
    EXPECT_EQ(again.Rows(), table.Rows());
    for (const std::string& column : table.Columns()) {
      for (const std::string& row : table.Rows()) EXPECT_EQ(again.GetCell(column, row), table.GetCell(column, row));
    }
  }

  void TearDown() override {
    TDataNodeThread::Instance().Flush();  // links released by the test free their nodes
    for (int i = 0; i < 4 && TFileOwnerDataNode::LiveCount() > 0; ++i) PassMinute();
    EXPECT_EQ(TFileOwnerDataNode::LiveCount(), 0) << "an owner node outlived its keep-alive";
    clock::UseSystem();
    ::unsetenv("TARNWELL_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }

  std::string PathOf(const std::string& name) const { return home_ + "/" + name; }

  void Write(const std::string& name, const std::string& text) const {
    std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good());
  }

  // A minute of the keep-alive: the clock moves on and what fell due has run.
  static void PassMinute() {
    clock::Advance(61 * kOneSecond);
    Settle();
  }

  // The timer thread has fired what is due (a one-shot due now fires after everything due earlier), and
  // the jobs that queued have run.
  static void Settle() {
    auto fired = std::make_shared<TEvent>(true);
    OneShot(0, TCallback::Function([fired] { fired->Set(); }));
    ASSERT_TRUE(fired->WaitFor(kPatience)) << "the timer thread did not fire a due event";
    TDataNodeThread::Instance().Flush();
  }

  // A named value of a symbol, held by the test, counting its notifications.
  struct THeldValue {
    TGenericDataNode* node = nullptr;
    TOwnedLink link;
    std::shared_ptr<std::atomic<int>> notified = std::make_shared<std::atomic<int>>(0);

    bool Valid() const {
      return RunOnDataNodeThread([n = node] { return n->IsValid(); });
    }
    std::int32_t Integer() const {
      return RunOnDataNodeThread([n = node] { return n->GetInteger(); });
    }
    double Double() const {
      return RunOnDataNodeThread([n = node] { return n->GetDouble(); });
    }
    std::string String() const {
      return RunOnDataNodeThread([n = node] { return n->GetString(); });
    }
  };

  static THeldValue Hold(const std::string& name, const std::string& symbol) {
    THeldValue value;
    TFactoryRef factory = FindFactory(name)->Clone();
    factory->SetParam(kSymbolName, symbol);
    auto [node, link] = factory->GetNode(TCallback::Function([n = value.notified] { ++*n; }));
    value.node = node;
    value.link.Reset(link);
    link->SetReceiveInput(true);
    return value;
  }

  static bool Logged(const std::vector<std::string>& lines, const std::string& part1,
                     const std::string& part2) {
    for (const std::string& line : lines) {
      if (line.find(part1) != std::string::npos && line.find(part2) != std::string::npos) return true;
    }
    return false;
  }

  std::string home_;
};

TEST_F(FileData, TableKeepsFileOrderDuplicatesAndExactKeys) {
  // A byte-order mark, CR LF and a lone CR, a blank line, a quoted cell with commas, a repeated row key.
  Write("TC.csv",
        "\xEF\xBB\xBFSymbol,Up Days,Highs\r\n"
        "ABC,3,\"92.73,46365,91.5,46360\"\r\n"
        "\r\n"
        "XYZ,4\r"
        "ABC,5,\n");
  TTwoDArray table;
  table.LoadFromFile(PathOf("TC.csv"));
  EXPECT_EQ(table.Columns(), (std::vector<std::string>{"Symbol", "Up Days", "Highs"}));
  EXPECT_EQ(table.Rows(), (std::vector<std::string>{"ABC", "XYZ", "ABC"}));
  EXPECT_EQ(table.GetCell("Up Days", "ABC"), "5");                     // the later row wins
  EXPECT_EQ(table.GetCell("Highs", "ABC"), "92.73,46365,91.5,46360");  // an empty cell replaces nothing
  EXPECT_EQ(table.GetCell("Highs", "XYZ"), "");
  EXPECT_EQ(table.GetCell("up days", "ABC"), "");
  EXPECT_EQ(table.GetCell("Up Days", "abc"), "");
  EXPECT_TRUE(table.HasRow("XYZ"));
  EXPECT_FALSE(table.HasRow("xyz"));

  // Names and keys holding commas must not meet in the cell container.
  table.SetCell("a,b", "c", "first");
  table.SetCell("a", "b,c", "second");
  EXPECT_EQ(table.GetCell("a,b", "c"), "first");
  EXPECT_EQ(table.GetCell("a", "b,c"), "second");
  EXPECT_EQ(table.GetCell("a", "b"), "");

  // What the debug tools save reads back the same, quoted cells included.
  ExpectSavedTableReadsBack(table);

  table.Clear();
  EXPECT_EQ(table.Columns(), std::vector<std::string>{""});
  EXPECT_TRUE(table.Rows().empty());
  EXPECT_EQ(table.GetCell("Up Days", "ABC"), "");
}

TEST_F(FileData, SavedTablesReadBackTheSame) {
  struct Case {
    const char* what;
    const char* file;
  };
  const Case cases[] = {
      // The row's line holds nothing but the key, which must not come out blank.
      {"one column and an empty key", "Date\r\n2026-01-01\r\n\"\"\r\n"},
      // Only a mark at the very start of a file is dropped; a name that merely begins with one stays.
      {"a first name beginning with a byte-order mark", "\x01\xEF\xBB\xBFName,Vol\r\nABC,5\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write("In.csv", c.file);
    TTwoDArray table;
    table.LoadFromFile(PathOf("In.csv"));
    ExpectSavedTableReadsBack(table);
  }
}

TEST_F(FileData, NamedValuesReadTheirCells) {
  Write("OvernightData.csv",
        "Symbol,Volume Break,Avg Daily Volume,Tick Volatility,Correlation Symbol,Correlation M,"
        "F Correlation M,Bright Volatility,Shares per Print\n"
        "ABC,34000,1500,0.9027,QQQQ,0.8,0.75,0.177,10433.7\n"
        " SPC , 1200 , 1500 , 2 \n"
        "GAP,,,2\n"
        "ODD,12.5,lots,x,\"Comma, Inc\"\n");
  Write("TC_OvernightData.csv",
        "Symbol,Up Days,Range Contraction,200 Day SMA,50 Day SMA,20 Day SMA,Highs\n"
        "ABC,2,-1,79.4711,85.597,88.9554,\"92.73,46365\"\n");
  enum Type { kInteger, kDouble };
  struct Case {
    const char* name;
    Type type;
    const char* symbol;
    bool valid;
    double value;
  } cases[] = {
      {"VolumeBreak", kInteger, "ABC", true, 34000},
      {"ADVol", kInteger, "ABC", true, 1500},
      {"TickVolatility", kDouble, "ABC", true, 0.9027},
      {"CorrelationM", kDouble, "ABC", true, 0.8},
      {"FCorrelationM", kDouble, "ABC", true, 0.75},
      {"BrightVolatility", kDouble, "ABC", true, 0.177},
      {"SharesPerPrint", kDouble, "ABC", true, 10433.7},
      {"UpDays", kInteger, "ABC", true, 2},
      {"RangeContraction", kInteger, "ABC", true, -1},
      {"SMA200", kDouble, "ABC", true, 79.4711},
      {"SMA50", kDouble, "ABC", true, 85.597},
      {"SMA20", kDouble, "ABC", true, 88.9554},
      {"ADVol", kInteger, "SPC", true, 1500},  // spaces around the cells
      {"ADVol", kInteger, "GAP", false, 0},
      {"TickVolatility", kDouble, "GAP", true, 2},
      {"VolumeBreak", kInteger, "ODD", false, 0},  // 12.5 is no integer
      {"ADVol", kInteger, "ODD", false, 0},
      {"TickVolatility", kDouble, "ODD", false, 0},
      {"UpDays", kInteger, "SPC", false, 0},  // no row in that file
      {"ADVol", kInteger, "NONE", false, 0},
      {"ADVol", kInteger, "abc", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " of " + c.symbol);
    THeldValue value = Hold(c.name, c.symbol);
    ASSERT_EQ(value.Valid(), c.valid);
    if (!c.valid) continue;
    if (c.type == kInteger) {
      EXPECT_EQ(value.Integer(), static_cast<std::int32_t>(c.value));
    } else {
      EXPECT_DOUBLE_EQ(value.Double(), c.value);
    }
  }
  THeldValue correlation = Hold("CorrelationSymbol", "ABC");
  THeldValue comma = Hold("CorrelationSymbol", "ODD");
  THeldValue absent = Hold("CorrelationSymbol", "NONE");
  EXPECT_EQ(correlation.String(), "QQQQ");
  EXPECT_EQ(comma.String(), "Comma, Inc");
  EXPECT_TRUE(absent.Valid());
  EXPECT_EQ(absent.String(), "");

  EXPECT_EQ(VolumeBreakOf("ABC"), 34000);
  EXPECT_EQ(AverageDailyVolumeOf("SPC"), 1500);
  EXPECT_EQ(VolumeBreakOf("ODD"), 0);
  EXPECT_EQ(AverageDailyVolumeOf("NONE"), 0);
}

TEST_F(FileData, ValueNodesCheckTheirParameters) {
  auto factory = TGenericDataNodeFactory::Make<TDoubleFileDataNode>("OvernightData.csv", "Tick Volatility");
  try {
    factory->GetNode();
    FAIL() << "two parameters were accepted";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Expected params: (FileName, ColKey, RowKey)");
  }
}

TEST_F(FileData, MalformedFileIsAnEmptyTableAndTheLogSaysWhere) {
  // An extra empty cell is harmless; an extra cell with something in it spoils the whole file.
  Write("OvernightData.csv",
        "Symbol,Avg Daily Volume,Tick Volatility\n"
        "ABC,1500,2,\n"
        "XYZ,900,1,7\n"
        "DEF,800,3\n");
  THeldValue adv = Hold("ADVol", "ABC");
  THeldValue later = Hold("ADVol", "DEF");
  THeldValue name = Hold("CorrelationSymbol", "ABC");
  EXPECT_FALSE(adv.Valid());
  EXPECT_FALSE(later.Valid());
  EXPECT_TRUE(name.Valid());
  EXPECT_EQ(name.String(), "");
  EXPECT_EQ(AverageDailyVolumeOf("ABC"), 0);
  std::vector<std::string> log = TDebugLog::Instance().TakePending();
  EXPECT_TRUE(Logged(log, PathOf("OvernightData.csv") + " line 3", "\"7\"")) << ::testing::PrintToString(log);

  TTwoDArray table;
  EXPECT_THROW(table.LoadFromFile(PathOf("OvernightData.csv")), EFileDataError);
  EXPECT_EQ(table.Columns(), std::vector<std::string>{""});
  EXPECT_TRUE(table.Rows().empty());

  Write("Trailing.csv", "Symbol,Avg Daily Volume\nABC,1500,\nXYZ,900,,\n");
  table.LoadFromFile(PathOf("Trailing.csv"));
  EXPECT_EQ(table.GetCell("Avg Daily Volume", "XYZ"), "900");
}

TEST_F(FileData, MissingFileIsAnEmptyTable) {
  EXPECT_EQ(VolumeBreakOf("ABC"), 0);
  THeldValue adv = Hold("ADVol", "ABC");
  THeldValue name = Hold("CorrelationSymbol", "ABC");
  EXPECT_FALSE(adv.Valid());
  EXPECT_TRUE(name.Valid());
  EXPECT_EQ(name.String(), "");
  EXPECT_TRUE(Logged(TDebugLog::Instance().TakePending(), PathOf("OvernightData.csv"), "No such file"));

  // Written later, the file is picked up by the watch on its folder.
  Write("OvernightData.csv", "Symbol,Avg Daily Volume\nABC,1500\n");
  EXPECT_TRUE(WaitUntil([&] { return adv.Valid(); }, kPatience));
  EXPECT_EQ(adv.Integer(), 1500);

  // Without a folder to watch there is no watch thread, and the reason is logged.
  const std::string nowhere = PathOf("no-such-folder/OvernightData.csv");
  auto [owner, link] = TFileOwnerDataNode::Find(nowhere);
  TOwnedLink hold(link);
  EXPECT_EQ(owner->GetCell("Avg Daily Volume", "ABC"), "");
  auto [watch, watchLink] = TFileChangedDataNode::Find(nowhere);
  TOwnedLink holdWatch(watchLink);
  EXPECT_FALSE(watch->Watching());
  EXPECT_TRUE(Logged(TDebugLog::Instance().TakePending(), "cannot watch", nowhere));
}

TEST_F(FileData, RewritingTheFileUpdatesEveryValueNodeOfIt) {
  Write("OvernightData.csv", "Symbol,Avg Daily Volume,Tick Volatility\nABC,1500,0.25\nXYZ,900,0.5\n");
  THeldValue adv = Hold("ADVol", "ABC");
  THeldValue volatility = Hold("TickVolatility", "XYZ");
  ASSERT_EQ(adv.Integer(), 1500);
  // Other files of the folder do not reload this one.
  Write("TC_OvernightData.csv", "Symbol,Up Days\nABC,2\n");
  THeldValue upDays = Hold("UpDays", "ABC");
  Write("TC_OvernightData.csv", "Symbol,Up Days\nABC,3\n");
  ASSERT_TRUE(WaitUntil([&] { return upDays.Integer() == 3; }, kPatience));
  EXPECT_EQ(adv.notified->load(), 0);

  // In place, as an editor or a script does it.
  Write("OvernightData.csv", "Symbol,Avg Daily Volume,Tick Volatility\nABC,1600,0.25\nXYZ,900,0.75\n");
  ASSERT_TRUE(WaitUntil([&] { return adv.Integer() == 1600; }, kPatience));
  EXPECT_TRUE(WaitUntil([&] { return volatility.Double() == 0.75; }, kPatience));
  EXPECT_GE(adv.notified->load(), 1);
  EXPECT_GE(volatility.notified->load(), 1);

  // Replaced by a rename, as overnight jobs do; the cell goes away.
  Write("Overnight.tmp", "Symbol,Avg Daily Volume,Tick Volatility\nABC,,0.25\nXYZ,900,1.5\n");
  std::filesystem::rename(PathOf("Overnight.tmp"), PathOf("OvernightData.csv"));
  ASSERT_TRUE(WaitUntil([&] { return !adv.Valid(); }, kPatience));
  EXPECT_TRUE(WaitUntil([&] { return volatility.Double() == 1.5; }, kPatience));

  // Rewrites of equal length in quick succession, faster than the file system's clock ticks: the last
  // one must be what the nodes end up with.
  for (int i = 0; i < 20; ++i) {
    Write("OvernightData.csv", "Symbol,Avg Daily Volume,Tick Volatility\nABC," + std::to_string(1000 + i) +
                                   ",0.25\nXYZ,900,1.5\n");
  }
  EXPECT_TRUE(WaitUntil([&] { return adv.Valid() && adv.Integer() == 1019; }, kPatience));
}

TEST_F(FileData, LookupsWithinAMinuteReadTheFileOnce) {
  Write("OvernightData.csv", "Symbol,Avg Daily Volume\nABC,1500\n");
  EXPECT_EQ(AverageDailyVolumeOf("ABC"), 1500);
  Settle();  // the keep-alive's first tick, at once
  // Gone from disk, the file still answers from its table: a lookup in the next minute does not read it.
  std::filesystem::remove(PathOf("OvernightData.csv"));
  clock::Advance(30 * kOneSecond);
  EXPECT_EQ(AverageDailyVolumeOf("ABC"), 1500);
  PassMinute();
  EXPECT_EQ(TFileOwnerDataNode::LiveCount(), 1) << "let go within two minutes of its last use";
  PassMinute();
  EXPECT_EQ(TFileOwnerDataNode::LiveCount(), 0);
  EXPECT_EQ(AverageDailyVolumeOf("ABC"), 0);  // read again: the file is missing now
}

TEST_F(FileData, ALookupAfterTheKeepAliveLapsedKeepsTheTableAgain) {
  Write("OvernightData.csv", "Symbol,Avg Daily Volume\nABC,1500\n");
  THeldValue adv = Hold("ADVol", "ABC");
  PassMinute();
  PassMinute();  // the keep-alive has let go; the value node alone holds the table now
  std::filesystem::remove(PathOf("OvernightData.csv"));
  EXPECT_EQ(AverageDailyVolumeOf("ABC"), 1500);
  adv.link.Reset();
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(AverageDailyVolumeOf("ABC"), 1500) << "the file was read again right after a lookup";
}

// The overnight files the market-data stand-in writes for its universe: every overnight value of a few
// symbols is valid and equals the cell in the file. The feed program is named by TARNWELL_FEED_PATH at
// build time or by the environment variable of that name.
std::string FeedProgram() {
  if (const char* path = std::getenv("TARNWELL_FEED_PATH"); path && *path) return path;
#ifdef TARNWELL_FEED_PATH
  return TARNWELL_FEED_PATH;
#else
  return {};
#endif
}

std::map<std::string, std::vector<std::string>> PlainRows(const std::string& fileName, std::size_t cells) {
  std::map<std::string, std::vector<std::string>> rows;
  std::ifstream in(fileName);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; fields.size() < cells && std::getline(stream, field, ',');)
      fields.push_back(field);
    rows[fields.at(0)] = fields;
  }
  return rows;
}

TEST_F(FileData, FilesOfTheFeedGiveEveryOvernightValue) {
  const std::string feed = FeedProgram();
  if (feed.empty()) GTEST_SKIP() << "no feed program named";
  testing::CaptureOutput({feed, "--write-home", home_, "--symbols", "20", "--date", "2026-12-09"});
  ASSERT_TRUE(std::filesystem::exists(PathOf("OvernightData.csv")));
  auto overnight = PlainRows(PathOf("OvernightData.csv"), 9);
  auto tc = PlainRows(PathOf("TC_OvernightData.csv"), 6);  // the columns before the quoted ones
  ASSERT_GE(overnight.size(), 5u);
  const char* integers[] = {"VolumeBreak", "ADVol", "UpDays", "RangeContraction"};
  const char* doubles[] = {"TickVolatility", "CorrelationM", "FCorrelationM",    "SMA200",
                           "SMA50",          "SMA20",        "BrightVolatility", "SharesPerPrint"};
  int checked = 0;
  for (const auto& [symbol, cells] : overnight) {
    if (++checked > 5) break;
    SCOPED_TRACE(symbol);
    for (const char* name : integers) EXPECT_TRUE(Hold(name, symbol).Valid()) << name;
    for (const char* name : doubles) EXPECT_TRUE(Hold(name, symbol).Valid()) << name;
    EXPECT_EQ(Hold("VolumeBreak", symbol).Integer(), std::stoi(cells[1]));
    EXPECT_EQ(Hold("ADVol", symbol).Integer(), std::stoi(cells[2]));
    EXPECT_DOUBLE_EQ(Hold("TickVolatility", symbol).Double(), std::stod(cells[3]));
    EXPECT_EQ(Hold("CorrelationSymbol", symbol).String(), cells[4]);
    EXPECT_DOUBLE_EQ(Hold("SharesPerPrint", symbol).Double(), std::stod(cells[8]));
    EXPECT_EQ(Hold("UpDays", symbol).Integer(), std::stoi(tc.at(symbol)[1]));
    EXPECT_DOUBLE_EQ(Hold("SMA20", symbol).Double(), std::stod(tc.at(symbol)[5]));
    EXPECT_EQ(VolumeBreakOf(symbol), std::stoi(cells[1]));
    EXPECT_EQ(AverageDailyVolumeOf(symbol), std::stoi(cells[2]));
  }
}

}  // namespace
}  // namespace tarnwell
