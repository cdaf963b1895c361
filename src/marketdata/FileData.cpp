#include "marketdata/FileData.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <typeinfo>

#include "framework/Config.h"
#include "framework/DebugLog.h"
#include "marketdata/FileWatch.h"

namespace tarnwell {
namespace {

// Code 0 counts as a control character too: a stray NUL must neither end the line early nor stop the
// splitter from moving on.
bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 32;
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string TrimBlanks(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

// Lines end with LF, CR LF or a lone CR; a final line break does not start another line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string QuoteIfNeeded(const std::string& cell, bool always = false) {
  bool needsQuotes = always;
  for (char c : cell) needsQuotes = needsQuotes || IsBlank(c) || c == ',' || c == '"';
  if (!needsQuotes) return cell;
  std::string quoted = "\"";
  for (char c : cell) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

// The standard conversion allows one leading plus sign, which from_chars does not take.
std::string_view WithoutPlus(std::string_view text) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '+' && text[1] != '-') text.remove_prefix(1);
  return text;
}

std::string ErrorText(int error) {
  return std::strerror(error);
}

std::atomic<std::int32_t> liveOwners{0};

}  // namespace

// --- Cells -----------------------------------------------------------------------------------------------

std::vector<std::string> SplitCsvLine(std::string_view line) {
  std::vector<std::string> cells;
  const std::size_t n = line.size();
  std::size_t i = 0;
  auto skipControls = [&] {
    while (i < n && IsControl(line[i])) ++i;
  };
  skipControls();
  while (i < n) {
    std::string cell;
    if (line[i] == '"') {
      for (++i; i < n; ++i) {
        if (line[i] != '"') {
          cell += line[i];
          continue;
        }
        if (i + 1 < n && line[i + 1] == '"') {
          cell += '"';
          ++i;
          continue;
        }
        ++i;  // the closing quote
        break;
      }
    } else {
      const std::size_t start = i;
      while (i < n && line[i] != ',' && !IsControl(line[i])) ++i;
      cell.assign(line.substr(start, i - start));
    }
    cells.push_back(TrimBlanks(cell));
    skipControls();
    if (i < n && line[i] == ',') {
      if (i + 1 == n) cells.emplace_back();
      ++i;
      skipControls();
    }
  }
  return cells;
}

std::optional<double> ParseCellDouble(const std::string& text) {
  const std::string_view digits = WithoutPlus(text);
  double value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) return {};
  return value;
}

std::optional<std::int32_t> ParseCellInteger(const std::string& text) {
  const std::string_view digits = WithoutPlus(text);
  std::int32_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return {};
  return value;
}

// --- TTwoDArray ------------------------------------------------------------------------------------------

TTwoDArray::TTwoDArray() {
  Clear();
}

void TTwoDArray::Clear() {
  columns_.assign(1, std::string());
  rows_.clear();
  columnSet_.Clear();
  rowSet_.Clear();
  cells_.Clear();
}

std::string TTwoDArray::CellKey(const std::string& column, const std::string& row) {
  const auto length = static_cast<std::uint32_t>(column.size());
  std::string key;
  key.reserve(column.size() + row.size() + 6);
  key.append(column).append(",").append(row).append(",");
  for (int shift = 0; shift < 32; shift += 8) key += static_cast<char>((length >> shift) & 0xFF);
  return key;
}

void TTwoDArray::AddColumn(const std::string& column) {
  if (columnSet_.ContainsKey(column)) return;
  columns_.push_back(column);
  columnSet_.Put(column, 1);
}

void TTwoDArray::AddRow(const std::string& row) {
  if (rowSet_.ContainsKey(row)) return;
  rows_.push_back(row);
  rowSet_.Put(row, 1);
}

std::string TTwoDArray::GetCell(const std::string& column, const std::string& row) const {
  return cells_.Get(CellKey(column, row));
}

void TTwoDArray::SetCell(const std::string& column, const std::string& row, const std::string& text) {
  AddColumn(column);
  AddRow(row);
  cells_.Put(CellKey(column, row), text);
}

void TTwoDArray::LoadFromFile(const std::string& fileName) {
  Clear();
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFileDataError("cannot read " + fileName + ": " + ErrorText(errno));
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) throw EFileDataError("cannot read " + fileName + ": " + ErrorText(errno));
  std::string text = std::move(contents).str();
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // a UTF-8 mark is not part of the first name

  const std::vector<std::string_view> lines = SplitLines(text);
  if (lines.empty()) return;
  if (std::vector<std::string> header = SplitCsvLine(lines[0]); !header.empty()) {
    columns_ = std::move(header);
    for (const std::string& column : columns_) columnSet_.Put(column, 1);
  }
  for (std::size_t number = 1; number < lines.size(); ++number) {
    if (lines[number].empty()) continue;
    std::vector<std::string> cells = SplitCsvLine(lines[number]);
    if (cells.empty()) continue;  // nothing but control characters: no row key to file it under
    const std::string& row = cells[0];
    rows_.push_back(row);
    rowSet_.Put(row, 1);
    for (std::size_t j = 1; j < cells.size(); ++j) {
      if (cells[j].empty()) continue;
      if (j >= columns_.size()) {
        const std::string why = fileName + " line " + std::to_string(number + 1) + ": cell " +
                                std::to_string(j + 1) + " (\"" + cells[j] + "\") lies beyond the header's " +
                                std::to_string(columns_.size()) + " columns";
        Clear();
        throw EFileDataError(why);
      }
      cells_.Put(CellKey(columns_[j], row), std::move(cells[j]));
    }
  }
}

void TTwoDArray::SaveToFile(const std::string& fileName) const {
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (!out) throw EFileDataError("cannot write " + fileName + ": " + ErrorText(errno));
  // A first name that begins with a byte-order mark is quoted, or reading would take the mark for the file's.
  const std::string& first = columns_[0];
  out << QuoteIfNeeded(first, first.rfind("\xEF\xBB\xBF", 0) == 0);
  for (std::size_t j = 1; j < columns_.size(); ++j) out << "," << QuoteIfNeeded(columns_[j]);
  out << "\r\n";
  // Row cells are quoted like the header: a cell holding commas (earlier highs and lows) must come back
  // as one cell.
  for (const std::string& row : rows_) {
    // An empty key is written quoted: in a one-column table its line would otherwise be blank, and blank
    // lines are skipped on reading, losing the row.
    out << QuoteIfNeeded(row, row.empty());
    for (std::size_t j = 1; j < columns_.size(); ++j) out << "," << QuoteIfNeeded(GetCell(columns_[j], row));
    out << "\r\n";
  }
  out.flush();
  if (!out) throw EFileDataError("cannot write " + fileName + ": " + ErrorText(errno));
}

// --- TFileOwnerDataNode ----------------------------------------------------------------------------------

TFileOwnerDataNode* TFileOwnerDataNode::CreateFromKey(const std::string& keyText) {
  return TDataNode::Create<TFileOwnerDataNode>(keyText);
}

std::pair<TFileOwnerDataNode*, TDataNodeLink*> TFileOwnerDataNode::Find(const std::string& fileName,
                                                                        TCallback callback,
                                                                        TDataNode* owner) {
  auto [node, link] = FindOrCreate<TFileOwnerDataNode>(fileName, std::move(callback));
  node->MarkUsed();  // our link keeps the node alive meanwhile
  if (owner) owner->AddAutoLink(link);
  return {node, link};
}

TFileOwnerDataNode::TFileOwnerDataNode(const std::string& fileName)
    : fileName_(fileName.find('/') != std::string::npos ? fileName : ProgramHome() + "/" + fileName),
      table_(std::make_unique<TTwoDArray>()) {
  liveOwners.fetch_add(1, std::memory_order_relaxed);
  AddAutoLink(TFileChangedDataNode::Find(fileName_, TW_METHOD(this, FileChanged)).second);
}

TFileOwnerDataNode::~TFileOwnerDataNode() {
  // The keep-alive ends by releasing selfLink_ after cancelling its timer, so a node that is going has no
  // timer left; cancelling here is only for a node that never got that far.
  {
    std::lock_guard guard(keepAliveLock_);
    if (keepAliveTimer_) keepAliveTimer_->Cancel();
  }
  liveOwners.fetch_sub(1, std::memory_order_relaxed);
}

std::int32_t TFileOwnerDataNode::LiveCount() {
  return liveOwners.load(std::memory_order_relaxed);
}

void TFileOwnerDataNode::AfterConstruction() {
  TDataNodeWithStringKey::AfterConstruction();
  Reload();
}

void TFileOwnerDataNode::Reload() {
  // Read outside the lock: readers on other threads keep the old table until the new one is complete.
  auto fresh = std::make_unique<TTwoDArray>();
  try {
    fresh->LoadFromFile(fileName_);
  } catch (const std::exception& e) {
    fresh->Clear();
    AddLine(std::string("File data: ") + e.what() + "; its table is empty");
  }
  std::lock_guard guard(tableLock_);
  table_.swap(fresh);
}

void TFileOwnerDataNode::FileChanged() {
  Reload();
  NotifyListeners();
}

std::string TFileOwnerDataNode::GetCell(const std::string& column, const std::string& row) const {
  std::lock_guard guard(tableLock_);
  return table_->GetCell(column, row);
}

bool TFileOwnerDataNode::HasRow(const std::string& row) const {
  std::lock_guard guard(tableLock_);
  return table_->HasRow(row);
}

void TFileOwnerDataNode::MarkUsed() {
  std::lock_guard guard(keepAliveLock_);
  recentlyUsed_ = true;
  if (selfLink_) return;
  // The first use, or a use after the keep-alive had already let go while others still held the node:
  // either way the table must now outlive this use by a minute or two.
  selfLink_ = CreateLink();
  const std::uint64_t generation = ++keepAliveGeneration_;
  keepAliveTimer_ = Repeating(kKeepAliveMs, 0,
                              TCallback::Function([this, generation] { KeepAliveTick(generation); }, this,
                                                  &typeid(TFileOwnerDataNode)));
}

void TFileOwnerDataNode::KeepAliveTick(std::uint64_t generation) {
  // The timer runs only while selfLink_ is held: CheckKeepAlive cancels it before letting the link go.
  QueueCallback(1, TCallback::Function([this, generation] { CheckKeepAlive(generation); }, this,
                                       &typeid(TFileOwnerDataNode)));
}

void TFileOwnerDataNode::CheckKeepAlive(std::uint64_t generation) {
  TTimerEventRef timer;
  TDataNodeLink* link = nullptr;
  {
    std::lock_guard guard(keepAliveLock_);
    // A tick of a keep-alive that has ended since must not count against the one running now.
    if (generation != keepAliveGeneration_ || !selfLink_) return;
    if (recentlyUsed_) {
      recentlyUsed_ = false;
      return;
    }
    timer = std::exchange(keepAliveTimer_, nullptr);
    link = std::exchange(selfLink_, nullptr);
  }
  timer->Cancel();
  TDataNodeLink::Release(link);  // may free this node
}

// --- Value nodes -----------------------------------------------------------------------------------------

TFileDataNode::TFileDataNode(const TParamList& params) {
  CheckParamCount(params, 3, "Expected params: (FileName, ColKey, RowKey)");
  colKey_ = params[1].AsString();
  rowKey_ = params[2].AsString();
  owner_ = TFileOwnerDataNode::Find(params[0].AsString(), TW_METHOD(this, OnOwnerChanged), this).first;
}

TFactoryRef DoubleFileValue(const std::string& fileName, const std::string& column) {
  return TGenericDataNodeFactory::Make<TDoubleFileDataNode>(fileName, column, SymbolNamePlaceHolder());
}

TFactoryRef IntegerFileValue(const std::string& fileName, const std::string& column) {
  return TGenericDataNodeFactory::Make<TIntegerFileDataNode>(fileName, column, SymbolNamePlaceHolder());
}

TFactoryRef StringFileValue(const std::string& fileName, const std::string& column) {
  return TGenericDataNodeFactory::Make<TStringFileDataNode>(fileName, column, SymbolNamePlaceHolder());
}

namespace {

std::int32_t OvernightInteger(const std::string& column, const std::string& symbol) {
  auto [owner, link] = TFileOwnerDataNode::Find(kOvernightDataFile);
  TOwnedLink hold(link);
  return ParseCellInteger(owner->GetCell(column, symbol)).value_or(0);
}

}  // namespace

std::int32_t VolumeBreakOf(const std::string& symbol) {
  return OvernightInteger("Volume Break", symbol);
}

std::int32_t AverageDailyVolumeOf(const std::string& symbol) {
  return OvernightInteger("Avg Daily Volume", symbol);
}

void RegisterFileDataValues() {
  RegisterFactory("VolumeBreak", IntegerFileValue(kOvernightDataFile, "Volume Break"));
  RegisterFactory("ADVol", IntegerFileValue(kOvernightDataFile, "Avg Daily Volume"));
  RegisterFactory("TickVolatility", DoubleFileValue(kOvernightDataFile, "Tick Volatility"));
  RegisterFactory("UpDays", IntegerFileValue(kTcOvernightDataFile, "Up Days"));
  RegisterFactory("CorrelationSymbol", StringFileValue(kOvernightDataFile, "Correlation Symbol"));
  RegisterFactory("CorrelationM", DoubleFileValue(kOvernightDataFile, "Correlation M"));
  RegisterFactory("FCorrelationM", DoubleFileValue(kOvernightDataFile, "F Correlation M"));
  RegisterFactory("RangeContraction", IntegerFileValue(kTcOvernightDataFile, "Range Contraction"));
  RegisterFactory("SMA200", DoubleFileValue(kTcOvernightDataFile, "200 Day SMA"));
  RegisterFactory("SMA50", DoubleFileValue(kTcOvernightDataFile, "50 Day SMA"));
  RegisterFactory("SMA20", DoubleFileValue(kTcOvernightDataFile, "20 Day SMA"));
  RegisterFactory("BrightVolatility", DoubleFileValue(kOvernightDataFile, "Bright Volatility"));
  RegisterFactory("SharesPerPrint", DoubleFileValue(kOvernightDataFile, "Shares per Print"));
}

}  // namespace tarnwell
