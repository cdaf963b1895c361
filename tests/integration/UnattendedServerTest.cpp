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
#include "PrivateDatabase.h"
#include "TempDir.h"
#include "distribution/AlertCatalogue.h"
#include "distribution/AutoAlertMonitor.h"

namespace tarnwell::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::string> LogLines(const fs::path& home) {
  std::vector<std::string> lines;
  if (!fs::exists(home / "Logs")) return lines;
  for (const auto& entry : fs::directory_iterator(home / "Logs")) {
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

TEST(UnattendedServer, RunsAShortDayToItsOwnShutDownThroughAFeedRestart) {
  TTempDir home("tarnwell-unattended");
  fs::create_directories(home / "Logs");
  ASSERT_EQ(vendor::testing::RunFeed({"--symbols", "40", "--date", "2026-12-09", "--write-home", home.Path().string()})
                .status,
            0);
  // The day opens at 09:20 (300 minutes late) and closes at 10:00 (360 minutes early).
  std::ofstream(home / "Holidays.csv") << "Date,Closed,Name,Start Late,End Early\n12/9/2026,,Short day,300,360\n";
  TPrivateDatabase database(std::string(TARNWELL_DB_ROOT) + "/unattended");
  database.Query("TRUNCATE alerts");
  const std::string heartbeat = "Alert Server " + TAutoAlertMonitorLogic::ComputerName();
  database.Query("REPLACE INTO monitor_alive (name, last_update) VALUES ('" + heartbeat + "', NULL)");

  const std::vector<std::string> day = {"--clock", "2026-12-09 09:17", "--clock-rate", "120", "--clock-since",
                                        std::to_string(std::time(nullptr))};
  std::vector<std::string> feedArgs = {"--symbols", "40"};
  feedArgs.insert(feedArgs.end(), day.begin(), day.end());
  auto feed = std::make_unique<vendor::testing::FeedProcess>(feedArgs);
  const std::string address = feed->Address();
  std::ofstream(home / "Config.ini") << "[Vendor]\r\nAddress=" << address << "\r\n";

  // The options around the two arguments, as an operator may write them.
  std::vector<std::string> args = {day[0], day[1], "symbols.txt", database.Host() + ":" + database.Port()};
  args.insert(args.end(), day.begin() + 2, day.end());
  TChildProcess server(TARNWELL_PROGRAM, args,
                       {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""},
                         {"TARNWELL_HOME", home.Path().string()}, {"XDG_CONFIG_HOME", (home / "config").string()},
                         {"XDG_RUNTIME_DIR", home.Path().string()}},
                        home.Path().string(),
                        (home / "output.txt").string(),
                        {}});
  auto logged = [&](const std::string& text) {
    for (const std::string& line : LogLines(home.Path())) {
      if (line.find(text) != std::string::npos) return line;
    }
    return std::string();
  };
  ASSERT_TRUE(WaitUntil([&] { return !logged("Starting...").empty(); }, 60s)) << "never started; see " << (home / "Logs");
  // Log lines carry the program's clock: the start comes within a tick of the opening minute.
  EXPECT_TRUE(std::regex_search(logged("Starting..."), std::regex("^12/09/2026 09:20:[0-4]\\d:"))) << logged("Starting...");
  ASSERT_TRUE(WaitUntil([&] { return database.Number("SELECT COUNT(*) FROM alerts") > 20; }, 60s)) << "no rows";

  // The feed goes away and comes back on the same address and day; alerts go on after it.
  feed->Kill();
  std::this_thread::sleep_for(2s);
  feed = std::make_unique<vendor::testing::FeedProcess>(feedArgs, address);
  const long long beforeRestart = database.Number("SELECT MAX(id) FROM alerts");
  EXPECT_TRUE(WaitUntil([&] { return database.Number("SELECT COUNT(*) FROM alerts WHERE id > " + std::to_string(beforeRestart)) > 20; }, 60s))
      << "no alerts after the feed came back";

  const auto status = server.WaitForExit(120s);
  ASSERT_TRUE(status.has_value()) << "the server did not shut itself down at the close";
  EXPECT_EQ(*status, 0);
  EXPECT_FALSE(logged("Shutting down.").empty());

  // Every row the writer took is in the table, nothing was lost, and each group's types are there.
  std::smatch sent;
  const std::string summary = logged("All alert rows sent");
  ASSERT_TRUE(std::regex_search(summary, sent, std::regex(R"(\((\d+) sent, 0 lost\))"))) << summary;
  EXPECT_EQ(database.Number("SELECT COUNT(*) FROM alerts"), std::stoll(sent[1]));
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
