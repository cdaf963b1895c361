#include "gui/AutoAlertMonitor.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <fstream>

#include "distribution/AlertsPush.h"
#include "framework/DebugLog.h"
#include "gui/AlertsWindow.h"
#include "gui/ConfigureAlertsPush.h"

namespace tarnwell {
namespace {

QButtonGroup* RadioGroup(QWidget* parent, QVBoxLayout* into, const char* title, const char* name,
                         std::initializer_list<const char*> items) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  auto* layout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(box);
  int id = 0;
  for (const char* item : items) {
    auto* button = new QRadioButton(item, box);
    layout->addWidget(button);
    group->addButton(button, id++);
  }
  into->addWidget(box);
  return group;
}

}  // namespace

TAutoAlertMonitor::TAutoAlertMonitor(TConfigureAlertsPush* push, QWidget* parent)
    : QWidget(parent, Qt::Window), push_(push) {
  setObjectName("AutoAlertMonitor");
  setWindowTitle("Auto Alert Monitor");
  auto* layout = new QVBoxLayout(this);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(new QLabel("Symbol File:", this));
  symbolFile_ = new QLineEdit(this);
  symbolFile_->setObjectName("SymbolFileEdit");
  fileRow->addWidget(symbolFile_, 1);
  auto button = [&](const char* caption, const char* name, auto run) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, run);
    return b;
  };
  fileRow->addWidget(button("Select File", "SelectFile", [this] { SelectFile(); }));
  fileRow->addWidget(button("Test File", "TestFile", [this] { TestFile(); }));
  layout->addLayout(fileRow);

  auto* actions = new QHBoxLayout;
  actions->addWidget(button("Start Now", "StartNowButton", [this] {
    try {
      logic_->StartAlerts();
    } catch (const std::exception& error) {
      AddLine(std::string("Start Now: ") + error.what());
      logic_->StopAlerts();
    }
  }));
  actions->addWidget(button("Stop Now", "StopNowButton", [this] { logic_->StopAlerts(); }));
  autoStart_ = new QCheckBox("Auto Start", this);
  autoStart_->setObjectName("AutoStartCheckBox");
  actions->addWidget(autoStart_);
  actions->addStretch(1);
  layout->addLayout(actions);

  auto* choices = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  autoStop_ = RadioGroup(this, left, "Auto Stop", "AutoStopRadioGroup", {"Nothing", "Close Windows", "Shut Down"});
  history_ = RadioGroup(this, right, "Volume Block History", "VolumeBlockHistory",
                        {"Force No History", "Auto No History", "Auto Use History", "Force Use History"});
  choices->addLayout(left);
  choices->addLayout(right);
  layout->addLayout(choices);

  auto* statusRow = new QHBoxLayout;
  statusRow->addWidget(new QLabel("Status:  ", this));
  status_ = new QLabel("--", this);
  status_->setObjectName("Status");
  statusRow->addWidget(status_, 1);
  layout->addLayout(statusRow);

  auto* watch = new QGridLayout;
  monitor_ = new QCheckBox("Monitor", this);
  monitor_->setObjectName("MonitorCheckBox");
  report_ = new QCheckBox("Report", this);
  report_->setObjectName("ReportCheckBox");
  reportAs_ = new QLineEdit(this);
  reportAs_->setObjectName("ReportAsEdit");
  watch->addWidget(monitor_, 0, 0);
  watch->addWidget(report_, 0, 1);
  watch->addWidget(new QLabel("Report as:", this), 0, 2);
  watch->addWidget(reportAs_, 0, 3);
  auto label = [&](const char* name, int row, int column) {
    auto* l = new QLabel(this);
    l->setObjectName(name);
    watch->addWidget(l, row, column, 1, 2);
    return l;
  };
  delay_ = label("DelayLabel", 1, 0);
  worstDelay_ = label("WorstDelayLabel", 1, 2);
  overdue_ = label("OverdueLabel", 2, 0);
  worstOverdue_ = label("WorstOverdueLabel", 2, 2);
  layout->addLayout(watch);

  logic_ = std::make_unique<TAutoAlertMonitorLogic>(*this, push_ ? &push_->Queue() : nullptr);
  autoStop_->button(TAutoAlertMonitorLogic::asNothing)->setChecked(true);
  history_->button(logic_->VolumeBlockHistory)->setChecked(true);
  reportAs_->setText(QString::fromStdString(logic_->ReportAs));
  AddLine("Computer Name:  " + TAutoAlertMonitorLogic::ComputerName());

  // The controls hold the settings; every change, the user's or the program's, goes to the logic at once.
  connect(history_, &QButtonGroup::idClicked, this, [this](int id) {
    logic_->VolumeBlockHistory = static_cast<TAutoAlertMonitorLogic::TVolumeBlockHistory>(id);
    logic_->ApplyVolumeBlockHistory(clock::Now());
  });
  connect(monitor_, &QCheckBox::toggled, this, [this] { DisplayChanged(); });
  connect(report_, &QCheckBox::toggled, this, [this](bool on) { logic_->Report = on; });
  connect(reportAs_, &QLineEdit::textChanged, this, [this](const QString& text) { logic_->ReportAs = text.toStdString(); });
  connect(autoStart_, &QCheckBox::toggled, this, [this](bool on) { logic_->AutoStart = on; });
  connect(autoStop_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on) logic_->AutoStop = static_cast<TAutoAlertMonitorLogic::TAutoStop>(id);
  });
  connect(symbolFile_, &QLineEdit::textChanged, this, [this](const QString& text) { logic_->SymbolFile = text.toStdString(); });

  // Twenty seconds of the program's clock, which a simulated day runs faster.
  timer_ = new QTimer(this);
  timer_->setInterval(static_cast<int>(clock::RealMs(TAutoAlertMonitorLogic::kTickSeconds * 1000)));
  connect(timer_, &QTimer::timeout, this, &TAutoAlertMonitor::Tick);
  timer_->start();
  DisplayChanged();
}

TAutoAlertMonitor::~TAutoAlertMonitor() = default;

void TAutoAlertMonitor::Tick() {
  logic_->Tick(clock::Now());
  // The automatic choice may have moved.
  history_->button(logic_->VolumeBlockHistory)->setChecked(true);
}

void TAutoAlertMonitor::ConfigureUnattended(const std::string& symbolFile, const std::string& database) {
  if (push_ != nullptr) push_->ConfigureUnattended(database);
  symbolFile_->setText(QString::fromStdString(symbolFile));
  autoStart_->setChecked(true);
  autoStop_->button(TAutoAlertMonitorLogic::asShutDown)->setChecked(true);
  logic_->ResetLastTick();
  monitor_->setChecked(true);
  report_->setChecked(true);
  DisplayChanged();
  show();
  AddLine("Unattended: symbol file \"" + symbolFile + "\", database \"" + database + "\"");
}

void TAutoAlertMonitor::SetReportAs(const std::string& name) { reportAs_->setText(QString::fromStdString(name)); }

TAlertWindow* TAutoAlertMonitor::FindGroupWindow(const std::string& caption) {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* alerts = dynamic_cast<TAlertWindow*>(window);
    if (alerts != nullptr && window->windowTitle().toStdString() == caption) return alerts;
  }
  return nullptr;
}

void TAutoAlertMonitor::OpenGroupWindow(TAlertGroup group, const std::string& caption) {
  TAlertWindow* window = FindGroupWindow(caption);
  if (window == nullptr) {
    window = new TAlertWindow;
    window->setWindowTitle(QString::fromStdString(caption));
    window->show();
    window->showMinimized();
  }
  window->SelectGroup(group);
}

void TAutoAlertMonitor::SetGroupSymbols(TAlertGroup group, const std::vector<std::string>& symbols) {
  for (const auto& [g, caption] : TAutoAlertMonitorLogic::kGroupWindows) {
    if (g != group) continue;
    if (TAlertWindow* window = FindGroupWindow(caption)) window->SetSymbols(symbols);
  }
}

void TAutoAlertMonitor::CloseGroupWindows() {
  for (const auto& [group, caption] : TAutoAlertMonitorLogic::kGroupWindows) delete FindGroupWindow(caption);
}

void TAutoAlertMonitor::ShutDown() {
  // The windows stop first, so that nothing more is added; then the writer sends what waits.
  CloseGroupWindows();
  if (push_ != nullptr && push_->Queue().Enabled()) {
    TAlertsQueue& queue = push_->Queue();
    QElapsedTimer waited;
    waited.start();
    while (!queue.Idle() && waited.elapsed() < kShutDownWaitSeconds * 1000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // The day's figures: every alert the windows took was added; what was not sent is counted as lost.
    const TAlertsQueue::TCounts counts = queue.Counts();
    std::string figures = std::to_string(counts.Added) + " added, " + std::to_string(counts.Sent) + " sent, " +
                          std::to_string(counts.Lost) + " lost";
    if (counts.Repeated > 0) {
      figures += ", " + std::to_string(counts.Repeated) + " sent again after no answer (may be in the table twice)";
    }
    if (!queue.Idle()) {
      AddLine("Shut down after " + std::to_string(kShutDownWaitSeconds) + " s: " + figures + ", " +
              std::to_string(counts.Waiting) + " not sent");
    } else {
      AddLine("All alert rows sent: " + figures + ", in " + std::to_string(waited.elapsed()) + " ms");
    }
  }
  qApp->exit(0);
}

void TAutoAlertMonitor::StatusChanged(const std::string& status) { status_->setText(QString::fromStdString(status)); }

void TAutoAlertMonitor::DisplayChanged() {
  report_->setEnabled(monitor_->isChecked());
  logic_->SetMonitor(monitor_->isChecked());
  logic_->UpdateOverdue(clock::Now());
  overdue_->setText(QString::fromStdString(logic_->OverdueText()));
  delay_->setText(QString::fromStdString(logic_->DelayText()));
  worstOverdue_->setText(QString::fromStdString(logic_->WorstOverdueText()));
  worstDelay_->setText(QString::fromStdString(logic_->WorstDelayText()));
}

void TAutoAlertMonitor::TestFile() {
  const std::string path = logic_->SymbolFilePath();
  std::ifstream in(path);
  if (!in) {
    QMessageBox::critical(this, "Error", QString::fromStdString("Cannot open the symbol file \"" + path + "\""));
    return;
  }
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  QMessageBox::information(this, "Auto Alert Monitor",
                           QString::asprintf("Loaded %d lines from %s", lines, path.c_str()));
}

void TAutoAlertMonitor::SelectFile() {
  const QString path = QFileDialog::getOpenFileName(this, "Select File", symbolFile_->text());
  if (!path.isEmpty()) symbolFile_->setText(path);
}

}  // namespace tarnwell
