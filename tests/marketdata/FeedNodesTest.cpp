#include "marketdata/FeedNodes.h"

#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"

namespace tarnwell {
namespace {

// Two stand-in implementations of the level-1 node, as the vendor and the fake data window install them.
template <int Which>
class TTestL1 : public TGenericL1DataNode {
 public:
  static constexpr const char* kKeyClass = Which == 0 ? "TTestVendorL1" : "TTestFakeL1";
  static TTestL1* CreateFromKey(const std::string& symbol) { return Create<TTestL1>(symbol); }
  explicit TTestL1(std::string symbol) : symbol(std::move(symbol)) {}
  bool IsValid() override { return valid; }
  const TL1Data* GetData() override { return &data; }
  void Update(double bid) {
    data.BidPrice = bid;
    valid = true;
    NotifyListeners();
  }
  std::string symbol;
  bool valid = false;
  TL1Data data;
};
using TTestVendorL1 = TTestL1<0>;
using TTestFakeL1 = TTestL1<1>;

using testing::TCounter;

TEST(FeedNodes, WithoutAnImplementationEverySymbolGetsTheEmptyDefault) {
  TGenericL1DataNode::ClearImplementation();
  TCounter counter;
  auto [a, linkA] = TGenericL1DataNode::Find("AAPL", TW_METHOD(&counter, Hit));
  auto [b, linkB] = TGenericL1DataNode::Find("MSFT");
  TOwnedLink holdA(linkA), holdB(linkB);
  EXPECT_EQ(a, b);
  EXPECT_FALSE(a->IsValid());
  EXPECT_EQ(a->GetData(), nullptr);
  EXPECT_FALSE(linkA->Callback().IsAssigned());  // the default never notifies
  EXPECT_EQ(a->Key(), "TGenericL1DataNode;");

  auto [book, bookLink] = TGenericLevel2DataNode::Find("AAPL");
  TOwnedLink holdBook(bookLink);
  EXPECT_TRUE(book->GetBids(true).empty());
  EXPECT_FALSE(book->HasRefreshCounts());
  auto [ticks, ticksLink] = TGenericTickDataNode::Find("AAPL");
  TOwnedLink holdTicks(ticksLink);
  EXPECT_TRUE(ticks->GetTicks().empty());
  auto [top1, topLink1] = TGenericAllGainersDataNode::Find();
  auto [top2, topLink2] = TGenericAllGainersDataNode::Find();
  TOwnedLink holdTop1(topLink1), holdTop2(topLink2);
  EXPECT_NE(top1, top2);  // a new empty node every time
  EXPECT_TRUE(top1->GetList(ttGainers, teNyse).empty());
  EXPECT_STREQ(TopTenListTypeName(ttVolume), "Volume");
  EXPECT_STREQ(TopTenExchangeName(teNasdaq), "NASDAQ");
}

TEST(FeedNodes, SwitchingImplementationsKeepsExistingNodesServing) {
  TGenericL1DataNode::SetImplementation<TTestVendorL1>();
  TCounter oldListener, newListener;
  auto [vendorNode, vendorLink] = TGenericL1DataNode::Find("IBM", TW_METHOD(&oldListener, Hit));
  TOwnedLink holdVendor(vendorLink);
  holdVendor->SetReceiveInput(true);
  EXPECT_EQ(vendorNode->Key(), "TTestVendorL1;IBM");

  TGenericL1DataNode::SetImplementation<TTestFakeL1>();
  auto [fakeNode, fakeLink] = TGenericL1DataNode::Find("IBM", TW_METHOD(&newListener, Hit));
  TOwnedLink holdFake(fakeLink);
  holdFake->SetReceiveInput(true);
  EXPECT_NE(fakeNode, vendorNode);
  EXPECT_EQ(fakeNode->Key(), "TTestFakeL1;IBM");

  testing::RunOnDataNodeThread([v = static_cast<TTestVendorL1*>(vendorNode)] { v->Update(101.5); });
  EXPECT_EQ(oldListener.hits, 1);  // the old link still hears the vendor node
  EXPECT_EQ(newListener.hits, 0);
  EXPECT_TRUE(vendorNode->IsValid());
  EXPECT_DOUBLE_EQ(vendorNode->GetData()->BidPrice, 101.5);
  EXPECT_FALSE(fakeNode->IsValid());
  TGenericL1DataNode::ClearImplementation();
}

}  // namespace
}  // namespace tarnwell
