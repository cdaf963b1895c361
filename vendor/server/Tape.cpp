#include "server/Tape.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <set>

namespace tarnwell::vendor {
namespace {

// Where the field starting at `start` ends: the next ';' outside double quotes, or the end. Without quotes
// on the line, a plain search.
size_t FieldEnd(std::string_view fields, size_t start, bool quotes) {
  if (!quotes) return std::min(fields.find(';', start), fields.size());
  size_t end = start;
  for (bool quoted = false; end < fields.size() && (quoted || fields[end] != ';'); ++end) {
    if (fields[end] == '"') quoted = !quoted;
  }
  return end;
}

}  // namespace

bool ParseTapeLine(std::string_view line, Update& update, std::string& error) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const size_t c1 = line.find(',');
  const size_t c2 = c1 == std::string_view::npos ? c1 : line.find(',', c1 + 1);
  const size_t c3 = c2 == std::string_view::npos ? c2 : line.find(',', c2 + 1);
  if (c3 == std::string_view::npos) {
    error = "expected TIME,TABLE,SYMBOL,FIELDS";
    return false;
  }
  const auto time = ParseTime(line.substr(0, c1));
  if (!time) {
    error = "time '" + std::string(line.substr(0, c1)) + "' is not YYYY-MM-DD HH:MM:SS.mmm";
    return false;
  }
  const auto table = ParseTable(line.substr(c1 + 1, c2 - c1 - 1));
  if (!table) {
    error = "table '" + std::string(line.substr(c1 + 1, c2 - c1 - 1)) + "' is not LIVEQUOTE or REGIONAL";
    return false;
  }
  update.time_ms = *time;
  update.table = *table;
  update.symbol = line.substr(c2 + 1, c3 - c2 - 1);
  if (update.symbol.empty() || update.symbol.find_first_of(" \"';") != std::string::npos) {
    error = "symbol '" + update.symbol + "' is empty or holds a space, quote or ';'";
    return false;
  }
  const std::string_view fields = line.substr(c3 + 1);
  if (fields.empty()) {
    error = "no fields";
    return false;
  }
  // Each field is parsed into the update's own storage, which keeps its capacity from line to line.
  size_t used = 0;
  const bool quotes = fields.find('"') != std::string_view::npos;
  for (size_t start = 0; start <= fields.size();) {
    const size_t end = FieldEnd(fields, start, quotes);
    const std::string_view piece = fields.substr(start, end - start);
    start = end + 1;
    const size_t equals = piece.find('=');
    unsigned number = 0;
    const std::string_view name = piece.substr(0, equals);
    const auto [nameEnd, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (equals == std::string_view::npos || ec != std::errc() || nameEnd != name.data() + name.size()) {
      error = "field '" + std::string(piece) + "' is not FID=VALUE";
      return false;
    }
    const FieldInfo* info = number <= 65535 ? FindField(static_cast<uint16_t>(number)) : nullptr;
    if (info == nullptr) {
      error = "field " + std::string(name) + " is not a field the feed knows";
      return false;
    }
    if (used == update.fields.size()) update.fields.emplace_back();
    std::string reason;
    if (!ParseValueInto(*info, piece.substr(equals + 1), update.fields[used], reason)) {
      error = "field " + std::string(name) + " (" + info->name + "): " + reason;
      return false;
    }
    ++used;
  }
  update.fields.resize(used);
  if (update.table == Table::kRegional && RegionalExchange(update).empty()) {
    error = "REGIONAL line without field 6074 (the regional exchange)";
    return false;
  }
  return true;
}

std::string FormatTapeLine(const Update& update) {
  std::string line = FormatTime(update.time_ms);
  line += ',';
  line += TableName(update.table);
  line += ',';
  line += update.symbol;
  line += ',';
  for (size_t i = 0; i < update.fields.size(); ++i) {
    if (i > 0) line += ';';
    line += std::to_string(update.fields[i].number);
    line += '=';
    AppendValueText(line, update.fields[i]);
  }
  return line;
}

TapeWriter::TapeWriter(const std::string& path) : path_(path) {
  file_ = std::fopen(path.c_str(), "w");
  if (file_ == nullptr) throw TapeError("cannot write tape " + path + ": " + std::strerror(errno));
  std::fputs("# tarnwell-feed tape, version 1: TIME,TABLE,SYMBOL,FID=VALUE;... in the vendor's clock\n",
             file_);
}

TapeWriter::~TapeWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

void TapeWriter::Write(const Update& update) {
  const std::string line = FormatTapeLine(update);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
}

void TapeWriter::WriteSnapshot(const RecordStore& records, int64_t time_ms) {
  records.ForEach([&](Table table, const std::string& symbol, const std::vector<FieldValue>& fields) {
    Update update{time_ms, table, symbol, fields};
    Write(update);
  });
}

void TapeWriter::Close() {
  if (file_ == nullptr) return;
  const bool failed = std::fflush(file_) != 0 || std::ferror(file_) != 0;
  const bool close_failed = std::fclose(file_) != 0;
  file_ = nullptr;
  if (failed || close_failed) throw TapeError("writing tape " + path_ + " failed: " + std::strerror(errno));
}

TapeReader::TapeReader(const std::string& path) : path_(path) {
  std::ifstream check(path);
  if (!check) throw TapeError("cannot read tape " + path + ": " + std::strerror(errno));
  std::set<std::string> symbols;
  std::string line;
  Update update;
  int64_t last_time = INT64_MIN;
  for (size_t number = 1; std::getline(check, line); ++number) {
    if (line.empty() || line[0] == '#' || line == "\r") continue;
    std::string error;
    if (!ParseTapeLine(line, update, error)) {
      throw TapeError(path + ":" + std::to_string(number) + ": " + error);
    }
    if (update.time_ms < last_time) {
      throw TapeError(path + ":" + std::to_string(number) + ": time " + FormatTime(update.time_ms) +
                      " is earlier than the line before");
    }
    if (updates_ == 0) first_time_ = update.time_ms;
    last_time = update.time_ms;
    ++updates_;
    symbols.insert(update.symbol);
  }
  symbols_.assign(symbols.begin(), symbols.end());
  in_.open(path);
  if (!in_) throw TapeError("cannot read tape " + path + ": " + std::strerror(errno));
}

const Update* TapeReader::Peek() {
  if (has_current_) return &current_;
  while (std::getline(in_, line_)) {
    ++line_number_;
    if (line_.empty() || line_[0] == '#' || line_ == "\r") continue;
    std::string error;
    // The file was checked when it was opened; a failure now means it changed under us.
    if (!ParseTapeLine(line_, current_, error)) {
      throw TapeError(path_ + ":" + std::to_string(line_number_) + ": " + error);
    }
    has_current_ = true;
    return &current_;
  }
  return nullptr;
}

}  // namespace tarnwell::vendor
