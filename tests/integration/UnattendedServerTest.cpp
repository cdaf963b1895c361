// The unattended alert server as it runs on a trading machine: no display, the stand-in feed, a private
// MariaDB server, and a simulated day that Holidays.csv makes short. It opens its three windows at the
// opening minute, writes alerts of each group's types, keeps its heartbeat row fresh, rides out a feed
// restart, and ends by itself at the closing minute once every waiting row is sent.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "FeedProcess.h"
#include "LogLines.h"
#include "PrivateDatabase.h"
#include "TempDir.h"
#include "distribution/AlertCatalogue.h"
#include "distribution/AutoAlertMonitor.h"

namespace tarnwell::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The sent count of a server's closing line "All alert rows sent: A added, N sent, 0 lost, ...", when it added
// A = N rows; else -1.
long long SentAtClose(const fs::path& folder) {
  for (const std::string& line : LogLines(folder)) {
    std::smatch sent;
    if (std::regex_search(line, sent, std::regex(R"(All alert rows sent: (\d+) added, (\d+) sent, 0 lost)")) &&
        sent[1] == sent[2]) {
      return std::stoll(sent[2]);
    }
  }
  return -1;
}

// A home with the synthetic market's overnight files, a day that Holidays.csv shortens to 09:20 (300 minutes
// late) to 10:00 (360 minutes early), a private database, and the feed on the simulated day from 09:10 at 60
// times real pace.
class UnattendedServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(vendor::testing::RunFeed({"--symbols", "40", "--date", "2026-12-09", "--write-home", home_.Path().string()})
                  .status,
              0);
    std::ofstream(home_ / "Holidays.csv") << "Date,Closed,Name,Start Late,End Early\n12/9/2026,,Short day,300,360\n";
    // A server of its own per test: ctest runs tests side by side.
    database_ = std::make_unique<TPrivateDatabase>(std::string(TARNWELL_DB_ROOT) + "/unattended-" +
                                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    database_->Query("TRUNCATE alerts");
    database_->Query("DELETE FROM monitor_alive");
    // The simulated day begins now, once the slow parts of the set-up are done; at 60 times real pace a
    // server is up well before the opening minute.
    day_ = {"--clock", "2026-12-09 09:10", "--clock-rate", "60", "--clock-since", std::to_string(std::time(nullptr))};
    feedArgs_.insert(feedArgs_.end(), day_.begin(), day_.end());
    feed_ = std::make_unique<vendor::testing::FeedProcess>(feedArgs_);
    std::ofstream(home_ / "Config.ini") << "[Vendor]\r\nAddress=" << feed_->Address() << "\r\n";
  }

  /// A server in its own working folder (its Logs/ there) with the symbol file and the extra arguments.
  std::unique_ptr<TChildProcess> StartServer(const fs::path& folder, const std::string& symbolFile,
                                             const std::vector<std::string>& extra = {}) {
    fs::create_directories(folder / "Logs");
    // The options around the two arguments, as an operator may write them.
    std::vector<std::string> args = {day_[0], day_[1], symbolFile, database_->Host() + ":" + database_->Port()};
    args.insert(args.end(), day_.begin() + 2, day_.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<TChildProcess>(
        TARNWELL_PROGRAM, args,
        TChildProcess::TOptions{{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""},
                                 {"TARNWELL_HOME", home_.Path().string()}, {"XDG_CONFIG_HOME", (folder / "config").string()},
                                 {"XDG_RUNTIME_DIR", folder.string()}},
                                folder.string(),
                                (folder / "output.txt").string(),
                                {}});
  }

  TTempDir home_{"tarnwell-unattended"};
  std::unique_ptr<TPrivateDatabase> database_;
  std::vector<std::string> day_;
  std::vector<std::string> feedArgs_ = {"--symbols", "40"};
  std::unique_ptr<vendor::testing::FeedProcess> feed_;
};

TEST_F(UnattendedServer, RunsAShortDayToItsOwnShutDownThroughAFeedRestart) {
  TPrivateDatabase& database = *database_;
  const std::string heartbeat = "Alert Server " + TAutoAlertMonitorLogic::ComputerName();
  database.Query("INSERT INTO monitor_alive (name) VALUES ('" + heartbeat + "')");
  auto& feed = feed_;
  const std::string address = feed->Address();
  const fs::path folder = home_.Path();
  std::unique_ptr<TChildProcess> started = StartServer(folder, "symbols.txt");
  TChildProcess& server = *started;
  auto logged = [&](const std::string& text) {
    for (const std::string& line : LogLines(folder)) {
      if (line.find(text) != std::string::npos) return line;
    }
    return std::string();
  };
  ASSERT_TRUE(WaitUntil([&] { return !logged("Starting...").empty(); }, 60s)) << "never started; see " << (folder / "Logs");
  // Log lines carry the program's clock: the start comes within a tick of the opening minute.
  EXPECT_TRUE(std::regex_search(logged("Starting..."), std::regex("^12/09/2026 09:20:[0-4]\\d:"))) << logged("Starting...");
  ASSERT_TRUE(WaitUntil([&] { return database.Number("SELECT COUNT(*) FROM alerts") > 20; }, 60s)) << "no rows";

  // The feed goes away and comes back on the same address and day; alerts go on after it.
  feed->Kill();
  std::this_thread::sleep_for(2s);
  feed = std::make_unique<vendor::testing::FeedProcess>(feedArgs_, address);
  const long long beforeRestart = database.Number("SELECT MAX(id) FROM alerts");
  EXPECT_TRUE(WaitUntil([&] { return database.Number("SELECT COUNT(*) FROM alerts WHERE id > " + std::to_string(beforeRestart)) > 20; }, 60s))
      << "no alerts after the feed came back";

  const auto status = server.WaitForExit(120s);
  ASSERT_TRUE(status.has_value()) << "the server did not shut itself down at the close";
  EXPECT_EQ(*status, 0);
  EXPECT_FALSE(logged("Shutting down.").empty());

  // Every row the writer took is in the table, nothing was lost, and each group's types are there.
  const long long sent = SentAtClose(folder);
  ASSERT_GE(sent, 0) << "no closing summary in " << (folder / "Logs");
  EXPECT_EQ(database.Number("SELECT COUNT(*) FROM alerts"), sent);
  std::map<std::string, TAlertGroup> groupOf;
  for (const TAlertTypeRow& row : AlertTypeRows()) groupOf[row.ShortName] = row.Group;
  std::set<int> groups;
  std::istringstream types(database.Query("SELECT DISTINCT alert_type FROM alerts"));
  for (std::string type; std::getline(types, type);) {
    ASSERT_EQ(groupOf.count(type), 1u) << "an alert type that no automatic window runs: " << type;
    groups.insert(groupOf[type]);
  }
  EXPECT_EQ(groups, (std::set<int>{agVolumeConfirmed, agLowVolume, agMisc}));
  EXPECT_EQ(database.Number("SELECT COUNT(*) FROM monitor_alive WHERE last_update IS NOT NULL AND name = '" +
                            heartbeat + "'"),
            1);
}

}  // namespace
}  // namespace tarnwell::testing

namespace tarnwell::testing {
namespace {

// Three servers with disjoint symbol files and their own heartbeat names write to one database: each ends by
// itself, every row each one sent is in the table once, each one's symbols are there, and each heartbeat row
// is fresh.
TEST_F(UnattendedServer, ThreeServersWithDisjointSymbolFilesShareOneDatabase) {
  std::vector<std::string> symbols;
  std::ifstream in(home_ / "symbols.txt");
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '$') symbols.push_back(line);
  }
  std::vector<std::unique_ptr<TChildProcess>> servers;
  std::vector<std::vector<std::string>> shards(3);
  for (std::size_t i = 0; i < symbols.size(); ++i) shards[i % 3].push_back(symbols[i]);
  for (int i = 0; i < 3; ++i) {
    const std::string name = "Shard " + std::to_string(i);
    std::ofstream file(home_ / ("shard-" + std::to_string(i) + ".txt"));
    for (const std::string& symbol : shards[i]) file << symbol << "\n";
    file.close();
    database_->Query("INSERT INTO monitor_alive (name) VALUES ('" + name + "')");
    servers.push_back(StartServer(home_ / name, "shard-" + std::to_string(i) + ".txt", {"--report-as", name}));
  }
  long long sent = 0;
  for (int i = 0; i < 3; ++i) {
    const auto status = servers[i]->WaitForExit(150s);
    ASSERT_TRUE(status.has_value()) << "server " << i << " did not shut itself down";
    EXPECT_EQ(*status, 0);
    const long long own = SentAtClose(home_ / ("Shard " + std::to_string(i)));
    ASSERT_GE(own, 0) << "no closing summary of server " << i;
    sent += own;
  }
  EXPECT_EQ(database_->Number("SELECT COUNT(*) FROM alerts"), sent);
  for (int i = 0; i < 3; ++i) {
    std::string list;
    for (const std::string& symbol : shards[i]) list += (list.empty() ? "'" : ",'") + symbol + "'";
    EXPECT_GT(database_->Number("SELECT COUNT(*) FROM alerts WHERE symbol IN (" + list + ")"), 0) << "shard " << i;
    EXPECT_EQ(database_->Number("SELECT COUNT(*) FROM monitor_alive WHERE last_update IS NOT NULL AND name = 'Shard " +
                                std::to_string(i) + "'"),
              1);
  }
  std::printf("three servers on one database: %lld rows of %zu symbols\n", sent, symbols.size());
}

}  // namespace
}  // namespace tarnwell::testing
