#include "persistence/Factories.h"

#include <gtest/gtest.h>

#include "TempDir.h"

namespace tarnwell {
namespace {

class Factories : public ::testing::Test {
 protected:
  void SetUp() override { RegisterStandardFactoryClasses(); }
  testing::TTempDir dir_{"tarnwell-factories"};
};

std::vector<std::string> Names(const std::vector<TComponent*>& components) {
  std::vector<std::string> names;
  for (TComponent* component : components) names.push_back(component ? component->Name : "(nil)");
  return names;
}

// A page: the main window's layout first in the window list, two windows, the groups' symbols.
TEST_F(Factories, APageComesBackWithItsWindowsInOrderAndItsReferencesResolved) {
  TLayout page;
  auto* main = new TMainWindowLayout(&page);
  main->Left = 10;
  main->Width = 430;
  auto* quotes = new TFormFactory(&page);
  quotes->WindowName = "Quotes";
  quotes->WindowState = TFormFactory::wsMaximized;
  auto* news = new TFormFactory(&page);
  news->Tag = 7;
  page.WindowList = TComponentList::Make({main, quotes, news}, &page);
  page.GroupNames = {"Untitled #1", "Tech"};
  page.StockNames = {"IBM", "MSFT"};
  const std::string file = (dir_ / "Morning.PLy").string();
  SaveFactoryFile(file, page);

  std::unique_ptr<TWindowFactory> loaded = LoadFactoryFile(file);
  auto* layout = dynamic_cast<TLayout*>(loaded.get());
  ASSERT_NE(layout, nullptr);
  const std::vector<TComponent*> windows = TComponentList::Elements(layout->WindowList);
  EXPECT_EQ(Names(windows), (std::vector<std::string>{main->Name, quotes->Name, news->Name}));
  ASSERT_EQ(windows.size(), 3u);
  // The references point into the loaded tree, at objects of the saved classes.
  EXPECT_EQ(windows[0]->Owner(), layout);
  auto* loadedMain = dynamic_cast<TMainWindowLayout*>(windows[0]);
  auto* loadedQuotes = dynamic_cast<TFormFactory*>(windows[1]);
  ASSERT_NE(loadedMain, nullptr);
  ASSERT_NE(loadedQuotes, nullptr);
  EXPECT_EQ(loadedMain->Left, 10);
  EXPECT_EQ(loadedMain->Width, 430);
  EXPECT_EQ(loadedQuotes->WindowName, "Quotes");
  EXPECT_EQ(loadedQuotes->WindowState, TFormFactory::wsMaximized);
  EXPECT_EQ(static_cast<TFormFactory*>(windows[2])->Tag, 7);
  EXPECT_EQ(layout->GroupNames, page.GroupNames);
  EXPECT_EQ(layout->StockNames, page.StockNames);
  // Saving what was loaded writes the same file.
  const std::string again = (dir_ / "Again.PLy").string();
  SaveFactoryFile(again, *loaded);
  EXPECT_EQ(WriteObjectStream(LoadObjectFile(again)), WriteObjectStream(LoadObjectFile(file)));
}

// A property at its default, an empty string and a nil reference are not written; a property without a
// default always is.
TEST_F(Factories, OnlyWhatDiffersFromTheDefaultIsWritten) {
  TFormFactory form;
  TStreamObject stream = ToStream(form);
  std::vector<std::string> written;
  for (const TStreamProperty& property : stream.Properties) written.push_back(property.Name);
  EXPECT_EQ(written, (std::vector<std::string>{"Left", "Top", "Height", "Width"}));
  TLayout layout;
  EXPECT_TRUE(ToStream(layout).Properties.empty());
  layout.GroupNames = {"A"};
  ASSERT_EQ(ToStream(layout).Properties.size(), 1u);
  EXPECT_EQ(ToStream(layout).Properties[0].Name, "GroupNames.Strings");
}

TEST_F(Factories, FactoriesMadeOutsideReadingAreNamedAnonymouslyAndReadingKeepsTheFileNames) {
  TWindowFactory first;
  TWindowFactory second;
  ASSERT_EQ(first.Name.rfind("Anonymous_", 0), 0u);
  EXPECT_EQ(std::stoi(second.Name.substr(10)), std::stoi(first.Name.substr(10)) + 1);
  const std::unique_ptr<TComponent> read =
      FromStream({"TLayout", "Page", {}, {{"TFormFactory", "Quotes", {}, {}}}});
  EXPECT_EQ(read->Name, "Page");
  EXPECT_EQ(read->Components().at(0)->Name, "Quotes");
  TWindowFactory third;
  EXPECT_EQ(std::stoi(third.Name.substr(10)), std::stoi(second.Name.substr(10)) + 1) << "reading took no number";
}

TEST_F(Factories, BadFilesAreRefusedNamingTheFileTheObjectAndTheProblem) {
  auto integer = [](std::int64_t v) { return TStreamValue::MakeInteger(v); };
  struct TCase {
    TStreamObject root;
    std::string message;
  } cases[] = {
      {{"TNoSuchFactory", "X", {}, {}}, "'X' is of class TNoSuchFactory, which is not registered"},
      {{"TComponentList", "L", {}, {}}, "the root is a TComponentList, not a window factory"},
      {{"TFormFactory", "F", {{"Colour", integer(1)}}, {}}, "'F' (TFormFactory) property Colour: the class publishes no"},
      {{"TFormFactory", "F", {{"Left", TStreamValue::MakeString("10")}}, {}}, "property Left: expected an integer"},
      {{"TFormFactory", "F", {{"Left", integer(1LL << 40)}}, {}}, "does not fit 32 bits"},
      {{"TFormFactory", "F", {{"WindowState", TStreamValue::MakeIdentifier("wsHuge")}}, {}},
       "'wsHuge' is not one of its values"},
      {{"TLayout", "P", {{"WindowList", TStreamValue::MakeIdentifier("Gone")}}, {}},
       "a reference to 'Gone', which the file does not hold"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message);
    const std::string file = (dir_ / "bad.PWn").string();
    SaveObjectFile(file, c.root);
    try {
      LoadFactoryFile(file);
      ADD_FAILURE() << "loaded without an error";
    } catch (const EObjectStream& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find("bad.PWn"), std::string::npos) << text;
      EXPECT_NE(text.find(c.message), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace tarnwell
