#pragma once
// The alert contract. An alert is a generic node that watches one symbol's market data and, when its
// condition is met, reports: a one-line description, optionally a quality, a report count, and an immediate
// notification. Everything else an alert event carries is gathered by the listener.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/GenericNode.h"

namespace tarnwell {

class TAlertCategory;
class TAlertInputs;

class TAlert : public TGenericDataNode {
 public:
  std::string GetString() override { return description_; }
  bool IsValid() override { return true; }

  /// Stores the report and notifies listeners before returning.
  void ReportAlert(const std::string& description, double quality);
  void ReportAlert(const std::string& description);
  std::int32_t Count() const { return count_; }
  /// The quality of the last report, when it carried one.
  bool GetQuality(double& quality) const;

  /// "1 day 2 hours", "85 seconds", "Less than 1 second": the wording of a span of time.
  static std::string DescribeTimeSpan(TDateTime later, TDateTime earlier);
  /// A price with two to four decimals, a sign when negative (or "+" when asked); "***.**" when it is not a
  /// number.
  static std::string FormatPrice(bool showPlus, double value);
  /// FormatPrice appended to `text`, without a string of its own.
  static void AppendPrice(std::string& text, bool showPlus, double value);
  /// A number rounded to a whole one, with thousands separators: "12,500", "-1,000".
  static std::string FormatWhole(double value);

 private:
  std::string description_;
  double quality_ = 0;
  std::int32_t count_ = 0;
  bool qualityValid_ = false;
};

/// The statistics of an alert event; each member's ordinal is its valid bit and the order of the columns in
/// the database row.
enum TAlertEventField : int {
  aefPrice,
  aefSpread,
  aefBidSize,
  aefAskSize,
  aefRelVol,
  aefQuality,
  aefMostRecentClose,
  aefExpectedOpen,
  aefDayRange,
  aefRsi15,
  aefTVol,
  aefUp5,
  aefUp10,
  aefUp15,
  aefUp30,
  aefSaleCondition,
  aefPutCall,
  aefDistanceFromNbbo,
  aefTodaysRange,
  aefPUp5,
  aefPUp10,
  aefPUp15,
  aefPUp30,
  aefVUp5,
  aefVUp10,
  aefVUp15,
  aefVUp30,
  aefCount  // not a field: the number of them
};

struct TAlertEventData {
  std::string Description;
  TDateTime Time = 0;
  double Price = 0;
  double Spread = 0;
  std::int32_t BidSize = 0;
  std::int32_t AskSize = 0;
  double RelVol = 0;
  double Quality = 0;
  double MostRecentClose = 0;
  double ExpectedOpen = 0;
  double DayRange = 0;
  double Rsi15 = 0;
  double PutCall = 0;
  double DistanceFromNbbo = 0;
  double TodaysRange = 0;
  std::int32_t TVol = 0;
  std::int32_t Up5 = 0, Up10 = 0, Up15 = 0, Up30 = 0;
  double PUp5 = 0, PUp10 = 0, PUp15 = 0, PUp30 = 0;
  std::int32_t VUp5 = 0, VUp10 = 0, VUp15 = 0, VUp30 = 0;
  std::int16_t SaleCondition = 0;
  std::uint32_t Valid = 0;  ///< bit n: the field of TAlertEventField n holds a value
  std::int32_t Num = 0;     ///< the alert's Count after the report

  bool Has(TAlertEventField field) const { return (Valid >> field) & 1u; }
  void Mark(TAlertEventField field) { Valid |= 1u << field; }
  /// The statistic as it is written out: prices and other floating values with FormatPrice, counts in
  /// decimal; empty when the event does not carry it.
  std::optional<std::string> StatisticText(TAlertEventField field) const;
  /// StatisticText appended to `text`; false (and nothing appended) when the event does not carry it.
  bool AppendStatisticText(TAlertEventField field, std::string& text) const;
};

struct TAlertEvent {
  const TAlertCategory* Category = nullptr;  ///< not owned
  const TAlertInputs* Inputs = nullptr;      ///< not owned; carries the symbol
  TAlertEventData Data;
};
using TAlertEvents = std::vector<TAlertEvent>;

}  // namespace tarnwell
