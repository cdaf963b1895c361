// Runs the real tarnwell-feed for a test: on a free loopback port, ready before the test goes on, and always
// stopped afterwards.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vconv.h"

namespace tarnwell::vendor::testing {

class FeedProcess {
 public:
  /// Starts the feed with the arguments plus --listen (a free port unless `listen` is given) and --control;
  /// throws when it does not report its ports within ten seconds.
  explicit FeedProcess(std::vector<std::string> args, std::string listen = "127.0.0.1:0");
  ~FeedProcess();

  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  uint16_t Port() const { return port_; }
  /// Sends one command on the control port and returns the reply line.
  std::string Control(const std::string& command) const;
  /// SIGKILL, as a crash would end it.
  void Kill();
  /// SIGTERM; the exit status (-1 when it had to be killed).
  int Terminate();

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  uint16_t control_port_ = 0;
};

struct RunResult {
  int status = -1;
  std::string output;  // standard output and error together
};

/// Runs the feed to its end (bounded by a timeout) for the modes that exit by themselves.
RunResult RunFeed(const std::vector<std::string>& args,
                  std::chrono::seconds timeout = std::chrono::seconds(60));

/// Records a synthetic day of `symbols` symbols (seed 5) to `tape` and writes its overnight files into
/// `home`; the first failing run's result, or the last one's.
RunResult RecordSyntheticDay(const std::string& tape, const std::string& home, int symbols,
                             const std::string& date = "2026-12-09");

/// A message owned by the test.
struct MessageDeleter {
  void operator()(VConvMessage* message) const { VConvFreeData(message); }
};
using Message = std::unique_ptr<VConvMessage, MessageDeleter>;

/// One record of a data block: its fields in block order.
struct Record {
  std::vector<std::vector<uint8_t>> fields;  // raw field values (type, number, value)
  uint16_t Number(size_t i) const;
  std::string Symbol() const;  // the text of field 1003, empty when absent
  bool Has(uint16_t number) const;
};

/// Walks a data block with the VB4_ functions.
std::vector<Record> ReadBlock(const VConvMessage& message);

/// A conversation seen through the C API only.
class Conversation {
 public:
  /// Connects; `connected` tells whether VConvConnect succeeded.
  explicit Conversation(const std::string& address);
  ~Conversation();
  bool connected() const { return connected_; }
  VConvHandle handle() const { return handle_; }
  /// The next message, waiting on the event handle for at most `timeout`; null on time-out.
  Message Next(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  /// Waits for the reply to a fresh request of `item`, collecting every update that arrives before it.
  Message RequestAndWait(const std::string& item, std::vector<Message>* before = nullptr);

 private:
  VConvHandle handle_ = 0;
  bool connected_ = false;
};

}  // namespace tarnwell::vendor::testing
