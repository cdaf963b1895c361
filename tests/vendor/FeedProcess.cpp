#include "FeedProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tarnwell::vendor::testing {
namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& args, int& out_fd, bool merge_stderr) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  if (merge_stderr) posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<std::string> full{TARNWELL_FEED_PATH};
  full.insert(full.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : full) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, TARNWELL_FEED_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    throw std::runtime_error(std::string("cannot start the feed: ") + std::strerror(rc));
  }
  out_fd = pipe_fds[0];
  return pid;
}

// Reads what is available within the deadline; false at end of stream or time-out.
bool ReadSome(int fd, std::string& into, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return false;
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof(buffer));
  if (n <= 0) return false;
  into.append(buffer, static_cast<size_t>(n));
  return true;
}

int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  int status = 0;
  while (Clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

uint16_t PortAfter(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return 0;
  const size_t colon = text.find(':', at + label.size());
  return static_cast<uint16_t>(std::stoi(text.substr(colon + 1)));
}

}  // namespace

FeedProcess::FeedProcess(std::vector<std::string> args, std::string listen) {
  args.insert(args.end(), {"--listen", listen, "--control", "127.0.0.1:0"});
  int out_fd = -1;
  pid_ = Spawn(args, out_fd, false);
  std::string output;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (output.find("control on") == std::string::npos ||
         output.find('\n', output.find("control on")) == std::string::npos) {
    if (!ReadSome(out_fd, output, deadline)) {
      close(out_fd);
      Terminate();
      throw std::runtime_error("the feed did not report its ports; it printed: " + output);
    }
  }
  close(out_fd);
  port_ = PortAfter(output, "listening on");
  control_port_ = PortAfter(output, "control on");
}

FeedProcess::~FeedProcess() {
  Terminate();
}

void FeedProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

int FeedProcess::Terminate() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  const int status = WaitFor(pid_, std::chrono::seconds(5));
  pid_ = -1;
  return status;
}

std::string FeedProcess::Control(const std::string& command) const {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(control_port_);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
    const std::string line = command + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
      const auto deadline = Clock::now() + std::chrono::seconds(5);
      while (reply.find('\n') == std::string::npos && ReadSome(fd, reply, deadline)) {
      }
    }
  }
  close(fd);
  if (const size_t end = reply.find('\n'); end != std::string::npos) reply.resize(end);
  return reply;
}

RunResult RunFeed(const std::vector<std::string>& args, std::chrono::seconds timeout) {
  int out_fd = -1;
  RunResult result;
  const pid_t pid = Spawn(args, out_fd, true);
  const auto deadline = Clock::now() + timeout;
  while (ReadSome(out_fd, result.output, deadline)) {
  }
  close(out_fd);
  result.status = WaitFor(
      pid, std::chrono::milliseconds(std::max<int64_t>(
               100, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count())));
  return result;
}

RunResult RecordSyntheticDay(const std::string& tape, const std::string& home, int symbols, const std::string& date) {
  const std::vector<std::string> common{"--symbols", std::to_string(symbols), "--seed", "5", "--date", date};
  auto args = common;
  args.insert(args.end(), {"--record", tape, "--speed", "0"});
  RunResult recorded = RunFeed(args);
  if (recorded.status != 0) return recorded;
  args = common;
  args.insert(args.end(), {"--write-home", home});
  return RunFeed(args);
}

uint16_t Record::Number(size_t i) const {
  uint16_t number;
  std::memcpy(&number, fields[i].data() + 2, 2);
  return number;
}

bool Record::Has(uint16_t number) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (Number(i) == number) return true;
  }
  return false;
}

std::string Record::Symbol() const {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (Number(i) == 1003 && fields[i].size() > 8) return reinterpret_cast<const char*>(fields[i].data() + 8);
  }
  return {};
}

std::vector<Record> ReadBlock(const VConvMessage& message) {
  std::vector<Record> records;
  VB4Cursor cursor;
  if (VB4_Open(VConvDataGetData(&message), &cursor, 0) != 0) return records;
  do {
    Record record;
    VB4_GotoField(&cursor, 0);
    const void* field = nullptr;
    while (VB4_GetField(&cursor, &field) == 0) {
      const auto* bytes = static_cast<const uint8_t*>(field);
      uint16_t type;
      std::memcpy(&type, bytes, 2);
      size_t size = type == 99 ? 4 : type == 5 ? 12 : 8;
      if (type == 6) size = 8 + std::strlen(reinterpret_cast<const char*>(bytes + 8)) + 1;
      record.fields.emplace_back(bytes, bytes + size);
    }
    records.push_back(std::move(record));
  } while (VB4_NextRecord(&cursor) == 0);
  return records;
}

Conversation::Conversation(const std::string& address) {
  VConvInitialize();
  connected_ = VConvConnect(address.c_str(), "MD_SRV", "LIVEQUOTE", &handle_) == 1;
}

Conversation::~Conversation() {
  if (connected_) VConvFree(handle_);
}

Message Conversation::Next(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (VConvMessage* message = VConvGetData(handle_)) return Message(message);
    int fd = -1;
    if (VConvGetEventHandle(handle_, &fd) != 1) return nullptr;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return nullptr;
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, static_cast<int>(left));
  }
}

Message Conversation::RequestAndWait(const std::string& item, std::vector<Message>* before) {
  if (VConvRequest(handle_, item.c_str(), "VB4") != 1) return nullptr;
  while (Message message = Next()) {
    if (message->Type == 4 && message->Text != nullptr && item == message->Text) return message;
    if (before != nullptr) before->push_back(std::move(message));
  }
  return nullptr;
}

}  // namespace tarnwell::vendor::testing
