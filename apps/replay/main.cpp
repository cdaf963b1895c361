// tarnwell-replay: runs the engine over a tape and writes one line per alert event. See Replay.h.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "Replay.h"
#include "framework/Errors.h"
#include "server/Tape.h"

int main(int argc, char** argv) {
  using namespace tarnwell::replay;
  CLI::App app{
      "tarnwell-replay: the alert engine over a tape, as fast as it goes, with the same output every time.\n"
      "Writes one tab-separated line per alert event: time, alert type, symbol, description, the 27 "
      "statistics\n"
      "(NULL when absent) and the alert's count. A summary follows on standard error."};
  TReplayOptions options;
  std::string alerts = "all";
  app.add_option("--tape", options.tape, "the tape to replay (as tarnwell-feed --record writes it)")
      ->required();
  app.add_option("--home", options.home, "folder of the overnight files (tarnwell-feed --write-home)")
      ->required();
  app.add_option("--symbols", options.symbolsFile,
                 "file of symbols, one per line (default: every symbol of the tape)");
  app.add_option("--alerts", alerts, "alert types NAME,NAME, 'all' registered ones, or 'none'")
      ->capture_default_str();
  app.add_option("--out", options.out, "write the alert lines here (default: standard output)");
  std::string pushAddress;
  tarnwell::TPushSettings database;
  app.add_option("--push", pushAddress,
                 "also write every alert as a row of the alerts table of this MySQL server, HOST[:PORT]");
  app.add_option("--db-user", database.User, "database user for --push")->capture_default_str();
  app.add_option("--db-password", database.Password, "database password for --push");
  app.add_option("--db-name", database.Database, "database for --push")->capture_default_str();
  CLI11_PARSE(app, argc, argv);
  if (!pushAddress.empty()) {
    try {
      tarnwell::TPushSettings address = ParsePushAddress(pushAddress);
      database.Host = address.Host;
      database.Port = address.Port;
    } catch (const EReplayInput& error) {
      std::fprintf(stderr, "tarnwell-replay: %s\n", error.what());
      return 1;
    }
    options.push = database;
  }

  if (alerts == "none") {
    options.allAlerts = false;
  } else if (alerts != "all") {
    options.allAlerts = false;
    std::string name;
    for (char c : alerts + ",") {
      if (c != ',') {
        if (c != ' ') name += c;
        continue;
      }
      // A type named twice is bound once: a second binding would report every alert twice.
      if (!name.empty() &&
          std::find(options.alerts.begin(), options.alerts.end(), name) == options.alerts.end()) {
        options.alerts.push_back(name);
      }
      name.clear();
    }
    if (options.alerts.empty()) {
      std::fprintf(stderr, "tarnwell-replay: --alerts '%s' names no alert type\n", alerts.c_str());
      return 1;
    }
  }
  options.progress = ::isatty(STDERR_FILENO) == 1;
  int status = 0;
  try {
    const TReplaySummary summary = RunReplay(options);
    std::fputs(FormatSummary(summary).c_str(), stderr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarnwell-replay: %s\n", error.what());
    status = 1;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // The engine's threads run until the process ends; nothing is left to tidy.
  std::_Exit(status);
}
