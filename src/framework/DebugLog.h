#pragma once
// The process-wide debug log: every diagnostic line goes at once to the per-run file and to a list of
// pending lines that the log window takes on its refresh. Any thread may write.

#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Clock.h"

namespace tarnwell {

class TDebugLog {
 public:
  /// The one log of the process (never destroyed, so late writers at exit are safe).
  static TDebugLog& Instance();

  /// Creates "Logs/<stamp>.txt" below the current directory, or "Log_<stamp>.txt" there when that fails;
  /// throws std::runtime_error naming both files when neither can be created. Returns the file name.
  std::string Open(TDateTime startTime);
  void Close();

  /// Writes "<date time>:  <text>" with CRLF to the file and keeps it for the window. Any thread.
  void AddLine(const std::string& text);

  /// Hands the lines written since the last call to the caller (the window's refresh).
  std::vector<std::string> TakePending();

  /// The file being written, empty before Open.
  std::string FileName() const;

  /// Pending lines beyond this are dropped oldest first, so a process without a log window stays bounded.
  static constexpr std::size_t kMaxPending = 10000;

 private:
  TDebugLog() = default;

  mutable std::recursive_mutex lock_;
  std::deque<std::string> pending_;  // guarded by lock_
  int fd_ = -1;                      // guarded by lock_
  std::string fileName_;             // guarded by lock_
};

/// Shortcut for TDebugLog::Instance().AddLine.
void AddLine(const std::string& text);

/// Logs "Unexpected exception[ in <where>] <Class>: \"<message>\"[ at $<address>]".
void ReportException(std::exception_ptr error, const std::string& where = {});

/// What the log window shows: the last lines of the previous refresh plus everything new.
class TDebugLogDisplay {
 public:
  static constexpr std::size_t kKeptLines = 100;

  struct TRefresh {
    std::size_t removed = 0;       ///< oldest lines deleted from the top
    bool suspendRepaint = false;   ///< more than one new line, or lines removed
  };

  /// Deletes the oldest lines beyond kKeptLines, then appends the new lines in order.
  TRefresh Refresh(const std::vector<std::string>& newLines);
  const std::deque<std::string>& Lines() const { return lines_; }

 private:
  std::deque<std::string> lines_;
};

}  // namespace tarnwell
