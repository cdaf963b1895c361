#pragma once
// Viewer windows that float or dock, and the stock window that docks them. A viewer window is a frame: its
// controller holds what it shows. Every viewer and stock window belongs to a symbol group.

#include <QDockWidget>
#include <QMainWindow>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Callback.h"
#include "gui/Pages.h"

class QMenu;

namespace tarnwell {

class TDataNodeLink;

/// The content logic of a viewer window.
class TFormController {
 public:
  virtual ~TFormController() = default;
  /// A message the frame did not handle; true when handled here.
  virtual bool HandleMessage(int /*message*/) { return false; }
  virtual void SetSymbol(const std::string& symbol) = 0;
  /// A factory that describes the viewer, owned by `owner` (or by the caller when null); null when the
  /// frame's own factory will do.
  virtual TWindowFactory* CreateFactory(TComponent* owner) = 0;
};

class TDockableListenerForm : public QDockWidget, public ISavableWindow, public IGroupMember {
  Q_OBJECT
 public:
  /// A floating viewer window in a new group of its own. Closing it frees it.
  explicit TDockableListenerForm(QWidget* parent = nullptr);
  ~TDockableListenerForm() override;

  bool IncludeInPage() const override { return isFloating(); }
  TWindowFactory* CreateFactory(TComponent* owner) override;
  std::string GetGroup() const override { return Group; }
  void SetGroup(const std::string& name) override;

  /// Passes a new symbol to the controller; the same symbol again does nothing.
  void SetSymbol(const std::string& symbol);
  /// Takes the controller and tells it the current symbol.
  void SetController(std::unique_ptr<TFormController> controller);
  TFormController* Controller() const { return controller_.get(); }
  /// Any thread: the window is refreshed at the next screen beat.
  void Invalidate() { Dirty = true; }
  /// The screen beat: runs OnRefresh when something changed and the window can be seen.
  void Refresh();

  /// The viewer's pop-up menu, led by the group, save and duplicate entries.
  QMenu* PopupMenu() const { return menu_; }

  TDataNodeLink* ScreenLink = nullptr;
  std::atomic<bool> Dirty{false};
  std::function<void()> OnRefresh;
  std::string Group;
  std::string Symbol;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void UpdateCaption();
  std::unique_ptr<TFormController> controller_;
  QMenu* menu_;
};

class TStockWindow : public QWidget, public ISavableWindow, public IGroupMember {
  Q_OBJECT
 public:
  explicit TStockWindow(QWidget* parent = nullptr);
  ~TStockWindow() override;

  /// A stock window opened from the menu: it joins a new group of its own.
  void InitializeNew();

  bool IncludeInPage() const override { return true; }
  TWindowFactory* CreateFactory(TComponent* owner) override;
  std::string GetGroup() const override { return Group; }
  void SetGroup(const std::string& name) override;
  void SetSymbol(const std::string& symbol);

  /// Docks a viewer into the main panel; a viewer docked here joins the window's group.
  void AddClient(QDockWidget* client, Qt::DockWidgetArea area = Qt::LeftDockWidgetArea);
  /// The viewers docked in the main panel now (floating ones left it), in docking order.
  std::vector<QDockWidget*> DockedClients() const;
  QMainWindow* MainPanel() const { return panel_; }

  /// Rebuilds the window a factory describes, its docked viewers in their arrangement.
  static TStockWindow* FromFactory(TStockWindowFactory& factory);

  std::string Symbol;
  std::string Group;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void UpdateCaption();
  /// A docked viewer of a window that has a group joins it.
  void TakeIntoGroup(QDockWidget* client);
  QMainWindow* panel_;
  QMenu* menu_;
};

}  // namespace tarnwell
