#include "framework/DebugLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "framework/Errors.h"

namespace tarnwell {

TDebugLog& TDebugLog::Instance() {
  static TDebugLog* log = new TDebugLog;
  return *log;
}

std::string TDebugLog::Open(TDateTime startTime) {
  std::lock_guard guard(lock_);
  Close();
  const std::string name = FormatFileStamp(startTime) + ".txt";
  const std::string candidates[] = {"Logs/" + name, "Log_" + name};
  std::string failures;
  for (const std::string& file : candidates) {
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
      fd_ = fd;
      fileName_ = file;
      return file;
    }
    failures += (failures.empty() ? "" : "; ") + file + ": " + std::strerror(errno);
  }
  throw std::runtime_error("Cannot create the debug log (" + failures + ")");
}

void TDebugLog::Close() {
  std::lock_guard guard(lock_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TDebugLog::AddLine(const std::string& text) {
  std::string line = FormatLogStamp(clock::Now()) + ":  " + text;
  std::lock_guard guard(lock_);
  if (fd_ >= 0) {
    std::string record = line + "\r\n";
    const char* data = record.data();
    std::size_t left = record.size();
    while (left > 0) {
      ssize_t written = ::write(fd_, data, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) break;  // a full disk must not stop the caller; the window still gets the line
      data += written;
      left -= static_cast<std::size_t>(written);
    }
  }
  pending_.push_back(std::move(line));
  if (pending_.size() > kMaxPending) pending_.pop_front();
}

std::vector<std::string> TDebugLog::TakePending() {
  std::lock_guard guard(lock_);
  std::vector<std::string> lines(std::make_move_iterator(pending_.begin()),
                                 std::make_move_iterator(pending_.end()));
  pending_.clear();
  return lines;
}

std::string TDebugLog::FileName() const {
  std::lock_guard guard(lock_);
  return fileName_;
}

void AddLine(const std::string& text) { TDebugLog::Instance().AddLine(text); }

void ReportException(std::exception_ptr error, const std::string& where) {
  TExceptionInfo info = DescribeException(error);
  std::string text = "Unexpected exception";
  if (!where.empty()) text += " in " + where;
  text += " " + info.className + ": \"" + info.message + "\"";
  if (info.faultAddress) text += " at $" + HexAddress(info.faultAddress);
  AddLine(text);
}

TDebugLogDisplay::TRefresh TDebugLogDisplay::Refresh(const std::vector<std::string>& newLines) {
  TRefresh result;
  result.removed = lines_.size() > kKeptLines ? lines_.size() - kKeptLines : 0;
  result.suspendRepaint = newLines.size() > 1 || result.removed > 0;
  lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(result.removed));
  lines_.insert(lines_.end(), newLines.begin(), newLines.end());
  return result;
}

}  // namespace tarnwell
