#pragma once
// "Select Alerts": per alert type of the catalogue, whether an alert window runs it and how its rows look.

#include <QDialog>
#include <vector>

#include "distribution/AlertWindowModel.h"
#include "gui/CellRenderer.h"

class QCheckBox;
class QFrame;

namespace tarnwell {

class TAlertSelectionWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TAlertSelectionWindow(QWidget* parent = nullptr);
  /// The program's one dialog, made at start-up; null before.
  static TAlertSelectionWindow* Instance();

  /// Fills the rows from a window's settings (one element per catalogue row).
  void SetConfig(const TAlertConfigList& list);
  TAlertConfigList GetConfig() const;

  /// Ticks every row of a group, leaving the others as they are ("+ ..." buttons).
  void TickGroup(TAlertGroup group);
  /// Unticks every late-start row ("- Late Start").
  void UntickLateStart();
  void TickAll(bool on);

 private:
  struct TRow {
    QCheckBox* Alert;
    QFrame* Foreground;
    QFrame* Background;
    QCheckBox* Bold;
    QCheckBox* Italic;
    QCheckBox* Underline;
  };
  void ChooseColor(QFrame* panel);

  const TAllAlertTypes& catalogue_;
  std::vector<TRow> rows_;
};

}  // namespace tarnwell
