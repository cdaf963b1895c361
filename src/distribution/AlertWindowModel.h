#pragma once
// What an alert window holds apart from drawing: its own matrix and queue, the catalogue rows it runs (each
// with its own copy of the row's category, so its colours are the window's), its symbols, and the ring of
// the last 100 alerts. Alerts reach it at the screen beat, at most once per beat, and go on to the database
// push when that is enabled.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "distribution/AlertCatalogue.h"
#include "distribution/AlertMatrix.h"

namespace tarnwell {

class TAlertsQueue;
class TDeferredUpdate;
class TDataNodeLink;

/// The time column of an alert window: "h:mm:ss" on a twelve-hour clock without AM or PM (14:05:09 is
/// 2:05:09, 00:30:00 is 0:30:00, noon 12:00:00).
std::string FormatAlertTime(TDateTime time);

/// The longest symbol: the database's column.
inline constexpr std::size_t kLongestSymbol = 32;
/// A line of a symbol list or symbol file as a symbol: trimmed and upper case; empty for a blank line and for
/// one that is no symbol (longer than kLongestSymbol, or blanks or control characters inside).
std::string SymbolOfLine(const std::string& line);

/// A window's inputs by symbol: one object per symbol for the window's whole life, so that a symbol removed
/// and added again is the same input to the matrix.
class TAlertSymbols {
 public:
  /// The symbol's inputs, made on first use; null for the empty symbol.
  TAlertInputs* InputsFor(const std::string& symbol);

 private:
  std::map<std::string, std::unique_ptr<TAlertInputs>> inputs_;
};

/// One catalogue row's settings in a window.
struct TAlertConfig {
  bool Enabled = false;
  TColor Foreground = 0;
  TColor Background = 0;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool operator==(const TAlertConfig&) const = default;
};
/// One element per catalogue row, in catalogue order.
using TAlertConfigList = std::vector<TAlertConfig>;

class TAlertWindowModel {
 public:
  static constexpr int kRingSize = 100;

  /// A window with no symbols and every row off. `push` (may be null) receives every alert while it is
  /// enabled; `onNewAlerts` runs on the user interface thread after alerts were taken, with their number.
  /// User interface thread, as is everything below.
  TAlertWindowModel(TAlertsQueue* push, std::function<void(int arrived)> onNewAlerts);
  ~TAlertWindowModel();
  TAlertWindowModel(const TAlertWindowModel&) = delete;
  TAlertWindowModel& operator=(const TAlertWindowModel&) = delete;

  /// Request a symbol's binding or unbinding; ApplyChanges makes them happen.
  void AddSymbol(const std::string& symbol);
  void RemoveSymbol(const std::string& symbol);
  /// The window's symbols become the lines given (trimmed, upper case, blanks and duplicates ignored),
  /// binding only what changed.
  void SetSymbols(const std::vector<std::string>& lines);
  /// The symbols in order.
  std::vector<std::string> Symbols() const { return {symbols_.begin(), symbols_.end()}; }

  /// Exactly the rows of the group are on.
  void SelectGroup(TAlertGroup group);
  TAlertConfigList GetConfig() const;
  /// Takes every row's settings; only rows whose state changes are bound or unbound. A shorter list leaves
  /// the rows after it as they are.
  void SetConfig(const TAlertConfigList& list);
  void ApplyChanges();

  /// Takes the waiting alerts: into the push (when enabled) and the ring. Returns how many arrived. Runs
  /// at the screen beat by itself; tests and the unattended server may call it too.
  int TakeNewAlerts();
  /// Empties the ring; symbols and alert types stay.
  void Clear();

  /// Alerts in the ring (at most 100).
  int Count() const { return count_; }
  /// The alert shown in display row `row` (0: the newest). `row` < Count().
  const TAlertEvent& EventAtRow(int row) const;
  /// The window's own category of an alert it received (colours, style, short code).
  static const TVisualAlertCategory& CategoryOf(const TAlertEvent& event) {
    return static_cast<const TVisualAlertCategory&>(*event.Category);
  }
  /// The window's catalogue rows, in catalogue order.
  std::size_t RowCount() const { return rows_.size(); }
  const TVisualAlertCategory& RowCategory(std::size_t row) const { return *rows_[row].Category; }
  bool RowEnabled(std::size_t row) const { return rows_[row].Enabled; }
  TAlertMatrix& Matrix() const { return *matrix_; }

  bool RaiseOnAlert = false;

 private:
  struct TRow {
    bool Enabled = false;
    std::unique_ptr<TVisualAlertCategory> Category;
  };
  void OnNewAlerts();
  void Switch(TRow& row, bool on);

  TAlertsQueue* push_;
  std::function<void(int)> onNewAlerts_;
  const TAllAlertTypes& catalogue_;
  std::vector<TRow> rows_;
  TAlertMatrix* matrix_ = nullptr;
  TDataNodeLink* matrixLink_ = nullptr;
  TDeferredUpdate* update_ = nullptr;
  TDataNodeLink* updateLink_ = nullptr;
  TAlertQueue* queue_ = nullptr;
  TAlertSymbols inputs_;
  std::set<std::string> symbols_;
  TAlertEvent ring_[kRingSize];
  int first_ = 0;
  int count_ = 0;
};

}  // namespace tarnwell
