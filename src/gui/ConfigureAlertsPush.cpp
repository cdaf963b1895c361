#include "gui/ConfigureAlertsPush.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <initializer_list>

#include "alerts/Alert.h"
#include "framework/Clock.h"
#include "framework/DebugLog.h"
#include "framework/StartArguments.h"

namespace tarnwell {
namespace {

QLineEdit* AddField(QFormLayout* form, const char* caption, const char* name, const std::string& text) {
  auto* edit = new QLineEdit(QString::fromStdString(text));
  edit->setObjectName(name);
  form->addRow(caption, edit);
  return edit;
}

QCheckBox* MakeCheckBox(const char* caption, const char* name) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(name);
  return box;
}

QLabel* AddCount(QGridLayout* grid, int row, const char* caption, const char* name) {
  auto* value = new QLabel;
  value->setObjectName(name);
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  value->setMinimumWidth(80);
  grid->addWidget(new QLabel(caption), row, 0);
  grid->addWidget(value, row, 1);
  return value;
}

}  // namespace

TConfigureAlertsPush::TConfigureAlertsPush(TAlertsQueue& queue, QWidget* parent)
    : QDialog(parent), queue_(queue) {
  setWindowTitle("Configure Alerts Push");
  setObjectName("ConfigureAlertsPush");

  const TPushSettings settings = TPushSettings::FromConfig();
  auto* form = new QFormLayout;
  host_ = AddField(form, "Host", "HostText", settings.Host);
  user_ = AddField(form, "User", "UserText", settings.User);
  password_ = AddField(form, "Password", "PasswordText", settings.Password);
  password_->setEchoMode(QLineEdit::Password);
  password_->setStyleSheet("lineedit-password-character: 42");  // '*', whatever the style's own mask
  database_ = AddField(form, "Database", "DatabaseText", settings.Database);
  port_ = AddField(form, "Port", "PortText", settings.Port);
  remote_ = MakeCheckBox("Remote", "RemoteCheckBox");
  form->addRow(remote_);

  // The boxes show what the writer does, so they start from the queue (off in a fresh one).
  enablePush_ = MakeCheckBox("Enable Push", "EnablePush");
  enablePush_->setChecked(queue_.Enabled());
  connect(enablePush_, &QCheckBox::toggled, this, [this](bool checked) { queue_.SetEnabled(checked); });
  fake_ = MakeCheckBox("Fake", "FakeCheckBox");
  fake_->setChecked(queue_.Fake());
  connect(fake_, &QCheckBox::toggled, this, [this](bool checked) { queue_.SetFake(checked); });
  auto* switches = new QHBoxLayout;
  switches->addWidget(enablePush_);
  switches->addWidget(fake_);
  switches->addStretch();

  auto* counts = new QGridLayout;
  sent_ = AddCount(counts, 0, "Sent", "SentLabel");
  lost_ = AddCount(counts, 1, "Lost", "LostLabel");
  waiting_ = AddCount(counts, 2, "Waiting", "WaitingLabel");
  counts->setColumnStretch(2, 1);

  // The writer looks for rows every 100 ms, so a test alert needs no wake-up.
  sendTestAlert_ = new QPushButton("Send Test Alert");
  sendTestAlert_->setObjectName("SendTestAlertButton");
  sendTestAlert_->setAutoDefault(false);
  connect(sendTestAlert_, &QPushButton::clicked, this,
          [this] { queue_.AddAlert(MakeTestAlertEvent(clock::Now()), "DEMO", "TEST"); });

  // Without the library the program runs on and the rows wait in the ring; the user should know why.
  libraryProblem_ = new QLabel;
  libraryProblem_->setObjectName("LibraryProblemLabel");
  libraryProblem_->setWordWrap(true);
  libraryProblem_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  const TMysqlClient& client = queue_.Client();
  libraryProblem_->setText("The MySQL client library is not available: " + QString::fromStdString(client.Problem()));
  libraryProblem_->setVisible(!client.Complete());

  lastError_ = new QLabel;
  lastError_->setObjectName("ErrorLabel");
  lastError_->setWordWrap(true);
  lastError_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(switches);
  layout->addLayout(counts);
  layout->addWidget(sendTestAlert_, 0, Qt::AlignLeft);
  layout->addWidget(libraryProblem_);
  layout->addWidget(lastError_);
  layout->addStretch();
  resize(360, sizeHint().height());

  timer_ = new QTimer(this);
  timer_->setInterval(500);
  connect(timer_, &QTimer::timeout, this, &TConfigureAlertsPush::RefreshCounts);
  timer_->start();
  RefreshCounts();

  queue_.SetHost(this);
}

TConfigureAlertsPush::~TConfigureAlertsPush() {
  // A host call the writer has queued on this thread may run after the widgets are gone.
  queue_.SetHost(nullptr);
}

TPushSettings TConfigureAlertsPush::LockSettings() {
  TPushSettings settings;
  settings.Host = host_->text().toStdString();
  settings.User = user_->text().toStdString();
  settings.Password = password_->text().toStdString();
  settings.Database = database_->text().toStdString();
  settings.Port = port_->text().toStdString();
  settings.Remote = remote_->isChecked();
  SetConnectionEditable(false);
  return settings;
}

void TConfigureAlertsPush::UnlockSettings() { SetConnectionEditable(true); }

void TConfigureAlertsPush::ReportError(const std::string& line) {
  AddLine(line);
  lastError_->setText(QString::fromStdString(line));
}

void TConfigureAlertsPush::ConfigureUnattended(const std::string& database) {
  if (!database.empty()) {
    const THostPort address = SplitHostPort(database);
    host_->setText(QString::fromStdString(address.host));
    if (database.find(':') != std::string::npos) port_->setText(QString::fromStdString(address.port));
  }
  enablePush_->setChecked(true);
  queue_.SetEnabled(true);
}

void TConfigureAlertsPush::RefreshCounts() {
  const TAlertsQueue::TCounts counts = queue_.Counts();
  sent_->setText(QString::fromStdString(TAlert::FormatWhole(static_cast<double>(counts.Sent))));
  lost_->setText(QString::fromStdString(TAlert::FormatWhole(static_cast<double>(counts.Lost))));
  waiting_->setText(QString::fromStdString(TAlert::FormatWhole(static_cast<double>(counts.Waiting))));
}

void TConfigureAlertsPush::SetConnectionEditable(bool editable) {
  for (QWidget* control : std::initializer_list<QWidget*>{host_, user_, password_, database_, port_, remote_}) {
    control->setEnabled(editable);
  }
}

}  // namespace tarnwell
