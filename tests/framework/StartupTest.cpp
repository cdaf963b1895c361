// Start-up pieces of the desktop program that need no display: Config.ini, the command line and the
// directory menus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "framework/Config.h"
#include "framework/DebugLog.h"
#include "framework/DirectoryMenu.h"
#include "framework/Clock.h"
#include "framework/StartArguments.h"

namespace tarnwell {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("tarnwell_startup_" + std::to_string(::getpid()) + "_" +
                                         std::to_string(counter_++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  std::string str() const { return path_.string(); }
  void Write(const std::string& name, const std::string& text) const { std::ofstream(path_ / name) << text; }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

TEST(Config, SectionBeatsCommonBeatsDefault) {
  TempDir dir;
  dir.Write("Config.ini",
            "; database settings\r\n"
            "[Common]\r\n"
            "Host = common-host\r\n"
            "User=alerts\r\n"
            "[RealTimeAlerts]\r\n"
            "host=\"section-host\"\r\n"
            "Host=ignored: the first occurrence wins\r\n"
            "this line is not a setting\r\n"
            "[Other]\n"
            "Port=3307\n");
  TDebugLog::Instance().TakePending();
  TConfigFile config;
  config.Load((dir / "Config.ini").string());
  struct Case {
    const char* section;
    const char* key;
    const char* fallback;
    const char* expected;
  } cases[] = {
      {"RealTimeAlerts", "Host", "default", "section-host"},  // section over common
      {"realtimealerts", "HOST", "default", "section-host"},  // names ignore case
      {"RealTimeAlerts", "User", "default", "alerts"},        // common over default
      {"RealTimeAlerts", "Port", "3306", "3306"},             // default when neither has it
      {"Other", "Port", "3306", "3307"},
      {"Missing", "Host", "x", "common-host"},
  };
  for (const Case& c : cases) EXPECT_EQ(config.Get(c.section, c.key, c.fallback), c.expected) << c.key;
  auto lines = TDebugLog::Instance().TakePending();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("Config.ini line 8: \"this line is not a setting\""), std::string::npos) << lines[0];

  TConfigFile none;
  none.Load((dir / "absent.ini").string());
  EXPECT_EQ(none.Get("RealTimeAlerts", "Host", "localhost"), "localhost");
}

TEST(Config, HomeFolderFollowsTheEnvironment) {
  ::setenv("TARNWELL_HOME", "/srv/tarnwell", 1);
  EXPECT_EQ(ProgramHome(), "/srv/tarnwell");
  ::unsetenv("TARNWELL_HOME");
  EXPECT_EQ(ProgramHome(), fs::read_symlink("/proc/self/exe").parent_path().string());
}

TEST(StartArguments, AnyArgumentStartsTheMonitorAndTheHostSplitsAtTheFirstColon) {
  struct Case {
    std::vector<std::string> args;
    bool unattended;
    const char* symbols;
    const char* host;
    const char* port;
  } cases[] = {
      {{"tarnwell"}, false, "", "", ""},
      {{"tarnwell", "symbols.txt"}, true, "symbols.txt", "", ""},
      {{"tarnwell", "symbols.txt", "db.example"}, true, "symbols.txt", "db.example", ""},
      {{"tarnwell", "symbols.txt", "db:3307"}, true, "symbols.txt", "db", "3307"},
      {{"tarnwell", "s.txt", "db:3307:extra"}, true, "s.txt", "db", "3307:extra"},
      {{"tarnwell", "s.txt", ":3307"}, true, "s.txt", "", "3307"},
  };
  for (const Case& c : cases) {
    TStartArguments a = ParseStartArguments(c.args);
    EXPECT_TRUE(a.error.empty()) << a.error;
    EXPECT_EQ(a.unattended, c.unattended);
    EXPECT_EQ(a.symbolFile, c.symbols);
    THostPort hp = SplitHostPort(a.databaseHost);
    EXPECT_EQ(hp.host, c.host);
    EXPECT_EQ(hp.port, c.port);
  }
  TStartArguments help = ParseStartArguments({"tarnwell", "--help"});
  EXPECT_TRUE(help.showHelp);
  EXPECT_NE(help.helpText.find("symbol"), std::string::npos);
  EXPECT_FALSE(ParseStartArguments({"tarnwell", "a", "b", "c"}).error.empty());
}

TEST(StartArguments, ASimulatedDayIsSetAroundTheArgumentsAndABadTimeIsRefused) {
  TStartArguments a = ParseStartArguments({"tarnwell", "--clock", "2026-12-10 06:25", "s.txt", "db:3307", "--clock-rate",
                                           "60", "--clock-since", "1796900000", "--report-as", "Shard 1"});
  EXPECT_TRUE(a.error.empty()) << a.error;
  EXPECT_TRUE(a.unattended);
  EXPECT_EQ(a.symbolFile, "s.txt");
  EXPECT_EQ(a.databaseHost, "db:3307");
  EXPECT_TRUE(a.simulatedClock);
  EXPECT_EQ(a.clockStart, EncodeDateTime(2026, 12, 10, 6, 25));
  EXPECT_EQ(a.clockRate, 60);
  EXPECT_EQ(a.clockSince, 1796900000);
  EXPECT_EQ(a.reportAs, "Shard 1");
  EXPECT_EQ(ParseStartArguments({"tarnwell", "--clock", "2026-12-10 06:25:30"}).clockStart,
            EncodeDateTime(2026, 12, 10, 6, 25, 30));
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"tarnwell", "--clock", "2026-02-30 10:00"},
           {"tarnwell", "--clock", "2026-12-10"},
           {"tarnwell", "--clock", "2026-12-10 24:00"},
           {"tarnwell", "--clock", "2026-12-10 10:00x"},
           {"tarnwell", "--clock", "2026-12-10 10:00", "--clock-rate", "0"},
           {"tarnwell", "--clock-rate", "60"},
       }) {
    EXPECT_FALSE(ParseStartArguments(bad).error.empty()) << bad[2];
  }
}

TEST(DirectoryMenu, TenShortcutsThenNoneAndRefreshRules) {
  TempDir dir;
  for (int i = 1; i <= 12; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "page%02d.PLy", i);
    dir.Write(name, "x");
  }
  dir.Write("window.PWn", "x");
  dir.Write(".hidden.PLy", "x");
  fs::create_directory(dir / "folder.PLy");

  auto pages = BuildDirectoryMenu(dir.str(), ".PLy", "Alt");
  ASSERT_EQ(pages.size(), 14u);  // 12 files, separator, Refresh
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(pages[i].kind, TMenuEntry::mkFile);
    char name[32];
    std::snprintf(name, sizeof name, "page%02d.PLy", i + 1);
    EXPECT_EQ(pages[i].caption, name);
    EXPECT_EQ(pages[i].path, (dir / name).string());
  }
  EXPECT_EQ(pages[0].shortcut, "Alt+1");
  EXPECT_EQ(pages[8].shortcut, "Alt+9");
  EXPECT_EQ(pages[9].shortcut, "Alt+0");
  EXPECT_EQ(pages[10].shortcut, "");
  EXPECT_EQ(pages[11].shortcut, "");
  EXPECT_EQ(pages[12].kind, TMenuEntry::mkSeparator);
  EXPECT_EQ(pages[13].caption, "Refresh");

  auto windows = BuildDirectoryMenu(dir.str(), ".PWn", "Ctrl+Alt");
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(windows[0].shortcut, "Ctrl+Alt+1");

  auto none = BuildDirectoryMenu("", ".PLy", "Alt");
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].caption, "None");
  EXPECT_FALSE(none[0].enabled);

  auto missing = BuildDirectoryMenu((dir / "nowhere").string(), ".PLy", "Alt");
  ASSERT_EQ(missing.size(), 3u);
  EXPECT_EQ(missing[0].caption, "None");
  EXPECT_EQ(missing[2].caption, "Refresh");
}

}  // namespace
}  // namespace tarnwell
