#pragma once
// One field value of a vendor data block, and everything the system knows about fields: their names, the
// decoders into system values (prices through the vendor's price scales, times moved to the local clock,
// exchange codes to display names) and the vendor's symbol conventions.

#include <cstdint>
#include <string>

#include "framework/Clock.h"

namespace tarnwell {

namespace vf {
// The fields the system reads by number.
inline constexpr std::uint16_t DISP_NAME = 1003, EXCHID = 1004, TRDPRC_1 = 1006, HIGH_1 = 1012, LOW_1 = 1013,
                               TRD_DATE = 1016, TRDTIM_1 = 1018, OPEN_PRC = 1019, HST_CLOSE = 1021, BID = 1022,
                               ASK = 1025, BIDSIZE = 1030, ASKSIZE = 1031, ACVOL_1 = 1032, TRDXID_1 = 1044,
                               BIDEXID = 1045, ASKEXID = 1046, HIGH_52 = 1096, LOW_52 = 1097, TRDVOL_1 = 1178,
                               HIGH52_DATE = 1352, LOW52_DATE = 1353, IRGCOND = 1374, STATUS = 3001,
                               PUT_VOLUME = 3946, CALL_VOLUME = 3947, SYMBOL_DESC = 6002, EXCH_NAME = 6023,
                               SALE_CONDITION = 6040, SALE_CONDITION_PRICE = 6041, SALE_CONDITION_VOLUME = 6042,
                               SALE_CONDITION_TIME = 6043, SALE_CONDITION_XID = 6044, REGIONAL_BID = 6053,
                               REGIONAL_ASK = 6057, REGIONAL_ASKEXID = 6059, REGIONAL_EXCHID = 6074,
                               QUOTE_UPDATE_TYPE = 6208, SYMBOL_ERROR = 6331, QUOTE_STATUS = 9002, LISTNAME = 9034;

// Value types.
inline constexpr std::int16_t TYPE_LONG = 2, TYPE_SHORT = 3, TYPE_PRICE = 5, TYPE_STRING = 6, TYPE_DATE = 7,
                              TYPE_TIME = 8, TYPE_BLANK = 99, TYPE_BLANK_2 = 101;
}  // namespace vf

/// A field value as the block reader hands it over: little-endian type at 0, number at 2, value from 4.
/// Valid while its message is. The decoders fail with an assertion when the type does not match, which
/// abandons the update being decoded.
class TVendorField {
 public:
  explicit TVendorField(const void* field) : bytes_(static_cast<const unsigned char*>(field)) {}

  std::int16_t Type() const;
  std::uint16_t Number() const;
  /// False for the blank types.
  bool HasValue() const;

  std::string AsString() const;
  /// NaN when the price scale has no divisor.
  double AsPrice() const;
  /// The date; 0 for an impossible date.
  TDateTime AsDate() const;
  /// The time of day moved back three hours to the local clock; negative before 03:00 vendor time.
  TDateTime AsTime() const;
  std::int32_t AsInteger() const;
  /// The exchange's display name by this field's code table; empty for a blank or unknown code.
  std::string AsExchange() const;

 private:
  std::uint16_t U16(int offset) const;
  std::int32_t I32(int offset) const;
  const unsigned char* bytes_;
};

/// The dictionary name of a field number, or "Unknown(<number>)".
std::string FieldName(int number);
/// The long exchange name for alert texts ("AMEX" gives "American"); other codes come back unchanged.
std::string ExchangeLongName(const std::string& code);
bool IsSlashSymbol(const std::string& symbol);
bool IsIndexSymbol(const std::string& symbol);
/// The symbol as the vendor spells it: "*" lower-cases the next letter and is dropped ("BRK*B" -> "BRKb").
std::string ToVendorSymbol(const std::string& symbol);

}  // namespace tarnwell
