// The fields the feed knows: their numbers, names and value types, and the text form of values used in tapes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Block.h"

namespace tarnwell::vendor {

namespace fid {
inline constexpr uint16_t kDispName = 1003, kExchId = 1004, kTrdPrc1 = 1006, kHigh1 = 1012, kLow1 = 1013,
                          kTrdDate = 1016, kTrdTim1 = 1018, kOpenPrc = 1019, kHstClose = 1021, kBid = 1022,
                          kAsk = 1025, kBidSize = 1030, kAskSize = 1031, kAcVol1 = 1032, kTrdXid1 = 1044,
                          kBidExId = 1045, kAskExId = 1046, kHigh52 = 1096, kLow52 = 1097, kTrdVol1 = 1178,
                          kHigh52Date = 1352, kLow52Date = 1353, kIrgCond = 1374, kStatus = 3001,
                          kPutVolume = 3946, kCallVolume = 3947, kSymbolDesc = 6002, kExchName = 6023,
                          kSaleCondition = 6040, kSaleConditionPrice = 6041, kSaleConditionVolume = 6042,
                          kSaleConditionTime = 6043, kSaleConditionXid = 6044, kRegionalBid = 6053,
                          kRegionalAsk = 6057, kRegionalAskExId = 6059, kRegionalExchId = 6074,
                          kQuoteUpdateType = 6208, kSymbolError = 6331, kQuoteStatus = 9002, kListName = 9034;
}  // namespace fid

enum class Table : uint8_t { kLiveQuote = 1, kRegional = 2 };

std::string_view TableName(Table table);
std::optional<Table> ParseTable(std::string_view name);

struct FieldInfo {
  uint16_t number;
  const char* name;
  FieldType type;
};

/// The dictionary entry of a field number, or nullptr for a field the feed does not carry.
const FieldInfo* FindField(uint16_t number);

/// One record update: a time in the vendor's clock (milliseconds since 1970-01-01 00:00 of that clock), the
/// table, the symbol and the fields that changed, in order.
struct Update {
  int64_t time_ms = 0;
  Table table = Table::kLiveQuote;
  std::string symbol;
  std::vector<FieldValue> fields;
};

/// Tape text of a value: prices as decimals, integers in decimal, dates YYYY-MM-DD, times HH:MM:SS, strings
/// quoted when they hold , ; " or CR, blank as nothing.
void AppendValueText(std::string& out, const FieldValue& value);
/// Parses the tape text of a value of the given field; the error names what is wrong.
std::optional<FieldValue> ParseValueText(const FieldInfo& field, std::string_view text, std::string& error);
/// ParseValueText into a value the caller keeps (a tape reader reuses its fields' storage line after line).
bool ParseValueInto(const FieldInfo& field, std::string_view text, FieldValue& value, std::string& error);

/// "YYYY-MM-DD HH:MM:SS.mmm" of a vendor time.
std::string FormatTime(int64_t time_ms);
/// The same text of a time's parts, appended.
void AppendDateTimeText(std::string& out, int year, int month, int day, int hour, int minute, int second,
                        int millisecond);
std::optional<int64_t> ParseTime(std::string_view text);
/// Days since 1970-01-01 of a civil date, and back.
int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(int64_t days, int& year, int& month, int& day);

inline constexpr int64_t kMsPerDay = 86400000;
/// The vendor's clock runs this far ahead of the system's.
inline constexpr int64_t kVendorLeadMs = 3 * 3600 * 1000;
/// The system's date-time of a vendor time: days since 1899-12-30 in the system's clock.
inline double SystemTime(int64_t time_ms) {
  constexpr double kUnixEpochDay = 25569.0;  // 1899-12-30 to 1970-01-01
  return static_cast<double>(time_ms) / static_cast<double>(kMsPerDay) + kUnixEpochDay -
         static_cast<double>(kVendorLeadMs) / static_cast<double>(kMsPerDay);
}

}  // namespace tarnwell::vendor
