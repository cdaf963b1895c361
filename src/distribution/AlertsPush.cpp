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
    const std::optional<std::string> text = data.StatisticText(static_cast<TAlertEventField>(field));
    row += text && text->front() != '*' ? *text : "NULL";
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
  {
    std::lock_guard guard(lock_);
    if (waiting_ < 1) return false;
    ++sent_;
    std::string& slot = rows_[(writeIndex_ - waiting_ + kRingSize) % kRingSize];
    row = std::move(slot);
    slot = std::string();
    --waiting_;
    writerBusy_ = true;
  }
  roomOrIdle_.notify_all();
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
  return {sent_, lost_, waiting_};
}

bool TAlertsQueue::Idle() const {
  std::lock_guard guard(lock_);
  return waiting_ == 0 && !writerBusy_;
}

bool TAlertsQueue::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock guard(lock_);
  return roomOrIdle_.wait_for(guard, timeout, [this] { return waiting_ == 0 && !writerBusy_; });
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
      if (pending_.empty() && insert_.IsEmpty()) writerBusy_ = false;
      idle = waiting_ == 0 && !writerBusy_;
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
  bool ok = true;
  if (!pending_.empty()) {
    const std::string statement = pending_;
    ok = Send(statement);
  }
  if (ok) {
    std::string heartbeat;
    {
      std::lock_guard guard(lock_);
      if (heartbeatRequested_) heartbeat = heartbeatName_;
      heartbeatRequested_ = false;
    }
    if (!heartbeat.empty()) {
      ok = Send("UPDATE monitor_alive SET last_update=NOW() WHERE name=\"" + client_.Escape(heartbeat) + "\"");
    }
  }
  std::string row;
  while (ok && !stop_.WaitFor(std::chrono::milliseconds(0))) {
    while (!insert_.IsFull() && TakeRow(row)) insert_.Add(row);
    if (insert_.IsEmpty()) break;
    ok = Send(insert_.TakeStatement());
  }
}

bool TAlertsQueue::Send(const std::string& statement) {
  if (connection_ == nullptr && !Connect()) {
    pending_ = statement;
    return false;
  }
  if (client_.mysql_real_query(connection_, statement.data(), statement.size()) == 0) {
    pending_.clear();
    return true;
  }
  ReportError(std::string("SQL Error #") + std::to_string(client_.mysql_errno(connection_)) + ", \"" +
              client_.mysql_error(connection_) + "\", " + FormatLogStamp(clock::Now()) + ".");
  OnHostThread([this] {
    if (host_ != nullptr) host_->UnlockSettings();
  });
  CloseConnection();
  pending_ = statement;
  Pause(kStatementBackOff);
  return false;
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
    ReportError("SQL Error #0, \"out of memory\", " + FormatLogStamp(clock::Now()) + ".");
    Pause(kConnectBackOff);
    return false;
  }
  MYSQL* connected = client_.mysql_real_connect(handle, settings.Host.c_str(), settings.User.c_str(),
                                                settings.Password.c_str(), settings.Database.c_str(),
                                                settings.PortNumber(), nullptr, settings.Remote ? kRemoteFlags : 0);
  if (connected != handle) {
    ReportError(std::string("SQL Error #") + std::to_string(client_.mysql_errno(handle)) + ", \"" +
                client_.mysql_error(handle) + "\", " + FormatLogStamp(clock::Now()) + ".");
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
