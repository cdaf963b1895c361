// The framed protocol between the client library and tarnwell-feed. Every frame is a 32-bit little-endian
// payload length, one kind byte and the payload. The client opens with a Hello frame naming the protocol
// version; the server answers everything with Message frames that the library turns into queued vendor
// messages unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwell::vendor::wire {

inline constexpr uint32_t kMagic = 0x44465754;  // "TWFD"
inline constexpr uint16_t kVersion = 1;
/// Larger frames are a protocol error: no honest item, command or block comes near it.
inline constexpr uint32_t kMaxPayload = 16u << 20;
inline constexpr size_t kFrameHeaderSize = 5;

enum class Kind : uint8_t {
  kHello = 1,     // u32 magic, u16 version, str service, str topic
  kRequest = 2,   // str item, str format
  kAdvise = 3,    // str item, str format
  kUnadvise = 4,  // str item, str format
  kExecute = 5,   // str command
  kMessage = 16,  // i32 vendor message type, str text, str data block (empty when none)
};

/// Message types as the vendor numbers them.
enum MessageType : int32_t {
  kInitAccepted = 0,
  kRefused = 1,
  kReply = 4,
  kOtherRefusal = 6,
  kUpdate = 7,
  kTerminated = 8,
  kTimeMark = 9,  // lockstep feeds only: "YYYY-MM-DD HH:MM:SS.mmm N" or "end N", N updates sent before it
};

/// Builds one frame at the end of an output buffer.
class FrameWriter {
 public:
  FrameWriter(std::string& out, Kind kind);
  FrameWriter& U16(uint16_t value);
  FrameWriter& U32(uint32_t value);
  FrameWriter& Str(std::string_view value);
  /// Writes the length; the frame is complete afterwards.
  void End();

 private:
  std::string& out_;
  size_t start_;
};

/// Bounds-checked reading of one frame's payload; every getter fails (returns nullopt) past the end.
class PayloadReader {
 public:
  PayloadReader(const char* data, size_t size) : data_(data), size_(size) {}
  std::optional<uint16_t> U16();
  std::optional<uint32_t> U32();
  std::optional<std::string_view> Str();
  bool AtEnd() const { return at_ == size_; }

 private:
  const char* data_;
  size_t size_;
  size_t at_ = 0;
};

struct FrameView {
  Kind kind;
  const char* payload;
  uint32_t size;
};

/// Splits a byte stream into frames. `Next` returns the next complete frame (valid until the next `Consume`
/// call) or nullopt; `Error` tells a broken stream (oversized frame) apart from a frame still arriving.
class FrameSplitter {
 public:
  void Append(const char* data, size_t size) { buffer_.append(data, size); }
  std::optional<FrameView> Next();
  /// Drops the frames already returned by Next.
  void Consume();
  bool Error() const { return error_; }

 private:
  std::string buffer_;
  size_t at_ = 0;
  bool error_ = false;
};

}  // namespace tarnwell::vendor::wire
