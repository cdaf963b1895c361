#pragma once
// The command line of the desktop program: any argument starts unattended operation. Argument 1 is the
// symbol file, argument 2 the database host, optionally followed by ":" and a port.

#include <string>
#include <vector>

namespace tarnwell {

struct THostPort {
  std::string host;
  std::string port;  ///< empty when none was given
};

/// Splits at the first colon; without a colon the whole text is the host.
THostPort SplitHostPort(const std::string& text);

struct TStartArguments {
  bool unattended = false;
  std::string symbolFile;
  std::string databaseHost;  ///< argument 2 as given, empty if absent
  /// A simulated day: the local time the clock starts at ("--clock"), its rate ("--clock-rate") and the
  /// system time at which it showed the start ("--clock-since", Unix seconds; default: when parsed).
  /// The heartbeat row's name ("--report-as"); empty: "Alert Server" and the computer's name.
  std::string reportAs;
  bool simulatedClock = false;
  double clockStart = 0;
  double clockRate = 1;
  double clockSince = 0;
  bool showHelp = false;
  std::string helpText;
  std::string error;  ///< a command line that cannot be used; empty when fine
};

/// Parses argv (argv[0] is the program). "--help" and "-h" ask for the usage text.
TStartArguments ParseStartArguments(const std::vector<std::string>& args);

}  // namespace tarnwell
