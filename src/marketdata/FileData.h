#pragma once
// Overnight statistics (average volumes, volatilities, moving averages, earlier highs and lows, volume
// blocks, candles) and the holiday calendar arrive as comma-separated files in the program's home folder.
// One reader serves them all: a table keyed by column name and row key, one shared node per file that loads
// it, reloads it when the file changes and keeps it for a while after its last use, and generic value nodes
// that show one cell each.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/DataNode.h"
#include "framework/GenericNode.h"
#include "framework/HashTable.h"
#include "framework/Timers.h"

namespace tarnwell {

inline constexpr const char* kOvernightDataFile = "OvernightData.csv";
inline constexpr const char* kTcOvernightDataFile = "TC_OvernightData.csv";
inline constexpr const char* kVbOvernightDataFile = "VB_OvernightData.csv";
inline constexpr const char* kVOvernightDataFile = "V_OvernightData.csv";
inline constexpr const char* kScOvernightDataFile = "SC_OvernightData.csv";
inline constexpr const char* kHolidaysFile = "Holidays.csv";

/// A file that cannot be read or does not fit its header; the text names the file, the line and why.
class EFileDataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The cells of one line: comma-separated, a cell may be double-quoted (a doubled quote inside stands for
/// one), spaces and control characters around a cell are dropped, and a trailing comma adds an empty cell.
std::vector<std::string> SplitCsvLine(std::string_view line);

/// A cell as a number (period as decimal separator); empty when it is not one, or not finite.
std::optional<double> ParseCellDouble(const std::string& text);
/// A cell as a 32-bit decimal integer; empty when it is not one or out of range.
std::optional<std::int32_t> ParseCellInteger(const std::string& text);

/// A table of strings by (column name, row key), as read from a file whose first line names the columns
/// and whose first column holds the row keys. Names and keys compare exactly. Not locked.
class TTwoDArray {
 public:
  TTwoDArray();
  TTwoDArray(const TTwoDArray&) = delete;
  TTwoDArray& operator=(const TTwoDArray&) = delete;

  /// Replaces the table by the file's. A file that cannot be read, or a line with a non-empty cell beyond
  /// the header's last column, throws EFileDataError and leaves the table empty.
  void LoadFromFile(const std::string& fileName);
  /// Writes the header and one line per row key; cells that need it are quoted. Throws EFileDataError.
  void SaveToFile(const std::string& fileName) const;
  void Clear();

  /// The cell, or empty when the column, the row or the cell is absent.
  std::string GetCell(const std::string& column, const std::string& row) const;
  /// Stores a cell, adding the column and the row when they are new.
  void SetCell(const std::string& column, const std::string& row, const std::string& text);
  bool HasRow(const std::string& row) const { return rowSet_.ContainsKey(row); }

  /// Column names in file order; entry 0 heads the row keys. An empty table has one empty entry.
  const std::vector<std::string>& Columns() const { return columns_; }
  /// Row keys in file order, duplicates kept.
  const std::vector<std::string>& Rows() const { return rows_; }

 private:
  /// The pair as one key that commas inside either part cannot make ambiguous.
  static std::string CellKey(const std::string& column, const std::string& row);
  void AddColumn(const std::string& column);
  void AddRow(const std::string& row);

  std::vector<std::string> columns_;
  std::vector<std::string> rows_;
  tStringIntegerHashTable columnSet_;
  tStringIntegerHashTable rowSet_;
  tStringStringHashTable cells_;
};

/// The loaded table of one file, shared by every user of the same file name text. Its listeners are
/// notified after every reload. It stays loaded one to two minutes after the last Find, even when every
/// user released it meanwhile, so that lookups in quick succession read the file once.
class TFileOwnerDataNode : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TFileOwnerDataNode";
  static TFileOwnerDataNode* CreateFromKey(const std::string& keyText);

  /// The node of a file (a name without a folder lies in the program's home) and a new inactive link on it,
  /// which the caller owns, or `owner` adopts when given. Counts as a use for the keep-alive. Any thread.
  static std::pair<TFileOwnerDataNode*, TDataNodeLink*> Find(const std::string& fileName,
                                                             TCallback callback = {},
                                                             TDataNode* owner = nullptr);

  ~TFileOwnerDataNode() override;

  /// Any thread.
  std::string GetCell(const std::string& column, const std::string& row) const;
  /// Any thread.
  bool HasRow(const std::string& row) const;
  /// The file read: the name as found, or the home folder and the name.
  const std::string& FileName() const { return fileName_; }

  /// Owner nodes alive in the process (diagnostics and tests).
  static std::int32_t LiveCount();

  static constexpr std::int64_t kKeepAliveMs = 60000;

 private:
  friend class TDataNode;  // Create
  explicit TFileOwnerDataNode(const std::string& fileName);

  /// Loads the table once the watch link can fire, so that a change during construction is never lost.
  void AfterConstruction() override;
  /// Reads the file into a new table and swaps it in; a failure gives an empty table and a log line.
  void Reload();
  /// The watch node's callback. Data node thread.
  void FileChanged();
  void MarkUsed();
  /// Timer thread: hands the decision to the data node thread, where releasing links belongs.
  void KeepAliveTick(std::uint64_t generation);
  /// Data node thread: forgets one use, or lets the node go when there was none since the last tick.
  void CheckKeepAlive(std::uint64_t generation);

  const std::string fileName_;
  mutable std::mutex tableLock_;
  std::unique_ptr<TTwoDArray> table_;  // guarded by tableLock_
  std::mutex keepAliveLock_;
  TDataNodeLink* selfLink_ = nullptr;      // guarded by keepAliveLock_; held while the keep-alive runs
  bool recentlyUsed_ = false;              // guarded by keepAliveLock_
  TTimerEventRef keepAliveTimer_;          // guarded by keepAliveLock_
  std::uint64_t keepAliveGeneration_ = 0;  // guarded by keepAliveLock_; tells a stale tick from a live one
};

/// One cell of a file as a generic value: (FileName, ColKey, RowKey).
class TFileDataNode : public TGenericDataNode {
 public:
  explicit TFileDataNode(const TParamList& params);

  TFileOwnerDataNode* Owner() const { return owner_; }
  const std::string& ColKey() const { return colKey_; }
  const std::string& RowKey() const { return rowKey_; }

 protected:
  std::string Cell() const { return owner_->GetCell(colKey_, rowKey_); }
  /// The file was reloaded. Data node thread.
  virtual void OwnerChanged() { NotifyListeners(); }

 private:
  void OnOwnerChanged() { OwnerChanged(); }

  TFileOwnerDataNode* owner_ = nullptr;
  std::string colKey_;
  std::string rowKey_;
};

/// The cell's text; always valid (an absent cell is the empty text).
class TStringFileDataNode : public TFileDataNode {
 public:
  static constexpr const char* kClassName = "TStringFileDataNode";
  using TFileDataNode::TFileDataNode;
  std::string GetString() override { return Cell(); }
  bool IsValid() override { return true; }
};

/// The cell read as a number on first demand after each reload; invalid when it is not one. Data node thread.
template <class Number>
class TParsedFileDataNode : public TFileDataNode {
 public:
  using TFileDataNode::TFileDataNode;
  bool IsValid() override {
    Parse();
    return hasValue_;
  }

 protected:
  Number ParsedValue() {
    Parse();
    return hasValue_ ? value_ : Number{};
  }
  void OwnerChanged() override {
    parsed_ = false;
    NotifyListeners();
  }

 private:
  void Parse() {
    if (parsed_) return;
    std::optional<Number> number;
    if constexpr (std::is_same_v<Number, double>) {
      number = ParseCellDouble(Cell());
    } else {
      number = ParseCellInteger(Cell());
    }
    hasValue_ = number.has_value();
    value_ = number.value_or(Number{});
    parsed_ = true;
  }

  bool parsed_ = false;
  bool hasValue_ = false;
  Number value_{};
};

class TDoubleFileDataNode : public TParsedFileDataNode<double> {
 public:
  static constexpr const char* kClassName = "TDoubleFileDataNode";
  using TParsedFileDataNode::TParsedFileDataNode;
  double GetDouble() override { return ParsedValue(); }
};

class TIntegerFileDataNode : public TParsedFileDataNode<std::int32_t> {
 public:
  static constexpr const char* kClassName = "TIntegerFileDataNode";
  using TParsedFileDataNode::TParsedFileDataNode;
  std::int32_t GetInteger() override { return ParsedValue(); }
};

/// Factories of one column of a file for the symbol filled into their "Symbol Name" place holder.
TFactoryRef DoubleFileValue(const std::string& fileName, const std::string& column);
TFactoryRef IntegerFileValue(const std::string& fileName, const std::string& column);
TFactoryRef StringFileValue(const std::string& fileName, const std::string& column);

/// The symbol's "Volume Break" of the overnight data; 0 when absent or not an integer. Any thread.
std::int32_t VolumeBreakOf(const std::string& symbol);
/// The symbol's "Avg Daily Volume" of the overnight data; 0 when absent or not an integer. Any thread.
std::int32_t AverageDailyVolumeOf(const std::string& symbol);

/// Registers the named values read from the overnight files ("VolumeBreak", "ADVol", ...). Start-up.
void RegisterFileDataValues();

}  // namespace tarnwell
