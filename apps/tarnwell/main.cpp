// tarnwell: the desktop program and alert server.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QLatin1String>
#include <QtGlobal>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "framework/Clock.h"
#include "framework/DebugLog.h"
#include "framework/StartArguments.h"
#include "gui/Application.h"

int main(int argc, char** argv) {
  using namespace tarnwell;
  TStartArguments arguments = ParseStartArguments(std::vector<std::string>(argv, argv + argc));
  if (arguments.showHelp) {
    std::cout << arguments.helpText;
    return 0;
  }
  if (!arguments.error.empty()) {
    std::cerr << "tarnwell: " << arguments.error << "\n" << arguments.helpText;
    return 2;
  }

  // The simulated day starts before anything reads the clock (the log file is named after it).
  if (arguments.simulatedClock) clock::UseSimulated(arguments.clockStart, arguments.clockRate, arguments.clockSince);
  // Without a display the windows exist off screen: the unattended server needs no X server.
  auto unset = [](const char* name) { return std::getenv(name) == nullptr || *std::getenv(name) == '\0'; };
  if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  // The off-screen platform has no window manager to hand size hints to and says so for every window it
  // shows: noise in an unattended server's journal, and nothing an operator can act on.
  static QtMessageHandler defaultHandler = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message == QLatin1String("This plugin does not support propagateSizeHints()")) return;
        defaultHandler(type, context, message);  // Qt's own when none was installed before
      });
  // The main window's menu bar stays in the window: the window is sized around it, and a desktop's global
  // menu bar (reached over D-Bus) would leave it an empty strip.
  QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  std::string logProblem = InitializeModules();
  QApplication qtApp(argc, argv);
  qtApp.setQuitOnLastWindowClosed(false);  // closing the main window ends the program, nothing else does
  TApplication app(arguments, logProblem);
  // SIGTERM and SIGINT (a service being stopped, Ctrl-C) end the program the way the close does: the alert
  // windows stop and the database writer sends what waits first. The handler only writes to a pipe.
  static int signalPipe[2];
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction action {};
    action.sa_handler = [](int) { [[maybe_unused]] auto n = ::write(signalPipe[1], "x", 1); };
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &qtApp);
    QObject::connect(notifier, &QSocketNotifier::activated, &qtApp, [&app, notifier] {
      notifier->setEnabled(false);
      AddLine("Stop requested by a signal.");
      app.ShutDown();
    });
  }
  int code = qtApp.exec();
  FinalizeModules();
  // The worker threads are not stopped: end the process here, without running static destructors under
  // their feet.
  std::fflush(nullptr);
  std::_Exit(code);
}
