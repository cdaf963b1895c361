// tarnwell-feed: the market-data server the vendor client library talks to. It serves a synthetic market or
// replays a tape, records tapes, writes the overnight files of its universe, and takes faults on a control
// port.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <ctime>
#include <iostream>
#include <memory>

#include "server/FeedServer.h"
#include "server/Log.h"
#include "server/Market.h"
#include "server/Overnight.h"
#include "server/Tape.h"
#include "server/Universe.h"

using namespace tarnwell::vendor;

namespace {

FeedServer* g_server = nullptr;

void OnSignal(int) {
  if (g_server != nullptr) g_server->Stop();
}

// The vendor's clock runs three hours ahead of the local clock.
int64_t VendorNowMs() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const int64_t millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * kMsPerDay +
         (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000LL + millis + kVendorLeadMs;
}

int64_t ParseDateOption(const std::string& text) {
  const auto time = ParseTime(text + " 00:00:00.000");
  if (!time) throw CLI::ValidationError("--date", "'" + text + "' is not a date YYYY-MM-DD");
  return *time / kMsPerDay;
}

int ParseClockOption(const std::string& text) {
  const std::string full = text.size() == 5 ? text + ":00" : text;
  const auto time = ParseTime("2000-01-01 " + full + ".000");
  if (!time) throw CLI::ValidationError("--time", "'" + text + "' is not a time HH:MM or HH:MM:SS");
  return static_cast<int>(*time % kMsPerDay / 1000);
}

// A whole trading day of the synthetic market, 04:00 to 20:00 in the vendor's clock, written as fast as it is
// made.
int RecordDay(const Universe& universe, int64_t day, const std::string& path) {
  Market market(universe, day, day * kMsPerDay + kPostCloseSecond * 1000LL);
  RecordStore records;
  const int64_t origin = day * kMsPerDay + kPreOpenSecond * 1000LL;
  while (const Update* update = market.Peek()) {
    if (update->time_ms >= origin) break;
    records.Apply(*update);
    market.Pop();
  }
  TapeWriter tape(path);
  tape.WriteSnapshot(records, origin);
  size_t count = 0;
  while (const Update* update = market.Peek()) {
    tape.Write(*update);
    market.Pop();
    ++count;
  }
  tape.Close();
  LogLine("recorded " + std::to_string(count) + " updates of " + std::to_string(universe.Symbols().size()) +
          " symbols to " + path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"tarnwell-feed: the market-data server of the vendor stand-in"};
  std::string listen = "127.0.0.1:7071";
  std::string control;
  int symbols = 500;
  uint64_t seed = 1;
  std::string write_home, record, tape, date, start_time;
  double speed = 1.0;
  bool paused = false;
  bool lockstep = false;
  std::string clock_start;
  double clock_rate = 1.0;
  double clock_since = 0;
  app.add_option("--listen", listen, "HOST:PORT for conversations (port 0 picks a free one)")
      ->capture_default_str();
  app.add_option("--control", control,
                 "HOST:PORT for fault commands (refuse, accept, terminate, drop, pause, resume)");
  app.add_option("--symbols", symbols, "size of the synthetic universe")
      ->check(CLI::Range(20, 10000))
      ->capture_default_str();
  app.add_option("--seed", seed, "seed of the synthetic market")->capture_default_str();
  app.add_option("--write-home", write_home, "write the overnight files and symbols.txt into DIR, then exit");
  app.add_option("--record", record,
                 "record the market as a tape (with --speed 0: one whole day, then exit)");
  app.add_option("--tape", tape, "replay this tape instead of generating a market");
  app.add_option("--speed", speed, "times real pace; 0 = as fast as possible")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--date", date, "trading day YYYY-MM-DD in the vendor's clock (default today)");
  app.add_option("--time", start_time,
                 "start the synthetic market at HH:MM[:SS] of the vendor's clock (default now)");
  app.add_flag("--paused", paused, "start paused; 'resume' on the control port starts the market or tape");
  app.add_flag("--lockstep", lockstep,
               "one message per update, a time mark (type 9) before each new time, and playback only as far "
               "as 'until TIME' on the control port allows");
  app.add_option("--clock", clock_start,
                 "run the market of a simulated day from this time of the program's clock, "
                 "\"YYYY-MM-DD HH:MM[:SS]\" (the vendor's clock is three hours ahead)");
  app.add_option("--clock-rate", clock_rate, "seconds of the simulated day per real second")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--clock-since", clock_since,
                 "Unix time at which the simulated day showed its start (to share one clock with the program)");
  CLI11_PARSE(app, argc, argv);

  try {
    int64_t vendor_now = VendorNowMs();
    if (!clock_start.empty()) {
      // The simulated day's vendor time now: its start plus what has passed since, at its rate.
      if (!tape.empty() || !date.empty() || !start_time.empty() || app.count("--speed") > 0) {
        throw CLI::ValidationError("--clock", "a simulated day sets the date, the time and the speed itself");
      }
      const std::string full = clock_start.size() == 16 ? clock_start + ":00" : clock_start;
      const auto start = ParseTime(full + ".000");
      if (!start || (clock_start.size() != 16 && clock_start.size() != 19)) {
        throw CLI::ValidationError("--clock", "'" + clock_start + "' is not a date and time YYYY-MM-DD HH:MM[:SS]");
      }
      const double real_now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
      const double passed = clock_since > 0 ? std::max(0.0, real_now - clock_since) : 0.0;
      vendor_now = *start + kVendorLeadMs + static_cast<int64_t>(passed * clock_rate * 1000.0);
      speed = clock_rate;
    } else if (clock_since > 0 || app.count("--clock-rate") > 0) {
      throw CLI::ValidationError("--clock-rate", "--clock-rate and --clock-since need --clock");
    }
    const int64_t day = date.empty() ? vendor_now / kMsPerDay : ParseDateOption(date);
    if (!tape.empty() && (!write_home.empty() || (!record.empty() && speed == 0))) {
      throw CLI::ValidationError("--tape",
                                 "a tape cannot be combined with --write-home or --record --speed 0");
    }
    if (day < kFirstDay) {
      throw CLI::ValidationError(
          "--date", "the synthetic market begins on " + FormatTime(kFirstDay * kMsPerDay).substr(0, 10));
    }
    Universe universe(symbols, seed);
    if (!write_home.empty()) {
      WriteOvernightFiles(universe, day, write_home);
      LogLine("wrote the overnight files of " + std::to_string(symbols) + " symbols for " +
              FormatTime(day * kMsPerDay).substr(0, 10) + " into " + write_home);
      return 0;
    }
    if (!record.empty() && tape.empty() && speed == 0) return RecordDay(universe, day, record);

    ServerOptions options;
    options.listen = listen;
    options.control = control;
    options.speed = speed;
    options.paused = paused;
    options.lockstep = lockstep;
    std::unique_ptr<UpdateSource> source;
    if (!tape.empty()) {
      auto reader = std::make_unique<TapeReader>(tape);
      options.origin_ms = reader->FirstTime();
      LogLine("replaying " + std::to_string(reader->LineCount()) + " updates from " + tape);
      source = std::move(reader);
    } else {
      const int64_t start =
          start_time.empty() ? vendor_now % kMsPerDay : ParseClockOption(start_time) * 1000LL;
      if (!clock_start.empty()) LogLine("simulated day at " + std::to_string(speed) + " times real pace");
      options.origin_ms = day * kMsPerDay + start;
      LogLine("synthetic market of " + std::to_string(symbols) + " symbols, seed " + std::to_string(seed) +
              ", from " + FormatTime(options.origin_ms) + " (vendor clock)");
      // As fast as possible, the market plays its one day and stops at 20:00 rather than racing through days.
      const int64_t end = speed == 0 ? day * kMsPerDay + kPostCloseSecond * 1000LL : INT64_MAX;
      source = std::make_unique<Market>(universe, day, end);
    }
    std::unique_ptr<TapeWriter> recorder;
    if (!record.empty()) recorder = std::make_unique<TapeWriter>(record);

    FeedServer server(options, std::move(source), std::move(recorder));
    // Tests and scripts read these lines to learn the ports picked for port 0.
    std::printf("listening on %s:%u\n", listen.substr(0, listen.rfind(':')).c_str(), server.Port());
    if (!control.empty()) {
      std::printf("control on %s:%u\n", control.substr(0, control.rfind(':')).c_str(), server.ControlPort());
    }
    std::fflush(stdout);
    g_server = &server;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    server.Run();
    g_server = nullptr;
    return 0;
  } catch (const CLI::Error& error) {
    return app.exit(error);
  } catch (const std::exception& error) {
    LogLine(std::string("error: ") + error.what());
    return 1;
  }
}
