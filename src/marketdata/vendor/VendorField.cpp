#include "marketdata/vendor/VendorField.h"

#include <cmath>
#include <limits>

#include "framework/Errors.h"
#include "vconv.h"

namespace tarnwell {
namespace {

struct TFid {
  const char* Name;
  int Number;
};

const TFid kFieldDictionary[] = {
#include "marketdata/vendor/FieldDictionary.inc"
};

struct TCodeName {
  const char* code;
  const char* name;
};

const char* Lookup(const TCodeName* table, std::size_t size, const std::string& code) {
  for (std::size_t i = 0; i < size; ++i) {
    if (code == table[i].code) return table[i].name;
  }
  return nullptr;
}

template <std::size_t N>
std::string Lookup(const TCodeName (&table)[N], const std::string& code) {
  const char* name = Lookup(table, N, code);
  return name ? name : "";
}

const TCodeName kExchIdNames[] = {{"N", "AMEX"}, {"p", "CME"},  {"P", "CME"},  {"H", "CME"},  {"[", "$NDX"},
                                  {"O", "NASD"}, {"Ot", "NASD"}, {"Os", "NASD"}, {"M", "NYSE"}, {"Kv", "CAV"},
                                  {"Kt", "CAT"}, {"Ki", "PINK"}, {"Kk", "OTC"}};

const TCodeName kExchangeLetters[] = {{"A", "AMEX"},    {"B", "Boston"},       {"C", "Cincinnati"},
                                      {"D", "NASD"},    {"M", "Midwest"},      {"N", "NYSE"},
                                      {"O", "Instinet"}, {"P", "Pacific"},      {"Q", "NASD"},
                                      {"S", "NASD"},    {"T", "NASD"},         {"W", "CBOE"},
                                      {"X", "Philadelphia"}};

const TCodeName kExchangeNames[] = {{"ASE", "AMEX"}, {"CME", "CME"},  {"FRE", "CME"}, {"IME", "CME"},
                                    {"DJI", "$NDX"}, {"IND", "$NDX"}, {"NAI", "$NDX"}, {"NAS", "NASD"},
                                    {"NYS", "NYSE"}, {"NAP", "OTC"},  {"VAN", "CAV"},  {"TOR", "CAT"}};

const TCodeName kLongNames[] = {
    {"AMEX", "American"}, {"NASD", "NASDAQ"}, {"NYSE", "New York"}, {"CBOE", "Chicago Board Options"}};

}  // namespace

std::uint16_t TVendorField::U16(int offset) const {
  return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
}

std::int32_t TVendorField::I32(int offset) const {
  std::uint32_t v = static_cast<std::uint32_t>(bytes_[offset]) | (static_cast<std::uint32_t>(bytes_[offset + 1]) << 8) |
                    (static_cast<std::uint32_t>(bytes_[offset + 2]) << 16) |
                    (static_cast<std::uint32_t>(bytes_[offset + 3]) << 24);
  return static_cast<std::int32_t>(v);
}

std::int16_t TVendorField::Type() const { return static_cast<std::int16_t>(U16(0)); }
std::uint16_t TVendorField::Number() const { return U16(2); }

bool TVendorField::HasValue() const { return Type() != vf::TYPE_BLANK && Type() != vf::TYPE_BLANK_2; }

std::string TVendorField::AsString() const {
  Assert(Type() == vf::TYPE_STRING, "Expecting TYPE_STRING");
  return reinterpret_cast<const char*>(bytes_ + 8);
}

double TVendorField::AsPrice() const {
  Assert(Type() == vf::TYPE_PRICE, "Expecting TYPE_PRICE");
  std::uint16_t baseCode = U16(4);
  double divisor = VGetBaseCodeDivisor(baseCode);
  if (divisor == 0) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(I32(8)) * VGetBaseCodeMultiplier(baseCode) / divisor;
}

TDateTime TVendorField::AsDate() const {
  Assert(Type() == vf::TYPE_DATE, "Expecting TYPE_DATE");
  int day = static_cast<std::int8_t>(bytes_[4]);
  int month = static_cast<std::int8_t>(bytes_[5]);
  int year = U16(6);
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return 0;
  return EncodeDateTime(year, month, day);
}

TDateTime TVendorField::AsTime() const {
  Assert(Type() == vf::TYPE_TIME, "Expecting TYPE_TIME");
  // The vendor's clock runs three hours ahead of ours.
  return U16(4) / 1440.0 + U16(6) / 86400.0 - 0.125;
}

std::int32_t TVendorField::AsInteger() const {
  if (Type() == vf::TYPE_LONG) return I32(4);
  Assert(Type() == vf::TYPE_SHORT, "Expecting TYPE_LONG or TYPE_SHORT");
  return static_cast<std::int16_t>(U16(4));
}

std::string TVendorField::AsExchange() const {
  if (!HasValue()) return {};
  switch (Number()) {
    case vf::EXCHID:
      return Lookup(kExchIdNames, AsString());
    case vf::TRDXID_1:
    case vf::BIDEXID:
    case vf::ASKEXID:
    case vf::SALE_CONDITION_XID:
    case vf::REGIONAL_ASKEXID: {
      std::string code = AsString();
      if (code.empty()) return {};
      if (code.size() == 1) {
        if (const char* name = Lookup(kExchangeLetters, std::size(kExchangeLetters), code)) return name;
      }
      return "[" + code + "]";
    }
    case vf::EXCH_NAME:
      return Lookup(kExchangeNames, AsString());
    default:
      return {};
  }
}

std::string FieldName(int number) {
  for (const TFid& fid : kFieldDictionary) {
    if (fid.Number == number) return fid.Name;
  }
  return "Unknown(" + std::to_string(number) + ")";
}

std::string ExchangeLongName(const std::string& code) {
  const char* name = Lookup(kLongNames, std::size(kLongNames), code);
  return name ? name : code;
}

bool IsSlashSymbol(const std::string& symbol) { return !symbol.empty() && symbol.front() == '/'; }
bool IsIndexSymbol(const std::string& symbol) { return !symbol.empty() && symbol.front() == '$'; }

std::string ToVendorSymbol(const std::string& symbol) {
  std::string result;
  result.reserve(symbol.size());
  bool lowerNext = false;
  for (char c : symbol) {
    if (c == '*') {
      lowerNext = true;
      continue;
    }
    if (lowerNext && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    lowerNext = false;
    result.push_back(c);
  }
  return result;
}

}  // namespace tarnwell
