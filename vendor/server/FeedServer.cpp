#include "server/FeedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

#include "common/Block.h"
#include "server/Items.h"
#include "server/Log.h"

namespace tarnwell::vendor {
namespace {

// A client whose unsent data passes this is not keeping up; at speed 0 playback waits below the first mark,
// at real pace a client past the second is dropped rather than letting the feed's memory grow without bound.
constexpr size_t kBackpressureBytes = 4u << 20;
constexpr size_t kSlowConsumerBytes = 256u << 20;
constexpr size_t kBlockFlushBytes = 48u << 10;
constexpr int kSpeedZeroBatch = 4000;

int BindListener(const std::string& address, uint16_t& port) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos) throw std::runtime_error("address '" + address + "' is not HOST:PORT");
  const std::string host = address.substr(0, colon);
  const std::string service = address.substr(colon + 1);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (const int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
      rc != 0) {
    throw std::runtime_error("cannot resolve '" + address + "': " + gai_strerror(rc));
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  const bool bound = bind(fd, found->ai_addr, found->ai_addrlen) == 0 && listen(fd, 64) == 0;
  freeaddrinfo(found);
  if (!bound) {
    const std::string reason = std::strerror(errno);
    close(fd);
    throw std::runtime_error("cannot listen on " + address + ": " + reason);
  }
  sockaddr_in bound_address{};
  socklen_t length = sizeof(bound_address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound_address), &length);
  port = ntohs(bound_address.sin_port);
  return fd;
}

std::string PeerName(int fd) {
  sockaddr_in peer{};
  socklen_t length = sizeof(peer);
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "?";
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

std::string RouteKey(Table table, std::string_view symbol) {
  std::string key(1, static_cast<char>(table));
  key += symbol;
  return key;
}

}  // namespace

struct FeedServer::Subscription {
  std::string text;
  Item item;
  std::bitset<65536> wanted;
  BlockBuilder block;
  bool pending = false;
};

struct FeedServer::Connection {
  int fd = -1;
  uint64_t id = 0;
  std::string peer;
  bool greeted = false;
  bool accepted = false;
  bool close_after_flush = false;
  bool closed = false;
  wire::FrameSplitter in;
  std::string out;
  size_t out_at = 0;
  std::map<std::string, std::unique_ptr<Subscription>> subscriptions;  // by item text
  std::map<std::pair<Table, std::string>, std::set<std::string>> lists;
  bool routes_dirty = true;
  std::unordered_map<std::string, std::vector<Subscription*>> routes;  // table + symbol -> advised items
  std::vector<Subscription*> pending;

  size_t Unsent() const { return out.size() - out_at; }
};

struct FeedServer::ControlClient {
  int fd = -1;
  std::string in;
  std::string out;
  bool closed = false;
};

FeedServer::FeedServer(ServerOptions options, std::unique_ptr<UpdateSource> source,
                       std::unique_ptr<TapeWriter> recorder)
    : options_(std::move(options)), source_(std::move(source)), recorder_(std::move(recorder)) {
  for (const std::string& symbol : source_->Symbols()) records_.AddSymbol(symbol);
  listen_fd_ = BindListener(options_.listen, port_);
  if (!options_.control.empty()) control_fd_ = BindListener(options_.control, control_port_);
  if (pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
  paused_ = options_.paused;
}

FeedServer::~FeedServer() {
  for (auto& connection : connections_) close(connection->fd);
  for (auto& client : controls_) close(client->fd);
  for (int fd : {listen_fd_, control_fd_, wake_pipe_[0], wake_pipe_[1]}) {
    if (fd >= 0) close(fd);
  }
}

void FeedServer::Stop() {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(wake_pipe_[1], &byte, 1);
}

int64_t FeedServer::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t FeedServer::MarketTimeNow() const {
  const int64_t now = paused_ ? paused_at_ms_ : NowMs();
  return options_.origin_ms +
         static_cast<int64_t>(static_cast<double>(now - play_start_ms_) * options_.speed);
}

bool FeedServer::Backpressured() const {
  return std::any_of(connections_.begin(), connections_.end(),
                     [](const auto& c) { return !c->closed && c->Unsent() > kBackpressureBytes; });
}

int FeedServer::PollTimeoutMs() {
  if (paused_ || source_done_) return 1000;
  if (options_.lockstep) {
    const Update* next = source_->Peek();
    if (next != nullptr && next->time_ms >= gate_ms_) return 1000;  // waits for "until"
  }
  if (options_.speed == 0) return Backpressured() ? 50 : 0;
  const Update* next = source_->Peek();
  if (next == nullptr) return 0;
  const double wait = static_cast<double>(next->time_ms - MarketTimeNow()) / options_.speed;
  return static_cast<int>(std::clamp(wait, 0.0, 200.0));
}

void FeedServer::Run() {
  // Bring the picture up to the starting time without sending anything, as a feed that has been running all
  // day.
  while (const Update* update = source_->Peek()) {
    if (update->time_ms >= options_.origin_ms) break;
    records_.Apply(*update);
    source_->Pop();
  }
  if (recorder_) recorder_->WriteSnapshot(records_, options_.origin_ms);
  if (options_.lockstep) {
    for (const Update* update;
         (update = source_->Peek()) != nullptr && update->time_ms == options_.origin_ms;) {
      records_.Apply(*update);
      opening_.push_back(*update);
      source_->Pop();
    }
  }
  play_start_ms_ = NowMs();
  paused_at_ms_ = play_start_ms_;

  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    const size_t conversation_count = connections_.size();
    const size_t control_count = controls_.size();
    fds.push_back({wake_pipe_[0], POLLIN, 0});
    fds.push_back({listen_fd_, POLLIN, 0});
    fds.push_back({control_fd_, POLLIN, 0});
    for (const auto& c : connections_) {
      fds.push_back({c->fd, static_cast<short>(POLLIN | (c->Unsent() > 0 ? POLLOUT : 0)), 0});
    }
    for (const auto& c : controls_) {
      fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
    }
    const int ready = poll(fds.data(), fds.size(), PollTimeoutMs());
    if (ready < 0 && errno != EINTR) throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    if (ready > 0) {
      if (fds[0].revents != 0) break;
      if (fds[1].revents & POLLIN) Accept(listen_fd_, false);
      if (control_fd_ >= 0 && (fds[2].revents & POLLIN)) Accept(control_fd_, true);
      for (size_t i = 0; i < conversation_count; ++i) {
        Connection& c = *connections_[i];
        if (fds[3 + i].revents & (POLLIN | POLLHUP | POLLERR)) ReadConversation(c);
        if (!c.closed && (fds[3 + i].revents & POLLOUT)) WriteOut(c);
      }
      for (size_t i = 0; i < control_count; ++i) {
        ControlClient& client = *controls_[i];
        const short events = fds[3 + conversation_count + i].revents;
        if (events & (POLLIN | POLLHUP | POLLERR)) ReadControl(client);
        if (!client.closed && !client.out.empty()) {
          const ssize_t n = send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
          if (n > 0) client.out.erase(0, static_cast<size_t>(n));
        }
      }
    }
    Pump();
    FlushUpdates();
    for (auto& c : connections_) {
      if (!c->closed && c->Unsent() > 0) WriteOut(*c);
    }
    std::erase_if(connections_, [](const auto& c) { return c->closed; });
    std::erase_if(controls_, [](const auto& c) {
      if (c->closed) close(c->fd);
      return c->closed;
    });
  }
  LogLine("stopping: " + std::to_string(connections_.size()) + " conversation(s) open, " +
          std::to_string(published_) + " update(s) published");
  if (recorder_) recorder_->Close();
}

void FeedServer::Accept(int listen_fd, bool control) {
  for (;;) {
    const int fd = accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (control) {
      auto client = std::make_unique<ControlClient>();
      client->fd = fd;
      controls_.push_back(std::move(client));
      continue;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    static uint64_t next_id = 1;
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->id = next_id++;
    connection->peer = PeerName(fd);
    LogLine("conversation " + std::to_string(connection->id) + ": connection from " + connection->peer);
    connections_.push_back(std::move(connection));
  }
}

void FeedServer::CloseConnection(Connection& connection, const char* why) {
  if (connection.closed) return;
  LogLine("conversation " + std::to_string(connection.id) + ": closed (" + why + ")");
  close(connection.fd);
  connection.closed = true;
}

void FeedServer::ReadConversation(Connection& connection) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = recv(connection.fd, buffer, sizeof(buffer), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      CloseConnection(connection, n == 0 ? "by the client" : std::strerror(errno));
      return;
    }
    connection.in.Append(buffer, static_cast<size_t>(n));
  }
  while (auto frame = connection.in.Next()) {
    HandleFrame(connection, *frame);
    if (connection.closed) return;
  }
  if (connection.in.Error()) {
    CloseConnection(connection, "oversized frame");
    return;
  }
  connection.in.Consume();
}

void FeedServer::Reply(Connection& connection, int32_t type, std::string_view text, std::string_view block) {
  if (type == wire::kOtherRefusal) {
    LogLine("conversation " + std::to_string(connection.id) + ": refused: " + std::string(text));
  }
  wire::FrameWriter(connection.out, wire::Kind::kMessage)
      .U32(static_cast<uint32_t>(type))
      .Str(text)
      .Str(block)
      .End();
}

ClientFrame DecodeClientFrame(const wire::FrameView& frame) {
  ClientFrame decoded;
  decoded.kind = frame.kind;
  wire::PayloadReader reader(frame.payload, frame.size);
  switch (frame.kind) {
    case wire::Kind::kHello: {
      const auto magic = reader.U32();
      const auto version = reader.U16();
      const auto service = reader.Str();
      const auto topic = reader.Str();
      if (!magic || !version || !service || !topic) return decoded;
      decoded.magic = *magic;
      decoded.version = *version;
      decoded.service = *service;
      decoded.topic = *topic;
      decoded.well_formed = true;
      return decoded;
    }
    case wire::Kind::kRequest:
    case wire::Kind::kAdvise:
    case wire::Kind::kUnadvise: {
      const auto item = reader.Str();
      const auto format = reader.Str();
      if (!item || !format || !reader.AtEnd()) return decoded;
      decoded.item = *item;
      decoded.format = *format;
      decoded.well_formed = true;
      return decoded;
    }
    case wire::Kind::kExecute: {
      const auto command = reader.Str();
      if (!command || !reader.AtEnd()) return decoded;
      decoded.command = *command;
      decoded.well_formed = true;
      return decoded;
    }
    default:
      return decoded;
  }
}

void FeedServer::HandleGreeting(Connection& connection, const ClientFrame& greeting) {
  connection.greeted = true;
  if (!greeting.well_formed || greeting.magic != wire::kMagic) {
    LogLine("conversation " + std::to_string(connection.id) + ": refused, not a vendor client greeting");
    Reply(connection, wire::kRefused, {});
    connection.close_after_flush = true;
    return;
  }
  if (greeting.version != wire::kVersion) {
    LogLine("conversation " + std::to_string(connection.id) + ": refused, protocol version " +
            std::to_string(greeting.version) + " (this feed speaks " + std::to_string(wire::kVersion) + ")");
    Reply(connection, wire::kRefused, {});
    connection.close_after_flush = true;
    return;
  }
  if (refusing_) {
    LogLine("conversation " + std::to_string(connection.id) + ": refused (refusing new conversations)");
    Reply(connection, wire::kRefused, {});
    return;
  }
  connection.accepted = true;
  LogLine("conversation " + std::to_string(connection.id) + ": accepted, service " +
          std::string(greeting.service) + ", topic " + std::string(greeting.topic));
  Reply(connection, wire::kInitAccepted, {});
}

void FeedServer::HandleFrame(Connection& connection, const wire::FrameView& frame) {
  const ClientFrame decoded = DecodeClientFrame(frame);
  if (!connection.greeted) {
    if (frame.kind != wire::Kind::kHello) {
      LogLine("conversation " + std::to_string(connection.id) + ": refused, no greeting");
      Reply(connection, wire::kRefused, {});
      connection.greeted = true;
      connection.close_after_flush = true;
      return;
    }
    HandleGreeting(connection, decoded);
    return;
  }
  if (!connection.accepted) return;  // a refused conversation waits for its client to let go
  switch (frame.kind) {
    case wire::Kind::kRequest:
    case wire::Kind::kAdvise:
    case wire::Kind::kUnadvise:
      if (!decoded.well_formed) break;
      HandleItem(connection, static_cast<int>(frame.kind), std::string(decoded.item), std::string(decoded.format));
      return;
    case wire::Kind::kExecute:
      if (!decoded.well_formed) break;
      HandleCommand(connection, std::string(decoded.command));
      return;
    default:
      Reply(connection, wire::kOtherRefusal,
            "unknown frame kind " + std::to_string(static_cast<int>(frame.kind)));
      return;
  }
  CloseConnection(connection, "malformed frame");
}

void FeedServer::HandleItem(Connection& connection, int kind, const std::string& item_text,
                            const std::string& format) {
  if (format != "VB4") {
    Reply(connection, wire::kOtherRefusal,
          "unsupported format '" + format + "' for item '" + item_text + "'; the feed speaks VB4");
    return;
  }
  if (kind == static_cast<int>(wire::Kind::kUnadvise)) {
    const auto it = connection.subscriptions.find(item_text);
    if (it == connection.subscriptions.end()) {
      Reply(connection, wire::kOtherRefusal, "item '" + item_text + "' is not advised");
      return;
    }
    std::erase(connection.pending, it->second.get());
    connection.subscriptions.erase(it);
    connection.routes_dirty = true;
    return;
  }
  auto parsed = ParseItem(item_text);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    Reply(connection, wire::kOtherRefusal, *error);
    return;
  }
  Item& item = std::get<Item>(parsed);
  if (kind == static_cast<int>(wire::Kind::kAdvise)) {
    auto subscription = std::make_unique<Subscription>();
    subscription->text = item_text;
    for (uint16_t number : item.fields) subscription->wanted.set(number);
    subscription->wanted.reset(fid::kDispName);
    subscription->item = std::move(item);
    if (auto it = connection.subscriptions.find(item_text); it != connection.subscriptions.end()) {
      std::erase(connection.pending, it->second.get());
    }
    connection.subscriptions[item_text] = std::move(subscription);
    connection.routes_dirty = true;
    return;
  }
  // A request: one reply holding the current record of each symbol asked for.
  std::vector<std::string> symbols;
  if (!item.symbol.empty()) {
    symbols.push_back(item.symbol);
  } else if (auto it = connection.lists.find({item.table, item.list}); it != connection.lists.end()) {
    symbols.assign(it->second.begin(), it->second.end());
  }
  BlockBuilder block;
  for (const std::string& symbol : symbols) {
    block.BeginRecord();
    block.Add(FieldValue::String(fid::kDispName, symbol));
    if (!records_.Known(symbol)) {
      block.Add(FieldValue::String(fid::kSymbolError, "Unknown symbol"));
      block.EndRecord();
      continue;
    }
    const std::vector<FieldValue>* record = records_.Find(item.table, symbol, item.exchange);
    for (size_t i = 1; i < item.fields.size(); ++i) {
      const uint16_t number = item.fields[i];
      const FieldValue* found = nullptr;
      if (record != nullptr) {
        for (const FieldValue& field : *record) {
          if (field.number == number) found = &field;
        }
      }
      block.Add(found != nullptr ? *found : FieldValue::Blank(number));
    }
    block.EndRecord();
  }
  Reply(connection, wire::kReply, item_text, block.Finish());
}

void FeedServer::HandleCommand(Connection& connection, const std::string& command) {
  auto parsed = ParseCommand(command);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    Reply(connection, wire::kOtherRefusal, *error);
    return;
  }
  const WatchCommand& watch = std::get<WatchCommand>(parsed);
  auto& list = connection.lists[{watch.table, watch.list}];
  if (watch.add) {
    list.insert(watch.symbol);
  } else {
    list.erase(watch.symbol);
    if (list.empty()) connection.lists.erase({watch.table, watch.list});
  }
  connection.routes_dirty = true;
}

void FeedServer::RebuildRoutes(Connection& connection) {
  connection.routes.clear();
  for (auto& [text, subscription] : connection.subscriptions) {
    const Item& item = subscription->item;
    if (!item.symbol.empty()) {
      connection.routes[RouteKey(item.table, item.symbol)].push_back(subscription.get());
      continue;
    }
    const auto list = connection.lists.find({item.table, item.list});
    if (list == connection.lists.end()) continue;
    for (const std::string& symbol : list->second) {
      connection.routes[RouteKey(item.table, symbol)].push_back(subscription.get());
    }
  }
  connection.routes_dirty = false;
}

void FeedServer::Publish(const Update& update) {
  ++published_;
  const std::string key = RouteKey(update.table, update.symbol);
  const std::string_view exchange = update.table == Table::kRegional ? RegionalExchange(update) : "";
  for (auto& connection : connections_) {
    if (!connection->accepted || connection->closed || connection->close_after_flush) continue;
    if (connection->routes_dirty) RebuildRoutes(*connection);
    const auto route = connection->routes.find(key);
    if (route == connection->routes.end()) continue;
    for (Subscription* subscription : route->second) {
      if (update.table == Table::kRegional && subscription->item.exchange != exchange) continue;
      const bool any = std::any_of(update.fields.begin(), update.fields.end(),
                                   [&](const FieldValue& f) { return subscription->wanted.test(f.number); });
      if (!any) continue;
      BlockBuilder& block = subscription->block;
      block.BeginRecord();
      block.Add(FieldValue::String(fid::kDispName, update.symbol));
      for (const FieldValue& field : update.fields) {
        if (subscription->wanted.test(field.number)) block.Add(field);
      }
      block.EndRecord();
      if (!subscription->pending) {
        subscription->pending = true;
        connection->pending.push_back(subscription);
      }
      if (options_.lockstep || block.Size() > kBlockFlushBytes) {
        Reply(*connection, wire::kUpdate, subscription->text, block.Finish());
        block.Clear();
      }
    }
  }
}

void FeedServer::FlushUpdates() {
  for (auto& connection : connections_) {
    for (Subscription* subscription : connection->pending) {
      if (!subscription->block.Empty()) {
        Reply(*connection, wire::kUpdate, subscription->text, subscription->block.Finish());
        subscription->block.Clear();
      }
      subscription->pending = false;
    }
    connection->pending.clear();
    if (!connection->closed && connection->Unsent() > kSlowConsumerBytes) {
      CloseConnection(*connection, "slow consumer: more than 256 MB unsent");
    }
  }
}

void FeedServer::Pump() {
  if (paused_ || source_done_) return;
  if (options_.lockstep) {
    PumpLockstep();
    return;
  }
  const int64_t now = options_.speed == 0 ? 0 : MarketTimeNow();
  for (int count = 0;; ++count) {
    if (options_.speed == 0 && (count >= kSpeedZeroBatch || Backpressured())) return;
    if (options_.speed != 0 && count >= 50000) return;  // stay responsive after a long stall
    const Update* update = source_->Peek();
    if (update == nullptr) {
      EndOfStream();
      return;
    }
    if (options_.speed != 0 && update->time_ms > now) return;
    Play(*update);
    source_->Pop();
  }
}

void FeedServer::Play(const Update& update) {
  records_.Apply(update);
  if (recorder_) recorder_->Write(update);
  Publish(update);
}

void FeedServer::EndOfStream() {
  source_done_ = true;
  if (options_.lockstep) SendTimeMark("end " + std::to_string(published_));
  LogLine("end of the update stream after " + std::to_string(published_) + " update(s)");
  if (recorder_) recorder_->Close();
  recorder_.reset();
}

void FeedServer::SendTimeMark(const std::string& text) {
  for (auto& connection : connections_) {
    if (!connection->accepted || connection->closed || connection->close_after_flush) continue;
    Reply(*connection, wire::kTimeMark, text);
  }
}

void FeedServer::PumpLockstep() {
  for (int count = 0; count < kSpeedZeroBatch && !Backpressured(); ++count) {
    const bool opening = opening_played_ < opening_.size();
    const Update* update = opening ? &opening_[opening_played_] : source_->Peek();
    if (update == nullptr) {
      EndOfStream();
      return;
    }
    const int64_t time = std::min(update->time_ms, gate_ms_);
    if (time != last_mark_ms_) {
      last_mark_ms_ = time;
      SendTimeMark(FormatTime(time) + " " + std::to_string(published_));
    }
    if (update->time_ms >= gate_ms_) return;
    Play(*update);  // the opening updates are in the records already; applying them again changes nothing
    if (opening) {
      if (++opening_played_ == opening_.size()) opening_ = {};
    } else {
      source_->Pop();
    }
  }
}

void FeedServer::WriteOut(Connection& connection) {
  while (connection.Unsent() > 0) {
    const ssize_t n =
        send(connection.fd, connection.out.data() + connection.out_at, connection.Unsent(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      CloseConnection(connection, std::strerror(errno));
      return;
    }
    connection.out_at += static_cast<size_t>(n);
  }
  if (connection.Unsent() == 0) {
    connection.out.clear();
    connection.out_at = 0;
    if (connection.close_after_flush) CloseConnection(connection, "ended by the feed");
  } else if (connection.out_at > (1u << 20)) {
    connection.out.erase(0, connection.out_at);
    connection.out_at = 0;
  }
}

std::vector<std::string> TakeControlLines(std::string& in) {
  std::vector<std::string> lines;
  for (size_t end; (end = in.find('\n')) != std::string::npos;) {
    std::string line = in.substr(0, end);
    in.erase(0, end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    while (!line.empty() && line.front() == ' ') line.erase(0, 1);
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

void FeedServer::ReadControl(ControlClient& client) {
  char buffer[4096];
  const ssize_t n = recv(client.fd, buffer, sizeof(buffer), 0);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0 || client.in.size() > 65536) {
    client.closed = true;
    return;
  }
  client.in.append(buffer, static_cast<size_t>(n));
  for (const std::string& line : TakeControlLines(client.in)) client.out += ControlCommand(line) + "\n";
}

std::string FeedServer::ControlCommand(const std::string& line) {
  if (line == "refuse") {
    refusing_ = true;
    LogLine("fault: refusing new conversations");
    return "ok refusing new conversations";
  }
  if (line == "accept") {
    refusing_ = false;
    LogLine("fault cleared: accepting new conversations");
    return "ok accepting new conversations";
  }
  if (line == "terminate") {
    int count = 0;
    for (auto& connection : connections_) {
      if (connection->closed || !connection->accepted || connection->close_after_flush) continue;
      Reply(*connection, wire::kTerminated, {});
      connection->close_after_flush = true;
      ++count;
    }
    LogLine("fault: terminated " + std::to_string(count) + " conversation(s)");
    return "ok terminated " + std::to_string(count);
  }
  if (line == "drop") {
    int count = 0;
    for (auto& connection : connections_) {
      if (connection->closed) continue;
      CloseConnection(*connection, "dropped by a fault");
      ++count;
    }
    LogLine("fault: dropped " + std::to_string(count) + " connection(s)");
    return "ok dropped " + std::to_string(count);
  }
  if (line == "pause") {
    if (!paused_) paused_at_ms_ = NowMs();
    paused_ = true;
    LogLine("fault: market paused");
    return "ok paused";
  }
  if (line == "resume") {
    if (paused_) play_start_ms_ += NowMs() - paused_at_ms_;
    paused_ = false;
    LogLine("fault cleared: market resumed");
    return "ok resumed";
  }
  if (line == "status") {
    size_t open = 0;
    for (const auto& c : connections_) open += c->closed ? 0 : 1;
    return "ok conversations=" + std::to_string(open) + " refusing=" + (refusing_ ? "1" : "0") +
           " paused=" + (paused_ ? "1" : "0") + " published=" + std::to_string(published_) +
           " finished=" + (source_done_ ? "1" : "0") + " time=" + FormatTime(MarketTimeNow());
  }
  if (line.starts_with("until ")) {
    if (!options_.lockstep) return "error 'until' needs a feed started in lockstep";
    const std::string when = line.substr(6);
    if (when == "end") {
      gate_ms_ = INT64_MAX;
      return "ok until the end";
    }
    const auto time = ParseTime(when);
    if (!time) return "error '" + when + "' is not a time YYYY-MM-DD HH:MM:SS.mmm";
    if (*time < gate_ms_) return "error " + when + " is before the time already allowed";
    gate_ms_ = *time;
    return "ok until " + FormatTime(*time);
  }
  if (line == "help") return "ok commands: refuse accept terminate drop pause resume status until help";
  return "error unknown command '" + line + "' (try help)";
}

}  // namespace tarnwell::vendor
