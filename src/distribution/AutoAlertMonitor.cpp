#include "distribution/AutoAlertMonitor.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "distribution/AlertWindowModel.h"
#include "distribution/AlertsPush.h"
#include "framework/Config.h"
#include "framework/DataNode.h"
#include "framework/DebugLog.h"
#include "framework/Errors.h"
#include "framework/SymbolGroups.h"
#include "marketdata/FileData.h"
#include "marketdata/VolumeBlocks.h"

namespace tarnwell {
namespace {

constexpr int kNormalOpenMinute = 260;    // 04:20
constexpr int kNormalCloseMinute = 960;   // 16:00
constexpr int kHistoryMinute = 390;       // 06:30
constexpr double kExpectEverySeconds = 60;

int MinuteOfDay(TDateTime time) { return static_cast<int>(TimeOfDayMs(time) / 60000); }

// Whole minutes of a cell; 0 when it is empty or not a number.
int Minutes(const std::string& cell) { return ParseCellInteger(cell).value_or(0); }

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

const std::array<std::pair<TAlertGroup, const char*>, 3> TAutoAlertMonitorLogic::kGroupWindows = {{
    {agVolumeConfirmed, "Volume Confirmed Auto Alerts"},
    {agLowVolume, "Low Volume Auto Alerts"},
    {agMisc, "Misc Auto Alerts"},
}};

TAutoAlertMonitorLogic::TAutoAlertMonitorLogic(IAutoAlertWindows& windows, TAlertsQueue* push)
    : windows_(windows), push_(push) {
  std::tie(holidays_, holidaysLink_) = TFileOwnerDataNode::Find(kHolidaysFile);
  ApplyVolumeBlockHistory(clock::Now());
  ReportAs = "Alert Server " + ComputerName();
}

TAutoAlertMonitorLogic::~TAutoAlertMonitorLogic() {
  SetMonitor(false);
  TDataNodeLink::Release(holidaysLink_);
}

std::string TAutoAlertMonitorLogic::ComputerName() {
  char name[16];
  if (::gethostname(name, sizeof name) != 0 || std::find(name, name + sizeof name, '\0') == name + sizeof name) {
    return "Unknown";
  }
  return name;
}

std::string TAutoAlertMonitorLogic::TodayValue(const std::string& column) const {
  const TDateTimeParts today = DecodeDateTime(clock::Now());
  const std::string yearly = std::to_string(today.month) + "/" + std::to_string(today.day);
  const std::string dated = yearly + "/" + std::to_string(today.year);
  if (holidays_->HasRow(dated)) return holidays_->GetCell(column, dated);
  return holidays_->GetCell(column, yearly);
}

int TAutoAlertMonitorLogic::OpenMinute() const { return kNormalOpenMinute + Minutes(TodayValue("Start Late")); }

int TAutoAlertMonitorLogic::CloseMinute() const { return kNormalCloseMinute - Minutes(TodayValue("End Early")); }

bool TAutoAlertMonitorLogic::IsOpen(TDateTime time, std::string* status) const {
  auto say = [&](const std::string& text) {
    if (status != nullptr) *status = text;
  };
  if (TodayValue("Closed") == "1") {
    say("Closed (" + TodayValue("Name") + ")");
    return false;
  }
  // Days since 1899-12-30, a Saturday.
  const int weekday = static_cast<int>(FloorToInt64(time) % 7);
  if (weekday == 0 || weekday == 1) {
    say(weekday == 0 ? "Closed (Saturday)" : "Closed (Sunday)");
    return false;
  }
  const int minute = MinuteOfDay(time);
  const int open = OpenMinute();
  const int close = CloseMinute();
  if (minute < open) {
    say("Closed (Opening in " + std::to_string(open - minute) + " minutes.)");
    return false;
  }
  if (minute < close) {
    say("Open (Closing in " + std::to_string(close - minute) + " minutes.)");
    return true;
  }
  say("Closed (Closed " + std::to_string(minute - close) + " minutes ago.)");
  return false;
}

void TAutoAlertMonitorLogic::Tick(TDateTime now) {
  ApplyVolumeBlockHistory(now);
  const bool wasOpen = IsOpen(lastTick_, nullptr);
  std::string status;
  const bool isOpen = IsOpen(now, &status);
  windows_.StatusChanged(status);
  try {
    if (isOpen && !wasOpen && AutoStart) {
      AddLine("Starting...");
      StartAlerts();
    }
    if (wasOpen && !isOpen) {
      AddLine("Time to Stop.");
      switch (AutoStop) {
        case asNothing:
          AddLine("Auto stop disabled.");
          break;
        case asCloseWindows:
          AddLine("Closing alert windows.");
          StopAlerts();
          break;
        case asShutDown:
          AddLine("Shutting down.");
          lastTick_ = now;
          windows_.ShutDown();
          return;
      }
    }
    UpdateOverdue(now);
    windows_.DisplayChanged();
    lastTick_ = now;
  } catch (...) {
    // The tick time stays, so that a failed opening is seen, and tried, again at the next tick.
    const TExceptionInfo info = DescribeException(std::current_exception());
    AddLine(info.className + ":  " + info.message);
    StopAlerts();
  }
}

std::string TAutoAlertMonitorLogic::SymbolFilePath() const {
  if (SymbolFile.find('/') != std::string::npos) return SymbolFile;
  return ProgramHome() + "/" + SymbolFile;
}

std::vector<std::string> TAutoAlertMonitorLogic::ReadSymbols(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("Cannot open the symbol file \"" + path + "\"");
  std::vector<std::string> symbols;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::string symbol = SymbolOfLine(line);
    if (!symbol.empty()) {
      symbols.push_back(std::move(symbol));
      continue;
    }
    // A line that is no symbol is reported and left out, so that one bad line does not stop the day.
    const std::string text = TrimBlanks(line);
    if (text.empty()) continue;
    std::string shown;
    for (unsigned char c : text.substr(0, 40)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    AddLine("Symbol file \"" + path + "\" line " + std::to_string(number) + ": \"" + shown +
            (text.size() > 40 ? "..." : "") + "\" is not a symbol; left out");
  }
  if (in.bad()) throw std::runtime_error("Cannot read the symbol file \"" + path + "\"");
  return symbols;
}

std::array<std::vector<std::string>, 3> TAutoAlertMonitorLogic::SplitSymbols(
    const std::vector<std::string>& symbols) const {
  auto [overnight, link] = TFileOwnerDataNode::Find(kOvernightDataFile);
  TOwnedLink hold(link);
  std::array<std::vector<std::string>, 3> groups;
  for (const std::string& symbol : symbols) {
    groups[2].push_back(symbol);
    if (symbol[0] == '$') continue;
    const double volume = ParseCellDouble(overnight->GetCell("Avg Daily Volume", symbol)).value_or(0);
    if (volume > 149999) groups[0].push_back(symbol);
    if (volume <= 3000000) groups[1].push_back(symbol);
  }
  return groups;
}

void TAutoAlertMonitorLogic::StartAlerts() {
  for (const auto& [group, caption] : kGroupWindows) windows_.OpenGroupWindow(group, caption);
  const std::string path = SymbolFilePath();
  AddLine("Reading symbols from " + path);
  const std::array<std::vector<std::string>, 3> groups = SplitSymbols(ReadSymbols(path));
  for (std::size_t i = 0; i < kGroupWindows.size(); ++i) windows_.SetGroupSymbols(kGroupWindows[i].first, groups[i]);
}

void TAutoAlertMonitorLogic::StopAlerts() { windows_.CloseGroupWindows(); }

void TAutoAlertMonitorLogic::ApplyVolumeBlockHistory(TDateTime now) {
  if (VolumeBlockHistory == vbAutoNoHistory || VolumeBlockHistory == vbAutoUseHistory) {
    const int switchMinute = kHistoryMinute + Minutes(TodayValue("Start Late"));
    VolumeBlockHistory = MinuteOfDay(now) < switchMinute ? vbAutoUseHistory : vbAutoNoHistory;
  }
  SetUseHistory(VolumeBlockHistory == vbAutoUseHistory || VolumeBlockHistory == vbForceUseHistory);
}

// --- The time monitor ------------------------------------------------------------------------------------

void TAutoAlertMonitorLogic::SetMonitor(bool on) {
  if (on == Monitor()) return;
  if (!on) {
    TDataNodeLink::Release(timeLink_);
    timeLink_ = nullptr;
    timeNode_ = nullptr;
    return;
  }
  // The registered factory stays as it is: a clone's thread-safe copy is what is watched.
  TFactoryRef factory = FindFactory("LastPrintTime", true)->Clone()->GetThreadSafe();
  factory->SetParam(kSymbolName, std::string("$TIME"));
  std::tie(timeNode_, timeLink_) = factory->GetNode(TW_METHOD(this, OnTimeUpdate));
  timeLink_->SetReceiveInput(true);
  nextExpected_ = clock::Now() + kExpectEverySeconds * kOneSecond;
  Statistics(clock::Now());
}

void TAutoAlertMonitorLogic::UpdateOverdue(TDateTime now) {
  if (!Monitor()) return;
  overdue_ = std::max((now - nextExpected_) * kSecondsPerDay, 0.0);
  worstOverdue_ = std::max(worstOverdue_, overdue_);
}

void TAutoAlertMonitorLogic::Statistics(TDateTime now) {
  if (timeNode_ == nullptr || !timeNode_->IsValid()) return;
  UpdateOverdue(now);
  delay_ = (now - timeNode_->GetDouble()) * kSecondsPerDay;
  worstDelay_ = std::max(worstDelay_, delay_);
  nextExpected_ = now + kExpectEverySeconds * kOneSecond;
}

void TAutoAlertMonitorLogic::OnTimeUpdate() {
  Statistics(clock::Now());
  windows_.DisplayChanged();
  if (Report && push_ != nullptr) push_->RequestHeartbeat(ReportAs);
}

std::string TAutoAlertMonitorLogic::OverdueText() const {
  return Monitor() ? Format("Overdue:  %.0f seconds", overdue_) : "Overdue:";
}
std::string TAutoAlertMonitorLogic::DelayText() const {
  return Monitor() ? Format("Delay:  %.4f seconds", delay_) : "Delay:";
}
std::string TAutoAlertMonitorLogic::WorstOverdueText() const {
  return Format("Worst overdue:  %.4f seconds", worstOverdue_);
}
std::string TAutoAlertMonitorLogic::WorstDelayText() const { return Format("Worst delay:  %.4f seconds", worstDelay_); }

}  // namespace tarnwell
