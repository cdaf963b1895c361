// tarnwell-feed's network side: conversations on one port, fault control on another, and the playback of an
// update source (synthetic market or tape) into the records and out to every advised item.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/Wire.h"
#include "server/Records.h"
#include "server/Tape.h"

namespace tarnwell::vendor {

struct ServerOptions {
  std::string listen = "127.0.0.1:7071";
  std::string control;    // empty: no control channel
  double speed = 1.0;     // times real pace; 0 = as fast as the clients take it
  bool paused = false;    // start paused; "resume" on the control channel starts playback
  int64_t origin_ms = 0;  // vendor time at which playback starts; earlier updates are applied silently
  // Lockstep: the updates at origin_ms form the opening picture that requests see from the start; every
  // update (those included) goes out as a message of its own, each new update time is announced to every
  // conversation by a time mark before its first update, and playback goes only as far as the control
  // channel's "until TIME" allows (nothing before the first one), so that a client can keep its own clock and
  // timers in step with the tape.
  bool lockstep = false;
};

/// A frame from a client, decoded. Views point into the frame's payload.
struct ClientFrame {
  wire::Kind kind = wire::Kind::kHello;
  /// The payload holds what its kind needs (a greeting may carry more after it; other kinds may not).
  bool well_formed = false;
  uint32_t magic = 0;  // kHello
  uint16_t version = 0;
  std::string_view service, topic;
  std::string_view item, format;  // kRequest, kAdvise, kUnadvise
  std::string_view command;       // kExecute
};

/// Decodes one frame; a kind the feed does not know is never well formed.
ClientFrame DecodeClientFrame(const wire::FrameView& frame);

/// Takes the complete lines from the front of a control client's input, trimmed of spaces and CRs; blank
/// lines are dropped and a line still arriving stays in `in`.
std::vector<std::string> TakeControlLines(std::string& in);

class FeedServer {
 public:
  /// Binds both ports; throws std::runtime_error naming the address when it cannot. The recorder may be null.
  FeedServer(ServerOptions options, std::unique_ptr<UpdateSource> source,
             std::unique_ptr<TapeWriter> recorder);
  ~FeedServer();
  FeedServer(const FeedServer&) = delete;
  FeedServer& operator=(const FeedServer&) = delete;

  uint16_t Port() const { return port_; }
  uint16_t ControlPort() const { return control_port_; }
  /// Serves until Stop; throws TapeError when the tape turns out unreadable.
  void Run();
  /// Ends Run from any thread or from a signal handler.
  void Stop();

 private:
  struct Subscription;
  struct Connection;
  struct ControlClient;

  void Accept(int listen_fd, bool control);
  void ReadConversation(Connection& connection);
  void HandleFrame(Connection& connection, const wire::FrameView& frame);
  void HandleGreeting(Connection& connection, const ClientFrame& greeting);
  void HandleItem(Connection& connection, int kind, const std::string& item_text, const std::string& format);
  void HandleCommand(Connection& connection, const std::string& command);
  void Reply(Connection& connection, int32_t type, std::string_view text, std::string_view block = {});
  void ReadControl(ControlClient& client);
  std::string ControlCommand(const std::string& line);
  void Pump();
  void PumpLockstep();
  /// Into the records, onto the tape being recorded, out to the conversations.
  void Play(const Update& update);
  void EndOfStream();
  void SendTimeMark(const std::string& text);
  void Publish(const Update& update);
  void FlushUpdates();
  void WriteOut(Connection& connection);
  void CloseConnection(Connection& connection, const char* why);
  void RebuildRoutes(Connection& connection);
  bool Backpressured() const;
  int64_t NowMs() const;
  int64_t MarketTimeNow() const;
  int PollTimeoutMs();

  ServerOptions options_;
  std::unique_ptr<UpdateSource> source_;
  std::unique_ptr<TapeWriter> recorder_;
  RecordStore records_;
  int listen_fd_ = -1;
  int control_fd_ = -1;
  int wake_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  uint16_t control_port_ = 0;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<std::unique_ptr<ControlClient>> controls_;
  bool refusing_ = false;
  bool paused_ = false;
  bool source_done_ = false;
  bool warmed_up_ = false;
  int64_t play_start_ms_ = 0;  // steady time at which origin_ms is played
  int64_t paused_at_ms_ = 0;
  uint64_t published_ = 0;
  // Lockstep only: updates due at or after gate_ms_ wait for the next "until"; last_mark_ms_ is the time the
  // conversations were last told.
  int64_t gate_ms_ = INT64_MIN;
  int64_t last_mark_ms_ = INT64_MIN;
  // Lockstep only: the updates at the starting time, already in the records (so that requests before the
  // first "until" see the opening picture, as from a feed that has been running) and still to be played.
  std::vector<Update> opening_;
  size_t opening_played_ = 0;
};

}  // namespace tarnwell::vendor
