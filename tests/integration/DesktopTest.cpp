// The desktop program in a real window: tarnwell under Xvfb with a home, settings folder and working folder
// of its own, looked at with the X tools a person would use.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <regex>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "FeedProcess.h"
#include "LogLines.h"
#include "PrivateDatabase.h"
#include "XClose.h"
#include "distribution/AlertCatalogue.h"
#include "persistence/AlertWindowFactory.h"
#include "persistence/Factories.h"

namespace tarnwell::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A private X server on a display number it chooses itself.
class TXServer {
 public:
  TXServer() {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    process_ = std::make_unique<TChildProcess>(
        FindProgram("Xvfb"),
        std::vector<std::string>{"-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten",
                                 "tcp", "-noreset"},
        TChildProcess::TOptions{{}, {}, {}, {fds[1]}});
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 20000) > 0) {
      char c;
      if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
      number.push_back(c);
    }
    ::close(fds[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not report a display");
    display_ = ":" + number;
  }
  const std::string& Display() const { return display_; }

 private:
  std::unique_ptr<TChildProcess> process_;
  std::string display_;
};

// A window's factory with its place and size.
template <class T>
T* Placed(T* form, int left, int top, int width, int height) {
  form->Left = left;
  form->Top = top;
  form->Width = width;
  form->Height = height;
  return form;
}

// A viewer window of a page.
TDockableListenerFormFactory* Viewer(TLayout& page, int left, int top, int width, int height, const std::string& group,
                                     const std::string& name = "") {
  auto* viewer = Placed(new TDockableListenerFormFactory(&page), left, top, width, height);
  viewer->Group = group;
  viewer->WindowName = name;
  return viewer;
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "import"}) {
      ASSERT_FALSE(FindProgram(tool).empty()) << tool << " is missing: the test command installs it";
    }
    dir_ = fs::temp_directory_path() / ("tarnwell_desktop_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "Logs");
    fs::create_directories(dir_ / "config");
    x_ = std::make_unique<TXServer>();
  }
  void TearDown() override {
    program_.reset();
    x_.reset();
    if (HasFailure()) {
      std::cerr << "kept for a look: " << dir_ << "\n";  // the program's output and log
    } else {
      fs::remove_all(dir_);
    }
  }

  void Start(const std::vector<std::string>& args) {
    program_ = std::make_unique<TChildProcess>(
        TARNWELL_PROGRAM, args,
        TChildProcess::TOptions{{{"DISPLAY", x_->Display()},
                                 {"QT_QPA_PLATFORM", "xcb"},
                                 {"TARNWELL_HOME", dir_.string()},
                                 {"XDG_CONFIG_HOME", (dir_ / "config").string()},
                                 {"XDG_RUNTIME_DIR", dir_.string()}},
                                dir_.string(),
                                (dir_ / "output.txt").string(),
                                {}});
  }

  std::map<std::string, std::string> XEnvironment() const { return {{"DISPLAY", x_->Display()}}; }

  /// The id of the window with exactly this caption, waiting up to 20 s; 0 when it never came.
  unsigned long FindWindow(const std::string& caption, std::chrono::milliseconds timeout = 20s) {
    unsigned long id = 0;
    WaitUntil(
        [&] {
          std::istringstream found(
              CaptureOutput({"xdotool", "search", "--onlyvisible", "--name", "^" + caption + "$"}, XEnvironment()));
          return static_cast<bool>(found >> id);
        },
        timeout);
    return id;
  }

  /// Every visible window with exactly this caption.
  std::vector<unsigned long> Windows(const std::string& caption) {
    std::istringstream found(
        CaptureOutput({"xdotool", "search", "--onlyvisible", "--name", "^" + caption + "$"}, XEnvironment()));
    std::vector<unsigned long> ids;
    for (unsigned long id; found >> id;) ids.push_back(id);
    return ids;
  }

  /// "left,top widthxheight" of a window on the screen.
  std::string Place(unsigned long window) {
    const std::string info = CaptureOutput({"xwininfo", "-id", std::to_string(window)}, XEnvironment());
    auto field = [&](const std::string& name) {
      std::smatch m;
      return std::regex_search(info, m, std::regex(name + ":\\s+(-?\\d+)")) ? m[1].str() : std::string("?");
    };
    return field("Absolute upper-left X") + "," + field("Absolute upper-left Y") + " " + field("Width") + "x" +
           field("Height");
  }

  /// The user's settings: the page loaded at start and the page written at close.
  void WriteSettings(const std::string& initialPage, const std::string& autosavePage) {
    fs::create_directories(dir_ / "config" / "Tarnwell");
    std::ofstream(dir_ / "config" / "Tarnwell" / "Tarnwell.conf")
        << "[Files]\nInitial%20Layout=" << initialPage << "\nFinal%20Layout=" << autosavePage << "\n";
  }

  bool IsViewable(unsigned long window) {
    std::string info = CaptureOutput({"xwininfo", "-id", std::to_string(window)}, XEnvironment());
    return info.find("Map State: IsViewable") != std::string::npos;
  }

  std::vector<std::string> LogLines() { return testing::LogLines(dir_); }

  fs::path dir_;
  std::unique_ptr<TXServer> x_;
  std::unique_ptr<TChildProcess> program_;
};

TEST_F(DesktopTest, MainAndLogWindowsShowAndClosingTheMainWindowEndsTheProgram) {
  Start({});
  unsigned long main = FindWindow("Tarnwell");
  ASSERT_NE(main, 0u) << "no main window; program output in " << (dir_ / "output.txt");
  unsigned long log = FindWindow("DebugOutputWindow");
  ASSERT_NE(log, 0u);
  EXPECT_TRUE(IsViewable(main));
  EXPECT_TRUE(IsViewable(log));

  // The log file of this run, named after the start time, with its first line in CRLF form.
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir_ / "Logs")) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(files[0].filename().string(), std::regex(R"(\d{4}_\d\d_\d\d__\d\d_\d\d_\d\d\.txt)")));
  auto lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d:  Tarnwell started\r)")))
      << lines[0];

  fs::create_directories(TARNWELL_ARTIFACT_DIR);
  std::string shot = std::string(TARNWELL_ARTIFACT_DIR) + "/desktop.png";
  CaptureOutput({"import", "-window", "root", shot}, XEnvironment());
  EXPECT_TRUE(fs::exists(shot) && fs::file_size(shot) > 0) << shot;

  ASSERT_TRUE(RequestWindowClose(x_->Display(), main));
  auto status = program_->WaitForExit(15s);
  ASSERT_TRUE(status.has_value()) << "the program outlived its main window";
  EXPECT_EQ(*status, 0);
}

TEST_F(DesktopTest, ArgumentsHandOverToTheMonitorInsteadOfTheInitialPage) {
  // A page with one viewer, set as the initial page in the user's settings (below XDG_CONFIG_HOME).
  TLayout page;
  page.WindowList = TComponentList::Make({Viewer(page, 40, 120, 260, 180, "Tech")}, &page);
  page.GroupNames = {"Tech"};
  page.StockNames = {"IBM"};
  SaveFactoryFile((dir_ / "start.PLy").string(), page);
  WriteSettings((dir_ / "start.PLy").string(), "");
  auto logHas = [&](const std::string& text) {
    return WaitUntil(
        [&] {
          for (const std::string& line : LogLines()) {
            if (line.find(text) != std::string::npos) return true;
          }
          return false;
        },
        10s);
  };

  Start({});
  unsigned long main = FindWindow("Tarnwell");
  ASSERT_NE(main, 0u);
  EXPECT_NE(FindWindow("IBM"), 0u) << "the initial page was not loaded";
  ASSERT_TRUE(RequestWindowClose(x_->Display(), main));
  ASSERT_TRUE(program_->WaitForExit(15s).has_value());
  for (const auto& entry : fs::directory_iterator(dir_ / "Logs")) fs::remove(entry.path());

  Start({"symbols.txt", "db.example:3307"});
  ASSERT_NE(FindWindow("Tarnwell"), 0u);
  EXPECT_TRUE(logHas("Unattended start: symbol file \"symbols.txt\", database host \"db.example\", port \"3307\""));
  EXPECT_EQ(FindWindow("IBM", 2s), 0u) << "an unattended start loaded the initial page";
}

// Pages in the running program: a page opened at start brings its viewers and stock window; "Duplicate
// Panel" and "Duplicate Window" from a viewer's pop-up menu add copies; closing the main window writes the
// autosave page, and the next start brings every window back in its place.
TEST_F(DesktopTest, APageSavedAtCloseBringsEveryWindowBackAfterARestart) {
  RegisterStandardFactoryClasses();
  TLayout page;
  auto* stock = Placed(new TStockWindowFactory(&page), 20, 330, 700, 420);
  stock->Group = "Stocks";
  stock->DockedWindows = TComponentList::Make(
      {Viewer(page, 0, 0, 700, 140, "Stocks", "Dock_Child_0"), Viewer(page, 0, 0, 700, 140, "Stocks", "Dock_Child_1"),
       Viewer(page, 0, 0, 700, 140, "Stocks", "Dock_Child_2")},
      &page);
  page.WindowList = TComponentList::Make(
      {Viewer(page, 20, 60, 300, 200, "Tech"), Viewer(page, 360, 60, 300, 200, "Energy"), stock}, &page);
  page.GroupNames = {"Energy", "Stocks", "Tech"};
  page.StockNames = {"XOM", "AAPL", "IBM"};
  SaveFactoryFile((dir_ / "start.PLy").string(), page);
  const std::string autosave = (dir_ / "autosave.PLy").string();
  WriteSettings((dir_ / "start.PLy").string(), autosave);

  Start({});
  const unsigned long main = FindWindow("Tarnwell");
  ASSERT_NE(main, 0u);
  const unsigned long tech = FindWindow("IBM");
  const unsigned long stockWindow = FindWindow("AAPL");
  ASSERT_NE(tech, 0u) << "program output in " << (dir_ / "output.txt");
  ASSERT_NE(FindWindow("XOM"), 0u);
  ASSERT_NE(stockWindow, 0u);
  EXPECT_EQ(Place(tech), "20,60 300x200");
  EXPECT_EQ(Place(stockWindow), "20,330 700x420");

  // The pop-up menu of the first docked viewer: "Duplicate Panel" is its fifth entry; of the floating
  // viewer: "Duplicate Window", the fourth.
  auto choose = [&](unsigned long window, int x, int y, int downs) {
    CaptureOutput({"xdotool", "mousemove", "--window", std::to_string(window), std::to_string(x), std::to_string(y),
                   "click", "3"},
                  XEnvironment());
    std::this_thread::sleep_for(500ms);
    std::vector<std::string> keys{"xdotool", "key"};
    for (int i = 0; i < downs; ++i) keys.push_back("Down");
    keys.push_back("Return");
    CaptureOutput(keys, XEnvironment());
  };
  choose(stockWindow, 350, 70, 5);
  EXPECT_TRUE(WaitUntil([&] { return Windows("AAPL").size() == 2; }, 10s)) << "no copy of the docked viewer";
  choose(tech, 150, 100, 4);
  EXPECT_TRUE(WaitUntil([&] { return Windows("IBM").size() == 2; }, 10s)) << "no copy of the floating viewer";

  std::map<std::string, std::multiset<std::string>> places;
  for (const char* caption : {"IBM", "XOM", "AAPL"}) {
    for (unsigned long window : Windows(caption)) places[caption].insert(Place(window));
  }
  ASSERT_TRUE(RequestWindowClose(x_->Display(), main));
  ASSERT_TRUE(program_->WaitForExit(15s).has_value());

  // The autosave page: the main window first, four floating viewers, the stock window with its three.
  std::unique_ptr<TWindowFactory> saved = LoadFactoryFile(autosave);
  auto* layout = dynamic_cast<TLayout*>(saved.get());
  ASSERT_NE(layout, nullptr);
  std::map<std::string, int> classes;
  const std::vector<TComponent*> windows = TComponentList::Elements(layout->WindowList);
  for (TComponent* window : windows) ++classes[window->ClassName()];
  ASSERT_FALSE(windows.empty());
  EXPECT_STREQ(windows.front()->ClassName(), "TMainWindowLayout");
  EXPECT_EQ(classes, (std::map<std::string, int>{
                         {"TDockableListenerFormFactory", 4}, {"TMainWindowLayout", 1}, {"TStockWindowFactory", 1}}));
  for (TComponent* window : windows) {
    if (auto* s = dynamic_cast<TStockWindowFactory*>(window)) {
      EXPECT_EQ(TComponentList::Elements(s->DockedWindows).size(), 3u);
    }
  }

  WriteSettings(autosave, "");
  Start({});
  ASSERT_NE(FindWindow("Tarnwell"), 0u);
  ASSERT_TRUE(WaitUntil([&] { return Windows("IBM").size() == 2 && Windows("AAPL").size() == 2; }, 20s));
  std::map<std::string, std::multiset<std::string>> again;
  for (const char* caption : {"IBM", "XOM", "AAPL"}) {
    for (unsigned long window : Windows(caption)) again[caption].insert(Place(window));
  }
  EXPECT_EQ(again, places);
  fs::create_directories(TARNWELL_ARTIFACT_DIR);
  const std::string shot = std::string(TARNWELL_ARTIFACT_DIR) + "/pages.png";
  CaptureOutput({"import", "-window", "root", shot}, XEnvironment());
  EXPECT_TRUE(fs::exists(shot) && fs::file_size(shot) > 0) << shot;
}

TEST_F(DesktopTest, ConnectsToTheMarketDataServerAndReconnectsAfterARestart) {
  vendor::testing::FeedProcess feed({"--symbols", "40", "--time", "10:00"});
  const std::string address = feed.Address();
  std::ofstream(dir_ / "Config.ini") << "[Vendor]\r\nAddress=" << address << "\r\n[Debug]\r\nWatch=QQQQ,XLF\r\nWatchAlerts=All\r\n";
  auto count = [&](const std::string& line) {
    int n = 0;
    for (const std::string& l : LogLines()) n += l.find(":  " + line) != std::string::npos;
    return n;
  };
  Start({});
  ASSERT_NE(FindWindow("Tarnwell"), 0u);
  ASSERT_TRUE(WaitUntil([&] { return count("VCONV_INIT_ACK") == 1; }, 20s)) << "never connected";
  EXPECT_EQ(count("Attempting to connect (&QUOTES&, MD_SRV, LIVEQUOTE)"), 1);
  // The watched symbol's prints and quotes arrive decoded.
  EXPECT_TRUE(WaitUntil([&] { return count("Watch QQQQ: print ") > 0 && count("Watch QQQQ: quote ") > 0; }, 20s));
  // Every alert type runs on the watched symbols without a failure.
  EXPECT_GT(count("Watching "), 1);
  EXPECT_EQ(count("In DataNode thread"), 0);

  feed.Kill();
  ASSERT_TRUE(WaitUntil([&] { return count("VConvConnect failed") >= 1; }, 20s)) << "no retry while the server is down";
  vendor::testing::FeedProcess again({"--symbols", "40", "--time", "10:00"}, address);
  EXPECT_TRUE(WaitUntil([&] { return count("VCONV_INIT_ACK") == 2; }, 20s)) << "never reconnected";
}

// "Standard Windows" > "Push Alerts" in the running program: with "Enable Push" ticked, "Send Test Alert"
// becomes a row of a real database, and the connection settings are locked while connected.
TEST_F(DesktopTest, ThePushDialogSendsTheTestAlertToTheDatabase) {
  TPrivateDatabase database(std::string(TARNWELL_DB_ROOT) + "/desktop");
  database.Query("TRUNCATE alerts");
  std::ofstream(dir_ / "Config.ini") << "[RealTimeAlerts]\r\ndb_Host=" << database.Host() << "\r\ndb_Port=" << database.Port()
                                     << "\r\n";
  Start({});
  const unsigned long main = FindWindow("Tarnwell");
  ASSERT_NE(main, 0u);
  // The menu as a person opens it: a click on "Standard Windows" (the second title, after "File"), then the
  // second entry ("Push Alerts", after "Auto Alert Monitor").
  CaptureOutput({"xdotool", "mousemove", "--window", std::to_string(main), "80", "8", "click", "1"}, XEnvironment());
  std::this_thread::sleep_for(500ms);
  CaptureOutput({"xdotool", "key", "Down", "Down", "Return"}, XEnvironment());
  const unsigned long dialog = FindWindow("Configure Alerts Push");
  ASSERT_NE(dialog, 0u) << "no push dialog";
  // Tab order: Host, User, Password, Database, Port, Remote, Enable Push, Fake, Send Test Alert.
  CaptureOutput({"xdotool", "windowfocus", "--sync", std::to_string(dialog)}, XEnvironment());
  CaptureOutput({"xdotool", "key", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "space", "Tab", "Tab", "space"},
                XEnvironment());
  EXPECT_TRUE(WaitUntil([&] { return database.Number("SELECT COUNT(*) FROM alerts") == 1; }, 20s))
      << "no row; program output in " << (dir_ / "output.txt");
  EXPECT_EQ(database.Query("SELECT alert_type, symbol, description, num, fake FROM alerts"),
            "DEMO\tTEST\tInitializing Velquist Cluster\t47\tN\n");

  fs::create_directories(TARNWELL_ARTIFACT_DIR);
  const std::string shot = std::string(TARNWELL_ARTIFACT_DIR) + "/push-dialog.png";
  CaptureOutput({"import", "-window", "root", shot}, XEnvironment());
  EXPECT_TRUE(fs::exists(shot) && fs::file_size(shot) > 0) << shot;

  // Closing the dialog hides it; closing the main window ends the program.
  ASSERT_TRUE(RequestWindowClose(x_->Display(), dialog));
  EXPECT_TRUE(WaitUntil([&] { return !IsViewable(dialog); }, 10s));
  ASSERT_TRUE(RequestWindowClose(x_->Display(), main));
  EXPECT_TRUE(program_->WaitForExit(15s).has_value());
}

// An alerts window from a page, on the stand-in feed's synthetic market: its rows come in the colour set for
// the switched-on types, and with "Enable Push" ticked the same types become rows of a real database, under
// their short codes; unticked, no more rows arrive.
TEST_F(DesktopTest, AnAlertsWindowShowsTheMarketsAlertsAndPushesThemWhileEnabled) {
  RegisterStandardFactoryClasses();
  RegisterAlertWindowFactoryClasses();
  TPrivateDatabase database(std::string(TARNWELL_DB_ROOT) + "/desktop-alerts");
  database.Query("TRUNCATE alerts");
  ASSERT_EQ(vendor::testing::RunFeed({"--symbols", "40", "--write-home", dir_.string()}).status, 0);
  // One simulated day for the feed and the program, mid-session, ten times real pace.
  const std::vector<std::string> day = {"--clock", "2026-12-09 09:40", "--clock-rate", "10", "--clock-since",
                                        std::to_string(std::time(nullptr))};
  std::vector<std::string> feedArgs = {"--symbols", "40"};
  feedArgs.insert(feedArgs.end(), day.begin(), day.end());
  vendor::testing::FeedProcess feed(feedArgs);
  std::ofstream(dir_ / "Config.ini") << "[Vendor]\r\nAddress=" << feed.Address() << "\r\n[RealTimeAlerts]\r\ndb_Host="
                                     << database.Host() << "\r\ndb_Port=" << database.Port() << "\r\n";

  // The window: six symbols of the market and six busy alert types, all drawn on one colour to look for.
  constexpr TColor kBackground = 0x00FF00;  // pure green, 0x00BBGGRR
  TLayout page;
  // Below the main window, which sits in the middle of the screen.
  auto* window = Placed(new TAlertWindowFactory(&page), 10, 460, 700, 330);
  std::ifstream symbols(dir_ / "symbols.txt");
  for (std::string line; std::getline(symbols, line) && window->Symbols.size() < 6;) {
    if (!line.empty() && line[0] != '$') window->Symbols.push_back(line);
  }
  const std::set<std::string> on = {"Heartbeat", "1MinHigh", "1MinLow", "NewHigh", "BlockPrint", "TradingAboveSpecialist"};
  std::set<std::string> codes;
  std::vector<TComponent*> rows;
  const auto catalogue = AlertTypeRows();
  for (auto row = catalogue.rbegin(); row != catalogue.rend(); ++row) {
    auto* category = new TCategoryFactory(&page);
    category->AlertEnabled = on.count(row->InternalName) != 0;
    category->Foreground = 0;
    category->Background = static_cast<std::int32_t>(category->AlertEnabled ? kBackground : 0xFFFFFF);
    if (category->AlertEnabled) codes.insert(row->ShortName);
    rows.push_back(category);
  }
  window->Categories = TComponentList::Make(rows, &page);
  page.WindowList = TComponentList::Make({window}, &page);
  SaveFactoryFile((dir_ / "alerts.PLy").string(), page);
  WriteSettings((dir_ / "alerts.PLy").string(), "");

  Start(day);
  const unsigned long main = FindWindow("Tarnwell");
  ASSERT_NE(main, 0u);
  const unsigned long alerts = FindWindow("Alerts");
  ASSERT_NE(alerts, 0u) << "program output in " << (dir_ / "output.txt");
  fs::create_directories(TARNWELL_ARTIFACT_DIR);
  const std::string shot = std::string(TARNWELL_ARTIFACT_DIR) + "/alerts-window.png";
  auto greenPixels = [&] {
    CaptureOutput({"import", "-window", std::to_string(alerts), shot}, XEnvironment());
    const std::string count =
        CaptureOutput({"convert", shot, "-fill", "black", "+opaque", "#00FF00", "-fill", "white", "-opaque",
                       "#00FF00", "-format", "%[fx:mean*w*h]", "info:"},
                      {});
    return std::atof(count.c_str());
  };
  EXPECT_TRUE(WaitUntil([&] { return greenPixels() > 1000; }, 30s)) << "no alert rows in " << shot;

  // "Standard Windows" > "Push Alerts" (its second entry), then "Enable Push" (the seventh control in tab order).
  CaptureOutput({"xdotool", "mousemove", "--window", std::to_string(main), "80", "8", "click", "1"}, XEnvironment());
  std::this_thread::sleep_for(500ms);
  CaptureOutput({"xdotool", "key", "Down", "Down", "Return"}, XEnvironment());
  const unsigned long dialog = FindWindow("Configure Alerts Push");
  ASSERT_NE(dialog, 0u);
  CaptureOutput({"xdotool", "windowfocus", "--sync", std::to_string(dialog)}, XEnvironment());
  CaptureOutput({"xdotool", "key", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "space"}, XEnvironment());
  EXPECT_TRUE(WaitUntil([&] { return database.Number("SELECT COUNT(*) FROM alerts") >= 5; }, 30s))
      << "no rows; program output in " << (dir_ / "output.txt");
  std::istringstream types(database.Query("SELECT DISTINCT alert_type FROM alerts"));
  for (std::string type; std::getline(types, type);) EXPECT_EQ(codes.count(type), 1u) << type;

  // Unticked: what was on its way may still land, then nothing more.
  CaptureOutput({"xdotool", "key", "space"}, XEnvironment());
  std::this_thread::sleep_for(2s);
  const long long settled = database.Number("SELECT COUNT(*) FROM alerts");
  std::this_thread::sleep_for(4s);
  EXPECT_EQ(database.Number("SELECT COUNT(*) FROM alerts"), settled);
  EXPECT_GT(greenPixels(), 1000) << "the window goes on showing alerts";
  ASSERT_TRUE(RequestWindowClose(x_->Display(), main));
  EXPECT_TRUE(program_->WaitForExit(15s).has_value());
}

TEST(DesktopProgram, HelpPrintsUsageWithoutADisplay) {
  std::string out = CaptureOutput({TARNWELL_PROGRAM, "--help"}, {{"DISPLAY", ""}});
  EXPECT_NE(out.find("symbol-file"), std::string::npos) << out;
}

}  // namespace
}  // namespace tarnwell::testing
