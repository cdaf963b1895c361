#pragma once
// "DebugOutputWindow": the last lines of the debug log, refreshed every second.

#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

#include "framework/DebugLog.h"

namespace tarnwell {

class TDebugOutputWindow : public QWidget {
  Q_OBJECT
 public:
  /// Shows the debug log, whose file the program opened at its start.
  explicit TDebugOutputWindow(QWidget* parent = nullptr);
  ~TDebugOutputWindow() override;

  /// The 1000 ms refresh: drop all but the last 100 shown lines, then show every new one.
  void RefreshDisplay();
  QPlainTextEdit* Text() const { return text_; }

 private:
  QPlainTextEdit* text_;
  QTimer* timer_;
  TDebugLogDisplay display_;
};

}  // namespace tarnwell
