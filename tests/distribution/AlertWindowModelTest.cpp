#include "distribution/AlertWindowModel.h"

#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "OvernightHome.h"
#include "alerts/Registration.h"
#include "distribution/AlertsPush.h"
#include "distribution/MysqlClient.h"

namespace tarnwell {
namespace {

using testing::RunOnDataNodeThread;

// The alert window's own logic, beaten by hand: alerts are put straight into the window's queue, as the
// matrix would, and reach the window at the next screen beat.
class AlertWindowModelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TScreenUpdater::Interface(); }
  void SetUp() override {
    home_ = std::make_unique<testing::TOvernightHome>();
    RegisterStandardFactories();
    testing::InstallHandFeed();
    SetUserInterfaceThread(&ui_);
    push_ = std::make_unique<TAlertsQueue>(noLibrary_);
    model_ = std::make_unique<TAlertWindowModel>(push_.get(), [this](int arrived) { arrivals_.push_back(arrived); });
  }
  void TearDown() override {
    model_.reset();
    push_.reset();
    TDataNodeThread::Instance().Flush();
    SetUserInterfaceThread(nullptr);
    home_.reset();
    testing::ClearFeedImplementations();
  }

  /// `n` alerts of catalogue row `row` in one job, numbered from `from` in their descriptions.
  void Fire(std::size_t row, int n, int from = 0) {
    RunOnDataNodeThread([&] {
      auto [queue, link] = TAlertQueue::Find(model_->Matrix().QueueName());
      for (int i = from; i < from + n; ++i) {
        TAlertEvent event{&model_->RowCategory(row), &ibm_, {}};
        event.Data.Description = "alert " + std::to_string(i);
        event.Data.Time = EncodeDateTime(2026, 12, 10, 10, 0, i % 60);
        queue->AddEvent(std::move(event));
      }
      TDataNodeLink::Release(link);
    });
  }
  void Beat() { testing::ScreenBeat(ui_); }

  std::unique_ptr<testing::TOvernightHome> home_;
  TPlainUserInterfaceThread ui_;
  TMysqlClient noLibrary_{{"/nonexistent/libnothing.so.3"}};
  std::unique_ptr<TAlertsQueue> push_;
  std::unique_ptr<TAlertWindowModel> model_;
  std::vector<int> arrivals_;
  TAlertInputs ibm_{"IBM"};
};

TEST_F(AlertWindowModelTest, ABurstLeavesTheNewestHundredNewestFirstInOneRefresh) {
  push_->SetEnabled(true);
  Fire(0, 150);
  Beat();
  Beat();
  EXPECT_EQ(arrivals_, std::vector<int>{150}) << "one refresh for the burst, none for a quiet beat";
  ASSERT_EQ(model_->Count(), 100);
  EXPECT_EQ(model_->EventAtRow(0).Data.Description, "alert 149");
  EXPECT_EQ(model_->EventAtRow(99).Data.Description, "alert 50");
  // Every alert went to the push, under the row's short code, the ring's dropping notwithstanding.
  EXPECT_EQ(push_->Counts().Added, 150);
  EXPECT_EQ(TAlertWindowModel::CategoryOf(model_->EventAtRow(0)).ShortName, model_->RowCategory(0).ShortName);

  // An alert the push cannot take (no time) is still shown.
  RunOnDataNodeThread([&] {
    auto [queue, link] = TAlertQueue::Find(model_->Matrix().QueueName());
    TAlertEvent event{&model_->RowCategory(2), &ibm_, {}};
    event.Data.Description = "no time";
    queue->AddEvent(std::move(event));
    TDataNodeLink::Release(link);
  });
  Beat();
  EXPECT_EQ(model_->EventAtRow(0).Data.Description, "no time");
  EXPECT_EQ(push_->Counts().Added, 150);

  // With the push switched off the window still shows alerts and nothing more waits for the database.
  push_->SetEnabled(false);
  Fire(1, 3, 150);
  Beat();
  EXPECT_EQ(model_->Count(), 100);
  EXPECT_EQ(model_->EventAtRow(0).Data.Description, "alert 152");
  EXPECT_EQ(&model_->EventAtRow(0).Category->Factory(), &model_->RowCategory(1).Factory());
  EXPECT_EQ(push_->Counts().Added, 150);

  model_->Clear();
  EXPECT_EQ(model_->Count(), 0);
  Fire(0, 1, 200);
  Beat();
  EXPECT_EQ(model_->Count(), 1);
  EXPECT_EQ(model_->EventAtRow(0).Data.Description, "alert 200");
}

TEST(AlertWindowTime, HoursAfterNoonCountFromOne) {
  const std::pair<TDateTime, const char*> cases[] = {
      {EncodeDateTime(2026, 12, 10, 14, 5, 9), "2:05:09"},  {EncodeDateTime(2026, 12, 10, 0, 30, 0), "0:30:00"},
      {EncodeDateTime(2026, 12, 10, 12, 0, 0), "12:00:00"}, {EncodeDateTime(2026, 12, 10, 9, 30, 0, 999), "9:30:00"},
      {EncodeDateTime(2026, 12, 10, 23, 59, 59), "11:59:59"},
  };
  for (const auto& [time, text] : cases) EXPECT_EQ(FormatAlertTime(time), text);
}

TEST_F(AlertWindowModelTest, SymbolsAreTrimmedUpperCaseAndBoundOnlyWhenTheyChange) {
  // Lines that are no symbol (a blank or a control character inside, too long) are left out, as in a file.
  model_->SetSymbols({"msft", "  ibm", "", "   ", "IBM ", "msft", "br m", "A\tB", std::string(33, 'X')});
  EXPECT_EQ(model_->Symbols(), (std::vector<std::string>{"IBM", "MSFT"}));
  model_->SetSymbols({"ibm", "aapl"});
  EXPECT_EQ(model_->Symbols(), (std::vector<std::string>{"AAPL", "IBM"}));

  // A symbol removed and added again is the same input to the matrix.
  TAlertSymbols symbols;
  TAlertInputs* first = symbols.InputsFor("IBM");
  EXPECT_EQ(symbols.InputsFor("IBM"), first);
  EXPECT_EQ(symbols.InputsFor(""), nullptr);
}

TEST_F(AlertWindowModelTest, RowsAreSwitchedOnlyWhenTheirStateChangesAndGroupsSelectExactly) {
  model_->SetSymbols({"IBM"});
  TDataNodeThread::Instance().Flush();
  TAlertConfigList config = model_->GetConfig();
  ASSERT_EQ(config.size(), GetAllAlertTypes().size());
  config[0].Enabled = true;
  model_->SetConfig(config);
  while (model_->Matrix().HasPending()) TDataNodeThread::Instance().Flush();
  EXPECT_EQ(model_->Matrix().ListenerCount(), 1u);

  // The same rows on, new looks: nothing to bind or unbind, the looks are the window's own.
  config[0].Foreground = 0x0000FF;
  config[0].Bold = true;
  model_->SetConfig(config);
  EXPECT_FALSE(model_->Matrix().HasPending());
  EXPECT_EQ(model_->RowCategory(0).Foreground, 0x0000FFu);
  EXPECT_TRUE(model_->RowCategory(0).Bold);
  EXPECT_NE(&model_->RowCategory(0), GetAllAlertTypes()[0].Category.get());
  EXPECT_FALSE(GetAllAlertTypes()[0].Category->Bold && GetAllAlertTypes()[0].Category->Foreground == 0x0000FF);

  model_->SelectGroup(agLowVolume);
  const TAllAlertTypes& catalogue = GetAllAlertTypes();
  std::size_t on = 0;
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    EXPECT_EQ(model_->RowEnabled(i), catalogue[i].Group == agLowVolume) << i;
    on += model_->RowEnabled(i);
  }
  EXPECT_GT(on, 0u);
}

}  // namespace
}  // namespace tarnwell
