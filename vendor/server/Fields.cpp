#include "server/Fields.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

namespace tarnwell::vendor {
namespace {

constexpr std::array kFields = {
    FieldInfo{fid::kDispName, "DISP_NAME", FieldType::String},
    FieldInfo{fid::kExchId, "EXCHID", FieldType::String},
    FieldInfo{fid::kTrdPrc1, "TRDPRC_1", FieldType::Price},
    FieldInfo{fid::kHigh1, "HIGH_1", FieldType::Price},
    FieldInfo{fid::kLow1, "LOW_1", FieldType::Price},
    FieldInfo{fid::kTrdDate, "TRD_DATE", FieldType::Date},
    FieldInfo{fid::kTrdTim1, "TRDTIM_1", FieldType::Time},
    FieldInfo{fid::kOpenPrc, "OPEN_PRC", FieldType::Price},
    FieldInfo{fid::kHstClose, "HST_CLOSE", FieldType::Price},
    FieldInfo{fid::kBid, "BID", FieldType::Price},
    FieldInfo{fid::kAsk, "ASK", FieldType::Price},
    FieldInfo{fid::kBidSize, "BIDSIZE", FieldType::Long},
    FieldInfo{fid::kAskSize, "ASKSIZE", FieldType::Long},
    FieldInfo{fid::kAcVol1, "ACVOL_1", FieldType::Long},
    FieldInfo{fid::kTrdXid1, "TRDXID_1", FieldType::String},
    FieldInfo{fid::kBidExId, "BIDEXID", FieldType::String},
    FieldInfo{fid::kAskExId, "ASKEXID", FieldType::String},
    FieldInfo{fid::kHigh52, "HIGH_52", FieldType::Price},
    FieldInfo{fid::kLow52, "LOW_52", FieldType::Price},
    FieldInfo{fid::kTrdVol1, "TRDVOL_1", FieldType::Long},
    FieldInfo{fid::kHigh52Date, "HIGH52_DATE", FieldType::Date},
    FieldInfo{fid::kLow52Date, "LOW52_DATE", FieldType::Date},
    FieldInfo{fid::kIrgCond, "IRGCOND", FieldType::Long},
    FieldInfo{fid::kStatus, "STATUS", FieldType::String},
    FieldInfo{fid::kPutVolume, "PUT_VOLUME", FieldType::Long},
    FieldInfo{fid::kCallVolume, "CALL_VOLUME", FieldType::Long},
    FieldInfo{fid::kSymbolDesc, "SYMBOL_DESC", FieldType::String},
    FieldInfo{fid::kExchName, "EXCH_NAME", FieldType::String},
    FieldInfo{fid::kSaleCondition, "SALE_CONDITION", FieldType::Long},
    FieldInfo{fid::kSaleConditionPrice, "SALE_CONDITION_PRICE", FieldType::Price},
    FieldInfo{fid::kSaleConditionVolume, "SALE_CONDITION_VOLUME", FieldType::Long},
    FieldInfo{fid::kSaleConditionTime, "SALE_CONDITION_TIME", FieldType::Time},
    FieldInfo{fid::kSaleConditionXid, "SALE_CONDITION_XID", FieldType::String},
    FieldInfo{fid::kRegionalBid, "REGIONAL_BID", FieldType::Price},
    FieldInfo{fid::kRegionalAsk, "REGIONAL_ASK", FieldType::Price},
    FieldInfo{fid::kRegionalAskExId, "REGIONAL_ASKEXID", FieldType::String},
    FieldInfo{fid::kRegionalExchId, "REGIONAL_EXCHID", FieldType::String},
    FieldInfo{fid::kQuoteUpdateType, "QUOTE_UPDATE_TYPE", FieldType::Long},
    FieldInfo{fid::kSymbolError, "SYMBOL_ERROR", FieldType::String},
    FieldInfo{fid::kQuoteStatus, "QUOTE_STATUS", FieldType::Long},
    FieldInfo{fid::kListName, "LISTNAME", FieldType::String},
};

// Builds "'text'suffix" by appending (GCC 12 warns falsely about operator+ chains on string literals).
std::string Quoted(std::string_view text, std::string_view suffix) {
  std::string out(1, '\'');
  out += text;
  out += '\'';
  out += suffix;
  return out;
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ValidDate(int year, int month, int day) {
  if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day > kDays[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return !(month == 2 && day == 29 && !leap);
}

// The `count` decimal digits at `at`, or -1 when one of them is not a digit. Every tape line starts with a
// time, so these fixed-width parts are read without the general number parser.
int Digits(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    const unsigned digit = static_cast<unsigned char>(text[i]) - static_cast<unsigned>('0');
    if (digit > 9) return -1;
    value = value * 10 + static_cast<int>(digit);
  }
  return value;
}

// Parses "YYYY-MM-DD" into its parts.
bool ParseDateParts(std::string_view text, int& year, int& month, int& day) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  year = Digits(text, 0, 4);
  month = Digits(text, 5, 2);
  day = Digits(text, 8, 2);
  return ValidDate(year, month, day);  // a part that is not all digits reads as -1, which no date has
}

// Parses "HH:MM:SS" into seconds of the day.
bool ParseClock(std::string_view text, int& seconds) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  const int h = Digits(text, 0, 2), m = Digits(text, 3, 2), s = Digits(text, 6, 2);
  if (h < 0 || m < 0 || s < 0 || h > 23 || m > 59 || s > 59) return false;
  seconds = h * 3600 + m * 60 + s;
  return true;
}

}  // namespace

std::string_view TableName(Table table) {
  return table == Table::kRegional ? "REGIONAL" : "LIVEQUOTE";
}

std::optional<Table> ParseTable(std::string_view name) {
  if (name == "LIVEQUOTE") return Table::kLiveQuote;
  if (name == "REGIONAL") return Table::kRegional;
  return std::nullopt;
}

const FieldInfo* FindField(uint16_t number) {
  // Every field of every tape line is looked up here: one slot per possible number.
  static const std::vector<int16_t>* const slots = [] {
    auto* made = new std::vector<int16_t>(65536, -1);
    for (size_t i = 0; i < std::size(kFields); ++i) (*made)[kFields[i].number] = static_cast<int16_t>(i);
    return made;
  }();
  const int16_t slot = (*slots)[number];
  return slot < 0 ? nullptr : &kFields[static_cast<size_t>(slot)];
}

void AppendValueText(std::string& out, const FieldValue& value) {
  char buffer[32];
  switch (value.type) {
    case FieldType::Blank:
      return;
    case FieldType::Long:
    case FieldType::Short:
      out += std::to_string(value.integer);
      return;
    case FieldType::Price: {
      int64_t raw = value.integer;
      if (raw < 0) {
        out += '-';
        raw = -raw;
      }
      int64_t scale = 1;
      for (int i = 0; i < std::min(static_cast<int>(value.base), 9); ++i) scale *= 10;
      out += std::to_string(raw / scale);
      if (value.base > 0) {
        std::snprintf(buffer, sizeof(buffer), ".%0*lld", std::min(static_cast<int>(value.base), 9),
                      static_cast<long long>(raw % scale));
        out += buffer;
      }
      return;
    }
    case FieldType::Date:
      std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d", value.integer / 10000,
                    value.integer / 100 % 100, value.integer % 100);
      out += buffer;
      return;
    case FieldType::Time:
      std::snprintf(buffer, sizeof(buffer), "%02d:%02d:%02d", value.integer / 3600, value.integer / 60 % 60,
                    value.integer % 60);
      out += buffer;
      return;
    case FieldType::String:
      // A CR is quoted too: at the end of a line, readers take it for half of a CR LF line end.
      if (value.text.find_first_of(",;\"\r") == std::string::npos && !value.text.empty()) {
        out += value.text;
        return;
      }
      out += '"';
      for (char c : value.text) {
        if (c == '"') out += '"';
        out += c;
      }
      out += '"';
      return;
  }
}

std::optional<FieldValue> ParseValueText(const FieldInfo& field, std::string_view text, std::string& error) {
  FieldValue value;
  if (!ParseValueInto(field, text, value, error)) return std::nullopt;
  return value;
}

bool ParseValueInto(const FieldInfo& field, std::string_view text, FieldValue& value, std::string& error) {
  value.number = field.number;
  value.type = FieldType::Blank;
  value.integer = 0;
  value.base = 0;
  value.text.clear();
  if (text.empty()) return true;
  value.type = field.type;
  switch (field.type) {
    case FieldType::Long:
    case FieldType::Short:
      if (!ParseNumber(text, value.integer)) {
        error = Quoted(text, " is not an integer");
        return false;
      }
      return true;
    case FieldType::Price: {
      std::string_view digits = text;
      const bool negative = !digits.empty() && digits[0] == '-';
      if (negative) digits.remove_prefix(1);
      const size_t dot = digits.find('.');
      const std::string_view whole = digits.substr(0, dot);
      const std::string_view fraction =
          dot == std::string_view::npos ? std::string_view{} : digits.substr(dot + 1);
      int64_t raw = 0;
      bool ok =
          !whole.empty() && fraction.size() <= 9 && (dot == std::string_view::npos || !fraction.empty());
      for (char c : whole) ok = ok && c >= '0' && c <= '9' && (raw = raw * 10 + (c - '0')) <= INT32_MAX;
      for (char c : fraction) ok = ok && c >= '0' && c <= '9' && (raw = raw * 10 + (c - '0')) <= INT32_MAX;
      if (!ok) {
        error = Quoted(text, " is not a price");
        return false;
      }
      value.integer = static_cast<int32_t>(negative ? -raw : raw);
      value.base = static_cast<uint16_t>(fraction.size());
      return true;
    }
    case FieldType::Date: {
      int year = 0, month = 0, day = 0;
      if (!ParseDateParts(text, year, month, day)) {
        error = Quoted(text, " is not a date YYYY-MM-DD");
        return false;
      }
      value.integer = year * 10000 + month * 100 + day;
      return true;
    }
    case FieldType::Time:
      if (!ParseClock(text, value.integer)) {
        error = Quoted(text, " is not a time HH:MM:SS");
        return false;
      }
      return true;
    case FieldType::String:
      if (text.front() != '"') {
        if (text.find('"') != std::string_view::npos) {
          error = "unquoted string " + Quoted(text, " holds a quote");
          return false;
        }
        value.text = text;
        return true;
      }
      for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] != '"') {
          value.text += text[i];
          continue;
        }
        if (i + 1 == text.size()) return true;
        if (text[i + 1] != '"') break;
        value.text += '"';
        ++i;
      }
      error = "badly quoted string " + std::string(text);
      return false;
    case FieldType::Blank:
      break;
  }
  return true;  // blank, as set above
}

int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

void AppendDateTimeText(std::string& out, int year, int month, int day, int hour, int minute, int second,
                        int millisecond) {
  if (year < 0 || year > 9999) {  // the other parts always fit their digits
    char buffer[96];
    std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day, hour, minute,
                  second, millisecond);
    out += buffer;
    return;
  }
  // Digit by digit: a lockstep feed stamps every new update time with this text, and a replay every alert.
  char text[] = "0000-00-00 00:00:00.000";
  const int parts[] = {year, month, day, hour, minute, second, millisecond};
  static constexpr int kEnd[] = {3, 6, 9, 12, 15, 18, 22};
  static constexpr int kDigits[] = {4, 2, 2, 2, 2, 2, 3};
  for (int i = 0; i < 7; ++i) {
    int value = parts[i];
    for (int d = 0; d < kDigits[i]; ++d, value /= 10) text[kEnd[i] - d] = static_cast<char>('0' + value % 10);
  }
  out.append(text, sizeof text - 1);
}

std::string FormatTime(int64_t time_ms) {
  const int64_t days = time_ms >= 0 ? time_ms / kMsPerDay : (time_ms - kMsPerDay + 1) / kMsPerDay;
  const int64_t ms = time_ms - days * kMsPerDay;
  int year, month, day;
  CivilFromDays(days, year, month, day);
  std::string text;
  AppendDateTimeText(text, year, month, day, static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                     static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
  return text;
}

std::optional<int64_t> ParseTime(std::string_view text) {
  int year, month, day, seconds, millis = 0;
  if (text.size() != 23 || text[10] != ' ' || text[19] != '.') return std::nullopt;
  if (!ParseDateParts(text.substr(0, 10), year, month, day) || !ParseClock(text.substr(11, 8), seconds) ||
      (millis = Digits(text, 20, 3)) < 0) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) * kMsPerDay + seconds * 1000LL + millis;
}

}  // namespace tarnwell::vendor
