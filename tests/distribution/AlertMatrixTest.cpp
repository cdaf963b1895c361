#include "distribution/AlertMatrix.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "OvernightHome.h"
#include "alerts/Registration.h"
#include "framework/DebugLog.h"

namespace tarnwell {
namespace {

using testing::Hand;
using testing::RunOnDataNodeThread;
using testing::THandPrints;
using testing::THandQuotes;

// An alert that reports when the test says so.
class TPokeAlert : public TAlert {
 public:
  static constexpr const char* kClassName = "TPokeAlert";
  explicit TPokeAlert(const TParamList& params) { CheckParamCount(params, 1, "Expected params: (Symbol)"); }
};

class AlertMatrix : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::make_unique<testing::TOvernightHome>();
    RegisterStandardFactories();
    testing::InstallHandFeed();
    matrix_ = TDataNode::Create<TAlertMatrix>();
    matrixLink_.Reset(matrix_->CreateLink());
    std::tie(queue_, queueLink_) = TAlertQueue::Find(matrix_->QueueName());
    pokeFactory_ = TGenericDataNodeFactory::MakeForSymbol<TPokeAlert>();
  }
  void TearDown() override {
    matrix_->ClearPending();
    RunOnDataNodeThread([&] {
      matrixLink_.Reset();
      TDataNodeLink::Release(queueLink_);
    });
    home_.reset();
    testing::ClearFeedImplementations();
    clock::UseSystem();
  }
  void Apply() {
    matrix_->ApplyChanges();
    TDataNodeThread::Instance().Flush();
  }
  /// Fires the poke alert of a symbol.
  void Poke(const std::string& symbol, const std::string& text) {
    RunOnDataNodeThread([&] {
      TFactoryRef factory = pokeFactory_->Clone();
      factory->SetParam(kSymbolName, symbol);
      auto [node, link] = factory->GetNode();
      static_cast<TAlert*>(node)->ReportAlert(text, 7);
      TDataNodeLink::Release(link);
    });
  }

  std::unique_ptr<testing::TOvernightHome> home_;
  TAlertMatrix* matrix_;
  TOwnedLink matrixLink_;
  TAlertQueue* queue_;
  TDataNodeLink* queueLink_;
  TFactoryRef pokeFactory_;
};

TEST_F(AlertMatrix, RequestsAreAppliedOnlyByAPassAndTheLatestWins) {
  TAlertCategory poke(pokeFactory_);
  TAlertInputs ibm("IBM"), msft("MSFT");
  std::int32_t nodes = GenericNodeCount();
  matrix_->AddCategory(&poke);
  matrix_->RemoveCategory(&poke);
  matrix_->AddInputs(&ibm);
  Apply();
  EXPECT_EQ(matrix_->ListenerCount(), 0u);  // no category, no listener
  EXPECT_EQ(GenericNodeCount(), nodes);     // and no alert node made
  matrix_->AddCategory(&poke);
  EXPECT_EQ(matrix_->ListenerCount(), 0u);  // requested, not applied
  Apply();
  EXPECT_EQ(matrix_->ListenerCount(), 1u);
  matrix_->AddInputs(&msft);
  Apply();
  EXPECT_EQ(matrix_->ListenerCount(), 2u);
  matrix_->RemoveInputs(&ibm);
  Apply();
  EXPECT_EQ(matrix_->ListenerCount(), 1u);
  EXPECT_FALSE(matrix_->HasPending());
}

// The pairs of one symbol share one hold on its background data, and all pairs one hold on the queue; each
// goes with the last pair that uses it.
TEST_F(AlertMatrix, PairsShareTheirHoldsOnBackgroundDataAndQueue) {
  TAlertCategory first(pokeFactory_), second(TGenericDataNodeFactory::MakeForSymbol<TPokeAlert>());
  TAlertInputs ibm("IBM");
  // Holder links on the symbol's background data and on the queue, besides the test's own.
  auto holds = [&] {
    return RunOnDataNodeThread([&] {
      auto [background, probe] = TAlertBackgroundData::Find("IBM");
      const std::pair counts(background->HolderCount() - 1, queue_->HolderCount() - 1);
      TDataNodeLink::Release(probe);
      return counts;
    });
  };
  matrix_->AddCategory(&first);
  matrix_->AddCategory(&second);
  matrix_->AddInputs(&ibm);
  Apply();
  EXPECT_EQ(matrix_->ListenerCount(), 2u);
  EXPECT_EQ(holds(), std::pair(1, 1));
  matrix_->RemoveCategory(&first);
  Apply();
  EXPECT_EQ(holds(), std::pair(1, 1));
  std::int64_t backgroundId = RunOnDataNodeThread([] {
    auto [background, probe] = TAlertBackgroundData::Find("IBM");
    TDataNodeLink::Release(probe);
    return background->NodeId();
  });
  matrix_->RemoveInputs(&ibm);
  Apply();
  TDataNodeThread::Instance().Flush();
  EXPECT_FALSE(TDataNode::IsAlive(backgroundId));
  EXPECT_EQ(queue_->HolderCount(), 1);  // the test's own
}

TEST_F(AlertMatrix, FiringsBecomeEventsWithTheSymbolsStatistics) {
  TAlertCategory poke(pokeFactory_);
  TAlertInputs quoted("QTE"), bare("");
  matrix_->AddCategory(&poke);
  matrix_->AddInputs(&quoted);
  matrix_->AddInputs(&bare);
  Apply();
  clock::SetManual(EncodeDateTime(2027, 10, 4, 9, 15));
  RunOnDataNodeThread([] {
    THandQuotes& q = Hand<THandQuotes>("QTE");
    q.data.BidPrice = 0;  // no bid: no spread
    q.data.AskPrice = 10.05;
    q.data.BidSize = 0;
    q.data.AskSize = 300;
    q.Publish();
    THandPrints& p = Hand<THandPrints>("QTE");
    p.data.SaleCondition = 20;
    p.Print(10.02, 100, EncodeDateTime(2027, 10, 4, 9, 15));
  });
  Poke("QTE", "Poked");
  Poke("", "Poked without a symbol");
  TAlertEvents events = queue_->TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  const TAlertEventData& data = events[0].Data;
  EXPECT_EQ(events[0].Category, &poke);
  EXPECT_EQ(events[0].Inputs, &quoted);
  EXPECT_EQ(data.Description, "Poked");
  EXPECT_DOUBLE_EQ(data.Time, EncodeDateTime(2027, 10, 4, 9, 15));
  EXPECT_EQ(data.Num, 1);
  EXPECT_TRUE(data.Has(aefQuality));
  EXPECT_EQ(data.Quality, 7);
  EXPECT_TRUE(data.Has(aefPrice));
  EXPECT_DOUBLE_EQ(data.Price, 10.02);
  EXPECT_TRUE(data.Has(aefSaleCondition));
  EXPECT_EQ(data.SaleCondition, 20);
  EXPECT_FALSE(data.Has(aefSpread));
  EXPECT_FALSE(data.Has(aefBidSize));
  EXPECT_TRUE(data.Has(aefAskSize));
  EXPECT_EQ(data.AskSize, 300);
  EXPECT_EQ(events[1].Data.Valid, 1u << aefQuality);  // no symbol: no statistics at all
  EXPECT_TRUE(queue_->TakeEvents().empty());
}

TEST_F(AlertMatrix, QueuesGrowByDoublingAndKeepTheirOwnEvents) {
  auto [other, otherLink] = TAlertQueue::Find(TAlertQueue::NewQueueName());
  TOwnedLink holdOther(otherLink);
  EXPECT_EQ(std::stoll(other->Key().substr(other->Key().find(';') + 1)),
            std::stoll(matrix_->QueueName()) + 1);  // names count up
  EXPECT_EQ(queue_->Capacity(), 0u);
  TAlertEvent event;
  RunOnDataNodeThread([&] {
    queue_->AddEvent(event);
    EXPECT_EQ(queue_->Capacity(), 11u);
    for (int i = 0; i < 11; ++i) queue_->AddEvent(event);
    EXPECT_EQ(queue_->Capacity(), 22u);
  });
  EXPECT_EQ(queue_->TakeEvents().size(), 12u);
  EXPECT_TRUE(other->TakeEvents().empty());
}

// An alert type slow to build, so that binding many symbols outlasts one apply pass.
class TSlowAlert : public TAlert {
 public:
  static constexpr const char* kClassName = "TSlowAlert";
  explicit TSlowAlert(const TParamList&) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }
};

TEST_F(AlertMatrix, LongBindingsAreSlicedIntoPassesThatLetOtherJobsRun) {
  TAlertCategory slow(TGenericDataNodeFactory::MakeForSymbol<TSlowAlert>());
  std::vector<std::unique_ptr<TAlertInputs>> symbols;
  for (int i = 0; i < 400; ++i) symbols.push_back(std::make_unique<TAlertInputs>("SL" + std::to_string(i)));
  for (auto& s : symbols) matrix_->AddInputs(s.get());
  matrix_->AddCategory(&slow);  // one category for 400 symbols: about 0.8 s of binding
  matrix_->ApplyChanges();
  // A job queued now runs between two passes, before the binding has finished.
  std::size_t boundWhenOtherJobRan = testing::RunOnDataNodeThread([&] { return matrix_->ListenerCount(); });
  TDataNodeThread::Instance().Flush();
  while (matrix_->HasPending()) TDataNodeThread::Instance().Flush();
  EXPECT_EQ(matrix_->ListenerCount(), 400u);
  EXPECT_GT(boundWhenOtherJobRan, 0u);  // each pass binds at least one pair
  EXPECT_LT(boundWhenOtherJobRan, 400u);
}

TEST_F(AlertMatrix, ABindingThatFailsIsReportedAndRetried) {
  TAlertCategory wrong(TGenericDataNodeFactory::Make<TPokeAlert>(SymbolNamePlaceHolder(), 1));
  TAlertInputs symbol("BAD");
  TDebugLog::Instance().TakePending();
  matrix_->AddInputs(&symbol);
  matrix_->AddCategory(&wrong);
  Apply();
  EXPECT_TRUE(matrix_->HasPending());  // the failing request stays
  std::vector<std::string> failures;
  for (const std::string& line : TDebugLog::Instance().TakePending()) {
    if (line.find("In DataNode thread") != std::string::npos) failures.push_back(line);
  }
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("In DataNode thread:  Found EAssertionFailed:  \"Expected params: (Symbol)\" while "
                             "trying to add \"TPokeAlert;(0 : , int : 1)\", \"BAD\" to the alert matrix."),
            std::string::npos)
      << failures[0];
  Apply();  // the category entered its live set: the retry takes it as bound
  EXPECT_FALSE(matrix_->HasPending());
  EXPECT_EQ(matrix_->ListenerCount(), 0u);
}

}  // namespace
}  // namespace tarnwell
