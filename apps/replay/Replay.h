// tarnwell-replay: the real engine, without a display, over a tape. The tape is served by a feed inside this
// process and reaches the engine through the vendor library, the conversation, the listeners and the
// decoders, with the framework clock following the tape, so that a day replays in seconds and gives the same
// alerts every time.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "distribution/AlertsPush.h"

namespace tarnwell::replay {

/// Input the replay cannot use; the text names the file, the line and the value.
class EReplayInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TReplayOptions {
  std::string tape;
  std::string home;         // the overnight files
  std::string symbolsFile;  // empty: every symbol of the tape
  bool allAlerts = true;    // every registered alert type; otherwise exactly `alerts` (may be none)
  std::vector<std::string> alerts;
  std::string out;        // empty: standard output
  bool progress = false;  // a progress bar on standard error
  /// Every alert also becomes a row of this database's `alerts` table; no row is dropped.
  std::optional<TPushSettings> push;
};

/// The figures of a finished replay, also printed as its summary.
struct TReplaySummary {
  std::uint64_t updates = 0;
  std::uint64_t alerts = 0;
  std::size_t symbols = 0;
  std::size_t alertTypes = 0;
  double bindSeconds = 0;    // binding every alert type to every symbol
  double replaySeconds = 0;  // from the first update to the last
  double totalSeconds = 0;
  std::vector<std::pair<std::string, std::uint64_t>> alertsByName;  // sorted by name
  std::size_t latencySamples = 0;
  double latencyMedianUs = 0;
  double latency99Us = 0;
  bool pushed = false;  // the push's figures below are set
  TAlertsQueue::TCounts push;
  double pushSeconds = 0;  // from the first alert to the last row confirmed by the server
};

/// HOST or HOST:PORT as the push takes it; throws EReplayInput naming the value when the port is not one.
TPushSettings ParsePushAddress(const std::string& address);

/// Symbols, one per line ('#' comments and blank lines skipped). Throws EReplayInput naming file and line.
std::vector<std::string> ReadSymbolsFile(const std::string& path);

/// Runs the whole replay; alert lines go to options.out. Throws EReplayInput for bad input, the tape's own
/// errors as they come. Once per process: the engine it starts stays for the process.
TReplaySummary RunReplay(const TReplayOptions& options);

/// The summary as printed at the end.
std::string FormatSummary(const TReplaySummary& summary);

}  // namespace tarnwell::replay
