#include "gui/DebugLogWindow.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>


namespace tarnwell {

TDebugOutputWindow::TDebugOutputWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle("DebugOutputWindow");
  setObjectName("DebugOutputWindow");
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(text_);
  resize(640, 240);
  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, &TDebugOutputWindow::RefreshDisplay);
  timer_->start();
  QTimer::singleShot(0, this, &TDebugOutputWindow::RefreshDisplay);  // show start-up lines at once
}

TDebugOutputWindow::~TDebugOutputWindow() { TDebugLog::Instance().Close(); }

void TDebugOutputWindow::RefreshDisplay() {
  std::vector<std::string> lines = TDebugLog::Instance().TakePending();
  TDebugLogDisplay::TRefresh r = display_.Refresh(lines);
  if (lines.empty() && r.removed == 0) return;
  if (r.suspendRepaint) text_->setUpdatesEnabled(false);
  if (r.removed > 0) {
    QTextCursor cursor(text_->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, static_cast<int>(r.removed));
    cursor.removeSelectedText();
  }
  for (const std::string& line : lines) text_->appendPlainText(QString::fromStdString(line));
  if (r.suspendRepaint) text_->setUpdatesEnabled(true);
}

}  // namespace tarnwell
