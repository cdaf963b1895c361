#pragma once
// "Configure Alerts Push": the connection the alerts writer uses, the switches that start the push and mark
// its rows as fake, and the writer's running counts. The dialog is the writer's settings host, so the
// connection fields are locked while a connection made from them is open.

#include <QDialog>
#include <string>

#include "distribution/AlertsPush.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tarnwell {

class TConfigureAlertsPush final : public QDialog, public IPushSettingsHost {
  Q_OBJECT
 public:
  /// Becomes `queue`'s settings host; `queue` must outlive the dialog. Create on the user interface thread.
  /// The fields start from Config.ini.
  explicit TConfigureAlertsPush(TAlertsQueue& queue, QWidget* parent = nullptr);
  /// Leaves the queue without a host before anything of the dialog goes.
  ~TConfigureAlertsPush() override;

  /// Where alert windows add their alerts. Any thread.
  TAlertsQueue& Queue() const { return queue_; }

  /// The fields as they are now; the connection fields stay disabled until UnlockSettings.
  TPushSettings LockSettings() override;
  void UnlockSettings() override;
  /// Logs the line and shows it as the latest error.
  void ReportError(const std::string& line) override;

  /// Unattended operation: the database host (and port, after a colon) when `database` is not empty, then
  /// the push switched on. The host goes first, so that the writer's first connection already uses it.
  void ConfigureUnattended(const std::string& database);

  /// The 500 ms refresh of the sent, lost and waiting counts.
  void RefreshCounts();

 private:
  void SetConnectionEditable(bool editable);

  TAlertsQueue& queue_;
  QLineEdit* host_;
  QLineEdit* user_;
  QLineEdit* password_;
  QLineEdit* database_;
  QLineEdit* port_;
  QCheckBox* remote_;
  QCheckBox* enablePush_;
  QCheckBox* fake_;
  QLabel* sent_;
  QLabel* lost_;
  QLabel* waiting_;
  QPushButton* sendTestAlert_;
  QLabel* libraryProblem_;
  QLabel* lastError_;
  QTimer* timer_;
};

}  // namespace tarnwell
