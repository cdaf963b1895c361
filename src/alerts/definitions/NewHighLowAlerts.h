#pragma once
// New highs and lows: of the day's bid or ask, of the day's range, of the pre-market and post-market prints,
// and past the highs and lows of earlier days. Most describe how significant the level is by looking it up
// in the symbol's history of earlier highs and lows ("Next resistance 12.00 from 01/15/2026."), and use the
// number of days since that level as the quality.

#include <cstdint>
#include <string>
#include <vector>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

class TFileOwnerDataNode;
class TRecentHighLow;

/// An alert on the symbol's quote that also follows its "TickVolatility". (Symbol, ...): an empty list fails
/// "Assertion failure".
class TL1Alert : public TAlert {
 public:
  explicit TL1Alert(const TParamList& params);

 protected:
  /// Also run once when the node is made.
  virtual void VolatilityChanged() {}
  virtual void QuoteChanged() = 0;

  const std::string& Symbol() const { return symbol_; }
  /// The quote while the node holds one, else null.
  const TL1Data* Quote() const { return l1_->Current(); }

  TGenericDataNode* volatility_;

 private:
  std::string symbol_;
  TGenericL1DataNode* l1_;
};

/// (Symbol, Up, Bid): a new extreme of one side of the quote, restarted each trading day from the day's
/// high (or low) and the quote.
class TL1AndNewDayUser : public TL1Alert {
 public:
  explicit TL1AndNewDayUser(const TParamList& params);

 protected:
  /// Also run once when the node is made.
  virtual void NewDay() = 0;

  /// The watched side of a quote with both sides above zero, else 0.
  double WatchedPrice() const;
  /// Greater for a high, smaller for a low; a price of 0 is never beyond.
  bool Beyond(double price, double extreme) const;
  /// Where the day's extreme stands: the day's high (or low) so far, or the watched price past it.
  double DayStart() const;
  /// "New High Ask:  +0.02", with the watched side's size as quality; silent around the opening bell.
  void Report(double move);

  bool up_;
  bool bid_;
  TRecentHighLow* recent_;
};

/// Every new high of the ask ("NewHighAsk") or low of the bid ("NewLowBid").
class TEveryNewHighLowBidAsk : public TL1AndNewDayUser {
 public:
  static constexpr const char* kClassName = "TEveryNewHighLowBidAsk";
  using TL1AndNewDayUser::TL1AndNewDayUser;

 private:
  void NewDay() override;
  void QuoteChanged() override;
  bool valid_ = false;
  double extreme_ = 0;
};

/// New highs or lows of one side of the quote, leaving out small steps in quick succession.
class TFilteredNewHighLowBidAsk : public TL1AndNewDayUser {
 public:
  static constexpr const char* kClassName = "TFilteredNewHighLowBidAsk";
  using TL1AndNewDayUser::TL1AndNewDayUser;

 private:
  void VolatilityChanged() override;
  void NewDay() override;
  void QuoteChanged() override;
  bool valid_ = false;
  double threshold_ = 0.125;
  double extreme_ = 0;
  double lastReported_ = 0;
  TDateTime lastReportTime_ = 0;
};

/// What a level history says of a price: how old the level it reaches is, and the next level beyond it.
struct TLevelDescription {
  std::int32_t Days = 0;  ///< days since the level's date, less one; meaningful with HasRow
  bool HasRow = false;
  std::string Text;  ///< "  Next resistance 12.00 from 01/15/2026.", or empty
};

/// The symbol's highs (or lows) of earlier days from "TC_OvernightData.csv", reread whenever the file
/// changes. A level is a price and the date it was last reached; highs rise and lows fall along the list.
class TPreviousStats : public TDataNodeWithStringKey {
 public:
  struct TLevel {
    double Price;
    TDateTime Date;
  };

  /// The first level at or beyond x, or none.
  const TLevel* FindLevel(double x) const;
  /// The level reached by x: its age in days, and "Next resistance ..." (or "Next support ...") after
  /// the prefix.
  TLevelDescription DescribeLevel(double x, const std::string& prefix) const;

  bool HasRow() const { return hasRow_; }
  const std::vector<TLevel>& Levels() const { return levels_; }
  /// The level list of a cell: alternating prices and dates; empty when the count is odd or an item is not a
  /// number.
  static std::vector<TLevel> ParseLevels(const std::string& cell);

 protected:
  TPreviousStats(const std::string& symbol, bool highs);

 private:
  void Load();
  bool Beyond(double a, double b) const { return highs_ ? a > b : a < b; }

  std::string symbol_;
  bool highs_;
  TFileOwnerDataNode* file_;
  bool hasRow_ = false;
  TDateTime beforeHistory_ = 0;
  std::vector<TLevel> levels_;
};

class TPreviousHighs : public TPreviousStats {
 public:
  static constexpr const char* kKeyClass = "TPreviousHighs";
  static TPreviousHighs* CreateFromKey(const std::string& symbol) { return Create<TPreviousHighs>(symbol); }
  explicit TPreviousHighs(const std::string& symbol) : TPreviousStats(symbol, true) {}
};

class TPreviousLows : public TPreviousStats {
 public:
  static constexpr const char* kKeyClass = "TPreviousLows";
  static TPreviousLows* CreateFromKey(const std::string& symbol) { return Create<TPreviousLows>(symbol); }
  explicit TPreviousLows(const std::string& symbol) : TPreviousStats(symbol, false) {}
};

/// The symbol's level history of one side, held by `owner` as an automatic link.
TPreviousStats* FindPreviousStats(const std::string& symbol, bool highs, TDataNode& owner);

/// (Symbol): every new high ("NewHigh") or low ("NewLow") of the day's range, with the next level of
/// earlier days.
class TNewHighLowAlert : public TL1Alert {
 public:
  TNewHighLowAlert(const TParamList& params, bool high);

 protected:
  /// The day's high (low) of a quote that has both, else 0.
  double Extreme() const;
  bool Beyond(double a, double b) const { return high_ ? a > b : a < b; }
  /// "New High:  +0.25." and the level text, with the level's age as quality when the symbol has a history.
  void ReportLevel(double price, double move);

  bool high_;
  bool armed_ = false;
  TPreviousStats* history_;
};

/// Reports every step of the day's extreme past the one before it.
class TNewHighLowEach : public TNewHighLowAlert {
 public:
  using TNewHighLowAlert::TNewHighLowAlert;

 private:
  void QuoteChanged() override;
  double lastExtreme_ = 0;
};

class TNewHigh : public TNewHighLowEach {
 public:
  static constexpr const char* kClassName = "TNewHigh";
  explicit TNewHigh(const TParamList& params) : TNewHighLowEach(params, true) {}
};

class TNewLow : public TNewHighLowEach {
 public:
  static constexpr const char* kClassName = "TNewLow";
  explicit TNewLow(const TParamList& params) : TNewHighLowEach(params, false) {}
};

/// New highs or lows of the day's range, leaving out small steps in quick succession.
class TNewHighLowFiltered : public TNewHighLowAlert {
 public:
  using TNewHighLowAlert::TNewHighLowAlert;

 private:
  void VolatilityChanged() override;
  void QuoteChanged() override;
  double threshold_ = 0.125;
  double current_ = 0;
  double lastReported_ = 0;
  TDateTime lastReportTime_ = 0;
};

class TNewHighFiltered : public TNewHighLowFiltered {
 public:
  static constexpr const char* kClassName = "TNewHighFiltered";
  explicit TNewHighFiltered(const TParamList& params) : TNewHighLowFiltered(params, true) {}
};

class TNewLowFiltered : public TNewHighLowFiltered {
 public:
  static constexpr const char* kClassName = "TNewLowFiltered";
  explicit TNewLowFiltered(const TParamList& params) : TNewHighLowFiltered(params, false) {}
};

/// (Symbol, High): the day's high climbing past a resistance older than any it had reached today (or the
/// low falling through an older support).
class TNewDailyHighLowLevel : public TAlert {
 public:
  static constexpr const char* kClassName = "TNewDailyHighLowLevel";
  explicit TNewDailyHighLowLevel(const TParamList& params);

 private:
  void Evaluate();
  TRecentHighLow* recent_;
  TPreviousStats* history_;
  bool high_;
  std::int32_t lastDays_ = 0;
  bool lastValid_ = false;
  std::int32_t firstDays_ = 0;
  bool firstSet_ = false;
};

/// (Symbol, High): extended-hours prints making a new high (or low): before the regular session's first
/// hours for the pre-market alert, after them for the post-market one.
class TExtendedHoursHighLow : public TAlert {
 public:
  explicit TExtendedHoursHighLow(const TParamList& params);

 protected:
  virtual void OnPrint() = 0;
  /// The print when it is an extended-hours trade (form T, not a restated price), else null.
  const TTosData* ExtendedHoursPrint() const;
  bool Beyond(double a, double b) const { return high_ ? a > b : a < b; }

  bool high_;
  double extreme_ = 0;
  TPreviousStats* history_;

 private:
  TGenericTosDataNode* tos_;
};

class TPreMarketHighLow : public TExtendedHoursHighLow {
 public:
  static constexpr const char* kClassName = "TPreMarketHighLow";
  using TExtendedHoursHighLow::TExtendedHoursHighLow;

 private:
  void OnPrint() override;
};

class TPostMarketHighLow : public TExtendedHoursHighLow {
 public:
  static constexpr const char* kClassName = "TPostMarketHighLow";
  explicit TPostMarketHighLow(const TParamList& params);

 private:
  void OnPrint() override;
  TGenericL1DataNode* l1_;
};

/// Registers the 16 new high and low alert types. Start-up, after the overnight values.
void RegisterNewHighLowAlerts();

}  // namespace tarnwell
