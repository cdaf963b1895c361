#pragma once
// Start-up of the desktop program: modules first, in dependency order, then the windows in their fixed
// order. The tables in Application.cpp are the one place each later window or module joins.

#include <QWidget>
#include <map>
#include <string>

#include "framework/StartArguments.h"

namespace tarnwell {

class TMainForm;

/// Everything that must run before the first window: the log file, threads, registries, configuration.
/// No Qt needed. Returns why the log file could not be created, or empty.
std::string InitializeModules();
/// What must happen once at exit (the worker threads are not stopped).
void FinalizeModules();

class TApplication {
 public:
  /// Creates the windows in start-up order; call once the Qt application object exists.
  /// `logProblem`: shown to the user once the main window is up.
  TApplication(const TStartArguments& arguments, const std::string& logProblem);

  TMainForm& MainForm() const { return *mainForm_; }
  const TStartArguments& Arguments() const { return arguments_; }
  /// Ends the program as the automatic monitor does at the close: its alert windows stop, the database
  /// writer sends what waits (bounded), then the event loop ends.
  void ShutDown();
  /// A start-up window by its name, or null.
  QWidget* Window(const std::string& name) const;

 private:
  TStartArguments arguments_;
  TMainForm* mainForm_ = nullptr;
  std::map<std::string, QWidget*> windows_;
};

}  // namespace tarnwell
