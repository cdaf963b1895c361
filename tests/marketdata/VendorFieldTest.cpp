#include "marketdata/vendor/VendorField.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/Errors.h"

namespace tarnwell {
namespace {

// Field values laid out as the block reader hands them over.
class TFieldBytes {
 public:
  TFieldBytes(std::int16_t type, std::uint16_t number) {
    Put16(static_cast<std::uint16_t>(type));
    Put16(number);
  }
  TFieldBytes& Put16(std::uint16_t v) {
    bytes_.push_back(static_cast<unsigned char>(v));
    bytes_.push_back(static_cast<unsigned char>(v >> 8));
    return *this;
  }
  TFieldBytes& Put32(std::int32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<unsigned char>(static_cast<std::uint32_t>(v) >> (8 * i)));
    return *this;
  }
  TFieldBytes& Put8(std::int8_t v) {
    bytes_.push_back(static_cast<unsigned char>(v));
    return *this;
  }
  TFieldBytes& PutText(const std::string& s) {
    bytes_.resize(8, 0);
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    bytes_.push_back(0);
    return *this;
  }
  TVendorField Field() const { return TVendorField(bytes_.data()); }

 private:
  std::vector<unsigned char> bytes_;
};

TVendorField Text(std::uint16_t number, const std::string& s, std::vector<TFieldBytes>& keep) {
  keep.push_back(TFieldBytes(vf::TYPE_STRING, number));
  keep.back().PutText(s);
  return keep.back().Field();
}

TEST(VendorField, DecodesNumbersDatesAndTimes) {
  TFieldBytes shortMinusOne(vf::TYPE_SHORT, vf::BIDSIZE);
  shortMinusOne.Put16(0xFFFF);
  EXPECT_EQ(shortMinusOne.Field().AsInteger(), -1);
  TFieldBytes longValue(vf::TYPE_LONG, vf::ACVOL_1);
  longValue.Put32(-123456789);
  EXPECT_EQ(longValue.Field().AsInteger(), -123456789);

  TFieldBytes nineThirty(vf::TYPE_TIME, vf::TRDTIM_1);
  nineThirty.Put16(570).Put16(0);
  EXPECT_NEAR(nineThirty.Field().AsTime(), 6.5 / 24, 1e-12);  // 09:30 at the vendor is 06:30 here
  TFieldBytes early(vf::TYPE_TIME, vf::TRDTIM_1);
  early.Put16(120).Put16(30);
  EXPECT_LT(early.Field().AsTime(), 0);  // before 03:00 vendor time

  TFieldBytes price(vf::TYPE_PRICE, vf::TRDPRC_1);
  price.Put16(2).Put16(0).Put32(12345);
  EXPECT_DOUBLE_EQ(price.Field().AsPrice(), 123.45);
  TFieldBytes noScale(vf::TYPE_PRICE, vf::TRDPRC_1);
  noScale.Put16(42).Put16(0).Put32(12345);
  EXPECT_TRUE(std::isnan(noScale.Field().AsPrice()));

  TFieldBytes date(vf::TYPE_DATE, vf::TRD_DATE);
  date.Put8(29).Put8(2).Put16(2024);
  EXPECT_DOUBLE_EQ(date.Field().AsDate(), EncodeDateTime(2024, 2, 29));
  TFieldBytes impossible(vf::TYPE_DATE, vf::TRD_DATE);
  impossible.Put8(29).Put8(2).Put16(2023);
  EXPECT_EQ(impossible.Field().AsDate(), 0);

  TFieldBytes blank(vf::TYPE_BLANK, vf::BID);
  EXPECT_FALSE(blank.Field().HasValue());
  TFieldBytes blank2(vf::TYPE_BLANK_2, vf::BID);
  EXPECT_FALSE(blank2.Field().HasValue());
  EXPECT_TRUE(price.Field().HasValue());
}

TEST(VendorField, WrongTypesFailWithTheirTexts) {
  TFieldBytes price(vf::TYPE_PRICE, vf::BID);
  price.Put16(2).Put16(0).Put32(1);
  TFieldBytes text(vf::TYPE_STRING, vf::DISP_NAME);
  text.PutText("IBM");
  struct Case {
    std::function<void()> decode;
    const char* message;
  } cases[] = {
      {[&] { price.Field().AsString(); }, "Expecting TYPE_STRING"},
      {[&] { text.Field().AsPrice(); }, "Expecting TYPE_PRICE"},
      {[&] { text.Field().AsDate(); }, "Expecting TYPE_DATE"},
      {[&] { text.Field().AsTime(); }, "Expecting TYPE_TIME"},
      {[&] { price.Field().AsInteger(); }, "Expecting TYPE_LONG or TYPE_SHORT"},
  };
  for (const Case& c : cases) {
    try {
      c.decode();
      ADD_FAILURE() << "no failure for " << c.message;
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(VendorField, ExchangeCodesFollowTheirFieldsTables) {
  std::vector<TFieldBytes> keep;
  keep.reserve(64);
  struct Case {
    std::uint16_t number;
    const char* code;
    const char* name;
  } cases[] = {
      {vf::TRDXID_1, "Q", "NASD"},     {vf::TRDXID_1, "Z", "[Z]"},        {vf::TRDXID_1, "", ""},
      {vf::BIDEXID, "N", "NYSE"},      {vf::ASKEXID, "X", "Philadelphia"}, {vf::SALE_CONDITION_XID, "W", "CBOE"},
      {vf::REGIONAL_ASKEXID, "B", "Boston"}, {vf::ASKEXID, "NY", "[NY]"},
      {vf::EXCHID, "N", "AMEX"},       {vf::EXCHID, "n", ""},             {vf::EXCHID, "Kk", "OTC"},
      {vf::EXCHID, "[", "$NDX"},       {vf::EXCH_NAME, "NYS", "NYSE"},    {vf::EXCH_NAME, "TOR", "CAT"},
      {vf::EXCH_NAME, "XYZ", ""},      {vf::SYMBOL_DESC, "N", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(c.number, c.code, keep).AsExchange(), c.name) << c.number << " " << c.code;
  }
  TFieldBytes blank(vf::TYPE_BLANK, vf::TRDXID_1);
  EXPECT_EQ(blank.Field().AsExchange(), "");

  EXPECT_EQ(ExchangeLongName("AMEX"), "American");
  EXPECT_EQ(ExchangeLongName("CBOE"), "Chicago Board Options");
  EXPECT_EQ(ExchangeLongName("[Z]"), "[Z]");
}

TEST(VendorField, NamesAndSymbols) {
  EXPECT_EQ(FieldName(1006), "TRDPRC_1");
  EXPECT_EQ(FieldName(9034), "LISTNAME");
  EXPECT_EQ(FieldName(1), "Unknown(1)");
  struct Case {
    const char* system;
    const char* vendor;
  } cases[] = {{"BRK*B", "BRKb"}, {"AB*", "AB"}, {"IBM", "IBM"}, {"X*1Y", "X1Y"}, {"**A", "a"}};
  for (const Case& c : cases) EXPECT_EQ(ToVendorSymbol(c.system), c.vendor) << c.system;
  EXPECT_TRUE(IsIndexSymbol("$DJI"));
  EXPECT_FALSE(IsIndexSymbol(""));
  EXPECT_TRUE(IsSlashSymbol("/ES"));
  EXPECT_FALSE(IsSlashSymbol("ES/"));
}

}  // namespace
}  // namespace tarnwell
