#pragma once
// The entries every viewer's pop-up menu starts with, and the two group dialogs behind them.

#include <QDialog>
#include <QPointer>
#include <string>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace tarnwell {

/// Puts "Set Group...", "Set Symbol...", "Save...", "Duplicate Window", "Duplicate Panel" and a separator at
/// the top of `menu`; each acts on the windows around `control`.
void AddViewerMenu(QMenu* menu, QWidget* control);

/// "Set Group": moves a window, or one panel of it, to another symbol group.
class TSetGroupDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TSetGroupDialog(QWidget* parent = nullptr);
  /// The program's one dialog, made at start-up; null before.
  static TSetGroupDialog* Instance();

  /// Finds the panel (the nearest group member) and the window (the outermost) around `control`.
  void Prepare(QWidget* control);
  /// The choice, the list and the buttons as they are when the dialog shows.
  void PrepareToShow();
  /// Runs the dialog modally for `control`.
  void ShowFor(QWidget* control);
  /// What "OK" does.
  void Apply();

  QRadioButton* EntireWindow() const { return entireWindow_; }
  QRadioButton* PanelOnly() const { return panelOnly_; }
  QComboBox* Groups() const { return groups_; }
  QPushButton* NewButton() const { return new_; }
  QPushButton* NoneButton() const { return none_; }
  QPushButton* OkButton() const { return ok_; }

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void ChoiceChanged();
  void UpdateOk();
  void SelectGroupOf(QWidget* member);
  std::string ChosenName() const;

  QPointer<QWidget> panel_;
  QPointer<QWidget> window_;
  QRadioButton* entireWindow_;
  QRadioButton* panelOnly_;
  QComboBox* groups_;
  QPushButton* new_;
  QPushButton* none_;
  QPushButton* ok_;
};

/// "Set Symbol": the symbol of the group of the window a command came from.
class TSetSymbolDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TSetSymbolDialog(QWidget* parent = nullptr);
  static TSetSymbolDialog* Instance();

  /// Shows the dialog modally over the group member around `control`; nothing without one.
  void ShowFor(QWidget* control);
  /// Fills the label and the edit for the group `name`.
  void PrepareFor(const std::string& name);
  /// What "OK" does.
  void Apply();

  QLabel* Label() const { return label_; }
  QLineEdit* Edit() const { return edit_; }

 private:
  std::string group_;
  QLabel* label_;
  QLineEdit* edit_;
};

}  // namespace tarnwell
