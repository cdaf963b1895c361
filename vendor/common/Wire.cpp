#include "Wire.h"

namespace tarnwell::vendor::wire {
namespace {

uint32_t Get32(const char* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void Put32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

}  // namespace

FrameWriter::FrameWriter(std::string& out, Kind kind) : out_(out), start_(out.size()) {
  out_.append(4, '\0');
  out_.push_back(static_cast<char>(kind));
}

FrameWriter& FrameWriter::U16(uint16_t value) {
  out_.push_back(static_cast<char>(value & 0xff));
  out_.push_back(static_cast<char>(value >> 8));
  return *this;
}

FrameWriter& FrameWriter::U32(uint32_t value) {
  Put32(out_, value);
  return *this;
}

FrameWriter& FrameWriter::Str(std::string_view value) {
  Put32(out_, static_cast<uint32_t>(value.size()));
  out_.append(value);
  return *this;
}

void FrameWriter::End() {
  const auto length = static_cast<uint32_t>(out_.size() - start_ - kFrameHeaderSize);
  for (int i = 0; i < 4; ++i) out_[start_ + i] = static_cast<char>((length >> (8 * i)) & 0xff);
}

std::optional<uint16_t> PayloadReader::U16() {
  if (size_ - at_ < 2) return std::nullopt;
  const auto* b = reinterpret_cast<const uint8_t*>(data_ + at_);
  at_ += 2;
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

std::optional<uint32_t> PayloadReader::U32() {
  if (size_ - at_ < 4) return std::nullopt;
  const uint32_t value = Get32(data_ + at_);
  at_ += 4;
  return value;
}

std::optional<std::string_view> PayloadReader::Str() {
  const auto length = U32();
  if (!length || size_ - at_ < *length) return std::nullopt;
  std::string_view value(data_ + at_, *length);
  at_ += *length;
  return value;
}

std::optional<FrameView> FrameSplitter::Next() {
  if (error_ || buffer_.size() - at_ < kFrameHeaderSize) return std::nullopt;
  const uint32_t length = Get32(buffer_.data() + at_);
  if (length > kMaxPayload) {
    error_ = true;
    return std::nullopt;
  }
  if (buffer_.size() - at_ - kFrameHeaderSize < length) return std::nullopt;
  FrameView frame{static_cast<Kind>(buffer_[at_ + 4]), buffer_.data() + at_ + kFrameHeaderSize, length};
  at_ += kFrameHeaderSize + length;
  return frame;
}

void FrameSplitter::Consume() {
  buffer_.erase(0, at_);
  at_ = 0;
}

}  // namespace tarnwell::vendor::wire
