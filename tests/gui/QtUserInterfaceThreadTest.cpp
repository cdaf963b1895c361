// The Qt user interface thread: work from other threads runs on Qt's main thread, failures come back to
// the caller, and the screen beat ticks on a Qt timer. Runs on Qt's offscreen platform, no display needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <thread>

#include "framework/DataNodeThread.h"
#include "framework/Event.h"
#include "framework/ScreenUpdates.h"
#include "gui/QtUserInterfaceThread.h"

namespace tarnwell {
namespace {

TEST(QtUserInterfaceThread, RunsWorkOnTheMainThreadAndCarriesTheBeat) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  TQtUserInterfaceThread ui;
  SetUserInterfaceThread(&ui);
  EXPECT_TRUE(ui.IsCurrentThread());
  TScreenUpdater::Interface();  // its timer starts on this thread

  std::atomic<int> beats{0};
  TOwnedLink beat(TScreenUpdater::CreateScreenLink(TCallback::Function([&] {
    EXPECT_TRUE(ui.IsCurrentThread());
    ++beats;
  })));
  beat->SetReceiveInput(true);

  bool ranOnUi = false;
  bool failureCameBack = false;
  std::thread worker([&] {
    EXPECT_FALSE(ui.IsCurrentThread());
    ui.RunAndWait([&] { ranOnUi = ui.IsCurrentThread(); });
    try {
      ui.RunAndWait([] { throw std::runtime_error("refused"); });
    } catch (const std::runtime_error& e) {
      failureCameBack = std::string(e.what()) == "refused";
    }
    for (int i = 0; i < 400 && beats < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    // Leave while the loop still serves a beat that may be under way; later beats find no interface.
    ui.RunAndWait([] { SetUserInterfaceThread(nullptr); });
    TDataNodeThread::Instance().Flush();
    ui.RunAndWait([] { QApplication::quit(); });
  });
  app.exec();
  worker.join();
  EXPECT_TRUE(ranOnUi);
  EXPECT_TRUE(failureCameBack);
  EXPECT_GE(beats, 3);
  beat.Reset();
}

}  // namespace
}  // namespace tarnwell
