// The beat on its own timer: needs a process of its own, since the updaters are made once per process.
#include <gtest/gtest.h>

#include <atomic>

#include "framework/DataNodeThread.h"
#include "framework/Event.h"
#include "framework/ScreenUpdates.h"
#include "framework/UserInterfaceThread.h"

namespace tarnwell {
namespace {

TEST(ScreenBeat, TheTenMillisecondTimerBeatsAboutEveryHundredMilliseconds) {
  TPlainUserInterfaceThread ui;
  SetUserInterfaceThread(&ui);
  std::atomic<int> beats{0};
  std::atomic<bool> allOnUi{true};
  TEvent third(true);
  TOwnedLink link(TScreenUpdater::CreateScreenLink(TCallback::Function([&] {
    if (!ui.IsCurrentThread()) allOnUi = false;
    if (++beats == 3) third.Set();
  })));
  link->SetReceiveInput(true);
  ASSERT_TRUE(third.WaitFor(std::chrono::seconds(20)));
  EXPECT_TRUE(allOnUi);
  link.Reset();
  // Beats already under way finish on `ui` before it goes; later ones find no user interface thread.
  SetUserInterfaceThread(nullptr);
  TDataNodeThread::Instance().Flush();
}

}  // namespace
}  // namespace tarnwell
