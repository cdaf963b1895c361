#pragma once
// The alerts push: every alert an alert window receives becomes one row of the `alerts` table. Rows are
// formatted once, where the alert arrives, and wait as ready text in a bounded ring; one writer thread owns
// the database connection, joins the waiting rows into multi-row INSERTs and retries after errors with a
// new connection, so alert windows never wait for the database and an error loses no row.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "alerts/Alert.h"
#include "distribution/AccumulateInsert.h"
#include "distribution/MysqlClient.h"
#include "framework/Event.h"

namespace tarnwell {

/// The head of every INSERT the writer sends.
extern const char* const kAlertsInsertPrefix;

/// The connection settings of one attempt.
struct TPushSettings {
  std::string Host = "127.0.0.1";
  std::string User = "alertserver";
  std::string Password = "rwqpznt";
  std::string Database = "mydb";
  std::string Port;  ///< empty: the client library's default
  bool Remote = false;

  /// Port as the connection takes it: a 64-bit number's low 32 bits, 0 when empty or not a number.
  unsigned int PortNumber() const;
  /// Settings from Config.ini: each key of section "RealTimeAlerts", else "Common", else the default.
  static TPushSettings FromConfig();
};

/// Seconds since the Unix epoch of a local date-time, to the nearest second (halves to even), with the
/// zone's offset of that date; throws std::out_of_range outside the signed 32-bit range.
std::int64_t UnixTimeOfEvent(TDateTime local);

/// One row "(v1, v2, ...)" of the 33 columns: quoted texts escaped by the client library, NULL for
/// statistics the event does not carry.
std::string FormatAlertRow(const TMysqlClient& client, const TAlertEventData& data, const std::string& alertType,
                           const std::string& symbol, bool fake);

/// The event of "Send Test Alert", stamped `now`.
TAlertEventData MakeTestAlertEvent(TDateTime now);

/// What the writer needs of the dialog that holds the settings. The writer calls it on the user interface
/// thread when one is installed, else on its own thread.
class IPushSettingsHost {
 public:
  virtual ~IPushSettingsHost() = default;
  /// Copies the settings for a connection attempt and locks them against edits while it is open.
  virtual TPushSettings LockSettings() = 0;
  /// The connection was dropped after an error: the settings may be edited again.
  virtual void UnlockSettings() = 0;
  /// One "SQL Error ..." line or a note that the client library is missing.
  virtual void ReportError(const std::string& line) = 0;
};

class TAlertsQueue {
 public:
  static constexpr int kRingSize = 10000;
  /// Rows waiting that wake the writer before its next 100 ms look.
  static constexpr int kWakeAt = 50;

  struct TCounts {
    std::int64_t Sent = 0;     ///< rows taken from the ring for sending
    std::int64_t Lost = 0;     ///< rows overwritten before they were taken
    std::int64_t Waiting = 0;  ///< rows in the ring
    std::int64_t Added = 0;    ///< rows ever added
    /// Rows whose statement got no answer (the connection broke while the server had it) and went again:
    /// the server may have stored them the first time, so each may be in the table twice.
    std::int64_t Repeated = 0;
  };

  /// Starts the writer thread. `host` (not owned) may be null, then the settings are those of
  /// SetSettings and errors go to the debug log.
  explicit TAlertsQueue(TMysqlClient& client, IPushSettingsHost* host = nullptr);
  /// Stops the writer; a statement in progress finishes first. Not on the user interface thread while
  /// one is installed (the writer may be waiting for it).
  ~TAlertsQueue();
  TAlertsQueue(const TAlertsQueue&) = delete;
  TAlertsQueue& operator=(const TAlertsQueue&) = delete;

  /// Formats one row and adds it. Any thread.
  void AddAlert(const TAlertEventData& data, const std::string& alertType, const std::string& symbol);
  /// Adds a formatted row; when the ring is full the oldest waiting row is overwritten and counted lost.
  void AddRow(std::string row);
  /// Adds a formatted row, waiting for the writer while the ring is full, so that no row is lost: for a
  /// loader that can wait (a replay), not for alert windows.
  void AddRowWaiting(std::string row);
  /// The next heartbeat pass updates monitor_alive's row `name`; requests between two passes make one.
  void RequestHeartbeat(const std::string& name);
  void Wake() { wake_.Set(); }

  void SetEnabled(bool enabled) { enabled_.store(enabled); }
  bool Enabled() const { return enabled_.load(); }
  void SetFake(bool fake) { fake_.store(fake); }
  bool Fake() const { return fake_.load(); }
  /// The settings used when there is no host. Any thread; takes effect at the next connection.
  void SetSettings(const TPushSettings& settings);
  /// Replaces the host (null: none). Call on the user interface thread when one is installed.
  void SetHost(IPushSettingsHost* host);

  TCounts Counts() const;
  /// True when nothing waits in the ring, in the writer's statement or in a statement to repeat: every
  /// row added so far has reached the server (or been dropped while the push was off).
  bool Idle() const;
  /// Waits until Idle or the time-out passes; true when idle.
  bool WaitIdle(std::chrono::milliseconds timeout);

  const TMysqlClient& Client() const { return client_; }

 private:
  /// A statement to send and the rows it carries (none for the heartbeat).
  struct TStatement {
    std::string text;
    std::vector<std::string> rows;
  };
  enum class TOutcome { kSent, kRetry, kUnanswered, kRejected };

  bool IdleLocked() const { return waiting_ == 0 && !writerBusy_; }  // under lock_
  bool TakeRow(std::string& row);
  void Run();
  void SendingPass();
  /// Sends the statements waiting to be repeated, oldest first; false when one has to wait again.
  bool SendPending();
  /// Sends a statement; false when it waits to be repeated (then it is first in pending_).
  bool Send(TStatement statement);
  TOutcome Execute(const std::string& text);
  bool Connect();
  void CloseConnection();
  void ReportError(const std::string& line);
  void OnHostThread(const std::function<void()>& fn);
  /// Sleeps, or returns early when the queue is being destroyed.
  void Pause(std::chrono::milliseconds duration);

  TMysqlClient& client_;

  mutable std::mutex lock_;
  std::condition_variable roomOrIdle_;  // a row taken, or the writer went idle
  std::vector<std::string> rows_;       // guarded by lock_
  int writeIndex_ = 0;                  // guarded by lock_
  int waiting_ = 0;                     // guarded by lock_
  std::int64_t sent_ = 0;               // guarded by lock_
  std::int64_t lost_ = 0;               // guarded by lock_
  std::int64_t repeated_ = 0;           // guarded by lock_
  std::int64_t added_ = 0;              // guarded by lock_
  bool writerBusy_ = false;             // guarded by lock_: rows held in insert_ or pending_
  std::string heartbeatName_;           // guarded by lock_
  bool heartbeatRequested_ = false;     // guarded by lock_
  TPushSettings settings_;              // guarded by lock_
  IPushSettingsHost* host_ = nullptr;   // on the user interface thread when one is installed

  std::atomic<bool> enabled_{false};
  std::atomic<bool> fake_{false};
  TEvent wake_;
  TEvent stop_{true};
  bool libraryReported_ = false;  // writer thread

  // Writer thread only.
  MYSQL* connection_ = nullptr;
  std::deque<TStatement> pending_;  // to be sent again before any new row
  TAccumulateInsert insert_;

  std::thread writer_;
};

}  // namespace tarnwell
