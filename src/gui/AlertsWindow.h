#pragma once
// An alert window: the user picks alert types and symbols, and the last 100 alerts show newest first, each
// row in its type's colours. Every alert also goes to the database push while that is enabled.

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "distribution/AlertWindowModel.h"
#include "gui/CellRenderer.h"
#include "gui/Pages.h"
#include "persistence/AlertWindowFactory.h"

class QAction;

namespace tarnwell {

class TIndexGrid;
class TAlertsQueue;

/// The process's database push, which every alert window feeds; null until set at start-up.
void SetAlertsPush(TAlertsQueue* push);
TAlertsQueue* AlertsPush();

/// One column of an alert window. A row holding an alert is filled with its type's background and written
/// in its foreground and style; the rows below the last alert stay in the grid's colour.
class TAlertCellRenderer : public TIndexCellRenderer {
 public:
  void SetController(TFormController* controller) override;
  void DrawCell() override;
  /// The cell's text for an alert, fitted to the text area of Context: cut with "..." or shortened
  /// numbers; empty when the alert does not carry the column's statistic.
  virtual QString CellText(const TAlertEvent& event) = 0;

 private:
  class TAlertRendererController* controller_ = nullptr;
};

class TAlertWindow : public QWidget, public ISavableWindow {
  Q_OBJECT
 public:
  /// An empty window: no symbols, no alert type on. Closing it frees it.
  explicit TAlertWindow(QWidget* parent = nullptr);
  ~TAlertWindow() override;

  bool IncludeInPage() const override { return true; }
  TWindowFactory* CreateFactory(TComponent* owner) override;
  /// The window a page or window file describes.
  static TAlertWindow* FromFactory(TAlertWindowFactory& factory);

  /// The window's symbols become the lines (trimmed, upper case; blank lines and repeats ignored).
  void SetSymbols(const std::vector<std::string>& lines);
  /// Exactly the alert types of the group run.
  void SelectGroup(TAlertGroup group);
  /// "Edit Symbols...", "Configure Alerts...", "Clear Alerts".
  void EditSymbols();
  void ConfigureAlerts();
  void ClearAlerts();

  TAlertWindowModel& Model() { return *model_; }
  TIndexGrid* Grid() const { return grid_; }
  QAction* RaiseOnAlertAction() const { return raiseOnAlert_; }

 private:
  void OnNewAlerts(int arrived);

  TIndexGrid* grid_;
  std::unique_ptr<TAlertWindowModel> model_;
  std::unique_ptr<class TAlertRendererController> controller_;
  QAction* raiseOnAlert_;
};

/// Registers the alert window's renderer classes and its creator for pages. Idempotent.
void RegisterAlertWindowClasses();

}  // namespace tarnwell
