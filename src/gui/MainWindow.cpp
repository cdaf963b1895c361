#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "framework/DebugLog.h"
#include "gui/Pages.h"

namespace tarnwell {
namespace {

const char* kLayoutFilter = "Layouts (*.PLy);;All Files (*)";
const char* kWindowFilter = "Windows (*.PWn);;Layouts (*.PLy);;All Files (*)";

// The entries of the fixed menus, in order. An entry without an action stays disabled until the window it
// opens joins the program (EnableEntry).
struct TFixedEntry {
  const char* menu;
  const char* caption;
};
const TFixedEntry kStandardWindows[] = {
    {"Standard Windows", "Auto Alert Monitor"}, {"Standard Windows", "Push Alerts"},
    {"Standard Windows", "Stock Window"},       {"Standard Windows", "Market View"},
    {"Standard Windows", "Top 10"},             {"Standard Windows", "Alerts"},
    {"Standard Windows", "Volume Graph"},       {"Standard Windows", "TOS"},
    {"Standard Windows", "Level 2"},            {"Standard Windows", "All Ticks"},
    {"Standard Windows", "All Prints"},
};
const TFixedEntry kDebug[] = {
    {"Debug", "Fake Market Data"}, {"Debug", "Candle Simulator"}, {"Debug", "Candle Viewer"},
    {"Debug", "Tos / L1 Simulator"}, {"Debug", "Tos L1 Playback"}, {"Debug", "Heartbeat"},
    {"Debug", "Data Nodes"},        {"Debug", "Memory Info"},      {"Debug", "Thread Sync Test"},
};

}  // namespace

TMainForm::TMainForm(TStartArguments arguments, QWidget* parent)
    : QMainWindow(parent), arguments_(std::move(arguments)), settings_("Tarnwell", "Tarnwell") {
  setWindowTitle("Tarnwell");
  setObjectName("MainForm");
  settings_.beginGroup("Files");
  initialPage_ = settings_.value("Initial Layout").toString();
  autosavePage_ = settings_.value("Final Layout").toString();
  menuDirectory_ = settings_.value("Menu Directory").toString();
  BuildMenus();
  BuildDirectoryMenus();
  // A menu bar over a client area of 430 by 25, centred on the desktop; wider when the menu bar needs it,
  // so that every menu stays in sight.
  resize(std::max(430, menuBar()->sizeHint().width()), menuBar()->sizeHint().height() + 25);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TMainForm::BuildMenus() {
  QMenu* file = menuBar()->addMenu("File");
  menus_["File"] = file;
  connect(file->addAction("Load File..."), &QAction::triggered, this, [this] {
    QString path = QFileDialog::getOpenFileName(this, "Load File", QString(), kWindowFilter);
    if (!path.isEmpty()) OpenWindowFile(path);
  });
  connect(file->addAction("Save Page..."), &QAction::triggered, this, [this] {
    QFileDialog dialog(this, "Save Page", QString(), kLayoutFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("PLy");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().front();
    try {
      SavePage(path.toStdString());
    } catch (const std::exception& error) {
      ReportFailure("Cannot save the page", error);
    }
  });
  connect(file->addAction("Set Initial Page..."), &QAction::triggered, this, [this] {
    QString path = QFileDialog::getOpenFileName(this, "Set Initial Page", initialPage_, kLayoutFilter);
    if (path.isEmpty()) return;
    initialPage_ = path;
    StoreSetting("Initial Layout", path);
  });
  connect(file->addAction("No Initial Page"), &QAction::triggered, this, [this] { StoreSetting("Initial Layout", ""); });
  connect(file->addAction("Set Autosave File..."), &QAction::triggered, this, [this] {
    QFileDialog dialog(this, "Set Autosave File", autosavePage_, kLayoutFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("PLy");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    autosavePage_ = dialog.selectedFiles().front();
    StoreSetting("Final Layout", autosavePage_);
  });
  // Clears the stored setting only: this run still saves to the file chosen before.
  connect(file->addAction("Disable Autosave"), &QAction::triggered, this, [this] { StoreSetting("Final Layout", ""); });
  connect(file->addAction("Set Menu Directory..."), &QAction::triggered, this, [this] {
    // The folder chooser can make a new folder (it asks for the name first).
    QString dir = QFileDialog::getExistingDirectory(this, "Set Menu Directory", menuDirectory_);
    if (dir.isEmpty()) return;
    menuDirectory_ = dir;
    StoreSetting("Menu Directory", dir);
    BuildDirectoryMenus();
  });
  // Exit ends the application directly, without the close handling (and so without the autosave).
  connect(file->addAction("Exit"), &QAction::triggered, qApp, &QApplication::quit);

  QMenu* standard = menuBar()->addMenu("Standard Windows");
  menus_["Standard Windows"] = standard;
  for (const TFixedEntry& e : kStandardWindows) standard->addAction(e.caption)->setEnabled(false);

  customWindows_ = menuBar()->addMenu("Custom Windows");
  pages_ = menuBar()->addMenu("Pages");
  activeWindows_ = menuBar()->addMenu("Active Windows");
  connect(activeWindows_, &QMenu::aboutToShow, this, &TMainForm::BuildActiveWindowsMenu);
  BuildActiveWindowsMenu();

  QMenu* debug = menuBar()->addMenu("Debug");
  menus_["Debug"] = debug;
  for (const TFixedEntry& e : kDebug) debug->addAction(e.caption)->setEnabled(false);
}

QAction* TMainForm::FindEntry(const QString& menu, const QString& caption) const {
  auto it = menus_.find(menu);
  if (it == menus_.end()) return nullptr;
  for (QAction* action : it->second->actions()) {
    if (action->text() == caption) return action;
  }
  return nullptr;
}

void TMainForm::EnableEntry(const QString& menu, const QString& caption, std::function<void()> open) {
  QAction* action = FindEntry(menu, caption);
  if (!action) return;
  action->setEnabled(true);
  connect(action, &QAction::triggered, this, [open = std::move(open)] { open(); });
}

void TMainForm::StoreSetting(const char* name, const QString& value) {
  settings_.setValue(name, value);
  settings_.sync();
}

void TMainForm::BuildDirectoryMenus() {
  std::string dir = menuDirectory_.toStdString();
  FillDirectoryMenu(customWindows_, BuildDirectoryMenu(dir, ".PWn", "Ctrl+Alt"));
  FillDirectoryMenu(pages_, BuildDirectoryMenu(dir, ".PLy", "Alt"));
}

void TMainForm::FillDirectoryMenu(QMenu* menu, const std::vector<TMenuEntry>& entries) {
  menu->clear();
  for (const TMenuEntry& entry : entries) {
    if (entry.kind == TMenuEntry::mkSeparator) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromStdString(entry.caption));
    action->setEnabled(entry.enabled);
    if (!entry.shortcut.empty()) action->setShortcut(QKeySequence(QString::fromStdString(entry.shortcut)));
    if (entry.kind == TMenuEntry::mkRefresh) {
      connect(action, &QAction::triggered, this, &TMainForm::BuildDirectoryMenus);
    } else if (entry.kind == TMenuEntry::mkFile) {
      QString path = QString::fromStdString(entry.path);
      connect(action, &QAction::triggered, this, [this, path] { OpenWindowFile(path); });
    }
  }
}

void TMainForm::ReportFailure(const QString& what, const std::exception& error) {
  AddLine(what.toStdString() + ": " + error.what());
  QMessageBox::critical(this, "Error", what + ":\n" + QString::fromStdString(error.what()));
}

void TMainForm::OpenWindowFile(const QString& path) {
  try {
    tarnwell::OpenWindowFile(path.toStdString());
  } catch (const std::exception& error) {
    ReportFailure("Cannot open the file", error);
  }
}

void TMainForm::BuildActiveWindowsMenu() {
  activeWindows_->clear();
  QAction* none = activeWindows_->addAction("None");
  none->setEnabled(false);
  int added = 0;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window == this || !window->isVisible() || !window->isWindow()) continue;
    if (qobject_cast<QMenu*>(window)) continue;  // the menus themselves are top-level widgets
    QString caption = window->windowTitle().isEmpty() ? "No name" : window->windowTitle();
    if (window->isMinimized()) caption = "(" + caption + ")";
    connect(activeWindows_->addAction(caption), &QAction::triggered, window, [window] {
      window->showNormal();
      window->raise();
      window->activateWindow();
    });
    ++added;
  }
  none->setVisible(added == 0);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (arguments_.unattended) {
    // The automatic monitor takes over from here.
    THostPort db = SplitHostPort(arguments_.databaseHost);
    AddLine("Unattended start: symbol file \"" + arguments_.symbolFile + "\", database host \"" + db.host +
            "\", port \"" + db.port + "\"");
    if (OnUnattendedStart) OnUnattendedStart(arguments_.symbolFile, arguments_.databaseHost);
    return;
  }
  if (initialPage_.isEmpty()) return;
  // After the window is on the screen, so that an error box has a window to stand over.
  QTimer::singleShot(0, this, [this] {
    try {
      LoadPage(initialPage_.toStdString());
    } catch (const std::exception& error) {
      AddLine("Unable to load layout \"" + initialPage_.toStdString() + "\": " + error.what());
      QMessageBox::critical(this, "Error", "Unable to load layout:  \"" + initialPage_ + "\"");
    }
  });
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!autosavePage_.isEmpty()) {
    try {
      SavePage(autosavePage_.toStdString());
    } catch (const std::exception& error) {
      AddLine("Unable to save layout \"" + autosavePage_.toStdString() + "\": " + error.what());
      const auto answer = QMessageBox::critical(this, "Error", "Unable to save layout:  \"" + autosavePage_ + "\"",
                                                QMessageBox::Ok | QMessageBox::Cancel);
      if (answer != QMessageBox::Ok) {
        event->ignore();
        return;
      }
    }
  }
  event->accept();
  qApp->quit();
}

}  // namespace tarnwell
