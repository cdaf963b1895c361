// The whole market-data path against the real market-data server and its own overnight files: a simulated
// session through the vendor library, conversation, listeners, vendor nodes, file data and named values.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "ChildProcess.h"
#include "FeedProcess.h"
#include "FrameworkTestSupport.h"
#include "marketdata/FileData.h"
#include "marketdata/NamedValues.h"
#include "marketdata/vendor/RegionalQuotes.h"
#include "marketdata/vendor/VendorFeedNodes.h"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;

// Every named value of a symbol except the colours, which follow the palette rather than the market.
const char* const kNames[] = {
    "BidSize",      "BidPrice",      "AskSize",         "AskPrice",          "Volume",           "OpenPrice",
    "ClosePrice",   "TodaysClosePrice", "BidExchange",  "AskExchange",       "ListedExchange",   "LastPrintExchange",
    "LastPrintFormT", "HighPrice",   "LowPrice",        "BidTick",           "LastPrintPrice",   "LastPrintTime",
    "LastPrintSize", "Symbol",       "CompanyName",     "PrintableName",     "52WeekHigh",       "52WeekLow",
    "YearRange",    "ChangeFromClose", "ChangeFromOpen", "52HighDate",       "52LowDate",        "ExpectedOpen",
    "Gap",          "PutCallRatio",  "DistanceFromNbbo", "TodaysRange",      "MostRecentClose",  "NyseBidPrice",
    "NyseAskPrice", "VolumeBreak",   "ADVol",
};

TEST(MarketDataEndToEnd, EveryNamedValueBecomesValidDuringASimulatedSession) {
  auto home = std::filesystem::temp_directory_path() / ("tarnwell_e2e_" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  vendor::testing::RunFeed({"--write-home", home.string(), "--symbols", "60", "--seed", "9"});
  std::vector<std::string> symbols;
  std::ifstream in(home / "symbols.txt");
  for (std::string line; std::getline(in, line) && symbols.size() < 8;) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && std::isupper(static_cast<unsigned char>(line[0]))) symbols.push_back(line);
  }
  ASSERT_EQ(symbols.size(), 8u);

  ::setenv("TARNWELL_HOME", home.c_str(), 1);
  // Five minutes before the open in the server's clock, at sixty times real pace.
  vendor::testing::FeedProcess feed({"--symbols", "60", "--seed", "9", "--time", "09:25", "--speed", "60"});
  ::setenv("VCONV_SERVER", feed.Address().c_str(), 1);
  ASSERT_TRUE(InitializeVendorLibrary());
  InstallVendorFeed();
  RegisterVendorValues();
  RegisterRegionalValues();
  RegisterFileDataValues();
  RegisterNamedValues();

  struct TValue {
    std::string symbol, name;
    TGenericDataNode* node;
    TOwnedLink link;
  };
  std::vector<TValue> values;
  for (const std::string& symbol : symbols) {
    for (const char* name : kNames) {
      TFactoryRef factory = FindFactory(name)->Clone();
      factory->SetParam(kSymbolName, symbol);
      auto [node, link] = factory->GetNode();
      values.push_back({symbol, name, node, TOwnedLink(link)});
    }
  }
  std::vector<std::string> invalid;
  bool allValid = testing::WaitUntil(
      [&] {
        invalid = testing::RunOnDataNodeThread([&] {
          // Only NYSE-listed symbols have a NYSE regional quote.
          std::map<std::string, bool> nyse;
          for (TValue& v : values) {
            if (v.name == "ListedExchange") nyse[v.symbol] = v.node->IsValid() && v.node->GetString() == "NYSE";
          }
          std::vector<std::string> missing;
          for (TValue& v : values) {
            if (v.name.rfind("Nyse", 0) == 0 && !nyse[v.symbol]) continue;
            if (!v.node->IsValid()) missing.push_back(v.symbol + " " + v.name);
          }
          int nyseListed = 0;
          for (auto& [symbol, listed] : nyse) nyseListed += listed;
          if (nyseListed == 0) missing.push_back("no NYSE-listed symbol among them");
          return missing;
        });
        return invalid.empty();
      },
      60s);
  std::string list;
  for (const std::string& s : invalid) list += s + "; ";
  EXPECT_TRUE(allValid) << "still not valid: " << list;

  // The overnight values are the server's own files.
  for (const std::string& symbol : symbols) {
    EXPECT_EQ(AverageDailyVolumeOf(symbol) > 0, true) << symbol;
  }
  testing::RunOnDataNodeThread([&] { values.clear(); });
  std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace tarnwell
