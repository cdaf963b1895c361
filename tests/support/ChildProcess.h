#pragma once
// A child process for integration tests: started with its own arguments, environment additions and working
// folder, its output in a file, and always ended when the test is done with it.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarnwell::testing {

class TChildProcess {
 public:
  struct TOptions {
    std::map<std::string, std::string> environment;  ///< set (or, with an empty value, unset) in the child
    std::string workingDirectory;                   ///< empty: the test's own
    std::string outputFile;                         ///< standard output and error; empty: /dev/null
    std::vector<int> inheritedFds;                  ///< descriptors the child keeps (as numbered)
  };

  /// Starts `program` with `args`; throws std::runtime_error when it cannot be started.
  TChildProcess(const std::string& program, const std::vector<std::string>& args, const TOptions& options);
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;
  /// Ends the child (SIGTERM, then SIGKILL) if it still runs.
  ~TChildProcess();

  pid_t Pid() const { return pid_; }
  /// The exit status once the child has ended within the time-out (128 + signal when killed by one).
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  bool Running();
  /// SIGTERM, then SIGKILL after the grace time; the exit status.
  int Terminate(std::chrono::milliseconds grace = std::chrono::milliseconds(5000));

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

/// How many times longer than usual a test waits for other processes: TARNWELL_TEST_PATIENCE (a whole
/// number, 1 when unset), which sanitizer runs raise as their programs run several times slower.
int Patience();

/// Waits until `ready` returns true, polling every 50 ms; false on time-out (times the patience).
template <class Ready>
bool WaitUntil(Ready ready, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout * Patience();
  for (;;) {
    if (ready()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    struct timespec pause {
      0, 50'000'000
    };
    nanosleep(&pause, nullptr);
  }
}

struct TCommandResult {
  int status = -1;     ///< the exit status; -1 when it could not start or did not end in time
  std::string output;  ///< standard output and error
};
/// Runs a command to its end (ended after the time-out).
TCommandResult RunCommand(const std::vector<std::string>& command,
                          const std::map<std::string, std::string>& environment = {},
                          std::chrono::milliseconds timeout = std::chrono::seconds(30));

/// Runs a command to its end and returns what it printed on standard output (empty on failure).
std::string CaptureOutput(const std::vector<std::string>& command,
                          const std::map<std::string, std::string>& environment = {});

/// The full path of a program on PATH, or empty.
std::string FindProgram(const std::string& name);

}  // namespace tarnwell::testing
