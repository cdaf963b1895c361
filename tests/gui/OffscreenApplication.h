#pragma once
// A Qt application on the offscreen platform for one test (no display needed), optionally with the Qt user
// interface thread installed as the framework's.

#include <QApplication>
#include <memory>

#include "framework/UserInterfaceThread.h"
#include "gui/QtUserInterfaceThread.h"

namespace tarnwell::testing {

class TOffscreenApplication {
 public:
  explicit TOffscreenApplication(bool withUserInterfaceThread = true) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    if (!withUserInterfaceThread) return;
    ui_ = std::make_unique<TQtUserInterfaceThread>();
    SetUserInterfaceThread(ui_.get());
  }
  ~TOffscreenApplication() {
    if (ui_) SetUserInterfaceThread(nullptr);
    ui_.reset();
    app_.reset();
  }
  TOffscreenApplication(const TOffscreenApplication&) = delete;
  TOffscreenApplication& operator=(const TOffscreenApplication&) = delete;

 private:
  int argc_ = 1;
  char name_[16] = "tarnwell-tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
  std::unique_ptr<TQtUserInterfaceThread> ui_;
};

}  // namespace tarnwell::testing
