// The push settings dialog against a real writer: what it hands the writer, what it locks, what reaches the
// queue and what it shows of the writer's counts and errors. Runs on Qt's offscreen platform.
#include "gui/ConfigureAlertsPush.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <atomic>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "OffscreenApplication.h"
#include "TempDir.h"
#include "framework/DebugLog.h"
#include "gui/QtUserInterfaceThread.h"

namespace tarnwell {
namespace {

using tarnwell::testing::TTempDir;

// Config.ini is read once per process, so every case here sees this one file, in place before the first
// case runs. Each of the three levels of the lookup shows in one field.
class TConfigHome final : public ::testing::Environment {
 public:
  void SetUp() override {
    std::ofstream(home_ / "Config.ini") << "[Common]\n"
                                           "db_Host=common-host\n"
                                           "db_User=common-user\n"
                                           "[RealTimeAlerts]\n"
                                           "db_User=section-user\n";
    ::setenv("TARNWELL_HOME", home_.Path().c_str(), 1);
  }

 private:
  TTempDir home_{"tarnwell-push-dialog"};
};
[[maybe_unused]] ::testing::Environment* const kConfigHome = ::testing::AddGlobalTestEnvironment(new TConfigHome);

class ConfigureAlertsPushTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_ = std::make_unique<testing::TOffscreenApplication>();
  }

  void TearDown() override {
    dialog_.reset();
    // The writer may be waiting for this thread to run a host call: keep serving it while the queue stops.
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
      queue_.reset();
      stopped = true;
    });
    while (!stopped) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    stopper.join();
    qt_.reset();
  }

  TConfigureAlertsPush& Open(TMysqlClient& client) {
    queue_ = std::make_unique<TAlertsQueue>(client);
    dialog_ = std::make_unique<TConfigureAlertsPush>(*queue_);
    return *dialog_;
  }

  template <class T>
  T& Child(const char* name) {
    T* child = dialog_->findChild<T*>(name);
    if (child == nullptr) throw std::logic_error(std::string("no child ") + name);
    return *child;
  }
  QString Text(const char* label) { return Child<QLabel>(label).text(); }

  // More than one 500 ms refresh.
  static void WaitForRefresh() { QTest::qWait(600); }

  TMysqlClient missingLibrary_{{"/nonexistent/libnothing.so.3"}};
  std::unique_ptr<TAlertsQueue> queue_;
  std::unique_ptr<TConfigureAlertsPush> dialog_;

 private:
  std::unique_ptr<testing::TOffscreenApplication> qt_;
};

const char* const kConnectionControls[] = {"HostText",     "UserText", "PasswordText",
                                           "DatabaseText", "PortText", "RemoteCheckBox"};

TEST_F(ConfigureAlertsPushTest, FieldsStartFromTheSectionThenCommonThenBuiltInDefaults) {
  Open(TMysqlClient::Instance());
  const struct {
    const char* field;
    const char* text;
  } cases[] = {
      {"HostText", "common-host"},   // only in [Common]
      {"UserText", "section-user"},  // [RealTimeAlerts] wins over [Common]
      {"PasswordText", "rwqpznt"},   // in neither
      {"DatabaseText", "mydb"},
      {"PortText", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Child<QLineEdit>(c.field).text(), c.text) << c.field;
  auto& password = Child<QLineEdit>("PasswordText");
  EXPECT_EQ(password.echoMode(), QLineEdit::Password);
  EXPECT_EQ(password.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, &password), '*');
  for (const char* box : {"EnablePush", "FakeCheckBox", "RemoteCheckBox"}) {
    EXPECT_FALSE(Child<QCheckBox>(box).isChecked()) << box;
  }
  EXPECT_EQ(dialog_->windowTitle(), "Configure Alerts Push");
}

TEST_F(ConfigureAlertsPushTest, LockHandsOverTheFieldsAsTypedAndFreezesOnlyTheConnection) {
  TConfigureAlertsPush& dialog = Open(TMysqlClient::Instance());
  Child<QLineEdit>("HostText").setText("db.example");
  Child<QLineEdit>("UserText").setText("pusher");
  Child<QLineEdit>("PasswordText").setText("s3cret");
  Child<QLineEdit>("DatabaseText").setText("alertsdb");
  Child<QLineEdit>("PortText").setText("3307");
  Child<QCheckBox>("RemoteCheckBox").setChecked(true);

  const TPushSettings settings = dialog.LockSettings();
  EXPECT_EQ(settings.Host, "db.example");
  EXPECT_EQ(settings.User, "pusher");
  EXPECT_EQ(settings.Password, "s3cret");
  EXPECT_EQ(settings.Database, "alertsdb");
  EXPECT_EQ(settings.Port, "3307");
  EXPECT_TRUE(settings.Remote);
  for (const char* control : kConnectionControls) EXPECT_FALSE(Child<QWidget>(control).isEnabled()) << control;
  // The push can still be switched off and tested while a connection is open.
  for (const char* control : {"EnablePush", "FakeCheckBox", "SendTestAlertButton"}) {
    EXPECT_TRUE(Child<QWidget>(control).isEnabled()) << control;
  }

  dialog.UnlockSettings();
  for (const char* control : kConnectionControls) EXPECT_TRUE(Child<QWidget>(control).isEnabled()) << control;
}

TEST_F(ConfigureAlertsPushTest, SwitchesReachTheQueue) {
  Open(missingLibrary_);
  auto& enable = Child<QCheckBox>("EnablePush");
  auto& fake = Child<QCheckBox>("FakeCheckBox");
  enable.click();
  EXPECT_TRUE(queue_->Enabled());
  EXPECT_FALSE(queue_->Fake());
  fake.click();
  EXPECT_TRUE(queue_->Fake());
  enable.click();
  EXPECT_FALSE(queue_->Enabled());
  EXPECT_TRUE(queue_->Fake());
}

// Without the library nothing is taken from the ring, so the counts stay where the dialog put them.
TEST_F(ConfigureAlertsPushTest, WithoutTheLibraryTestAlertsWaitAndTheCountsShowWithSeparators) {
  TConfigureAlertsPush& dialog = Open(missingLibrary_);
  EXPECT_TRUE(Child<QLabel>("LibraryProblemLabel").isVisibleTo(&dialog));
  EXPECT_TRUE(Text("LibraryProblemLabel").startsWith("The MySQL client library is not available: cannot load"))
      << Text("LibraryProblemLabel").toStdString();

  Child<QCheckBox>("EnablePush").click();
  Child<QPushButton>("SendTestAlertButton").click();
  WaitForRefresh();
  EXPECT_EQ(Text("SentLabel"), "0");
  EXPECT_EQ(Text("LostLabel"), "0");
  EXPECT_EQ(Text("WaitingLabel"), "1");
  // The writer's note about the missing library reaches the dialog through the Qt thread.
  EXPECT_TRUE(Text("ErrorLabel").startsWith("Alerts push: cannot load the MySQL client library"))
      << Text("ErrorLabel").toStdString();

  for (int i = 0; i < TAlertsQueue::kRingSize + 1233; ++i) queue_->AddRow("(0)");
  WaitForRefresh();
  EXPECT_EQ(Text("WaitingLabel"), "10,000");
  EXPECT_EQ(Text("LostLabel"), "1,234");
}

// The queue outlives the dialog; what the writer reports afterwards goes to the debug log alone.
TEST_F(ConfigureAlertsPushTest, AQueueOutlivingTheDialogReportsToTheLog) {
  Open(missingLibrary_);
  dialog_.reset();
  TDebugLog::Instance().TakePending();
  queue_->SetEnabled(true);
  bool logged = false;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        for (const std::string& line : TDebugLog::Instance().TakePending()) {
          logged |= line.find("Alerts push: cannot load the MySQL client library") != std::string::npos;
        }
        return logged;
      },
      5000));
}

// The writer connects with the fields as typed, not with Config.ini's host, and a refused connection keeps
// the test alert for the next attempt.
TEST_F(ConfigureAlertsPushTest, AClosedPortIsReportedInTheDialogAndTheLog) {
  TMysqlClient& client = TMysqlClient::Instance();
  ASSERT_TRUE(client.Complete()) << client.Problem();
  TConfigureAlertsPush& dialog = Open(client);
  EXPECT_FALSE(Child<QLabel>("LibraryProblemLabel").isVisibleTo(&dialog));
  TDebugLog::Instance().TakePending();
  Child<QLineEdit>("HostText").setText("127.0.0.1");
  Child<QLineEdit>("PortText").setText("1");  // nothing listens there

  Child<QCheckBox>("EnablePush").click();
  Child<QPushButton>("SendTestAlertButton").click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Text("ErrorLabel").isEmpty(); }, 10000));
  const std::string error = Text("ErrorLabel").toStdString();
  EXPECT_EQ(error.rfind("SQL Error #", 0), 0u) << error;
  EXPECT_NE(error.find("127.0.0.1"), std::string::npos) << error;
  bool logged = false;
  for (const std::string& line : TDebugLog::Instance().TakePending()) logged |= line.ends_with(error);
  EXPECT_TRUE(logged) << error;

  WaitForRefresh();
  EXPECT_EQ(Text("SentLabel"), "1");
  EXPECT_EQ(Text("WaitingLabel"), "0");
}

}  // namespace
}  // namespace tarnwell
