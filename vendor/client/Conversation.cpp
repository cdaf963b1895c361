#include "Conversation.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "common/Block.h"
#include "common/Wire.h"

namespace tarnwell::vendor {
namespace {

constexpr uint32_t kMessageMagic = 0x4d475356;  // guards VConvFreeData against foreign pointers
constexpr int kConnectTimeoutMs = 5000;

// The part of a message the caller never sees. Standard layout with the public struct first, so a pointer to
// the message is a pointer to this header.
struct MessageHeader {
  VConvMessage message;
  uint32_t magic;
  uint32_t block_size;
  const void* block;
};

std::pair<std::string, std::string> SplitAddress(const std::string& address) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) {
    throw std::runtime_error("address '" + address + "' is not host:port");
  }
  return {address.substr(0, colon), address.substr(colon + 1)};
}

int ConnectTo(const std::string& address) {
  const auto [host, port] = SplitAddress(address);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
    throw std::runtime_error("cannot resolve '" + address + "': " + gai_strerror(rc));
  }
  std::string reason = "no address";
  int fd = -1;
  for (addrinfo* ai = found; ai != nullptr && fd < 0; ai = ai->ai_next) {
    fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) continue;
    int rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      rc = poll(&p, 1, kConnectTimeoutMs) == 1 ? 0 : -1;
      int error = rc == 0 ? 0 : ETIMEDOUT;
      socklen_t length = sizeof(error);
      if (rc == 0) getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
      errno = error;
      rc = error == 0 ? 0 : -1;
    }
    if (rc != 0) {
      reason = std::strerror(errno);
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd < 0) throw std::runtime_error("cannot connect to " + address + ": " + reason);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return fd;
}

// What a queued message holds: its header, text and data block.
size_t MessageBytes(const VConvMessage* message) {
  const auto* header = reinterpret_cast<const MessageHeader*>(message);
  return sizeof(MessageHeader) + (message->Text ? std::strlen(message->Text) : 0) + header->block_size;
}

}  // namespace

VConvMessage* NewMessage(int32_t type, std::string_view text, std::string_view block) {
  const size_t text_at = sizeof(MessageHeader);
  const size_t block_at = (text_at + text.size() + 1 + 7) & ~size_t{7};
  auto* raw = static_cast<char*>(std::malloc(block_at + block.size()));
  if (raw == nullptr) return nullptr;
  auto* header = reinterpret_cast<MessageHeader*>(raw);
  if (!text.empty()) std::memcpy(raw + text_at, text.data(), text.size());
  raw[text_at + text.size()] = '\0';
  if (!block.empty()) std::memcpy(raw + block_at, block.data(), block.size());
  header->message.Type = type;
  header->message.Text = text.empty() ? nullptr : raw + text_at;
  header->magic = kMessageMagic;
  header->block_size = static_cast<uint32_t>(block.size());
  header->block = block.empty() ? nullptr : raw + block_at;
  return &header->message;
}

VConvMessage* DecodeMessageFrame(const wire::FrameView& frame) {
  wire::PayloadReader payload(frame.payload, frame.size);
  const auto type = payload.U32();
  const auto text = payload.Str();
  const auto block = payload.Str();
  if (frame.kind != wire::Kind::kMessage || !type || !text || !block || !payload.AtEnd() ||
      (!block->empty() && !ValidateBlock(block->data(), block->size()))) {
    return nullptr;
  }
  return NewMessage(static_cast<int32_t>(*type), *text, *block);
}

Conversation::Conversation(const std::string& address, std::string_view service, std::string_view topic) {
  socket_ = ConnectTo(address);
  event_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event_fd_ < 0) {
    close(socket_);
    throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
  }
  std::string hello;
  wire::FrameWriter(hello, wire::Kind::kHello)
      .U32(wire::kMagic)
      .U16(wire::kVersion)
      .Str(service)
      .Str(topic)
      .End();
  if (!Send(hello)) {
    close(socket_);
    close(event_fd_);
    throw std::runtime_error("connection to " + address + " closed during the greeting");
  }
  reader_ = std::thread([this] { ReadLoop(); });
}

Conversation::~Conversation() {
  {
    std::lock_guard lock(queue_mutex_);
    closing_ = true;
  }
  room_.notify_all();
  shutdown(socket_, SHUT_RDWR);
  if (reader_.joinable()) reader_.join();
  close(socket_);
  close(event_fd_);
  for (VConvMessage* message : queue_) VConvFreeData(message);
}

bool Conversation::Send(const std::string& frame) {
  if (ended_) return false;
  std::lock_guard lock(write_mutex_);
  size_t sent = 0;
  while (sent < frame.size()) {
    const ssize_t n = send(socket_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

VConvMessage* Conversation::Take() {
  std::lock_guard lock(queue_mutex_);
  if (queue_.empty()) return nullptr;
  VConvMessage* message = queue_.front();
  queue_.pop_front();
  queued_bytes_ -= MessageBytes(message);
  if (queued_bytes_ <= kQueueLowBytes) room_.notify_one();
  if (queue_.empty()) {
    uint64_t count;
    [[maybe_unused]] ssize_t n = read(event_fd_, &count, sizeof(count));
  }
  return message;
}

void Conversation::Push(VConvMessage* message) {
  std::lock_guard lock(queue_mutex_);
  if (terminated_ || message == nullptr) {
    VConvFreeData(message);
    return;
  }
  if (message->Type == wire::kTerminated) terminated_ = ended_ = true;
  queue_.push_back(message);
  queued_bytes_ += MessageBytes(message);
  if (queue_.size() == 1) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(event_fd_, &one, sizeof(one));
  }
}

void Conversation::PushTerminated() {
  Push(NewMessage(wire::kTerminated, {}, {}));
}

void Conversation::ReadLoop() {
  wire::FrameSplitter splitter;
  char buffer[1 << 16];
  for (;;) {
    {
      std::unique_lock lock(queue_mutex_);
      if (queued_bytes_ > kQueueHighBytes) {
        room_.wait(lock, [this] { return queued_bytes_ <= kQueueLowBytes || closing_; });
      }
    }
    const ssize_t n = recv(socket_, buffer, sizeof(buffer), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    splitter.Append(buffer, static_cast<size_t>(n));
    while (auto frame = splitter.Next()) {
      // A frame we cannot trust ends the conversation rather than handing garbage to the caller.
      VConvMessage* message = DecodeMessageFrame(*frame);
      if (message == nullptr) {
        PushTerminated();
        return;
      }
      Push(message);
    }
    if (splitter.Error()) break;
    splitter.Consume();
  }
  PushTerminated();
}

}  // namespace tarnwell::vendor

using tarnwell::vendor::MessageHeader;

extern "C" void VConvFreeData(VConvMessage* message) {
  if (message == nullptr) return;
  auto* header = reinterpret_cast<MessageHeader*>(message);
  if (header->magic != tarnwell::vendor::kMessageMagic) return;
  header->magic = 0;
  std::free(header);
}

extern "C" const void* VConvDataGetData(const VConvMessage* message) {
  if (message == nullptr) return nullptr;
  return reinterpret_cast<const MessageHeader*>(message)->block;
}
