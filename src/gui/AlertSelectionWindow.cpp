#include "gui/AlertSelectionWindow.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tarnwell {
namespace {

TAlertSelectionWindow* instance = nullptr;

constexpr int kRowHeight = 24;

TColor PanelColor(const QFrame* panel) { return panel->property("color").toUInt(); }

void SetPanelColor(QFrame* panel, TColor color) {
  panel->setProperty("color", color);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, ToQColor(color));
  panel->setPalette(palette);
}

// Colour panels open the colour dialog when clicked.
class TPanelClicks : public QObject {
 public:
  TPanelClicks(QObject* parent, std::function<void(QFrame*)> clicked) : QObject(parent), clicked_(std::move(clicked)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    clicked_(static_cast<QFrame*>(watched));
    return true;
  }

 private:
  std::function<void(QFrame*)> clicked_;
};

}  // namespace

TAlertSelectionWindow::TAlertSelectionWindow(QWidget* parent) : QDialog(parent), catalogue_(GetAllAlertTypes()) {
  setObjectName("AlertSelectionWindow");
  setWindowTitle("Select Alerts");
  auto* layout = new QVBoxLayout(this);
  auto* scroll = new QScrollArea(this);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidgetResizable(true);
  auto* box = new QWidget(scroll);
  auto* grid = new QGridLayout(box);
  grid->setVerticalSpacing(0);
  grid->setContentsMargins(4, 0, 4, 0);
  const char* headers[] = {"Alert", "Foreground", "Background", "Bold", "Italic", "Underline"};
  for (int column = 0; column < 6; ++column) grid->addWidget(new QLabel(headers[column], box), 0, column);
  auto* clicks = new TPanelClicks(this, [this](QFrame* panel) { ChooseColor(panel); });
  auto panel = [&] {
    auto* frame = new QFrame(box);
    frame->setFixedSize(60, 17);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setAutoFillBackground(true);
    frame->setCursor(Qt::PointingHandCursor);
    frame->installEventFilter(clicks);
    return frame;
  };
  rows_.reserve(catalogue_.size());
  for (std::size_t i = 0; i < catalogue_.size(); ++i) {
    TRow row{new QCheckBox(QString::fromStdString(catalogue_[i].Category->DisplayName), box), panel(), panel(),
             new QCheckBox(box), new QCheckBox(box), new QCheckBox(box)};
    row.Alert->setMinimumWidth(150);
    const int line = static_cast<int>(i) + 1;
    grid->addWidget(row.Alert, line, 0);
    grid->addWidget(row.Foreground, line, 1);
    grid->addWidget(row.Background, line, 2);
    grid->addWidget(row.Bold, line, 3, Qt::AlignHCenter);
    grid->addWidget(row.Italic, line, 4, Qt::AlignHCenter);
    grid->addWidget(row.Underline, line, 5, Qt::AlignHCenter);
    grid->setRowMinimumHeight(line, kRowHeight);
    rows_.push_back(row);
  }
  scroll->setWidget(box);
  layout->addWidget(scroll, 1);

  auto* buttons = new QHBoxLayout;
  auto button = [&](const char* caption, auto run) {
    auto* b = new QPushButton(caption, this);
    connect(b, &QPushButton::clicked, this, run);
    buttons->addWidget(b);
    return b;
  };
  button("All", [this] { TickAll(true); });
  button("None", [this] { TickAll(false); });
  button("+ Manual Only", [this] { TickGroup(agManualOnly); });
  button("+ High Vol Only", [this] { TickGroup(agVolumeConfirmed); });
  button("+ Low Vol Only", [this] { TickGroup(agLowVolume); });
  button("+ Misc", [this] { TickGroup(agMisc); });
  button("- Late Start", [this] { UntickLateStart(); });
  buttons->addStretch(1);
  button("OK", [this] { accept(); })->setDefault(true);
  button("Cancel", [this] { reject(); });
  layout->addLayout(buttons);
  resize(std::max(442, sizeHint().width()), 401 + 60);
  if (instance == nullptr) instance = this;
}

TAlertSelectionWindow* TAlertSelectionWindow::Instance() { return instance; }

void TAlertSelectionWindow::SetConfig(const TAlertConfigList& list) {
  for (std::size_t i = 0; i < rows_.size() && i < list.size(); ++i) {
    const TAlertConfig& c = list[i];
    rows_[i].Alert->setChecked(c.Enabled);
    SetPanelColor(rows_[i].Foreground, c.Foreground);
    SetPanelColor(rows_[i].Background, c.Background);
    rows_[i].Bold->setChecked(c.Bold);
    rows_[i].Italic->setChecked(c.Italic);
    rows_[i].Underline->setChecked(c.Underline);
  }
}

TAlertConfigList TAlertSelectionWindow::GetConfig() const {
  TAlertConfigList list;
  list.reserve(rows_.size());
  for (const TRow& row : rows_) {
    list.push_back({row.Alert->isChecked(), PanelColor(row.Foreground), PanelColor(row.Background),
                    row.Bold->isChecked(), row.Italic->isChecked(), row.Underline->isChecked()});
  }
  return list;
}

void TAlertSelectionWindow::TickAll(bool on) {
  for (TRow& row : rows_) row.Alert->setChecked(on);
}

void TAlertSelectionWindow::TickGroup(TAlertGroup group) {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (catalogue_[i].Group == group) rows_[i].Alert->setChecked(true);
  }
}

void TAlertSelectionWindow::UntickLateStart() {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (catalogue_[i].LateStart) rows_[i].Alert->setChecked(false);
  }
}

void TAlertSelectionWindow::ChooseColor(QFrame* panel) {
  const QColor chosen = QColorDialog::getColor(ToQColor(PanelColor(panel)), this, "Color");
  if (chosen.isValid()) SetPanelColor(panel, FromQColor(chosen));
}

}  // namespace tarnwell
