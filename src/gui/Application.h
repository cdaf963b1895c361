#pragma once
// Start-up of the desktop program: modules first, in dependency order, then the windows in their fixed
// order. The tables in Application.cpp are the one place each later window or module joins.

#include <QWidget>
#include <map>
#include <string>

#include "framework/StartArguments.h"

namespace tarnwell {

class TMainForm;

/// Everything that must run before the first window: threads, registries, configuration. No Qt needed.
void InitializeModules();
/// What must happen once at exit (the worker threads are not stopped).
void FinalizeModules();

class TApplication {
 public:
  /// Creates the windows in start-up order; call once the Qt application object exists.
  explicit TApplication(const TStartArguments& arguments);

  TMainForm& MainForm() const { return *mainForm_; }
  /// A start-up window by its name, or null.
  QWidget* Window(const std::string& name) const;

 private:
  TMainForm* mainForm_ = nullptr;
  std::map<std::string, QWidget*> windows_;
};

}  // namespace tarnwell
