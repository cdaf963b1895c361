// Every registered name builds its node for an ordinary symbol, an index and a slash symbol, with the feed
// installed or not, and without a failure reaching the data node thread.

#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "OvernightHome.h"
#include "alerts/Registration.h"
#include "framework/DebugLog.h"

namespace tarnwell {
namespace {

TEST(Registration, EveryNameBuildsForEveryKindOfSymbol) {
  testing::TOvernightHome home;
  home.Write("OvernightData.csv", "Symbol,Avg Daily Volume,Volume Break,Tick Volatility,Bright Volatility\n"
                                  "IBM,5000000,10000,0.3,0.02\n");
  RegisterStandardFactories();
  RegisterStandardFactories();  // a second call changes nothing
  const std::vector<std::string> names = RegisteredFactoryNames();
  ASSERT_GT(names.size(), 80u);
  std::int32_t lasting = -1;
  for (bool feed : {false, true}) {
    if (feed) testing::InstallHandFeed();
    TDebugLog::Instance().TakePending();
    for (const char* symbol : {"IBM", "$INDU", "/ESZ6"}) {
      std::vector<TOwnedLink> links;
      for (const std::string& name : names) {
        TFactoryRef factory = FindFactory(name)->Clone();
        factory->SetParam(kSymbolName, symbol);
        try {
          links.emplace_back(factory->GetNode().second);
        } catch (const std::exception& e) {
          ADD_FAILURE() << name << " for " << symbol << ": " << e.what();
        }
      }
      TDataNodeThread::Instance().Flush();
      testing::RunOnDataNodeThread([&] { links.clear(); });
      TDataNodeThread::Instance().Flush();
      // Only the permanent ones stay (the vendor's watch-list listener and its conversation).
      if (lasting < 0) lasting = GenericNodeCount();
      EXPECT_EQ(GenericNodeCount(), lasting) << symbol;
    }
    for (const std::string& line : TDebugLog::Instance().TakePending()) {
      EXPECT_EQ(line.find("In DataNode thread"), std::string::npos) << line;
    }
  }
  testing::ClearFeedImplementations();
  EXPECT_LE(lasting, 2);
}

}  // namespace
}  // namespace tarnwell
