// Tapes: a text file of updates, one per line, "YYYY-MM-DD
// HH:MM:SS.mmm,TABLE,SYMBOL,FID=VALUE;FID=VALUE;...", in the vendor's clock. Lines starting with '#' are
// comments.
#pragma once

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/Records.h"

namespace tarnwell::vendor {

/// A tape that cannot be read; the message names the file, the line and the field.
class TapeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Parses one tape line (not a comment); false with a reason naming the offending field.
bool ParseTapeLine(std::string_view line, Update& update, std::string& error);
/// The tape line of an update, without the line end.
std::string FormatTapeLine(const Update& update);

class TapeWriter {
 public:
  /// Opens (truncates) the file; throws TapeError when it cannot.
  explicit TapeWriter(const std::string& path);
  ~TapeWriter();
  TapeWriter(const TapeWriter&) = delete;
  TapeWriter& operator=(const TapeWriter&) = delete;

  void Write(const Update& update);
  /// Writes every record of the store as one line each, stamped with the given time, so that a tape that
  /// starts in the middle of a day still replays the whole picture.
  void WriteSnapshot(const RecordStore& records, int64_t time_ms);
  /// Flushes; throws TapeError when the disk refused the data.
  void Close();

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

/// Replays a tape. The whole file is checked when it is opened, so that a broken tape stops the feed before
/// it serves anything.
class TapeReader : public UpdateSource {
 public:
  explicit TapeReader(const std::string& path);
  const Update* Peek() override;
  void Pop() override { has_current_ = false; }
  std::vector<std::string> Symbols() const override { return symbols_; }
  /// Time of the first update, or 0 for a tape without updates.
  int64_t FirstTime() const { return first_time_; }
  size_t LineCount() const { return updates_; }

 private:
  std::string path_;
  std::ifstream in_;
  size_t line_number_ = 0;
  std::string line_;  // the line being read, its storage kept from line to line
  Update current_;
  bool has_current_ = false;
  std::vector<std::string> symbols_;
  int64_t first_time_ = 0;
  size_t updates_ = 0;
};

}  // namespace tarnwell::vendor
