#pragma once
// The main window: a menu bar from which every other window opens, pages load and save, and the debug
// tools are reached.

#include <QFileDialog>
#include <QMainWindow>
#include <QSettings>
#include <functional>
#include <map>
#include <string>

#include "framework/DirectoryMenu.h"
#include "framework/StartArguments.h"

class QMenu;
class QAction;

namespace tarnwell {

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(TStartArguments arguments, QWidget* parent = nullptr);

  /// A window that later joins the program enables its menu entry here: the entry runs `open`.
  void EnableEntry(const QString& menu, const QString& caption, std::function<void()> open);
  QAction* FindEntry(const QString& menu, const QString& caption) const;

  const QString& InitialPage() const { return initialPage_; }
  const QString& AutosavePage() const { return autosavePage_; }
  const QString& MenuDirectory() const { return menuDirectory_; }

  /// Runs once the window is first shown when the program was started with a symbol file: (symbol file,
  /// database host with an optional port).
  std::function<void(const std::string&, const std::string&)> OnUnattendedStart;

  /// Rebuilds "Custom Windows" and "Pages" from the menu directory.
  void BuildDirectoryMenus();
  /// Rebuilds "Active Windows" (done each time that menu opens).
  void BuildActiveWindowsMenu();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void FillDirectoryMenu(QMenu* menu, const std::vector<TMenuEntry>& entries);
  /// Opens a window or page file; a failure is reported in an error box and in the log.
  void OpenWindowFile(const QString& path);
  void ReportFailure(const QString& what, const std::exception& error);
  void StoreSetting(const char* name, const QString& value);

  TStartArguments arguments_;
  QSettings settings_;
  QString initialPage_;   // the open dialog's file name: the page loaded at start
  QString autosavePage_;  // the save dialog's file name: the page written at close
  QString menuDirectory_;
  bool shown_ = false;
  std::map<QString, QMenu*> menus_;
  QMenu* customWindows_ = nullptr;
  QMenu* pages_ = nullptr;
  QMenu* activeWindows_ = nullptr;
};

}  // namespace tarnwell
