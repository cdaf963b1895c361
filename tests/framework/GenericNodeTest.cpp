#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "framework/GenericNode.h"
#include "framework/StandardGenericNodes.h"

namespace tarnwell {
namespace {

using testing::RunOnDataNodeThread;

// A per-symbol price that the test sets by hand; publishes a double and a string.
class TTestPrice : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TTestPrice";
  explicit TTestPrice(const TParamList& params) {
    CheckParamCount(params, 1, "Expected params: (Symbol)");
    symbol = params[0].AsString();
  }
  double GetDouble() override { return price; }
  std::string GetString() override { return symbol + " " + std::to_string(price); }
  bool IsValid() override { return price > 0; }
  void Set(double p) {
    price = p;
    NotifyListeners();
  }
  std::string symbol;
  double price = 0;
};

// Twice its input, found through a factory parameter: (Input).
class TTestDouble : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TTestDouble";
  explicit TTestDouble(const TParamList& params) {
    CheckParamCount(params, 1, "Expected params: (Input)");
    auto [input, link] = (*params[0].Factory())->GetNode(TW_METHOD(this, NotifyListeners));
    input_ = input;
    AddAutoLink(link);
  }
  double GetDouble() override { return 2 * input_->GetDouble(); }
  bool IsValid() override { return input_->IsValid(); }

 private:
  TGenericDataNode* input_;
};

// Publishes nothing at all.
class TTestSilent : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TTestSilent";
  explicit TTestSilent(const TParamList&) {}
  bool IsValid() override { return true; }
};

// Only for its key: any parameters.
class TTestKey : public TTestSilent {
 public:
  static constexpr const char* kClassName = "TTestKey";
  using TTestSilent::TTestSilent;
};

class GenericNodes : public ::testing::Test {
 protected:
  void SetUp() override { TDataNodeThread::Instance().Flush(); }
  void TearDown() override { TDataNodeThread::Instance().Flush(); }
};

TEST_F(GenericNodes, KeysSpellOutClassAndResolvedParameters) {
  auto inner = TGenericDataNodeFactory::Make<TTestPrice>("MSFT");
  struct Case {
    TFactoryRef factory;
    const char* key;
  } cases[] = {
      {TGenericDataNodeFactory::Make<TTestKey>("AAPL", 5), "TTestKey;(256 : AAPL, int : 5)"},
      {TGenericDataNodeFactory::MakeForSymbol<TTestKey>(), "TTestKey;(0 : )"},
      {TGenericDataNodeFactory::Make<TTestKey>(5.0), "TTestKey;(5 : 5)"},
      {TGenericDataNodeFactory::Make<TTestKey>(0.1, 1.0 / 3), "TTestKey;(5 : 0.1, 5 : 0.333333333333333)"},
      {TGenericDataNodeFactory::Make<TTestKey>(true, false), "TTestKey;(11 : True, 11 : False)"},
      {TGenericDataNodeFactory::Make<TTestKey>(std::int64_t{1} << 40), "TTestKey;(int : 1099511627776)"},
      {TGenericDataNodeFactory::MakeWithList<TTestKey>({TParamValue::OfIntegerType(ptByte, 200), TParamValue()}),
       "TTestKey;(int : 200, 0 : )"},
      {TGenericDataNodeFactory::Make<TTestKey>(inner, "x"), "TTestKey;(13 : TTestPrice;(256 : MSFT), 256 : x)"},
      {TGenericDataNodeFactory::Make<TTestKey>(
           TPlaceHolderRef(std::make_shared<TPlaceHolder>("Configuration Owner", "<GLOBAL>"))),
       "TTestKey;(256 : <GLOBAL>)"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.factory->GetKey(), c.key);
}

TEST_F(GenericNodes, EqualKeysShareANodeAndSymbolsAreCaseSensitive) {
  auto make = [](const char* symbol) {
    TFactoryRef f = TGenericDataNodeFactory::MakeForSymbol<TTestPrice>();
    f->SetParam(kSymbolName, symbol);
    return f;
  };
  auto [upper, upperLink] = make("IBM")->GetNode();
  auto [again, againLink] = make("IBM")->GetNode();
  auto [lower, lowerLink] = make("ibm")->GetNode();
  TOwnedLink a(upperLink), b(againLink), c(lowerLink);
  EXPECT_EQ(upper, again);
  EXPECT_NE(upper, lower);
  EXPECT_EQ(upper->Key(), "TTestPrice;(256 : IBM)");
  EXPECT_EQ(static_cast<TTestPrice*>(lower)->symbol, "ibm");

  std::int32_t before = GenericNodeCount();
  RunOnDataNodeThread([&] {
    a.Reset();
    c.Reset();
  });
  EXPECT_EQ(GenericNodeCount(), before - 1);  // IBM still held by b; ibm gone
  b.Reset();
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(GenericNodeCount(), before - 2);
}

TEST_F(GenericNodes, CloneProtectsTheRegisteredFactoryAtEveryDepth) {
  RegisterFactory("Test Doubled Price", TGenericDataNodeFactory::Make<TTestDouble>(
                                            TGenericDataNodeFactory::MakeForSymbol<TTestPrice>()));
  RegisterFactory("Test Doubled Price", TGenericDataNodeFactory::Make<TTestKey>());  // the first one stays
  TFactoryRef registered = FindFactory("Test Doubled Price");
  const std::string original = "TTestDouble;(13 : TTestPrice;(0 : ))";
  ASSERT_EQ(registered->GetKey(), original);

  TFactoryRef filled = registered->Clone();
  filled->SetParam(kSymbolName, "DELL");
  EXPECT_EQ(filled->GetKey(), "TTestDouble;(13 : TTestPrice;(256 : DELL))");
  EXPECT_EQ(registered->GetKey(), original);  // also the nested factory was copied

  TFactoryRef wrongName = registered->Clone();
  wrongName->SetParam("symbol name", "DELL");  // names are case-sensitive
  EXPECT_EQ(wrongName->GetKey(), original);

  registered->SetParam(kSymbolName, "HPQ");  // without a clone the registered factory changes
  EXPECT_EQ(FindFactory("Test Doubled Price")->GetKey(), "TTestDouble;(13 : TTestPrice;(256 : HPQ))");

  EXPECT_EQ(FindFactory("Never Registered", false), nullptr);
  try {
    FindFactory("Never Registered");
    ADD_FAILURE() << "no failure for a missing factory";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Cannot find factory:  \"Never Registered\"");
  }
}

TEST_F(GenericNodes, NodesFindTheirInputsThroughFactories) {
  TFactoryRef doubled = TGenericDataNodeFactory::Make<TTestDouble>(TGenericDataNodeFactory::Make<TTestPrice>("Q"));
  int changes = 0;
  struct TCounter {
    void Hit() { ++*count; }
    int* count;
  } counter{&changes};
  auto [node, link] = doubled->GetNode(TW_METHOD(&counter, Hit));
  TOwnedLink hold(link);
  hold->SetReceiveInput(true);
  auto [price, priceLink] = TGenericDataNodeFactory::Make<TTestPrice>("Q")->GetNode();
  TOwnedLink holdPrice(priceLink);
  EXPECT_FALSE(node->IsValid());
  RunOnDataNodeThread([p = price] { static_cast<TTestPrice*>(p)->Set(21); });
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(node->IsValid());
  EXPECT_DOUBLE_EQ(node->GetDouble(), 42);
}

TEST_F(GenericNodes, FailuresCarryTheirTexts) {
  auto [silent, link] = TGenericDataNodeFactory::Make<TTestSilent>()->GetNode();
  TOwnedLink hold(link);
  struct Case {
    std::function<void()> op;
    const char* text;
  } cases[] = {
      {[&] { silent->GetInteger(); }, "GetInteger not defined."},
      {[&] { silent->GetDouble(); }, "GetDouble not defined."},
      {[&] { silent->GetBoolean(); }, "GetBoolean not defined."},
      {[&] { silent->GetString(); }, "GetString not defined."},
      {[&] { silent->GetColor(); }, "GetColor not defined."},
      {[] { TGenericDataNodeFactory::Make<TTestPrice>("A", "B")->GetNode(); }, "Expected params: (Symbol)"},
      {[] { TGenericDataNodeFactory::Make<TConstantStringDataNode>()->GetNode(); }, "Assertion failure"},
      {[] { TGenericDataNodeFactory::Make<TThreadSafeDoubleDataNode>(1.0)->GetNode(); }, "Assertion failure"},
      {[] { TGenericDataNodeFactory::Make<TTestSilent>()->GetThreadSafe(); }, "Unknown data type:  TTestSilent"},
  };
  std::int32_t nodes = GenericNodeCount();
  for (const Case& c : cases) {
    try {
      c.op();
      ADD_FAILURE() << "no failure for " << c.text;
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
  EXPECT_EQ(GenericNodeCount(), nodes);  // failed constructions leave nothing registered
  auto [ok, okLink] = TGenericDataNodeFactory::Make<TTestPrice>("A")->GetNode();
  TOwnedLink holdOk(okLink);
  EXPECT_EQ(ok->Key(), "TTestPrice;(256 : A)");
}

TEST_F(GenericNodes, ConstantsConvertTheirParameter) {
  auto get = [](TFactoryRef f) {
    auto [node, link] = f->GetNode();
    return std::pair<TGenericDataNode*, TOwnedLink>(node, TOwnedLink(link));
  };
  auto [text, l1] = get(TGenericDataNodeFactory::Make<TConstantStringDataNode>(2.5));
  EXPECT_EQ(text->GetString(), "2.5");
  EXPECT_TRUE(text->IsValid());
  auto [number, l2] = get(TGenericDataNodeFactory::Make<TConstantDoubleDataNode>(" 12.25"));
  EXPECT_DOUBLE_EQ(number->GetDouble(), 12.25);
  auto [integer, l3] = get(TGenericDataNodeFactory::Make<TConstantIntegerDataNode>("42"));
  EXPECT_EQ(integer->GetInteger(), 42);
  auto [color, l4] = get(TGenericDataNodeFactory::Make<TConstantColorDataNode>(0x00FF8000));
  EXPECT_EQ(color->GetColor(), 0x00FF8000u);
  auto [empty, l5] = get(TGenericDataNodeFactory::MakeWithList<TConstantDoubleDataNode>({TParamValue()}));
  EXPECT_FALSE(empty->IsValid());
  EXPECT_DOUBLE_EQ(empty->GetDouble(), 0);
  auto [bad, l6] = get(TGenericDataNodeFactory::Make<TConstantIntegerDataNode>("twelve"));
  EXPECT_THROW(bad->GetInteger(), EConversionError);
}

TEST_F(GenericNodes, ThreadSafeCopiesChangeOnlyOnTheBeat) {
  TScreenUpdater::Interface();  // made without a timer: this test beats by hand
  TPlainUserInterfaceThread ui;
  SetUserInterfaceThread(&ui);

  TFactoryRef price = TGenericDataNodeFactory::Make<TTestPrice>("TS");
  TFactoryRef safe = price->GetThreadSafe();
  EXPECT_EQ(safe->GetKey(), "TThreadSafeDoubleDataNode;(13 : TTestPrice;(256 : TS))");  // double before string
  EXPECT_EQ(safe->GetThreadSafe(), safe);

  int refreshes = 0;
  struct TWindow {
    void Refresh() { ++*count; }
    int* count;
  } window{&refreshes};
  auto [copy, copyLink] = safe->GetNode(TW_METHOD(&window, Refresh));
  TOwnedLink hold(copyLink);
  hold->SetReceiveInput(true);
  auto [source, sourceLink] = price->GetNode();
  TOwnedLink holdSource(sourceLink);
  auto* p = static_cast<TTestPrice*>(source);

  TDataNodeThread::Instance().Flush();  // connected
  EXPECT_FALSE(copy->IsValid());        // nothing copied before the first beat
  RunOnDataNodeThread([p] { p->Set(10); });
  testing::ScreenBeat(ui);
  EXPECT_TRUE(copy->IsValid());
  EXPECT_DOUBLE_EQ(copy->GetDouble(), 10);
  EXPECT_EQ(refreshes, 1);

  RunOnDataNodeThread([p] {
    p->Set(11);
    p->Set(12);
  });
  EXPECT_DOUBLE_EQ(copy->GetDouble(), 10);  // unchanged until the beat
  testing::ScreenBeat(ui);
  EXPECT_DOUBLE_EQ(copy->GetDouble(), 12);
  EXPECT_EQ(refreshes, 2);
  testing::ScreenBeat(ui);  // no change, no refresh
  EXPECT_EQ(refreshes, 2);

  hold.Reset();
  holdSource.Reset();
  TDataNodeThread::Instance().Flush();
  SetUserInterfaceThread(nullptr);
}

}  // namespace
}  // namespace tarnwell
