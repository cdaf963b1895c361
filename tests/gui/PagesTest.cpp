// Pages, window files and the group dialogs with real widgets on Qt's offscreen platform: what a page saves
// comes back in place, a bad file changes nothing, duplicates copy the right window, and group changes
// reach every member.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>

#include "OffscreenApplication.h"
#include "TempDir.h"
#include "framework/SymbolGroups.h"
#include "gui/DockableForm.h"
#include "gui/Pages.h"
#include "gui/QtUserInterfaceThread.h"
#include "gui/ViewerMenu.h"

namespace tarnwell {
namespace {

class PagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_ = std::make_unique<testing::TOffscreenApplication>();
    TGroupList::MarkOwnerThread();
    RegisterStandardFactoryClasses();
    RegisterPageWindowCreators();
    main_ = std::make_unique<QMainWindow>();
    main_->setGeometry(100, 50, 430, 25);
    main_->show();
    SetPageMainWindow(main_.get());
  }

  void TearDown() override {
    std::vector<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (dynamic_cast<ISavableWindow*>(window) != nullptr) windows.emplace_back(window);
    }
    for (const QPointer<QWidget>& window : windows) delete window.data();
    main_.reset();
    qt_.reset();
  }

  static TDockableListenerForm* Floating(int left, int top, const std::string& group) {
    auto* form = new TDockableListenerForm;
    form->setGeometry(left, top, 220, 140);
    if (!group.empty()) form->SetGroup(group);
    form->show();
    return form;
  }

  static TStockWindow* Stock(int left, int top, int docked) {
    auto* window = new TStockWindow;
    window->InitializeNew();
    window->setGeometry(left, top, 640, 420);
    for (int i = 0; i < docked; ++i) window->AddClient(new TDockableListenerForm, i % 2 ? Qt::RightDockWidgetArea : Qt::LeftDockWidgetArea);
    window->show();
    return window;
  }

  template <class T>
  static std::vector<T*> Windows() {
    std::vector<T*> found;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* w = dynamic_cast<T*>(window); w != nullptr && window->isVisible()) found.push_back(w);
    }
    std::sort(found.begin(), found.end(), [](T* a, T* b) { return a->x() < b->x(); });
    return found;
  }

  testing::TTempDir dir_{"tarnwell-pages"};
  std::unique_ptr<QMainWindow> main_;

 private:
  std::unique_ptr<testing::TOffscreenApplication> qt_;
};

TEST_F(PagesTest, APageBringsBackItsWindowsInPlaceWithTheirGroupsAndSymbols) {
  Floating(10, 300, "Tech");
  Floating(260, 300, "");
  TStockWindow* stock = Stock(500, 200, 3);
  TGroupList::Instance().SetSymbol("Tech", "IBM");
  TGroupList::Instance().SetSymbol(stock->Group, "msft");
  const std::string stockGroup = stock->Group;
  const QPoint mainPlace = main_->pos();
  std::vector<QRect> dockedPlaces;
  for (QDockWidget* client : stock->DockedClients()) dockedPlaces.push_back(client->geometry());

  // The main window's layout first, then one factory per floating window and one for the stock window,
  // which holds the three docked viewers.
  std::unique_ptr<TLayout> page = CapturePage();
  std::vector<TComponent*> list = TComponentList::Elements(page->WindowList);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_STREQ(list[0]->ClassName(), "TMainWindowLayout");
  int floating = 0;
  for (TComponent* element : list) {
    if (auto* docked = dynamic_cast<TStockWindowFactory*>(element)) {
      EXPECT_EQ(TComponentList::Elements(docked->DockedWindows).size(), 3u);
      EXPECT_FALSE(docked->DockedLayout.empty());
    }
    floating += dynamic_cast<TDockableListenerFormFactory*>(element) != nullptr;
  }
  EXPECT_EQ(floating, 2);

  const std::string file = (dir_ / "Morning.PLy").string();
  SavePage(file);
  EXPECT_TRUE(std::filesystem::exists(file + ".txt"));
  // Everything moves and changes after the save; a window the page does not hold is closed by loading it.
  Floating(900, 600, "Other");
  main_->move(300, 300);
  TGroupList::Instance().SetSymbol("Tech", "AAPL");
  delete stock;

  LoadPage(file);
  EXPECT_EQ(main_->pos(), mainPlace);
  auto forms = Windows<TDockableListenerForm>();
  ASSERT_EQ(forms.size(), 2u);
  EXPECT_EQ(forms[0]->geometry(), QRect(10, 300, 220, 140));
  EXPECT_EQ(forms[0]->Group, "Tech");
  EXPECT_EQ(forms[0]->Symbol, "IBM");
  EXPECT_EQ(forms[1]->geometry(), QRect(260, 300, 220, 140));
  auto stocks = Windows<TStockWindow>();
  ASSERT_EQ(stocks.size(), 1u);
  EXPECT_EQ(stocks[0]->geometry(), QRect(500, 200, 640, 420));
  EXPECT_EQ(stocks[0]->Group, stockGroup);
  EXPECT_EQ(stocks[0]->windowTitle(), "MSFT");
  const std::vector<QDockWidget*> docked = stocks[0]->DockedClients();
  ASSERT_EQ(docked.size(), 3u);
  for (std::size_t i = 0; i < docked.size(); ++i) {
    auto* form = static_cast<TDockableListenerForm*>(docked[i]);
    EXPECT_EQ(form->Group, stockGroup);
    EXPECT_EQ(form->Symbol, "MSFT");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->geometry(), dockedPlaces[i]) << "docked viewer " << i;
  }
  EXPECT_EQ(TGroupList::Instance().GroupNames(), (std::vector<std::string>{"Tech", "Untitled #2", stockGroup}))
      << "the closed window's group is gone";
}

TEST_F(PagesTest, ABadFileIsRefusedNamingItAndNothingOnTheScreenChanges) {
  TDockableListenerForm* form = Floating(10, 10, "Tech");
  const std::string good = (dir_ / "Good.PLy").string();
  SavePage(good);
  std::string bytes;
  {
    std::ifstream in(good, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  auto write = [&](const std::string& name, const std::string& content) {
    std::ofstream((dir_ / name).string(), std::ios::binary) << content;
    return (dir_ / name).string();
  };
  // A page naming a window factory that no window of this program answers to.
  TLayout page;
  auto* plain = new TFormFactory(&page);
  page.WindowList = TComponentList::Make({plain}, &page);
  const std::string unknownWindow = (dir_ / "Plain.PLy").string();
  SaveFactoryFile(unknownWindow, page);
  std::string unregistered = bytes;
  unregistered.replace(unregistered.find("TLayout"), 7, "TLayoux");
  const struct {
    std::string path;
    std::string problem;
  } cases[] = {
      {(dir_ / "Missing.PLy").string(), ""},
      {write("Truncated.PLy", bytes.substr(0, bytes.size() / 2)), ""},
      {write("Text.PLy", "object Page: TLayout\nend\n"), ""},
      {write("Unregistered.PLy", unregistered), "TLayoux"},
      {unknownWindow, "TFormFactory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    try {
      LoadPage(c.path);
      ADD_FAILURE() << "loaded";
    } catch (const std::exception& error) {
      EXPECT_NE(std::string(error.what()).find(c.path), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.problem), std::string::npos) << error.what();
    }
    auto forms = Windows<TDockableListenerForm>();
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_EQ(forms[0], form);
    EXPECT_EQ(form->Group, "Tech");
  }
}

TEST_F(PagesTest, DuplicatingADockedViewerCopiesTheStockWindowOrThePanelAlone) {
  TStockWindow* stock = Stock(100, 100, 3);
  TGroupList::Instance().SetSymbol(stock->Group, "IBM");
  QDockWidget* viewer = stock->DockedClients()[1];
  EXPECT_EQ(DuplicateTarget(viewer, false), stock);
  EXPECT_EQ(DuplicateTarget(viewer, true), viewer);
  EXPECT_EQ(DuplicateTarget(main_.get(), true), nullptr);

  auto* copy = dynamic_cast<TStockWindow*>(DuplicateWindow(viewer, false));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, stock);
  EXPECT_EQ(copy->DockedClients().size(), 3u);
  EXPECT_EQ(copy->Group, stock->Group);
  EXPECT_EQ(copy->size(), stock->size());
  EXPECT_NE(copy->pos(), stock->pos()) << "the copy stands beside the original";

  auto* panel = dynamic_cast<TDockableListenerForm*>(DuplicateWindow(viewer, true));
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->isFloating());
  EXPECT_TRUE(panel->IncludeInPage());
  EXPECT_EQ(panel->Symbol, "IBM");
  EXPECT_EQ(stock->DockedClients().size(), 3u);
  EXPECT_EQ(Windows<TStockWindow>().size(), 2u);
}

TEST_F(PagesTest, SetGroupMovesTheWholeWindowOrOnePanelAndSetSymbolReachesEveryMember) {
  TStockWindow* stock = Stock(100, 100, 2);
  auto* viewer = static_cast<TDockableListenerForm*>(stock->DockedClients()[0]);
  TDockableListenerForm* floating = Floating(800, 100, "Tech");
  TGroupList::Instance().SetSymbol("Tech", "AAPL");

  TSetSymbolDialog symbol;
  symbol.PrepareFor(stock->Group);
  EXPECT_EQ(symbol.Label()->text().toStdString(), "Group \"" + stock->Group + "\"");
  symbol.Edit()->setText("  ibm ");
  symbol.Apply();
  EXPECT_EQ(stock->windowTitle(), "IBM");
  EXPECT_EQ(viewer->Symbol, "IBM");
  EXPECT_EQ(static_cast<TDockableListenerForm*>(stock->DockedClients()[1])->Symbol, "IBM");

  TSetGroupDialog dialog;
  dialog.Prepare(viewer);
  dialog.PrepareToShow();
  EXPECT_TRUE(dialog.EntireWindow()->isChecked());
  EXPECT_TRUE(dialog.PanelOnly()->isEnabled());
  EXPECT_TRUE(dialog.Groups()->findText("Tech (AAPL)") >= 0);
  // "Panel Only" with no name cannot be confirmed.
  dialog.PanelOnly()->setChecked(true);
  dialog.Groups()->setCurrentIndex(-1);
  dialog.Groups()->setEditText("");
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  dialog.Groups()->setCurrentIndex(dialog.Groups()->findText("Tech (AAPL)"));
  EXPECT_TRUE(dialog.OkButton()->isEnabled());
  dialog.Apply();
  // The window left its group; the panel joined Tech and shows its symbol.
  EXPECT_EQ(stock->Group, "");
  EXPECT_EQ(stock->windowTitle(), "Pairs Window");
  EXPECT_EQ(viewer->Group, "Tech");
  EXPECT_EQ(viewer->Symbol, "AAPL");

  // "Entire Window" with a new name moves the window and every docked viewer; the old group loses them.
  dialog.Prepare(stock->DockedClients()[1]);
  dialog.PrepareToShow();
  EXPECT_TRUE(dialog.PanelOnly()->isChecked()) << "the window has no group";
  dialog.EntireWindow()->setChecked(true);
  dialog.NewButton()->click();
  const std::string fresh = dialog.Groups()->currentText().toStdString();
  EXPECT_EQ(fresh.rfind("Untitled #", 0), 0u);
  dialog.Apply();
  EXPECT_EQ(stock->Group, fresh);
  EXPECT_EQ(viewer->Group, fresh);
  TGroupList::Instance().SetSymbol("Tech", "MSFT");
  EXPECT_EQ(floating->Symbol, "MSFT");
  EXPECT_EQ(viewer->Symbol, "AAPL") << "moved out of Tech";
}

}  // namespace
}  // namespace tarnwell
