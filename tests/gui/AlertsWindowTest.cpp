// The alert window with real widgets on Qt's offscreen platform: its columns fit their numbers, and a page
// keeps its symbols, its switched-on alert types and their looks.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "OvernightHome.h"
#include "OffscreenApplication.h"
#include "TempDir.h"
#include "alerts/Registration.h"
#include "framework/SymbolGroups.h"
#include "gui/AlertsWindow.h"
#include "gui/IndexGrid.h"
#include "gui/QtUserInterfaceThread.h"

namespace tarnwell {
namespace {

class AlertsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_ = std::make_unique<testing::TOffscreenApplication>();
    home_ = std::make_unique<testing::TOvernightHome>();
    RegisterStandardFactories();
    testing::InstallHandFeed();
    TGroupList::MarkOwnerThread();
    RegisterStandardFactoryClasses();
    RegisterGridFactoryClasses();
    RegisterPageWindowCreators();
    RegisterAlertWindowClasses();
  }
  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    home_.reset();
    testing::ClearFeedImplementations();
    qt_.reset();
  }

  testing::TTempDir dir_{"tarnwell-alerts-window"};

 private:
  std::unique_ptr<testing::TOffscreenApplication> qt_;
  std::unique_ptr<testing::TOvernightHome> home_;
};

TEST_F(AlertsWindowTest, ColumnsShowTheirStatisticsFittedToTheCell) {
  TAlertWindow window;
  TIndexGrid& grid = *window.Grid();
  ASSERT_EQ(grid.RendererCount(), 9);
  std::vector<std::string> headers;
  for (int i = 0; i < grid.RendererCount(); ++i) headers.push_back(grid.Renderer(i)->HeaderText().toStdString());
  EXPECT_EQ(headers, (std::vector<std::string>{"Time", "Symbol", "Price", "Bid #", "Spread", "Ask #", "Rel Vol",
                                                "Quality", "Message"}));
  // The window's own entries lead the pop-up menu; the group entries are gone.
  const QList<QAction*> actions = grid.PopupMenu()->actions();
  ASSERT_GT(actions.size(), 5);
  EXPECT_EQ(actions[0]->text(), "Edit Symbols...");
  EXPECT_EQ(actions[3]->text(), "Raise On Alert");
  for (QAction* action : actions) EXPECT_NE(action->text(), "Set Group...");

  TAlertInputs ibm("IBM");
  TAlertEvent event{nullptr, &ibm, {}};
  event.Data.Time = EncodeDateTime(2026, 12, 10, 14, 5, 9);
  event.Data.BidSize = 1234567;
  event.Data.Mark(aefBidSize);
  event.Data.Price = 12.5;  // not marked: the price column stays empty
  auto& bid = dynamic_cast<TAlertCellRenderer&>(*grid.Renderer(3));
  auto& price = dynamic_cast<TAlertCellRenderer&>(*grid.Renderer(2));
  auto& time = dynamic_cast<TAlertCellRenderer&>(*grid.Renderer(0));
  const QFontMetrics metrics(grid.GridFont());
  bid.Context.Font = grid.GridFont();
  bid.Context.TextWidth = metrics.horizontalAdvance("1234567") + 2;
  EXPECT_EQ(bid.CellText(event), "1234567");
  bid.Context.TextWidth = metrics.horizontalAdvance("1.23M");
  EXPECT_EQ(bid.CellText(event), "1.23M");
  bid.Context.TextWidth = metrics.horizontalAdvance("1M");
  EXPECT_EQ(bid.CellText(event), "1M");
  price.Context.Font = grid.GridFont();
  price.Context.TextWidth = 200;
  EXPECT_EQ(price.CellText(event), "");
  time.Context.Font = grid.GridFont();
  time.Context.TextWidth = 200;
  EXPECT_EQ(time.CellText(event), "2:05:09");
}

TEST_F(AlertsWindowTest, APageKeepsSymbolsSwitchedOnTypesAndTheirLooks) {
  auto* window = new TAlertWindow;
  window->setGeometry(40, 60, 611, 436);
  window->SetSymbols({"msft", " ibm"});
  TAlertConfigList config = window->Model().GetConfig();
  config[0].Enabled = true;
  config[5].Enabled = true;
  config[5].Foreground = 0x123456;
  config[5].Background = 0xABCDEF;
  config[5].Bold = config[5].Underline = true;
  config.back().Italic = true;
  window->Model().SetConfig(config);
  window->RaiseOnAlertAction()->trigger();
  EXPECT_TRUE(window->Model().RaiseOnAlert);
  window->show();

  const std::string file = (dir_ / "Alerts.PLy").string();
  SavePage(file);
  delete window;

  LoadPage(file);
  TAlertWindow* loaded = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* a = dynamic_cast<TAlertWindow*>(w); a != nullptr && w->isVisible()) loaded = a;
  }
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->geometry(), QRect(40, 60, 611, 436));
  EXPECT_EQ(loaded->Model().Symbols(), (std::vector<std::string>{"IBM", "MSFT"}));
  EXPECT_EQ(loaded->Model().GetConfig(), config);
  EXPECT_TRUE(loaded->Model().RaiseOnAlert);
  EXPECT_TRUE(loaded->RaiseOnAlertAction()->isChecked());
  delete loaded;
}

}  // namespace
}  // namespace tarnwell
