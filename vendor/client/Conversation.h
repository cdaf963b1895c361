// One conversation of the client library: a TCP connection to tarnwell-feed, a reader thread that turns the
// server's frames into queued vendor messages, and an eventfd that is readable exactly while the queue is not
// empty.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/Wire.h"
#include "vconv.h"

namespace tarnwell::vendor {

class Conversation {
 public:
  /// Connects to host:port and sends the greeting; throws std::runtime_error with the reason on failure.
  Conversation(const std::string& address, std::string_view service, std::string_view topic);
  ~Conversation();
  Conversation(const Conversation&) = delete;
  Conversation& operator=(const Conversation&) = delete;

  int EventFd() const { return event_fd_; }
  /// The next queued message, owned by the caller (release with VConvFreeData), or nullptr.
  VConvMessage* Take();
  /// Sends one frame; false when the connection is gone or the conversation ended.
  bool Send(const std::string& frame);

 private:
  void ReadLoop();
  void Push(VConvMessage* message);
  void PushTerminated();

  int socket_ = -1;
  int event_fd_ = -1;
  std::mutex write_mutex_;  // one frame at a time on the socket
  std::mutex queue_mutex_;  // guards queue_, queued_bytes_, closing_ and terminated_
  std::deque<VConvMessage*> queue_;
  // The reader stops taking data from the server while the caller has this much unread, so that a slow
  // caller pushes back on the server instead of growing the process.
  static constexpr size_t kQueueHighBytes = 16u << 20;
  static constexpr size_t kQueueLowBytes = 8u << 20;
  size_t queued_bytes_ = 0;
  bool closing_ = false;
  std::condition_variable room_;     // the queue fell to kQueueLowBytes, or the conversation is closing
  bool terminated_ = false;          // a type 8 was queued; nothing follows it
  std::atomic<bool> ended_ = false;  // the same, readable without the lock: sending is refused from then on
  std::thread reader_;
};

/// Allocates a message in one block: header, text and data block. Text may be empty (then Text is NULL).
VConvMessage* NewMessage(int32_t type, std::string_view text, std::string_view block);

/// The queued message a frame from the server stands for, owned by the caller; nullptr for a frame that
/// cannot be trusted (not a message, cut short, bytes left over, a malformed data block) or no memory.
VConvMessage* DecodeMessageFrame(const wire::FrameView& frame);

}  // namespace tarnwell::vendor
