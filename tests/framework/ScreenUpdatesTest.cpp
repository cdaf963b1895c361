#include "framework/ScreenUpdates.h"

#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "framework/UserInterfaceThread.h"

namespace tarnwell {
namespace {

using testing::RunOnDataNodeThread;
using testing::TGate;

class TValueNode : public TDataNode {
 public:
  void Set(int v) {
    value = v;
    NotifyListeners();
  }
  int value = 0;
};

// The updaters are made here before any user interface thread exists, so they have no timer of their own
// and each test beats by hand: ten timer steps queue one beat.
class ScreenUpdates : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TScreenUpdater::Interface(); }
  void SetUp() override { SetUserInterfaceThread(&ui_); }
  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    SetUserInterfaceThread(nullptr);
  }
  void Beat() { testing::ScreenBeat(ui_); }

  TPlainUserInterfaceThread ui_;
};

struct TWindow {
  void Refresh() {
    ++refreshes;
    onUiThread = UserInterfaceThread()->IsCurrentThread();
    seen = source ? source->value : -1;
  }
  int refreshes = 0;
  bool onUiThread = false;
  int seen = 0;
  TValueNode* source = nullptr;
};

TEST_F(ScreenUpdates, ManyChangesBetweenBeatsCostOneRefresh) {
  TWindow window;
  auto [update, windowLink] = TDeferredUpdate::CreateWithLink(TW_METHOD(&window, Refresh));
  TOwnedLink owner(windowLink);
  owner->SetReceiveInput(true);
  std::vector<TValueNode*> nodes;
  for (int i = 0; i < 3; ++i) {
    nodes.push_back(TDataNode::Create<TValueNode>());
    update->AdoptLink(nodes.back()->CreateLink(update->InvalidateCallback()));
  }
  RunOnDataNodeThread([&] {
    for (TValueNode* n : nodes) n->Set(1);
    nodes[0]->Set(2);
  });
  Beat();
  EXPECT_EQ(window.refreshes, 1);
  EXPECT_TRUE(window.onUiThread);
  Beat();  // nothing changed
  EXPECT_EQ(window.refreshes, 1);
  RunOnDataNodeThread([&] { nodes[2]->Set(5); });
  Beat();
  EXPECT_EQ(window.refreshes, 2);

  // Releasing the window's link frees the update and the links it adopted, which frees the nodes.
  std::int32_t live = TDataNode::LiveNodeCount();
  owner.Reset();
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(TDataNode::LiveNodeCount(), live - 4);
}

TEST_F(ScreenUpdates, ARefreshFollowsEveryJobQueuedBeforeTheBeat) {
  TWindow window;
  auto [update, windowLink] = TDeferredUpdate::CreateWithLink(TW_METHOD(&window, Refresh));
  TOwnedLink owner(windowLink);
  owner->SetReceiveInput(true);
  auto* node = TDataNode::Create<TValueNode>();
  window.source = node;
  update->AdoptLink(node->CreateLink(update->InvalidateCallback()));
  {
    TGate gate;
    for (int v = 1; v <= 50; ++v) node->QueueCallback(1, TCallback::Function([node, v] { node->Set(v); }));
    ui_.RunAndWait([] {
      for (int i = 0; i < 10; ++i) TScreenUpdater::Ticking().TimerTick();
    });
  }
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(window.refreshes, 1);
  EXPECT_EQ(window.seen, 50);
}

TEST_F(ScreenUpdates, TickingListenersRunOnTheDataNodeThreadBeforeTheInterfaceOnes) {
  std::vector<std::string> order;
  TOwnedLink ticking(TScreenUpdater::CreateScreenLink(TScreenUpdater::swTicking, TCallback::Function([&] {
    order.push_back(TDataNodeThread::IsCurrentThread() ? "ticking on data node thread" : "ticking elsewhere");
  })));
  TOwnedLink interface(TScreenUpdater::CreateScreenLink(TCallback::Function([&] {
    order.push_back(UserInterfaceThread()->IsCurrentThread() ? "interface on ui thread" : "interface elsewhere");
  })));
  ticking->SetReceiveInput(true);
  interface->SetReceiveInput(true);
  ui_.RunAndWait([] {
    for (int i = 0; i < 9; ++i) TScreenUpdater::Ticking().TimerTick();
  });
  TDataNodeThread::Instance().Flush();
  EXPECT_TRUE(order.empty());  // nine steps are no beat
  Beat();
  EXPECT_EQ(order, (std::vector<std::string>{"ticking on data node thread", "interface on ui thread"}));
}

}  // namespace
}  // namespace tarnwell
