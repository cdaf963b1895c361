// The client library against a server of the test's own that floods one conversation: while the caller leaves
// messages unread, the library stops reading, so the server feels a full socket instead of the client
// growing without bound; once the caller takes its messages, the server can write again.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/Block.h"
#include "common/Wire.h"
#include "vconv.h"

namespace tarnwell::vendor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Writes as much of `frame`, over and over, as the socket takes until it has stayed full for `quiet`;
// returns the bytes written.
size_t WriteUntilFull(int fd, const std::string& frame, size_t& at, std::chrono::milliseconds quiet) {
  size_t written = 0;
  auto lastProgress = Clock::now();
  while (Clock::now() - lastProgress < quiet && written < (1u << 30)) {
    const ssize_t n = ::send(fd, frame.data() + at, frame.size() - at, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) {
      std::this_thread::sleep_for(1ms);
      continue;
    }
    written += static_cast<size_t>(n);
    at = (at + static_cast<size_t>(n)) % frame.size();
    lastProgress = Clock::now();
  }
  return written;
}

TEST(ClientQueueTest, AnUnreadConversationPushesBackOnTheServer) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

  ASSERT_EQ(VConvInitialize(), 1);
  VConvHandle handle = 0;
  ASSERT_EQ(VConvConnect(server.c_str(), "MD_SRV", "LIVEQUOTE", &handle), 1);
  const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(peer, 0);
  std::string accepted;
  wire::FrameWriter(accepted, wire::Kind::kMessage).U32(wire::kInitAccepted).Str({}).Str({}).End();
  ASSERT_EQ(::send(peer, accepted.data(), accepted.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(accepted.size()));

  // Updates of about 64 KB each: a thousand records with a name of 50 characters.
  BlockBuilder block;
  for (int i = 0; i < 1000; ++i) {
    block.BeginRecord();
    block.Add(FieldValue::String(1003, "ABC"));
    block.Add(FieldValue::String(6002, std::string(50, 'x')));
    block.EndRecord();
  }
  std::string update;
  wire::FrameWriter(update, wire::Kind::kMessage).U32(wire::kUpdate).Str("ITEM").Str(block.Finish()).End();

  size_t at = 0;
  const size_t flooded = WriteUntilFull(peer, update, at, 500ms);
  EXPECT_GT(flooded, size_t{16} << 20) << "the library queues up to its limit before it stops reading";
  EXPECT_LT(flooded, size_t{96} << 20) << "the library went on reading although nothing was taken";

  int taken = 0;
  while (VConvMessage* message = VConvGetData(handle)) {
    ++taken;
    VConvFreeData(message);
  }
  EXPECT_GT(taken, 100);
  EXPECT_GT(WriteUntilFull(peer, update, at, 500ms), size_t{4} << 20)
      << "reading resumed once the queue emptied";

  EXPECT_EQ(VConvFree(handle), 1);
  ::close(peer);
  ::close(listener);
}

}  // namespace
}  // namespace tarnwell::vendor
