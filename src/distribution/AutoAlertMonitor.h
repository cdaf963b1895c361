#pragma once
// The automatic monitor's logic: on every trading day it opens three alert windows, one per alert group,
// loads the day's symbols into them at the opening minute and at the closing minute closes them or ends the
// program. It also watches the feed's time symbol, tells how late and how overdue its updates are, and asks
// the database writer for a heartbeat on each one. The windows themselves are the user interface's: this
// class reaches them through IAutoAlertWindows, so that it runs and is tested without a display.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "distribution/AlertCatalogue.h"
#include "framework/Clock.h"
#include "framework/GenericNode.h"

namespace tarnwell {

class TAlertsQueue;
class TDataNodeLink;
class TFileOwnerDataNode;

/// What the monitor does with the alert windows and the program.
class IAutoAlertWindows {
 public:
  virtual ~IAutoAlertWindows() = default;
  /// The group's window (found by its caption, or made, shown and minimised) with exactly the group's
  /// alert types on.
  virtual void OpenGroupWindow(TAlertGroup group, const std::string& caption) = 0;
  /// Replaces the symbols of the group's window.
  virtual void SetGroupSymbols(TAlertGroup group, const std::vector<std::string>& symbols) = 0;
  /// Closes each of the three windows that is open; other alert windows stay.
  virtual void CloseGroupWindows() = 0;
  /// Ends the program.
  virtual void ShutDown() = 0;
  /// The market state text changed.
  virtual void StatusChanged(const std::string& status) = 0;
  /// The delay and overdue figures changed.
  virtual void DisplayChanged() = 0;
};

class TAutoAlertMonitorLogic {
 public:
  enum TAutoStop { asNothing, asCloseWindows, asShutDown };
  enum TVolumeBlockHistory { vbForceNoHistory, vbAutoNoHistory, vbAutoUseHistory, vbForceUseHistory };
  /// The three automatic windows, by group 1, 2 and 3.
  static const std::array<std::pair<TAlertGroup, const char*>, 3> kGroupWindows;
  static constexpr double kTickSeconds = 20;

  /// Opens Holidays.csv and applies the volume block history choice. `push` (may be null) takes the
  /// heartbeat requests. User interface thread, as is everything here.
  TAutoAlertMonitorLogic(IAutoAlertWindows& windows, TAlertsQueue* push);
  ~TAutoAlertMonitorLogic();
  TAutoAlertMonitorLogic(const TAutoAlertMonitorLogic&) = delete;
  TAutoAlertMonitorLogic& operator=(const TAutoAlertMonitorLogic&) = delete;

  // The window's settings.
  std::string SymbolFile;
  bool AutoStart = false;
  TAutoStop AutoStop = asNothing;
  TVolumeBlockHistory VolumeBlockHistory = vbAutoUseHistory;
  bool Report = false;
  std::string ReportAs;

  /// Holidays.csv's cell of that column for the clock's date: the dated row, else the yearly one; empty
  /// when neither has it.
  std::string TodayValue(const std::string& column) const;
  /// Minutes after local midnight: 04:20 plus "Start Late", 16:00 less "End Early".
  int OpenMinute() const;
  int CloseMinute() const;
  /// Whether the market is open at `time`; `status` (may be null) gets the text that says why.
  bool IsOpen(TDateTime time, std::string* status) const;

  /// The 20-second step: starts at the opening, stops at the closing, refreshes the display.
  void Tick(TDateTime now);
  void StartAlerts();
  void StopAlerts();
  /// The symbol file as configured, in the program's home when it names no folder.
  std::string SymbolFilePath() const;
  /// The symbols of the file (trimmed, upper case, blank lines dropped); a line that is no symbol (over 32
  /// characters, or blanks or control characters inside) is logged with its number and left out. Throws
  /// naming the file when it cannot be read.
  static std::vector<std::string> ReadSymbols(const std::string& path);
  /// Symbols by group window: Misc gets all; "$" symbols no other; "Avg Daily Volume" above 149999 goes to
  /// Volume Confirmed, at most 3000000 to Low Volume.
  std::array<std::vector<std::string>, 3> SplitSymbols(const std::vector<std::string>& symbols) const;
  /// The automatic history choice by the minute of `now`, and the history switch set to match.
  void ApplyVolumeBlockHistory(TDateTime now);
  /// The time of the last tick (0, a Saturday, before the first).
  TDateTime LastTick() const { return lastTick_; }
  void ResetLastTick() { lastTick_ = 0; }

  /// Watches the feed's time symbol while set.
  void SetMonitor(bool on);
  bool Monitor() const { return timeLink_ != nullptr; }
  /// Recomputes the overdue time (at every tick and display refresh).
  void UpdateOverdue(TDateTime now);
  double Delay() const { return delay_; }
  double WorstDelay() const { return worstDelay_; }
  double Overdue() const { return overdue_; }
  double WorstOverdue() const { return worstOverdue_; }
  /// "Overdue:  %.0f seconds" and the like; without monitoring the first two are bare.
  std::string OverdueText() const;
  std::string DelayText() const;
  std::string WorstOverdueText() const;
  std::string WorstDelayText() const;

  /// The computer's name, or "Unknown" when it does not fit 16 characters.
  static std::string ComputerName();

 private:
  void OnTimeUpdate();
  void Statistics(TDateTime now);

  IAutoAlertWindows& windows_;
  TAlertsQueue* push_;
  TFileOwnerDataNode* holidays_ = nullptr;
  TDataNodeLink* holidaysLink_ = nullptr;
  TDateTime lastTick_ = 0;
  TDateTime nextExpected_ = 0;
  double delay_ = 0, worstDelay_ = 0, overdue_ = 0, worstOverdue_ = 0;
  TGenericDataNode* timeNode_ = nullptr;
  TDataNodeLink* timeLink_ = nullptr;
};

}  // namespace tarnwell
