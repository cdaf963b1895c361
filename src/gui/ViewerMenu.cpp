#include "gui/ViewerMenu.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "framework/SymbolGroups.h"
#include "gui/Pages.h"

namespace tarnwell {
namespace {

TSetGroupDialog* groupDialog = nullptr;
TSetSymbolDialog* symbolDialog = nullptr;

IGroupMember* AsMember(QWidget* widget) { return dynamic_cast<IGroupMember*>(widget); }

// A dialog placed centred over `over`, kept inside the screen.
void CentreOver(QWidget& dialog, QWidget& over) {
  dialog.adjustSize();
  QRect place(QPoint(0, 0), dialog.size());
  place.moveCenter(over.frameGeometry().center());
  if (QScreen* screen = over.screen()) {
    const QRect area = screen->geometry();
    if (place.right() > area.right()) place.moveRight(area.right());
    if (place.bottom() > area.bottom()) place.moveBottom(area.bottom());
  }
  if (place.left() < 0) place.moveLeft(0);
  if (place.top() < 0) place.moveTop(0);
  dialog.move(place.topLeft());
}

}  // namespace

void AddViewerMenu(QMenu* menu, QWidget* control) {
  QAction* before = menu->actions().isEmpty() ? nullptr : menu->actions().front();
  QPointer<QWidget> target(control);
  auto add = [&](const QString& caption, auto run) {
    auto* action = new QAction(caption, menu);
    QObject::connect(action, &QAction::triggered, menu, [target, run] {
      if (!target.isNull()) run(target.data());
    });
    menu->insertAction(before, action);
    return action;
  };
  add("Set Group...", [](QWidget* w) {
    if (TSetGroupDialog::Instance()) TSetGroupDialog::Instance()->ShowFor(w);
  })->setShortcut(QKeySequence("Ctrl+G"));
  add("Set Symbol...", [](QWidget* w) {
    if (TSetSymbolDialog::Instance()) TSetSymbolDialog::Instance()->ShowFor(w);
  })->setShortcut(QKeySequence("Ctrl+S"));
  add("Save...", [](QWidget* w) { SaveWindowWithDialog(w); });
  QAction* window = add("Duplicate Window", [](QWidget* w) { DuplicateWindow(w, false); });
  QAction* panel = add("Duplicate Panel", [](QWidget* w) { DuplicateWindow(w, true); });
  menu->insertSeparator(before);
  // Duplicating needs a savable window around the control, which docking and undocking change.
  QObject::connect(menu, &QMenu::aboutToShow, menu, [target, window, panel] {
    window->setEnabled(!target.isNull() && DuplicateTarget(target.data(), false) != nullptr);
    panel->setEnabled(!target.isNull() && DuplicateTarget(target.data(), true) != nullptr);
  });
}

// --- Set Group ---------------------------------------------------------------------------------------------

TSetGroupDialog::TSetGroupDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("GroupDialog");
  setWindowTitle("Set Group");
  auto* layout = new QVBoxLayout(this);
  auto* choice = new QGroupBox("Set Group For", this);
  auto* choiceLayout = new QHBoxLayout(choice);
  entireWindow_ = new QRadioButton("Entire Window", choice);
  panelOnly_ = new QRadioButton("Panel Only", choice);
  choiceLayout->addWidget(entireWindow_);
  choiceLayout->addWidget(panelOnly_);
  layout->addWidget(choice);
  auto* nameBox = new QGroupBox("Group Name", this);
  auto* nameLayout = new QHBoxLayout(nameBox);
  groups_ = new QComboBox(nameBox);
  groups_->setEditable(true);
  groups_->setMinimumContentsLength(24);
  new_ = new QPushButton("New", nameBox);
  none_ = new QPushButton("None", nameBox);
  nameLayout->addWidget(groups_, 1);
  nameLayout->addWidget(new_);
  nameLayout->addWidget(none_);
  layout->addWidget(nameBox);
  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(entireWindow_, &QRadioButton::toggled, this, [this] { ChoiceChanged(); });
  connect(groups_, &QComboBox::currentTextChanged, this, [this] { UpdateOk(); });
  connect(none_, &QPushButton::clicked, this, [this] {
    groups_->setCurrentIndex(-1);
    groups_->setEditText("");
  });
  connect(new_, &QPushButton::clicked, this, [this] {
    groups_->setCurrentIndex(-1);
    groups_->setEditText(QString::fromStdString(TGroupList::Instance().NewGroupName()));
  });
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    Apply();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  if (groupDialog == nullptr) groupDialog = this;
}

TSetGroupDialog* TSetGroupDialog::Instance() { return groupDialog; }

void TSetGroupDialog::Prepare(QWidget* control) {
  panel_ = Innermost<IGroupMember>(control);
  window_ = Outermost<IGroupMember>(control);
}

void TSetGroupDialog::PrepareToShow() {
  groups_->clear();
  TGroupList& list = TGroupList::Instance();
  for (const std::string& name : list.GroupNames()) {
    const std::string symbol = list.GetSymbol(name);
    groups_->addItem(QString::fromStdString(symbol.empty() ? name : name + " (" + symbol + ")"),
                     QString::fromStdString(name));
  }
  const QSignalBlocker blocker(entireWindow_);
  if (panel_ && window_) {
    (AsMember(window_)->GetGroup().empty() ? panelOnly_ : entireWindow_)->setChecked(true);
    entireWindow_->setEnabled(true);
    panelOnly_->setEnabled(true);
  } else if (panel_) {
    panelOnly_->setChecked(true);
    entireWindow_->setEnabled(false);
    panelOnly_->setEnabled(false);
  } else {
    entireWindow_->setChecked(true);
    entireWindow_->setEnabled(false);
    panelOnly_->setEnabled(false);
  }
  ChoiceChanged();
}

void TSetGroupDialog::SelectGroupOf(QWidget* member) {
  const QString name = member ? QString::fromStdString(AsMember(member)->GetGroup()) : QString();
  const int index = groups_->findData(name);
  groups_->setCurrentIndex(index);
  if (index < 0) groups_->setEditText(name);
}

void TSetGroupDialog::ChoiceChanged() {
  const bool entire = entireWindow_->isChecked();
  SelectGroupOf(entire ? window_.data() : panel_.data());
  none_->setEnabled(entire);
  UpdateOk();
}

void TSetGroupDialog::UpdateOk() {
  ok_->setEnabled(entireWindow_->isChecked() || !ChosenName().empty());
}

std::string TSetGroupDialog::ChosenName() const {
  const int index = groups_->currentIndex();
  if (index >= 0 && groups_->itemText(index) == groups_->currentText()) {
    return groups_->itemData(index).toString().toStdString();
  }
  return groups_->currentText().toStdString();
}

void TSetGroupDialog::Apply() {
  const std::string name = ChosenName();
  if (entireWindow_->isChecked()) {
    if (window_) AsMember(window_)->SetGroup(name);
    return;
  }
  if (window_) AsMember(window_)->SetGroup("");
  if (panel_) AsMember(panel_)->SetGroup(name);
}

void TSetGroupDialog::ShowFor(QWidget* control) {
  Prepare(control);
  PrepareToShow();
  if (QScreen* screen = control ? control->screen() : nullptr) {
    adjustSize();
    move(screen->availableGeometry().center() - rect().center());
  }
  exec();
}

void TSetGroupDialog::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  panel_ = nullptr;
  window_ = nullptr;
}

// --- Set Symbol --------------------------------------------------------------------------------------------

TSetSymbolDialog::TSetSymbolDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("SymbolDialog");
  setWindowTitle("Set Symbol");
  auto* layout = new QVBoxLayout(this);
  label_ = new QLabel(this);
  edit_ = new QLineEdit(this);
  layout->addWidget(label_);
  layout->addWidget(edit_);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    Apply();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  if (symbolDialog == nullptr) symbolDialog = this;
}

TSetSymbolDialog* TSetSymbolDialog::Instance() { return symbolDialog; }

void TSetSymbolDialog::PrepareFor(const std::string& name) {
  group_ = name;
  label_->setText(QString::fromStdString("Group \"" + name + "\""));
  edit_->setText(QString::fromStdString(TGroupList::Instance().GetSymbol(name)));
  edit_->selectAll();
  edit_->setFocus();
}

void TSetSymbolDialog::Apply() { TGroupList::Instance().SetSymbol(group_, edit_->text().toStdString()); }

void TSetSymbolDialog::ShowFor(QWidget* control) {
  QWidget* member = Innermost<IGroupMember>(control);
  if (member == nullptr) return;
  PrepareFor(AsMember(member)->GetGroup());
  CentreOver(*this, *member->window());
  exec();
}

}  // namespace tarnwell
