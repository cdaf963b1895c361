#include "framework/UserInterfaceThread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "FrameworkTestSupport.h"

namespace tarnwell {
namespace {

TEST(PlainUserInterfaceThread, RunsWorkThereAndPassesFailuresBack) {
  TPlainUserInterfaceThread ui;
  EXPECT_FALSE(ui.IsCurrentThread());
  bool there = false;
  ui.RunAndWait([&] {
    there = ui.IsCurrentThread();
    ui.RunAndWait([] {});  // nested from the thread itself runs at once instead of waiting for itself
  });
  EXPECT_TRUE(there);
  EXPECT_THROW(ui.RunAndWait([] { throw std::runtime_error("x"); }), std::runtime_error);

  std::atomic<int> ticks{0};
  TEvent fifth(true);
  int timer = ui.StartTimer(std::chrono::milliseconds(2), [&] {
    if (++ticks == 5) fifth.Set();
  });
  EXPECT_TRUE(fifth.WaitFor(std::chrono::seconds(10)));
  ui.StopTimer(timer);
  ui.RunAndWait([] {});  // a tick in progress has finished
  int stopped = ticks;
  ui.RunAndWait([] {});
  EXPECT_EQ(ticks, stopped);
}

TEST(PlainUserInterfaceThread, SynchronizeWithGuiRunsThereWhileTheDataNodeThreadWaits) {
  TPlainUserInterfaceThread ui;
  SetUserInterfaceThread(&ui);
  std::vector<std::string> order;
  testing::RunOnDataNodeThread([&] {
    order.push_back("before");
    TDataNode::SynchronizeWithGui([&] {
      EXPECT_TRUE(ui.IsCurrentThread());
      order.push_back("gui");
    });
    order.push_back("after");
  });
  SetUserInterfaceThread(nullptr);
  EXPECT_EQ(order, (std::vector<std::string>{"before", "gui", "after"}));
}

}  // namespace
}  // namespace tarnwell
