// One alerts window with every alert type on every symbol of the synthetic market, the feed at full speed
// (as fast as the program takes its updates), the alerts pushed into a private MariaDB server. Prints the
// alerts per second that reach the window and the database, the user interface thread's share of one core,
// and the updates per second the engine took, beside the same run with the window's logic alone (its matrix
// and ring, no drawing and no database).
//   tarnwell_bench_alerts_window [SYMBOLS] [SECONDS]     (default 5000 symbols, 60 seconds per run)
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "PrivateDatabase.h"
#include "TempDir.h"
#include "distribution/AlertWindowModel.h"
#include "distribution/AlertsPush.h"
#include "gui/AlertsWindow.h"
#include "gui/Application.h"
#include "gui/ConfigureAlertsPush.h"
#include "framework/Config.h"
#include "framework/DataNodeThread.h"

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;
constexpr const char* kDate = "2026-12-09";

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a command to its end; its output, or an error with that output when it failed.
std::string Run(const std::vector<std::string>& args, std::chrono::seconds timeout) {
  const tarnwell::testing::TCommandResult result = tarnwell::testing::RunCommand(args, {}, timeout);
  if (result.status != 0) throw std::runtime_error(args[0] + " failed:\n" + result.output);
  return result.output;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::vector<std::string> Symbols(const fs::path& home) {
  std::vector<std::string> symbols;
  std::ifstream in(home / "symbols.txt");
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) symbols.push_back(line);
  }
  return symbols;
}

// One run inside this process: the program's own start-up, then the window (or its logic alone) for
// `seconds`. Prints "result alerts pushed ui_cpu_s wall_s".
int RunMode(const std::string& mode, double seconds) {
  using namespace tarnwell;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string logProblem = InitializeModules();
  int argc = 1;
  char name[] = "tarnwell_bench_alerts_window";
  char* argv[] = {name, nullptr};
  QApplication qtApp(argc, argv);
  TApplication app(TStartArguments{}, logProblem);
  const std::vector<std::string> symbols = Symbols(ProgramHome());
  TAlertConfigList all(GetAllAlertTypes().size());
  for (TAlertConfig& row : all) row.Enabled = true;

  long long alerts = 0;
  std::unique_ptr<TAlertWindowModel> logicOnly;
  TAlertsQueue* push = nullptr;
  if (mode == "window") {
    auto* dialog = qobject_cast<TConfigureAlertsPush*>(app.Window("ConfigureAlertsPush"));
    dialog->ConfigureUnattended("");
    push = &dialog->Queue();
    auto* window = new TAlertWindow;
    window->SetSymbols(symbols);
    window->Model().SetConfig(all);
    window->show();
  } else {
    logicOnly = std::make_unique<TAlertWindowModel>(nullptr, [&alerts](int arrived) { alerts += arrived; });
    logicOnly->SetSymbols(symbols);
    logicOnly->SetConfig(all);
  }
  const double cpuStart = ThreadCpuSeconds();
  const auto start = Steady::now();
  QTimer::singleShot(static_cast<int>(seconds * 1000), &qtApp, [&] {
    const double wall = std::chrono::duration<double>(Steady::now() - start).count();
    const double cpu = ThreadCpuSeconds() - cpuStart;
    long long pushed = 0;
    if (push != nullptr) {
      const TAlertsQueue::TCounts counts = push->Counts();
      alerts = counts.Added;
      pushed = counts.Sent;
    }
    std::printf("result %lld %lld %.3f %.3f\n", alerts, pushed, cpu, wall);
    std::fflush(stdout);
    std::_Exit(0);
  });
  return qtApp.exec();
}

struct TRun {
  double updates = 0, alerts = 0, pushed = 0, cpu = 0, wall = 0;
};

TRun RunOnce(const std::string& self, const std::string& mode, const fs::path& home, int symbols, double seconds,
             const std::string& database) {
  const std::string feedOutput = (home / ("feed-" + mode + ".txt")).string();
  tarnwell::testing::TChildProcess feed(TARNWELL_FEED,
                                        {"--listen", "127.0.0.1:0", "--symbols", std::to_string(symbols), "--date",
                                         kDate, "--time", "09:28", "--speed", "0"},
                                        {{}, {}, feedOutput, {}});
  std::smatch port;
  std::string text;
  for (int i = 0; i < 100; ++i) {
    text = Slurp(feedOutput);
    if (std::regex_search(text, port, std::regex(R"(listening on [\d.]+:(\d+))"))) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (port.empty()) throw std::runtime_error("the feed did not start:\n" + text);
  std::ofstream(home / "Config.ini") << "[Vendor]\r\nAddress=127.0.0.1:" << port[1] << "\r\n[RealTimeAlerts]\r\ndb_Host="
                                     << database.substr(0, database.find(':')) << "\r\ndb_Port="
                                     << database.substr(database.find(':') + 1) << "\r\n";
  const std::string result =
      Run({self, "--mode", mode, std::to_string(seconds)}, std::chrono::seconds(static_cast<int>(seconds) + 300));
  feed.Terminate();
  TRun run;
  std::smatch m;
  if (!std::regex_search(result, m, std::regex(R"(result (\d+) (\d+) ([\d.]+) ([\d.]+))"))) {
    throw std::runtime_error("no result from the " + mode + " run:\n" + result);
  }
  run.alerts = std::stod(m[1]);
  run.pushed = std::stod(m[2]);
  run.cpu = std::stod(m[3]);
  run.wall = std::stod(m[4]);
  const std::string fed = Slurp(feedOutput);
  if (!std::regex_search(fed, m, std::regex(R"((\d+) update\(s\) published)"))) {
    throw std::runtime_error("the feed did not say what it published:\n" + fed);
  }
  run.updates = std::stod(m[1]);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--mode") return RunMode(argv[2], std::atof(argv[3]));
  const int symbols = argc > 1 ? std::atoi(argv[1]) : 5000;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 60;
  try {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) throw std::runtime_error("cannot find this program");
    self[length] = '\0';
    const tarnwell::testing::TTempDir folder("tarnwell-bench-window");
    const fs::path& home = folder.Path();
    fs::create_directories(home / "Logs");
    setenv("TARNWELL_HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    unsetenv("DISPLAY");
    std::fprintf(stderr, "writing the overnight files of %d symbols...\n", symbols);
    Run({TARNWELL_FEED, "--symbols", std::to_string(symbols), "--date", kDate, "--write-home", home.string()},
        std::chrono::seconds(300));
    tarnwell::testing::TPrivateDatabase server(TARNWELL_DB_DIR);
    const std::string database = server.Host() + ":" + server.Port();
    if (chdir(home.c_str()) != 0) throw std::runtime_error("cannot enter " + home.string());
    std::printf("machine: %u cores; %d symbols, every alert type, %.0f s per run, feed at full speed\n",
                std::thread::hardware_concurrency(), symbols, seconds);
    std::printf("| run | updates/s | alerts/s to the window | rows/s to the database | user interface thread |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const char* mode : {"window", "logic"}) {
      std::fprintf(stderr, "run: %s...\n", mode);
      const TRun run = RunOnce(self, mode, home, symbols, seconds, database);
      const bool window = std::string(mode) == "window";
      std::printf("| %s | %.0f | %.0f | %s | %.0f%% of a core |\n", window ? "alerts window, push on" : "window logic only",
                  run.updates / run.wall, run.alerts / run.wall,
                  window ? std::to_string(static_cast<long long>(run.pushed / run.wall)).c_str() : "-",
                  100 * run.cpu / run.wall);
      std::fflush(stdout);
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarnwell_bench_alerts_window: %s\n", error.what());
    return 1;
  }
}
