#pragma once
// "Auto Alert Monitor": the window of the automatic monitor, which runs the alert server unattended. It
// owns the three automatic alert windows (found by their captions) and ends the program at the close when
// told to, after the database writer has sent what waits.

#include <QWidget>
#include <memory>
#include <string>

#include "distribution/AutoAlertMonitor.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace tarnwell {

class TAlertWindow;
class TConfigureAlertsPush;

class TAutoAlertMonitor : public QWidget, public IAutoAlertWindows {
  Q_OBJECT
 public:
  /// `push` (may be null) is the database push dialog, which unattended operation switches on.
  explicit TAutoAlertMonitor(TConfigureAlertsPush* push, QWidget* parent = nullptr);
  ~TAutoAlertMonitor() override;

  /// Started with a symbol file (and a database host): push on, auto start, shut down at the close,
  /// monitor and report; the first tick in open hours starts the alerts.
  void ConfigureUnattended(const std::string& symbolFile, const std::string& database);
  /// The name of the heartbeat row ("Report as:").
  void SetReportAs(const std::string& name);
  /// The 20-second step (of the program's clock).
  void Tick();
  TAutoAlertMonitorLogic& Logic() { return *logic_; }
  /// The open automatic window of a group's caption, or null.
  static TAlertWindow* FindGroupWindow(const std::string& caption);

  // IAutoAlertWindows
  void OpenGroupWindow(TAlertGroup group, const std::string& caption) override;
  void SetGroupSymbols(TAlertGroup group, const std::vector<std::string>& symbols) override;
  void CloseGroupWindows() override;
  void ShutDown() override;
  void StatusChanged(const std::string& status) override;
  void DisplayChanged() override;

  /// How long the shut-down waits for the writer to send the rows still waiting.
  static constexpr int kShutDownWaitSeconds = 60;

 private:
  void TestFile();
  void SelectFile();

  TConfigureAlertsPush* push_;
  std::unique_ptr<TAutoAlertMonitorLogic> logic_;
  QLineEdit* symbolFile_;
  QCheckBox* autoStart_;
  QButtonGroup* autoStop_;
  QButtonGroup* history_;
  QLabel* status_;
  QCheckBox* monitor_;
  QCheckBox* report_;
  QLineEdit* reportAs_;
  QLabel* delay_;
  QLabel* worstDelay_;
  QLabel* overdue_;
  QLabel* worstOverdue_;
  QTimer* timer_;
};

}  // namespace tarnwell
