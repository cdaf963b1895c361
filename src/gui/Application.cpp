#include "gui/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <functional>

#include "alerts/DebugAlertWatch.h"
#include "alerts/Registration.h"
#include "distribution/AlertsPush.h"
#include "distribution/MysqlClient.h"
#include "framework/Config.h"
#include "framework/DataNodeThread.h"
#include "framework/DebugLog.h"
#include "framework/ScreenUpdates.h"
#include "framework/SymbolGroups.h"
#include "framework/Timers.h"
#include "framework/UserInterfaceThread.h"
#include "marketdata/DebugWatch.h"
#include "marketdata/vendor/VendorConversation.h"
#include "marketdata/vendor/VendorFeedNodes.h"
#include "persistence/Factories.h"
#include "persistence/GridFactories.h"
#include "gui/AlertSelectionWindow.h"
#include "gui/AlertsWindow.h"
#include "gui/AutoAlertMonitor.h"
#include "gui/ConfigureAlertsPush.h"
#include "gui/DebugLogWindow.h"
#include "gui/DockableForm.h"
#include "gui/MainWindow.h"
#include "gui/Pages.h"
#include "gui/QtUserInterfaceThread.h"
#include "gui/SymbolListEditor.h"
#include "gui/ViewerMenu.h"

namespace tarnwell {
namespace {

// The vendor library finds its server through VCONV_SERVER; Config.ini's [Vendor] Address sets it.
void ConfigureVendorAddress() {
  std::string address = TConfigFile::Instance().Get("Vendor", "Address", "");
  if (!address.empty()) ::setenv("VCONV_SERVER", address.c_str(), 1);
}

// The system's one vendor conversation lives for the whole run; it connects and reconnects by itself.
void StartVendorConversation() {
  if (!InitializeVendorLibrary()) {
    AddLine("The vendor library is not ready: no market data this run");
    return;
  }
  static TOwnedLink conversation(VendorConversationFactory()->GetNode().second);
}

// Modules in dependency order. Each runs before any window exists.
const std::pair<const char*, std::function<void()>> kModules[] = {
    {"timer thread", [] { TTimerThread::Instance(); }},
    {"data node thread and registries", [] { InitializeFramework(); }},
    {"configuration file", [] { TConfigFile::Instance(); }},
    {"vendor address", ConfigureVendorAddress},
    {"vendor library and conversation", StartVendorConversation},
    {"named values and alert types", RegisterStandardFactories},
    {"feed selection", InstallVendorFeed},
    {"debug watch", [] {
       StartDebugWatchFromConfig();
       StartDebugAlertWatchFromConfig();
     }},
    // Modules initialise on the user interface thread, which is the one the symbol groups belong to.
    {"symbol groups and window factories", [] {
       TGroupList::MarkOwnerThread();
       RegisterStandardFactoryClasses();
       RegisterGridFactoryClasses();
     }},
};

struct TStartupWindow {
  const char* name;
  bool visible;
  std::function<QWidget*(TApplication&)> create;
};

// The process's one alerts queue lives for the whole run: its writer is never stopped, and the dialog that
// hosts its settings is only hidden when closed.
QWidget* CreateConfigureAlertsPush(TApplication& app) {
  auto* queue = new TAlertsQueue(TMysqlClient::Instance());
  SetAlertsPush(queue);
  auto* dialog = new TConfigureAlertsPush(*queue, &app.MainForm());
  app.MainForm().EnableEntry("Standard Windows", "Push Alerts", [dialog] {
    dialog->showNormal();
    dialog->raise();
    dialog->activateWindow();
  });
  return dialog;
}

// The monitor takes over at an unattended start; the main window hands it the arguments once shown.
QWidget* CreateAutoAlertMonitor(TApplication& app) {
  auto* push = qobject_cast<TConfigureAlertsPush*>(app.Window("ConfigureAlertsPush"));
  auto* monitor = new TAutoAlertMonitor(push, &app.MainForm());
  app.MainForm().EnableEntry("Standard Windows", "Auto Alert Monitor", [monitor] {
    monitor->showNormal();
    monitor->raise();
    monitor->activateWindow();
  });
  app.MainForm().OnUnattendedStart = [monitor, reportAs = app.Arguments().reportAs](const std::string& symbolFile,
                                                                                   const std::string& database) {
    monitor->ConfigureUnattended(symbolFile, database);
    if (!reportAs.empty()) monitor->SetReportAs(reportAs);
  };
  return monitor;
}

// The windows in start-up order; only the main window and the debug log are shown at once.
const TStartupWindow kStartupWindows[] = {
    {"DebugOutputWindow", true, [](TApplication& app) -> QWidget* { return new TDebugOutputWindow(&app.MainForm()); }},
    {"GroupDialog", false, [](TApplication& app) -> QWidget* { return new TSetGroupDialog(&app.MainForm()); }},
    {"SymbolDialog", false, [](TApplication& app) -> QWidget* { return new TSetSymbolDialog(&app.MainForm()); }},
    {"SymbolListEditor", false, [](TApplication& app) -> QWidget* { return new TSymbolListEditor(&app.MainForm()); }},
    {"AlertSelectionWindow", false,
     [](TApplication& app) -> QWidget* { return new TAlertSelectionWindow(&app.MainForm()); }},
    {"ConfigureAlertsPush", false, CreateConfigureAlertsPush},
    {"AutoAlertMonitor", false, CreateAutoAlertMonitor},
};

}  // namespace

std::string InitializeModules() {
  // The log file comes first, so that nothing a module reports at start-up is lost.
  std::string logProblem;
  try {
    TDebugLog::Instance().Open(clock::Now());
  } catch (const std::exception& e) {
    logProblem = e.what();  // the program runs on; its lines stay in memory and in the log window
  }
  AddLine("Tarnwell started");
  for (const auto& [name, init] : kModules) init();
  return logProblem;
}

void FinalizeModules() { ShutdownVendorLibrary(); }

TApplication::TApplication(const TStartArguments& arguments, const std::string& logProblem) : arguments_(arguments) {
  static TQtUserInterfaceThread* uiThread = new TQtUserInterfaceThread;
  SetUserInterfaceThread(uiThread);
  // The screen beat's timer belongs to this thread: start it here, before anything waits on another thread.
  TScreenUpdater::Interface();

  mainForm_ = new TMainForm(arguments);
  mainForm_->setAttribute(Qt::WA_DeleteOnClose, false);
  windows_["MainForm"] = mainForm_;
  SetPageMainWindow(mainForm_);
  RegisterPageWindowCreators();
  RegisterAlertWindowClasses();
  mainForm_->EnableEntry("Standard Windows", "Alerts", [] { (new TAlertWindow)->show(); });
  mainForm_->EnableEntry("Standard Windows", "Stock Window", [] {
    auto* window = new TStockWindow;
    window->InitializeNew();
    window->show();
  });
  for (const TStartupWindow& w : kStartupWindows) {
    QWidget* window = w.create(*this);
    if (!window) continue;
    windows_[w.name] = window;
    if (w.visible) window->show();
  }
  mainForm_->show();
  if (!logProblem.empty()) QMessageBox::warning(mainForm_, "Tarnwell", QString::fromStdString(logProblem));
}

void TApplication::ShutDown() {
  if (auto* monitor = qobject_cast<TAutoAlertMonitor*>(Window("AutoAlertMonitor"))) {
    monitor->ShutDown();
    return;
  }
  qApp->exit(0);
}

QWidget* TApplication::Window(const std::string& name) const {
  auto it = windows_.find(name);
  return it == windows_.end() ? nullptr : it->second;
}

}  // namespace tarnwell
