#include "distribution/AutoAlertMonitor.h"

#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "OvernightHome.h"
#include "framework/DebugLog.h"
#include "marketdata/VolumeBlocks.h"

namespace tarnwell {
namespace {

// The windows as the monitor sees them, recorded.
struct TRecordedWindows : IAutoAlertWindows {
  void OpenGroupWindow(TAlertGroup group, const std::string& caption) override {
    calls.push_back("open " + std::to_string(group) + " " + caption);
  }
  void SetGroupSymbols(TAlertGroup group, const std::vector<std::string>& list) override {
    symbols[group] = list;
  }
  void CloseGroupWindows() override { calls.push_back("close"); }
  void ShutDown() override { calls.push_back("shut down"); }
  void StatusChanged(const std::string& text) override { status = text; }
  void DisplayChanged() override {}
  std::vector<std::string> calls;
  std::map<int, std::vector<std::string>> symbols;
  std::string status;
};

class AutoAlertMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_.Write("Holidays.csv",
                "Date,Closed,Name,Start Late,End Early\n"
                "12/25,1,Christmas,,\n"
                "11/24/2006,,Day after Thanksgiving,,180\n"
                "12/10/2026,,,30,\n"
                "1/3/2031,,,30,\n");
    home_.Write("OvernightData.csv",
                "Symbol,Avg Daily Volume\nALL,2000000\nLOWEST,150000\nBELOW,149999\nABOVE,3000001\n");
    // The clock only moves forward from here: file nodes linger on timers of the clock, and a clock set back
    // would keep them past the end of the test.
    clock::SetManual(EncodeDateTime(2006, 1, 2));
    monitor_ = std::make_unique<TAutoAlertMonitorLogic>(windows_, nullptr);
  }
  void TearDown() override {
    monitor_.reset();
    SetUseHistory(false);
  }
  /// The clock and the tested time at once: holidays are looked up for the clock's date.
  bool OpenAt(TDateTime time, std::string* status = nullptr) {
    clock::SetManual(time);
    return monitor_->IsOpen(time, status);
  }

  testing::TOvernightHome home_;
  TRecordedWindows windows_;
  std::unique_ptr<TAutoAlertMonitorLogic> monitor_;
};

TEST_F(AutoAlertMonitorTest, OpenHoursFollowTheWeekAndTheHolidayFile) {
  const struct {
    TDateTime time;
    bool open;
    const char* status;
  } cases[] = {
      {EncodeDateTime(2006, 11, 24, 12, 59), true, "Open (Closing in 1 minutes.)"},  // ends 180 minutes early
      {EncodeDateTime(2006, 11, 24, 13, 0), false, "Closed (Closed 0 minutes ago.)"},
      {EncodeDateTime(2026, 12, 9, 4, 19), false, "Closed (Opening in 1 minutes.)"},
      {EncodeDateTime(2026, 12, 9, 4, 20), true, "Open (Closing in 700 minutes.)"},
      {EncodeDateTime(2026, 12, 9, 15, 59), true, "Open (Closing in 1 minutes.)"},
      {EncodeDateTime(2026, 12, 9, 16, 5), false, "Closed (Closed 5 minutes ago.)"},
      {EncodeDateTime(2026, 12, 10, 4, 49), false, "Closed (Opening in 1 minutes.)"},  // starts 30 late
      {EncodeDateTime(2026, 12, 10, 4, 50), true, "Open (Closing in 670 minutes.)"},
      {EncodeDateTime(2026, 12, 12, 10, 0), false, "Closed (Saturday)"},
      {EncodeDateTime(2026, 12, 13, 10, 0), false, "Closed (Sunday)"},
      {EncodeDateTime(2026, 12, 25, 10, 0), false, "Closed (Christmas)"},  // a yearly row
      {EncodeDateTime(2030, 12, 25, 10, 0), false, "Closed (Christmas)"},
  };
  for (const auto& c : cases) {
    std::string status;
    EXPECT_EQ(OpenAt(c.time, &status), c.open) << c.status;
    EXPECT_EQ(status, c.status);
  }
  // The history switch moves with the late start; a forced choice stays.
  const struct {
    TDateTime now;
    TAutoAlertMonitorLogic::TVolumeBlockHistory before, after;
  } history[] = {
      {EncodeDateTime(2031, 1, 2, 6, 29), TAutoAlertMonitorLogic::vbAutoNoHistory, TAutoAlertMonitorLogic::vbAutoUseHistory},
      {EncodeDateTime(2031, 1, 2, 6, 30), TAutoAlertMonitorLogic::vbAutoUseHistory, TAutoAlertMonitorLogic::vbAutoNoHistory},
      {EncodeDateTime(2031, 1, 3, 6, 59), TAutoAlertMonitorLogic::vbAutoNoHistory, TAutoAlertMonitorLogic::vbAutoUseHistory},
      {EncodeDateTime(2031, 1, 3, 7, 0), TAutoAlertMonitorLogic::vbAutoUseHistory, TAutoAlertMonitorLogic::vbAutoNoHistory},
      {EncodeDateTime(2031, 1, 6, 5, 0), TAutoAlertMonitorLogic::vbForceNoHistory, TAutoAlertMonitorLogic::vbForceNoHistory},
  };
  for (const auto& h : history) {
    clock::SetManual(h.now);
    monitor_->VolumeBlockHistory = h.before;
    monitor_->ApplyVolumeBlockHistory(h.now);
    EXPECT_EQ(monitor_->VolumeBlockHistory, h.after);
    EXPECT_EQ(UseHistory(), h.after == TAutoAlertMonitorLogic::vbAutoUseHistory);
  }
}

TEST_F(AutoAlertMonitorTest, SymbolsAreSplitByAverageDailyVolume) {
  const auto groups = monitor_->SplitSymbols({"ALL", "LOWEST", "BELOW", "ABOVE", "NODATA", "$TIME"});
  EXPECT_EQ(groups[0], (std::vector<std::string>{"ALL", "LOWEST", "ABOVE"}));  // Volume Confirmed
  EXPECT_EQ(groups[1], (std::vector<std::string>{"ALL", "LOWEST", "BELOW", "NODATA"}));  // Low Volume
  EXPECT_EQ(groups[2], (std::vector<std::string>{"ALL", "LOWEST", "BELOW", "ABOVE", "NODATA", "$TIME"}));
}

TEST_F(AutoAlertMonitorTest, AFailedStartIsLoggedClosesTheWindowsAndIsTriedAgainAtTheNextTick) {
  monitor_->AutoStart = true;
  monitor_->AutoStop = TAutoAlertMonitorLogic::asShutDown;
  monitor_->SymbolFile = "day.txt";  // not there yet
  const TDateTime open = EncodeDateTime(2026, 12, 9, 9, 0);
  clock::SetManual(open);
  monitor_->Tick(open);
  EXPECT_EQ(windows_.calls.back(), "close");
  EXPECT_EQ(monitor_->LastTick(), 0) << "the opening is not taken as done";
  bool logged = false;
  for (const std::string& line : TDebugLog::Instance().TakePending()) {
    logged |= line.find("Cannot open the symbol file \"" + (home_.Path() / "day.txt").string() + "\"") != std::string::npos;
  }
  EXPECT_TRUE(logged);

  // Lines that are no symbol are logged with their number and left out.
  home_.Write("day.txt", " all\n\nbelow \n$TIME\n" + std::string(33, 'X') + "\nA\x01" "B\nTWO WORDS\n");
  windows_.calls.clear();
  monitor_->Tick(open + 20 * kOneSecond);
  EXPECT_EQ(windows_.calls, (std::vector<std::string>{"open 1 Volume Confirmed Auto Alerts",
                                                      "open 2 Low Volume Auto Alerts", "open 3 Misc Auto Alerts"}));
  EXPECT_EQ(windows_.symbols[agMisc], (std::vector<std::string>{"ALL", "BELOW", "$TIME"}));
  std::vector<std::string> refused;
  for (const std::string& line : TDebugLog::Instance().TakePending()) {
    if (line.find("is not a symbol") != std::string::npos) refused.push_back(line.substr(line.find("line ")));
  }
  EXPECT_EQ(refused, (std::vector<std::string>{"line 5: \"" + std::string(33, 'X') + "\" is not a symbol; left out",
                                               "line 6: \"A\\x01B\" is not a symbol; left out",
                                               "line 7: \"TWO WORDS\" is not a symbol; left out"}));
  EXPECT_EQ(windows_.symbols[agVolumeConfirmed], (std::vector<std::string>{"ALL"}));
  EXPECT_EQ(windows_.status, "Open (Closing in 420 minutes.)");

  // Open to open starts nothing; the closing shuts the program down.
  windows_.calls.clear();
  monitor_->Tick(EncodeDateTime(2026, 12, 9, 15, 59, 50));
  EXPECT_TRUE(windows_.calls.empty());
  clock::SetManual(EncodeDateTime(2026, 12, 9, 16, 0, 10));
  monitor_->Tick(EncodeDateTime(2026, 12, 9, 16, 0, 10));
  EXPECT_EQ(windows_.calls, std::vector<std::string>{"shut down"});
}

}  // namespace
}  // namespace tarnwell
