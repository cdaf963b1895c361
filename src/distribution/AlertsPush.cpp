#include "distribution/AlertsPush.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "framework/Clock.h"
#include "framework/Config.h"
#include "framework/DebugLog.h"
#include "framework/UserInterfaceThread.h"

namespace tarnwell {

const char* const kAlertsInsertPrefix =
    "INSERT alerts(timestamp, alert_type, symbol, description, price, spread, bid_size, ask_size, relvol, "
    "quality, most_recent_close, expected_open, day_range, rsi_15, tvol, up_5, up_10, up_15, up_30, "
    "sale_condition, put_call, distance_from_nbbo, todays_range, p_up_5, p_up_10, p_up_15, p_up_30, v_up_5, "
    "v_up_10, v_up_15, v_up_30, num, fake)";

namespace {

constexpr std::chrono::milliseconds kWriterLook{100};
constexpr std::chrono::milliseconds kStatementBackOff{1000};
constexpr std::chrono::milliseconds kConnectBackOff{5000};
// CLIENT_LONG_PASSWORD | CLIENT_COMPRESS | CLIENT_SSL: a server reached over a wider network.
constexpr unsigned long kRemoteFlags = 2081;

// How every database error is reported: "SQL Error #n, "message", date time.".
std::string SqlErrorLine(unsigned int error, const char* message) {
  return "SQL Error #" + std::to_string(error) + ", \"" + message + "\", " + FormatLogStamp(clock::Now()) + ".";
}

std::string Quoted(const TMysqlClient& client, const std::string& text) {
  return "\"" + client.Escape(text) + "\"";
}

}  // namespace

unsigned int TPushSettings::PortNumber() const {
  if (Port.empty()) return 0;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(Port.c_str(), &end, 10);
  if (errno != 0 || end == Port.c_str() || *end != '\0') return 0;
  return static_cast<unsigned int>(static_cast<unsigned long long>(value) & 0xFFFFFFFFull);
}

TPushSettings TPushSettings::FromConfig() {
  const TConfigFile& config = TConfigFile::Instance();
  TPushSettings settings;
  settings.Host = config.Get("RealTimeAlerts", "db_Host", settings.Host);
  settings.User = config.Get("RealTimeAlerts", "db_User", settings.User);
  settings.Password = config.Get("RealTimeAlerts", "db_Password", settings.Password);
  settings.Database = config.Get("RealTimeAlerts", "db_Database", settings.Database);
  settings.Port = config.Get("RealTimeAlerts", "db_Port", settings.Port);
  return settings;
}

std::int64_t UnixTimeOfEvent(TDateTime local) {
  const double seconds = clock::LocalToUnixSeconds(local);
  // nearbyint rounds halves to even in the default rounding mode.
  const double rounded = std::nearbyint(seconds);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
    throw std::out_of_range("alert time outside the range of a Unix time: " + std::to_string(local));
  }
  return static_cast<std::int64_t>(rounded);
}

std::string FormatAlertRow(const TMysqlClient& client, const TAlertEventData& data, const std::string& alertType,
                           const std::string& symbol, bool fake) {
  std::string row;
  row.reserve(256 + data.Description.size());
  row += "(from_unixtime(";
  row += std::to_string(UnixTimeOfEvent(data.Time));
  row += "), ";
  row += Quoted(client, alertType);
  row += ", ";
  row += Quoted(client, symbol);
  row += ", ";
  row += Quoted(client, data.Description);
  for (int field = 0; field < aefCount; ++field) {
    row += ", ";
    // A value too large or not finite has no number to write ("***.**"); it would make the whole
    // statement fail again on every retry, so it goes as NULL.
    const std::size_t start = row.size();
    if (!data.AppendStatisticText(static_cast<TAlertEventField>(field), row) || row[start] == '*') {
      row.resize(start);
      row += "NULL";
    }
  }
  row += ", ";
  row += std::to_string(data.Num);
  row += fake ? ", \"Y\")" : ", \"N\")";
  return row;
}

TAlertEventData MakeTestAlertEvent(TDateTime now) {
  TAlertEventData data;
  data.Description = "Initializing Velquist Cluster";
  data.Time = now;
  data.Price = 50.0;
  data.Spread = 0.01;
  data.BidSize = 200;
  data.AskSize = 300;
  data.RelVol = 2.0;
  data.MostRecentClose = 20.0;
  data.ExpectedOpen = 21.0;
  data.DayRange = 75.0;
  data.Rsi15 = 78.66;
  data.TVol = 999000;
  data.Up5 = -500;
  data.Up10 = -1000;
  data.Up15 = -1500;
  data.Up30 = -3000;
  data.SaleCondition = 0;
  data.PutCall = 2147483649.0;
  data.DistanceFromNbbo = 0.0;
  data.TodaysRange = 4.21;
  data.Num = 47;
  for (int field = aefPrice; field <= aefTodaysRange; ++field) {
    if (field != aefQuality) data.Mark(static_cast<TAlertEventField>(field));
  }
  return data;
}

TAlertsQueue::TAlertsQueue(TMysqlClient& client, IPushSettingsHost* host)
    : client_(client), rows_(kRingSize), host_(host), insert_(kAlertsInsertPrefix) {
  writer_ = std::thread([this] { Run(); });
}

TAlertsQueue::~TAlertsQueue() {
  stop_.Set();
  wake_.Set();
  writer_.join();
  CloseConnection();
}

void TAlertsQueue::AddAlert(const TAlertEventData& data, const std::string& alertType, const std::string& symbol) {
  AddRow(FormatAlertRow(client_, data, alertType, symbol, fake_.load()));
}

void TAlertsQueue::AddRow(std::string row) {
  bool wake = false;
  {
    std::lock_guard guard(lock_);
    rows_[writeIndex_] = std::move(row);
    writeIndex_ = (writeIndex_ + 1) % kRingSize;
    ++added_;
    if (waiting_ < kRingSize) {
      ++waiting_;
    } else {
      ++lost_;
    }
    wake = waiting_ >= kWakeAt;
  }
  if (wake) wake_.Set();
}

void TAlertsQueue::AddRowWaiting(std::string row) {
  {
    std::unique_lock guard(lock_);
    roomOrIdle_.wait(guard, [this] { return waiting_ < kRingSize; });
  }
  AddRow(std::move(row));
}

bool TAlertsQueue::TakeRow(std::string& row) {
  bool halfEmpty = false;
  {
    std::lock_guard guard(lock_);
    if (waiting_ < 1) return false;
    ++sent_;
    std::string& slot = rows_[(writeIndex_ - waiting_ + kRingSize) % kRingSize];
    row = std::move(slot);
    slot = std::string();
    --waiting_;
    writerBusy_ = true;
    halfEmpty = waiting_ == kRingSize / 2;
  }
  // A loader waiting for room is woken once the ring is half empty, not for every row: otherwise it
  // and the writer would hand the processor back and forth for each row.
  if (halfEmpty) roomOrIdle_.notify_all();
  return true;
}

void TAlertsQueue::RequestHeartbeat(const std::string& name) {
  {
    std::lock_guard guard(lock_);
    heartbeatName_ = name;
    heartbeatRequested_ = true;
  }
  Wake();
}

void TAlertsQueue::SetSettings(const TPushSettings& settings) {
  std::lock_guard guard(lock_);
  settings_ = settings;
}

void TAlertsQueue::SetHost(IPushSettingsHost* host) {
  host_ = host;
}

TAlertsQueue::TCounts TAlertsQueue::Counts() const {
  std::lock_guard guard(lock_);
  return {sent_, lost_, waiting_, added_, repeated_};
}

bool TAlertsQueue::Idle() const {
  std::lock_guard guard(lock_);
  return IdleLocked();
}

bool TAlertsQueue::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock guard(lock_);
  return roomOrIdle_.wait_for(guard, timeout, [this] { return IdleLocked(); });
}

void TAlertsQueue::Run() {
  while (true) {
    wake_.WaitFor(kWriterLook);
    if (stop_.WaitFor(std::chrono::milliseconds(0))) return;
    if (!enabled_.load()) {
      pending_.clear();
      {
        std::lock_guard guard(lock_);
        for (int i = 0; i < waiting_; ++i) rows_[(writeIndex_ - 1 - i + kRingSize) % kRingSize] = std::string();
        waiting_ = 0;
        writerBusy_ = false;
      }
      roomOrIdle_.notify_all();
      continue;
    }
    SendingPass();
    bool idle = false;
    {
      std::lock_guard guard(lock_);
      if (pending_.empty()) writerBusy_ = false;
      idle = IdleLocked();
    }
    if (idle) roomOrIdle_.notify_all();
  }
}

void TAlertsQueue::SendingPass() {
  if (!client_.Complete()) {
    // Without the library the push cannot work: say so once and leave the rows in the ring, which bounds
    // them and counts what it overwrites.
    if (!libraryReported_) {
      libraryReported_ = true;
      ReportError("Alerts push: " + client_.Problem() + "; alerts are not written to the database.");
    }
    return;
  }
  bool ok = SendPending();
  if (ok) {
    std::string heartbeat;
    {
      std::lock_guard guard(lock_);
      if (heartbeatRequested_) heartbeat = heartbeatName_;
      heartbeatRequested_ = false;
    }
    if (!heartbeat.empty()) {
      ok = Send({"UPDATE monitor_alive SET last_update=NOW() WHERE name=\"" + client_.Escape(heartbeat) + "\"", {}});
    }
  }
  std::string row;
  while (ok && !stop_.WaitFor(std::chrono::milliseconds(0))) {
    TStatement statement;
    while (!insert_.IsFull() && TakeRow(row)) {
      insert_.Add(row);
      statement.rows.push_back(std::move(row));
    }
    if (insert_.IsEmpty()) break;
    statement.text = insert_.TakeStatement();
    ok = Send(std::move(statement)) && SendPending();
  }
}

bool TAlertsQueue::SendPending() {
  while (!pending_.empty()) {
    TStatement statement = std::move(pending_.front());
    pending_.pop_front();
    if (!Send(std::move(statement))) return false;
  }
  return true;
}

namespace {

// Errors of the statement's own content: sending it again can never succeed, and repeating it would hold
// back every later row for good.
bool RejectsContent(unsigned int error) {
  switch (error) {
    case 1048:  // a column cannot be null
    case 1064:  // syntax
    case 1136:  // value count
    case 1264:  // out of range
    case 1292:  // incorrect value
    case 1366:  // incorrect value for the column
    case 1406:  // too long for the column
    case 4025:  // constraint failed
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TAlertsQueue::Send(TStatement statement) {
  switch (Execute(statement.text)) {
    case TOutcome::kSent:
      return true;
    case TOutcome::kUnanswered: {
      std::lock_guard guard(lock_);
      repeated_ += static_cast<std::int64_t>(statement.rows.size());
    }
      [[fallthrough]];
    case TOutcome::kRetry:
      pending_.push_front(std::move(statement));
      return false;
    case TOutcome::kRejected:
      break;
  }
  // One bad row must not cost the others: the rows of a rejected statement are sent again one by one,
  // and a single row the server rejects is dropped and counted lost.
  if (statement.rows.size() > 1) {
    for (auto row = statement.rows.rbegin(); row != statement.rows.rend(); ++row) {
      pending_.push_front({std::string(kAlertsInsertPrefix) + " VALUES " + *row, {std::move(*row)}});
    }
    return true;
  }
  {
    std::lock_guard guard(lock_);
    lost_ += static_cast<std::int64_t>(statement.rows.size());
  }
  const std::string& what = statement.rows.empty() ? statement.text : statement.rows.front();
  ReportError("Alerts push: dropped what the server refuses: " + what.substr(0, 200) +
              (what.size() > 200 ? "..." : ""));
  return true;
}

TAlertsQueue::TOutcome TAlertsQueue::Execute(const std::string& text) {
  if (connection_ == nullptr && !Connect()) return TOutcome::kRetry;
  if (client_.mysql_real_query(connection_, text.data(), text.size()) == 0) return TOutcome::kSent;
  const unsigned int error = client_.mysql_errno(connection_);
  ReportError(SqlErrorLine(error, client_.mysql_error(connection_)));
  // The connection is sound after a refused value; keep it.
  if (RejectsContent(error)) return TOutcome::kRejected;
  OnHostThread([this] {
    if (host_ != nullptr) host_->UnlockSettings();
  });
  CloseConnection();
  Pause(kStatementBackOff);
  // A server error is the server's answer: the statement did not run. A client error (2000 and up) means no
  // answer came, and the server may have run it before the connection broke.
  return error >= 2000 && error < 3000 ? TOutcome::kUnanswered : TOutcome::kRetry;
}

bool TAlertsQueue::Connect() {
  TPushSettings settings;
  bool fromHost = false;
  OnHostThread([&] {
    if (host_ == nullptr) return;
    settings = host_->LockSettings();
    fromHost = true;
  });
  if (!fromHost) {
    std::lock_guard guard(lock_);
    settings = settings_;
  }
  MYSQL* handle = client_.mysql_init(nullptr);
  if (handle == nullptr) {
    ReportError(SqlErrorLine(0, "out of memory"));
    Pause(kConnectBackOff);
    return false;
  }
  MYSQL* connected = client_.mysql_real_connect(handle, settings.Host.c_str(), settings.User.c_str(),
                                                settings.Password.c_str(), settings.Database.c_str(),
                                                settings.PortNumber(), nullptr, settings.Remote ? kRemoteFlags : 0);
  if (connected != handle) {
    ReportError(SqlErrorLine(client_.mysql_errno(handle), client_.mysql_error(handle)));
    OnHostThread([this] {
      if (host_ != nullptr) host_->UnlockSettings();
    });
    client_.mysql_close(handle);
    Pause(kConnectBackOff);
    return false;
  }
  connection_ = handle;
  return true;
}

void TAlertsQueue::CloseConnection() {
  if (connection_ == nullptr) return;
  client_.mysql_close(connection_);
  connection_ = nullptr;
}

void TAlertsQueue::ReportError(const std::string& line) {
  bool reported = false;
  OnHostThread([&] {
    if (host_ == nullptr) return;
    host_->ReportError(line);
    reported = true;
  });
  if (!reported) AddLine(line);
}

void TAlertsQueue::OnHostThread(const std::function<void()>& fn) {
  if (IUserInterfaceThread* ui = UserInterfaceThread()) {
    ui->RunAndWait(fn);
    return;
  }
  fn();
}

void TAlertsQueue::Pause(std::chrono::milliseconds duration) {
  stop_.WaitFor(duration);
}

}  // namespace tarnwell
