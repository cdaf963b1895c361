#include "framework/SymbolGroups.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace tarnwell {
namespace {

// A window of a test: records every symbol its group tells it.
struct TWindow {
  std::vector<std::string> told;
  TGroupList::TSetSymbol Callback() {
    return [this](const std::string& symbol) { told.push_back(symbol); };
  }
};

class SymbolGroups : public ::testing::Test {
 protected:
  void SetUp() override { TGroupList::MarkOwnerThread(); }
  TGroupList groups_;
};

TEST_F(SymbolGroups, AJoiningWindowLearnsTheGroupsSymbolOrGivesItItsOwn) {
  TWindow a, b, c;
  // An empty group takes the first window's symbol, normalised, and tells it.
  groups_.AddToGroup("Tech", "TStockWindow", &a, "  ibm ", a.Callback());
  EXPECT_EQ(a.told, (std::vector<std::string>{"IBM"}));
  EXPECT_EQ(groups_.GetSymbol("Tech"), "IBM");
  // A group with members and a symbol tells only the newcomer.
  groups_.AddToGroup("Tech", "TTosViewer", &b, "MSFT", b.Callback());
  EXPECT_EQ(b.told, (std::vector<std::string>{"IBM"}));
  EXPECT_EQ(a.told.size(), 1u);
  // Setting the symbol tells every member.
  groups_.SetSymbol("Tech", "aapl");
  EXPECT_EQ(a.told.back(), "AAPL");
  EXPECT_EQ(b.told.back(), "AAPL");
  // A group without a symbol takes the newcomer's and tells everybody.
  groups_.AddToGroup("Empty", "TTosViewer", &a, "", a.Callback());
  groups_.AddToGroup("Empty", "TL2Viewer", &c, "dell", c.Callback());
  EXPECT_EQ(a.told.back(), "DELL");
  EXPECT_EQ(c.told, (std::vector<std::string>{"DELL"}));
  // The same window of the same class joins a group once.
  groups_.AddToGroup("Tech", "TStockWindow", &a, "", a.Callback());
  EXPECT_EQ(groups_.GroupNames(), (std::vector<std::string>{"Empty", "Tech"}));
}

TEST_F(SymbolGroups, TheLastMemberLeavingDeletesTheGroupAndNewNamesNeverGoBack) {
  TWindow a;
  EXPECT_EQ(groups_.NewGroupName(), "Untitled #1");
  groups_.AddToGroup("Untitled #2", "TStockWindow", &a, "IBM", a.Callback());
  EXPECT_EQ(groups_.NewGroupName(), "Untitled #3") << "a name in use is skipped";
  groups_.RemoveFromGroup("Untitled #2", "TStockWindow", &a);
  EXPECT_TRUE(groups_.GroupNames().empty());
  EXPECT_EQ(groups_.GetSymbol("Untitled #2"), "");
  EXPECT_EQ(groups_.NewGroupName(), "Untitled #4");
  // Empty names and missing groups do nothing.
  groups_.AddToGroup("", "TStockWindow", &a, "IBM", a.Callback());
  groups_.SetSymbol("Nowhere", "IBM");
  groups_.RemoveFromGroup("Nowhere", "TStockWindow", &a);
  EXPECT_TRUE(groups_.GroupNames().empty());
  EXPECT_TRUE(a.told.size() == 1u);
}

TEST_F(SymbolGroups, AMemberMayLeaveWhileItIsTold) {
  TWindow b;
  groups_.AddToGroup("G", "TStockWindow", &b, "IBM", b.Callback());
  int calls = 0;
  // Told IBM on joining; on the next symbol it leaves and closes the other window too.
  groups_.AddToGroup("G", "TTosViewer", &groups_, "", [this, &b, &calls](const std::string&) {
    if (++calls == 1) return;
    groups_.RemoveFromGroup("G", "TTosViewer", &groups_);
    groups_.RemoveFromGroup("G", "TStockWindow", &b);
  });
  groups_.SetSymbol("G", "MSFT");
  EXPECT_TRUE(groups_.GroupNames().empty());
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(b.told.back(), "MSFT") << "told before the other member closed it";
}

TEST_F(SymbolGroups, OtherThreadsAreRefused) {
  std::string message;
  std::thread other([&] {
    try {
      groups_.SetSymbol("G", "IBM");
    } catch (const std::exception& error) {
      message = error.what();
    }
  });
  other.join();
  EXPECT_EQ(message, "TGroupList.SetSymbol called from wrong thread.");
  EXPECT_EQ(TGroupList::MemberKey("TStockWindow", reinterpret_cast<const void*>(0x1a2b)), "TStockWindow : 1A2B");
}

}  // namespace
}  // namespace tarnwell
