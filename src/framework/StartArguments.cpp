#include "framework/StartArguments.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ctime>

#include "framework/Clock.h"

namespace tarnwell {

THostPort SplitHostPort(const std::string& text) {
  auto colon = text.find(':');
  if (colon == std::string::npos) return {text, {}};
  return {text.substr(0, colon), text.substr(colon + 1)};
}

TStartArguments ParseStartArguments(const std::vector<std::string>& args) {
  TStartArguments result;
  CLI::App app("Tarnwell: real-time stock-market alert server and viewer.\n"
               "Without arguments the desktop opens the initial page. With a symbol file it runs the\n"
               "automatic alert monitor unattended.",
               args.empty() ? "tarnwell" : args.front());
  std::vector<std::string> positional;
  app.add_option("symbol-file database-host[:port]", positional,
                 "symbol file, then the database host with an optional port")
      ->expected(0, 2);
  std::string clockText;
  double since = 0;
  app.add_option("--clock", clockText,
                 "run a simulated day from this local time, \"YYYY-MM-DD HH:MM[:SS]\" (default: the real clock)");
  app.add_option("--clock-rate", result.clockRate, "seconds of the simulated day per real second")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--clock-since", since,
                 "Unix time at which the simulated day showed its start (to share one clock with the feed)");
  app.add_option("--report-as", result.reportAs,
                 "name of this server's heartbeat row in monitor_alive (default: \"Alert Server\" and the "
                 "computer's name); servers that share a database each need their own");
  result.helpText = app.help();
  std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
  std::reverse(rest.begin(), rest.end());  // CLI11 takes the arguments last first
  try {
    app.parse(rest);
  } catch (const CLI::CallForHelp&) {
    result.showHelp = true;
    return result;
  } catch (const CLI::ParseError& e) {
    result.error = e.what();
    return result;
  }
  if (!clockText.empty()) {
    if (!clock::ParseLocalDateTime(clockText, result.clockStart)) {
      result.error = "--clock: '" + clockText + "' is not a date and time \"YYYY-MM-DD HH:MM[:SS]\"";
      return result;
    }
    result.simulatedClock = true;
    result.clockSince = since > 0 ? since : static_cast<double>(std::time(nullptr));
  } else if (since > 0 || app.count("--clock-rate") > 0) {
    result.error = "--clock-rate and --clock-since need --clock";
    return result;
  }
  if (positional.empty()) return result;
  result.unattended = true;
  result.symbolFile = positional[0];
  if (positional.size() > 1) result.databaseHost = positional[1];
  return result;
}

}  // namespace tarnwell
