#include "distribution/AlertCatalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "OvernightHome.h"
#include "alerts/Alert.h"
#include "alerts/Registration.h"

namespace tarnwell {
namespace {

// The rows as the program writes them: their codes, groups and looks, independent of the factories.
TEST(AlertTypeRows, HoldTheCatalogueInItsOrder) {
  const auto rows = AlertTypeRows();
  ASSERT_EQ(rows.size(), 180u);
  EXPECT_STREQ(rows[0].InternalName, "NewHigh");
  EXPECT_STREQ(rows[139].InternalName, "NR7-15");
  EXPECT_STREQ(rows[179].DisplayName, "Dark Cloud Cover 30");
  int groups[4] = {};
  int lateStart = 0;
  std::set<std::string> codes, names;
  for (const TAlertTypeRow& row : rows) {
    ++groups[row.Group];
    lateStart += row.LateStart;
    codes.insert(row.ShortName);
    names.insert(row.InternalName);
  }
  EXPECT_EQ(codes.size(), 180u) << "a short code names one type outside the program";
  EXPECT_EQ(names.size(), 180u);
  EXPECT_EQ(groups[agManualOnly], 5);
  EXPECT_EQ(groups[agVolumeConfirmed], 42);
  EXPECT_EQ(groups[agLowVolume], 2);
  EXPECT_EQ(groups[agMisc], 131);
  EXPECT_EQ(lateStart, 11);
  EXPECT_EQ(rows[30].Group, agManualOnly);  // NewDay
  EXPECT_TRUE(rows[62].LateStart);          // BroadeningTop
  EXPECT_EQ(rows[37].Style, TAlertTypeRow::kBold | TAlertTypeRow::kItalic | TAlertTypeRow::kUnderline);
  EXPECT_EQ(rows[143].Style, TAlertTypeRow::kBold) << "10-minute candles are bold";
  // Colours are kept blue, green, red from the high byte down.
  EXPECT_EQ(ColorOfRgb(rows[70].ForegroundRgb), 0x0B5712u);
  EXPECT_EQ(ColorOfRgb(rows[70].BackgroundRgb), 0x4EFC5Eu);
}

std::string Join(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// Every row's internal name is a registered factory, and what it makes for a symbol is an alert, not a value.
TEST(AlertCatalogue, EveryRowIsARegisteredAlertType) {
  testing::TOvernightHome home;
  testing::InstallHandFeed();
  RegisterStandardFactories();
  std::vector<std::string> missing, notAlerts;
  testing::RunOnDataNodeThread([&] {
    std::vector<TOwnedLink> links;
    for (const TAlertTypeRow& row : AlertTypeRows()) {
      TFactoryRef registered = FindFactory(row.InternalName, false);
      if (!registered) {
        missing.push_back(row.InternalName);
        continue;
      }
      TFactoryRef factory = registered->Clone();
      factory->SetParam(kSymbolName, std::string("IBM"));
      auto [node, link] = factory->GetNode();
      links.emplace_back(link);
      if (!dynamic_cast<TAlert*>(node)) notAlerts.push_back(row.InternalName);
    }
  });
  TDataNodeThread::Instance().Flush();
  testing::ClearFeedImplementations();
  EXPECT_TRUE(missing.empty()) << missing.size() << " not registered: " << Join(missing);
  EXPECT_TRUE(notAlerts.empty()) << notAlerts.size() << " registered, but values: " << Join(notAlerts);
}

TEST(AlertCatalogue, IsBuiltOnceFromTheRowsAndTheirFactories) {
  RegisterStandardFactories();
  const TAllAlertTypes& types = GetAllAlertTypes();
  ASSERT_EQ(types.size(), 180u);
  EXPECT_EQ(&GetAllAlertTypes(), &types) << "shared, not built again";
  for (std::size_t i = 0; i < types.size(); ++i) {
    const TAlertTypeRow& row = AlertTypeRows()[i];
    const TVisualAlertCategory& category = *types[i].Category;
    EXPECT_EQ(category.Factory(), FindFactory(row.InternalName)) << i;
    EXPECT_EQ(category.ShortName, row.ShortName);
    EXPECT_EQ(category.DisplayName, row.DisplayName);
    EXPECT_EQ(category.Foreground, ColorOfRgb(row.ForegroundRgb));
    EXPECT_EQ(category.Italic, (row.Style & TAlertTypeRow::kItalic) != 0);
    EXPECT_EQ(types[i].Group, row.Group);
    EXPECT_EQ(types[i].LateStart, row.LateStart);
  }
}

// A window's copy is a category of its own on the same factory: its look and matrix key are private to it.
TEST(VisualAlertCategory, ACopySharesTheFactoryAndLookButNotTheIdentity) {
  RegisterStandardFactories();
  TVisualAlertCategory source(FindFactory("CrossedAboveResistanceConfirmed"));
  source.ShortName = "CARC";
  source.DisplayName = "Cr Above Resist (C)";
  source.Foreground = 0x008000;
  source.Italic = true;
  const auto copy = TVisualAlertCategory::CopyOf(source);
  EXPECT_NE(copy->Id(), source.Id());
  EXPECT_EQ(copy->Factory(), source.Factory());
  EXPECT_EQ(copy->ShortName, "CARC");
  EXPECT_EQ(copy->Foreground, source.Foreground);
  EXPECT_TRUE(copy->Italic);
  EXPECT_EQ(copy->DisplayName, "");
}

TEST(AlertTypeRows, FindByInternalName) {
  ASSERT_NE(FindAlertTypeRow("TTrailingStopUpSigma"), nullptr);
  EXPECT_STREQ(FindAlertTypeRow("TTrailingStopUpSigma")->ShortName, "TSSU");
  EXPECT_EQ(FindAlertTypeRow("NoSuchAlert"), nullptr);
}

}  // namespace
}  // namespace tarnwell
