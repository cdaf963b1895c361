#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace tarnwell::testing {
namespace {

int DecodeStatus(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>& args,
                             const TOptions& options) {
  std::vector<std::string> argvStrings{program};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid_ > 0) return;

  // Child: only async-signal-safe work from here on would be ideal; tests accept setenv before exec.
  ::setpgid(0, 0);
  for (const auto& [name, value] : options.environment) {
    if (value.empty()) {
      ::unsetenv(name.c_str());
    } else {
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
  if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) ::_exit(126);
  int out = ::open(options.outputFile.empty() ? "/dev/null" : options.outputFile.c_str(),
                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out >= 0) {
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
  }
  int in = ::open("/dev/null", O_RDONLY);
  if (in >= 0) ::dup2(in, STDIN_FILENO);
  std::set<int> keep(options.inheritedFds.begin(), options.inheritedFds.end());
  for (int fd = 3; fd < 1024; ++fd) {
    if (!keep.count(fd)) ::close(fd);
  }
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

TChildProcess::~TChildProcess() {
  if (pid_ > 0 && !status_) Terminate(std::chrono::milliseconds(3000));
}

bool TChildProcess::Running() {
  if (status_) return false;
  int raw = 0;
  pid_t done = ::waitpid(pid_, &raw, WNOHANG);
  if (done == pid_) status_ = DecodeStatus(raw);
  return !status_;
}

int Patience() {
  static const int patience = [] {
    const char* text = std::getenv("TARNWELL_TEST_PATIENCE");
    const int value = text ? std::atoi(text) : 1;
    return value >= 1 ? value : 1;
  }();
  return patience;
}

std::optional<int> TChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  WaitUntil([this] { return !Running(); }, timeout);
  return status_;
}

int TChildProcess::Terminate(std::chrono::milliseconds grace) {
  if (!Running()) return *status_;
  ::kill(pid_, SIGTERM);
  if (WaitForExit(grace)) return *status_;
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
  int raw = 0;
  ::waitpid(pid_, &raw, 0);
  status_ = DecodeStatus(raw);
  return *status_;
}

TCommandResult RunCommand(const std::vector<std::string>& command,
                          const std::map<std::string, std::string>& environment,
                          std::chrono::milliseconds timeout) {
  TCommandResult result;
  char pattern[] = "/tmp/tarnwell_capture_XXXXXX";
  int fd = ::mkstemp(pattern);
  if (fd < 0) return result;
  ::close(fd);
  std::string file = pattern;
  std::string program = FindProgram(command.at(0));
  if (program.empty()) return result;
  {
    TChildProcess child(program, std::vector<std::string>(command.begin() + 1, command.end()),
                        {environment, {}, file, {}});
    result.status = child.WaitForExit(timeout).value_or(-1);
  }
  FILE* f = std::fopen(file.c_str(), "rb");
  if (f) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) result.output.append(buffer, n);
    std::fclose(f);
  }
  std::filesystem::remove(file);
  return result;
}

std::string CaptureOutput(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment) {
  return RunCommand(command, environment, std::chrono::seconds(30)).output;
}

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace tarnwell::testing
