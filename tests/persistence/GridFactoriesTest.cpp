#include "persistence/GridFactories.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TempDir.h"

namespace tarnwell {
namespace {

class GridFactories : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterStandardFactoryClasses();
    RegisterGridFactoryClasses();
    RegisterGridFactoryClasses();
  }
  testing::TTempDir dir_{"tarnwell-grid-factories"};
};

// Everything a grid saves comes back from its file, the renderers in their order, the font as
// sub-properties with its style as a set.
TEST_F(GridFactories, AGridComesBackFromItsFileWithItsRenderersInOrder) {
  TIndexGridFactory grid;
  grid.Direction = true;
  grid.Alignment = 1;
  grid.FontName = "Sans";
  grid.FontHeight = 13;
  grid.FontColor = 255;
  grid.FontStyle = TIndexGridFactory::fsBold | TIndexGridFactory::fsStrikeOut;
  grid.ScrollBars = 2;
  grid.HeaderHeight = 17;
  grid.BodyHeight = 15;
  auto* price = new TSimpleIndexCellRendererFactory(&grid);
  price->BaseClassName = "TPriceRenderer";
  price->Width = 60;
  auto* size = new TSimpleIndexCellRendererFactory(&grid);
  size->BaseClassName = "TSizeRenderer";
  grid.Renderers = TComponentList::Make({size, price}, &grid);
  const std::string file = (dir_ / "Grid.PWn").string();
  SaveFactoryFile(file, grid);

  std::unique_ptr<TWindowFactory> loaded = LoadFactoryFile(file);
  auto* read = dynamic_cast<TIndexGridFactory*>(loaded.get());
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(read->Direction);
  EXPECT_EQ(read->Alignment, 1);
  EXPECT_EQ(read->FontName, "Sans");
  EXPECT_EQ(read->FontHeight, 13);
  EXPECT_EQ(read->FontColor, 255);
  EXPECT_EQ(read->FontStyle, TIndexGridFactory::fsBold | TIndexGridFactory::fsStrikeOut);
  EXPECT_EQ(read->ScrollBars, 2);
  EXPECT_EQ(read->HeaderHeight, 17);
  EXPECT_EQ(read->BodyHeight, 15);
  std::vector<std::pair<std::string, int>> renderers;
  for (TComponent* element : TComponentList::Elements(read->Renderers)) {
    auto* renderer = dynamic_cast<TSimpleIndexCellRendererFactory*>(element);
    ASSERT_NE(renderer, nullptr);
    renderers.emplace_back(renderer->BaseClassName, renderer->Width);
  }
  EXPECT_EQ(renderers,
            (std::vector<std::pair<std::string, int>>{{"TSizeRenderer", 0}, {"TPriceRenderer", 60}}));

  std::stringstream text;
  text << std::ifstream(file + ".txt").rdbuf();
  EXPECT_NE(text.str().find("Font.Style = [fsBold, fsStrikeOut]"), std::string::npos) << text.str();
}

TEST_F(GridFactories, DefaultsAreLeftOutAndAStyleThatIsNoneOfItsValuesIsRefused) {
  TIndexGridFactory grid;
  std::vector<std::string> written;
  for (const TStreamProperty& property : ToStream(grid).Properties) written.push_back(property.Name);
  EXPECT_EQ(written, (std::vector<std::string>{"Font.Height", "Font.Color", "HeaderHeight", "BodyHeight"}));
  TSimpleIndexCellRendererFactory renderer;
  EXPECT_TRUE(ToStream(renderer).Properties.empty());

  TStreamValue style;
  style.Kind = TStreamValue::kSet;
  style.Names = {"fsBold", "fsShadow"};
  EXPECT_THROW(FromStream({"TIndexGridFactory", "G", {{"Font.Style", style}}, {}}), EObjectStream);
}

}  // namespace
}  // namespace tarnwell
