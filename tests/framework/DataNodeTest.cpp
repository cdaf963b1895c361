#include "framework/DataNode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"

namespace tarnwell {
namespace {

using testing::FreshKey;
using testing::RunOnDataNodeThread;
using testing::TCounter;
using testing::TGate;

std::atomic<int> destroyedCount{0};

// Links released on the test thread free their nodes by later jobs: let those finish before a test starts
// counting, so that tests sharing a process do not see each other's work.
class DataNode : public ::testing::Test {
 protected:
  void SetUp() override { TDataNodeThread::Instance().Flush(); }
};
using DataNodeThread = DataNode;
using Broadcast = DataNode;

// A keyed source node: the key text is only a name.
class TSourceNode : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TSourceNode";
  static TSourceNode* CreateFromKey(const std::string&) { return Create<TSourceNode>(); }
  ~TSourceNode() override {
    ++destroyedCount;
    lastDestroyedKey = Key();
  }
  static inline std::string lastDestroyedKey;
  void Change() {
    ++value;
    NotifyListeners();
  }
  int value = 0;
};

// A keyed node that listens to the source named by its key text and counts the changes it saw.
class TFollowerNode : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TFollowerNode";
  static TFollowerNode* CreateFromKey(const std::string& text) { return Create<TFollowerNode>(text); }
  explicit TFollowerNode(const std::string& sourceName) {
    auto [source, link] = FindOrCreate<TSourceNode>(sourceName, TW_METHOD(this, SourceChanged));
    source_ = source;
    AddAutoLink(link);
  }
  ~TFollowerNode() override { ++destroyedCount; }
  void SourceChanged() {
    seen = source_->value;
    NotifyListeners();
  }
  TSourceNode* source_;
  int seen = 0;
};

// A plain listener object with published methods.
struct TProbe {
  virtual ~TProbe() = default;
  void Hit() { ++hits; }
  void Throw() { throw std::runtime_error("boom"); }
  std::atomic<int> hits{0};
};

TEST_F(DataNode, KeyedNodesAreSharedByClassAndKeyText) {
  std::string name = FreshKey("share");
  auto [first, linkA] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(name);
  auto [second, linkB] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(name);
  auto [follower, linkC] = TDataNodeWithStringKey::FindOrCreate<TFollowerNode>(name);
  TOwnedLink a(linkA), b(linkB), c(linkC);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->Key(), "TSourceNode;" + name);
  EXPECT_EQ(follower->Key(), "TFollowerNode;" + name);
  EXPECT_EQ(follower->source_, first);
  auto [other, otherLink] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(name + "x");
  EXPECT_NE(other, first);
  TDataNodeLink::Release(otherLink);
  EXPECT_EQ(first->HolderCount(), 2);    // a and b
  EXPECT_EQ(first->ListenerCount(), 1);  // the follower's auto link

  RunOnDataNodeThread([&] { first->Change(); });
  EXPECT_EQ(follower->seen, 1);  // auto links are active once construction finished
}

TEST_F(DataNode, OnlyActiveLinksWithCallbacksFire) {
  TProbe probe;
  auto [node, holder] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(FreshKey("fire"));
  TOwnedLink holderLink(holder);
  TOwnedLink listener(node->CreateLink(TW_METHOD(&probe, Hit)));
  holder->SetReceiveInput(true);
  EXPECT_FALSE(holder->ReceiveInput());  // no callback: never receives

  RunOnDataNodeThread([&] { node->Change(); });
  EXPECT_EQ(probe.hits, 0);  // created inactive
  listener->SetReceiveInput(true);
  RunOnDataNodeThread([&] { node->Change(); });
  EXPECT_EQ(probe.hits, 1);
  listener->SetReceiveInput(false);
  RunOnDataNodeThread([&] { node->Change(); });
  EXPECT_EQ(probe.hits, 1);
}

TEST_F(DataNode, NotificationSurvivesListenersLeavingAndJoining) {
  auto [node, holder] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(FreshKey("churn"));
  TOwnedLink keep(holder);
  TProbe probes[6];
  std::vector<TDataNodeLink*> links;
  int calls = 0;
  TDataNodeLink* joined = nullptr;
  // The first listener to fire removes every other listener and adds a new one.
  auto disruptor = TCallback::Function([&] {
    if (calls++ > 0) return;
    for (TDataNodeLink*& link : links) {
      TDataNodeLink::Release(link);
      link = nullptr;
    }
    joined = node->CreateLink(TW_METHOD(&probes[5], Hit));
    joined->SetReceiveInput(true);
  });
  TOwnedLink disruptorLink(node->CreateLink(disruptor));
  disruptorLink->SetReceiveInput(true);
  for (int i = 0; i < 5; ++i) {
    links.push_back(node->CreateLink(TW_METHOD(&probes[i], Hit)));
    links.back()->SetReceiveInput(true);
  }
  RunOnDataNodeThread([&] { node->Change(); });
  int fired = 0;
  for (int i = 0; i < 5; ++i) fired += probes[i].hits;
  // Those that fired before the disruptor still count; none fired after being released.
  EXPECT_LE(fired, 5);
  EXPECT_EQ(probes[5].hits, 0);  // joined during the round: not part of it
  RunOnDataNodeThread([&] { node->Change(); });
  EXPECT_EQ(probes[5].hits, 1);
  for (TDataNodeLink* link : links) EXPECT_EQ(link, nullptr);
  TDataNodeLink::Release(joined);
}

// Stopping a link's input from inside a round takes effect at once, although rounds reuse a list of the
// receiving listeners; starting it again puts it back into the next round. Each listener, once armed, stops
// all the others: whatever the order, exactly one is called in an armed round.
TEST_F(DataNode, InputStoppedDuringARoundIsNotCalledLaterInThatRound) {
  auto [node, holder] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(FreshKey("stop"));
  TOwnedLink keep(holder);
  std::vector<TOwnedLink> links;
  int calls = 0;
  bool armed = false;
  for (int i = 0; i < 5; ++i) {
    links.emplace_back(node->CreateLink(TCallback::Function([&, i] {
      ++calls;
      if (!armed) return;
      for (int other = 0; other < 5; ++other) {
        if (other != i) links[other]->SetReceiveInput(false);
      }
    })));
  }
  for (TOwnedLink& link : links) link->SetReceiveInput(true);
  auto round = [&] {
    calls = 0;
    RunOnDataNodeThread([&] { node->Change(); });
    return calls;
  };
  EXPECT_EQ(round(), 5);
  armed = true;
  EXPECT_EQ(round(), 1) << "the first listener stopped the rest before their turn";
  EXPECT_EQ(round(), 1);
  armed = false;
  for (TOwnedLink& link : links) link->SetReceiveInput(true);
  EXPECT_EQ(round(), 5);
}

TEST_F(DataNode, ReleasingTheLastLinkOnTheDataNodeThreadFreesTheChainAtOnce) {
  std::string name = FreshKey("chain");
  auto [follower, link] = TDataNodeWithStringKey::FindOrCreate<TFollowerNode>(name);
  std::int32_t live = TDataNode::LiveNodeCount();
  int destroyedBefore = destroyedCount;
  RunOnDataNodeThread([&, link = link] {
    TDataNodeLink::Release(link);
    // Both the follower and its source are gone before Release returned; a node out of the registry still
    // knows its key while it goes.
    EXPECT_EQ(destroyedCount, destroyedBefore + 2);
    EXPECT_EQ(TSourceNode::lastDestroyedKey, TDataNodeWithStringKey::MakeKey("TSourceNode", name));
  });
  EXPECT_EQ(TDataNode::LiveNodeCount(), live - 2);
  // A fresh FindOrCreate builds new nodes.
  auto [again, againLink] = TDataNodeWithStringKey::FindOrCreate<TFollowerNode>(name);
  TOwnedLink hold(againLink);
  EXPECT_EQ(again->seen, 0);
}

TEST_F(DataNode, ReleaseOffTheDataNodeThreadFreesLaterUnlessRelinked) {
  std::string name = FreshKey("later");
  auto [node, link] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(name);
  int destroyedBefore = destroyedCount;
  {
    TGate gate;
    TDataNodeLink::Release(link);  // queues the free behind the gate
    EXPECT_EQ(destroyedCount, destroyedBefore);
    auto [same, relink] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(name);
    EXPECT_EQ(same, node);
    gate.Open();
    TDataNodeThread::Instance().Flush();
    EXPECT_EQ(destroyedCount, destroyedBefore);  // relinked in time: the free job did nothing
    TDataNodeLink::Release(relink);
  }
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(destroyedCount, destroyedBefore + 1);
}

TEST_F(DataNode, JobsForFreedNodesAreCountedButNeverRun) {
  auto [node, link] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(FreshKey("dropped"));
  TProbe probe;
  auto& thread = TDataNodeThread::Instance();
  thread.Flush();
  std::uint32_t added, removed;
  {
    TGate gate;
    added = thread.AddedCount();
    removed = thread.RemovedCount();
    TDataNodeLink::Release(link);                    // queues the free job
    node->QueueCallback(1, TW_METHOD(&probe, Hit));  // queued after it: the node will be gone
    gate.Open();
  }
  thread.Flush();
  EXPECT_EQ(probe.hits, 0);
  // The free job, the dropped job and the flush marker were all added and all removed.
  EXPECT_EQ(thread.AddedCount() - added, 3u);
  EXPECT_EQ(thread.RemovedCount() - removed, 3u);
  EXPECT_EQ(thread.AddedCount(), thread.RemovedCount());
}

TEST_F(DataNodeThread, PriorityZeroRunsFirstAndEachQueueIsFifo) {
  std::vector<int> order;
  {
    TGate gate;
    for (int i : {10, 11, 12}) {
      TDataNodeThread::Instance().Enqueue(1, -1, TCallback::Function([&order, i] { order.push_back(i); }));
    }
    for (int i : {0, 1}) {
      TDataNodeThread::Instance().Enqueue(0, -1, TCallback::Function([&order, i] { order.push_back(i); }));
    }
  }
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 10, 11, 12}));
}

TEST_F(DataNodeThread, JobsRunWithTheirQueueTimeAsCurrentTime) {
  TDateTime first = EncodeDateTime(2025, 6, 2, 6, 30, 0);
  std::vector<TDateTime> seen;
  {
    TGate gate;
    clock::SetManual(first);
    TDataNodeThread::Instance().Enqueue(
        1, -1, TCallback::Function([&] { seen.push_back(TDataNode::CurrentTime()); }));
    clock::Advance(kOneMinute);
    TDataNodeThread::Instance().Enqueue(1, -1, TCallback::Function([&] {
                                          seen.push_back(TDataNode::CurrentTime());
                                          TDataNode::SetCurrentTime(first - 1);
                                          seen.push_back(TDataNode::CurrentTime());
                                        }));
    clock::Advance(kOneHour);  // processing later does not change the times jobs see
  }
  TDataNodeThread::Instance().Flush();
  clock::UseSystem();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_DOUBLE_EQ(seen[0], first);
  EXPECT_DOUBLE_EQ(seen[1], first + kOneMinute);
  EXPECT_DOUBLE_EQ(seen[2], first - 1);
}

TEST_F(DataNodeThread, EveryJobFromManyProducersRunsBeyondThePool) {
  auto& thread = TDataNodeThread::Instance();
  std::atomic<int> ran{0};
  {
    TGate gate;  // everything piles up: more than the pool holds
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
      producers.emplace_back([&] {
        for (int i = 0; i < 4000; ++i) thread.Enqueue(i % 2, -1, TCallback::Function([&] { ++ran; }));
      });
    }
    for (auto& p : producers) p.join();
    EXPECT_EQ(thread.PoolFree(), 0u);
  }
  thread.Flush();
  EXPECT_EQ(ran, 16000);
  EXPECT_EQ(thread.PoolFree(), static_cast<std::size_t>(TDataNodeThread::kPoolSize));

  // Trickling producers race the thread going to sleep: nothing may be left behind.
  ran = 0;
  std::vector<std::thread> producers;
  for (int p = 0; p < 2; ++p) {
    producers.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        thread.Enqueue(1, -1, TCallback::Function([&] { ++ran; }));
        if (i % 64 == 0) std::this_thread::yield();
      }
    });
  }
  for (auto& p : producers) p.join();
  thread.Flush();
  EXPECT_EQ(ran, 4000);
}

// A producer bounded by WaitForQueueAtMost waits while the thread is held and goes on once the queue is
// short.
TEST_F(DataNodeThread, WaitingForAShortQueueReturnsOnlyOnceEnoughJobsRan) {
  auto& thread = TDataNodeThread::Instance();
  std::atomic<int> ran{0};
  std::atomic<bool> returned{false};
  std::thread waiter;
  {
    TGate gate;
    for (int i = 0; i < 10; ++i) thread.Enqueue(1, -1, TCallback::Function([&] { ++ran; }));
    waiter = std::thread([&] {
      thread.WaitForQueueAtMost(3);
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned) << "ten jobs wait behind the gate";
  }
  waiter.join();
  EXPECT_GE(ran, 6) << "at least seven jobs left the queue before the waiter went on";
  thread.Flush();
  thread.WaitForQueueAtMost(0);  // an empty queue: returns at once
  EXPECT_EQ(ran, 10);
}


// Two threads hand a token back and forth through auto-reset events, each waiting first by watching the
// event, then by sleeping: a watch that ends just as the Set comes must neither lose the signal (the round
// trip would hang) nor pass twice on one Set.
TEST(Event, WatchingWaitsPassOncePerSetAndMissNone) {
  TEvent ping, pong;
  std::atomic<int> turns{0};
  for (auto spin : {std::chrono::microseconds(0), std::chrono::microseconds(1), std::chrono::microseconds(200)}) {
    std::thread other([&] {
      for (int i = 0; i < 2000; ++i) {
        ping.Wait(spin);
        ++turns;
        pong.Set();
      }
    });
    for (int i = 0; i < 2000; ++i) {
      ping.Set();
      pong.Wait(spin);
    }
    other.join();
    EXPECT_FALSE(ping.WaitFor(std::chrono::milliseconds(1))) << "every Set was taken by exactly one pass";
  }
  EXPECT_EQ(turns, 6000);

  TEvent opened(true);
  std::thread opener([&] { opened.Set(); });
  opened.Wait(std::chrono::microseconds(200));
  opener.join();
  EXPECT_TRUE(opened.WaitFor(std::chrono::milliseconds(0))) << "a manual-reset event stays open";
}
// A listener that records its turn and may fail.
struct TTurn {
  void Take() {
    calls->push_back(index);
    if (fails) throw std::runtime_error("boom");
  }
  int index;
  bool fails;
  std::vector<int>* calls;
};

TEST_F(DataNode, ANestedNotificationOfTheSameNodeSeesItsOwnListeners) {
  auto [node, holder] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(FreshKey("nested"));
  TOwnedLink keep(holder);
  TCounter joinedHits;
  TOwnedLink joined;
  int depth = 0, outerCalls = 0;
  auto callback = TCallback::Function([&] {
    ++outerCalls;
    if (depth++ > 0) return;
    joined.Reset(node->CreateLink(TW_METHOD(&joinedHits, Hit)));  // the table changes...
    joined->SetReceiveInput(true);
    node->NotifyListeners();  // ...and the same node notifies again from inside its own notification
  });
  TOwnedLink listener(node->CreateLink(callback));
  listener->SetReceiveInput(true);
  TOwnedLink others[5];
  TCounter otherHits[5];
  for (int i = 0; i < 5; ++i) {
    others[i].Reset(node->CreateLink(TW_METHOD(&otherHits[i], Hit)));
    others[i]->SetReceiveInput(true);
  }
  RunOnDataNodeThread([&] { node->Change(); });
  EXPECT_EQ(joinedHits.hits, 1);  // in the nested round only
  for (TCounter& c : otherHits) EXPECT_GE(c.hits, 1);
  for (TCounter& c : otherHits) EXPECT_LE(c.hits, 2);
  RunOnDataNodeThread([&] { node->Change(); });  // the callback now only counts
  EXPECT_EQ(joinedHits.hits, 2);                 // the next round's snapshot includes the new link
  RunOnDataNodeThread([&] {
    joined.Reset();
    listener.Reset();
    for (TOwnedLink& l : others) l.Reset();
  });
}

TEST_F(DataNode, CallbackFailureNamesTheCallbackAndStopsTheRound) {
  TDebugLog::Instance().TakePending();
  auto [node, holder] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(FreshKey("fail"));
  TOwnedLink keep(holder);
  // Nine listeners record their turn; one of them fails. Whatever the link order, nobody may follow it.
  std::vector<int> calls;
  std::vector<TTurn> turns;
  for (int i = 0; i < 9; ++i) turns.push_back(TTurn{i, i == 4, &calls});
  std::vector<TOwnedLink> links;
  for (TTurn& turn : turns) {
    links.emplace_back(node->CreateLink(TW_METHOD(&turn, Take)));
    links.back()->SetReceiveInput(true);
  }
  node->QueueCallback(1, TW_METHOD(node, Change));
  TDataNodeThread::Instance().Flush();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), 4);

  auto lines = TDebugLog::Instance().TakePending();
  ASSERT_EQ(lines.size(), 1u);
  std::string expected = "In DataNode thread:  (std::runtime_error, boom) raised in (TTurn($" +
                         HexAddress(&turns[4]) + "), Take)";
  EXPECT_NE(lines[0].find(expected), std::string::npos) << lines[0];

  // The node lock was released on the way out: another thread can still take it.
  std::thread other([&] { std::lock_guard guard(node->NodeLock()); });
  other.join();
}

TEST_F(DataNode, CallbackDescriptionsCoverUnnamedAndMissingParts) {
  TProbe probe;
  EXPECT_EQ(TW_METHOD(&probe, Hit).Describe(), "TProbe($" + HexAddress(&probe) + "), Hit");
  std::string anonymous = TCallback::Function([] {}).Describe();
  EXPECT_EQ(anonymous.rfind("Nil, Unknown($", 0), 0u) << anonymous;
  EXPECT_EQ(TCallback().Describe(), "Nil, Nil");
}

TEST_F(DataNode, ProgrammingErrorsCarryTheirTexts) {
  struct Case {
    std::function<void()> op;
    std::string text;
  } cases[] = {
      {[] {
         auto* node = TDataNode::Create<TDataNode>();
         TOwnedLink hold(node->CreateLink());
         node->AddAutoLink(nullptr);
       },
       "AddAutoLink(Nil)"},
      {[] { TDataNodeLink::SetReceiveInput(nullptr, true); }, "Calling SetReceiveInput(True) on Nil"},
      {[] { TDataNodeLink::SetReceiveInput(nullptr, false); }, "Calling SetReceiveInput(False) on Nil"},
      {[] { TDataNodeLink::Release(nullptr); }, "Assertion failure"},
  };
  for (const Case& c : cases) {
    try {
      c.op();
      ADD_FAILURE() << "no failure for " << c.text;
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.what(), c.text);
    }
  }
}

TEST_F(DataNode, StoppingInputWaitsOutARunningCallback) {
  auto [node, holder] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(FreshKey("wait"));
  TOwnedLink keep(holder);
  TEvent entered(true), release(true);
  std::atomic<bool> inside{false};
  std::atomic<int> calls{0};
  auto slow = TCallback::Function([&] {
    inside = true;
    if (calls++ == 0) {
      entered.Set();
      release.Wait();
    }
    inside = false;
  });
  TOwnedLink link(node->CreateLink(slow));
  link->SetReceiveInput(true);
  node->QueueCallback(1, TW_METHOD(node, Change));
  entered.Wait();

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    link->SetReceiveInput(false);
    EXPECT_FALSE(inside.load());  // when it returns, the callback has left
    stopped = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(stopped.load());  // still waiting for the callback
  release.Set();
  stopper.join();
  RunOnDataNodeThread([&] { node->Change(); });
  EXPECT_EQ(calls, 1);  // never started again
}

TEST_F(DataNode, FindingANodeNeverWaitsForItsNotification) {
  // A callback that releases a link (registry lock) while its source notifies (NodeLock), and another thread
  // that finds the same source meanwhile (registry lock, then linking): the second must not wait for the
  // notification, or the two would wait for each other forever.
  std::string name = FreshKey("crossing");
  auto [node, holder] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(name);
  TOwnedLink keep(holder);
  auto [other, otherLink] = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(FreshKey("other"));
  TDataNodeLink* toRelease = otherLink;
  TEvent found(true);
  bool foundInTime = false;
  TDataNodeLink* foundLink = nullptr;
  std::thread finder;
  auto callback = TCallback::Function([&] {
    finder = std::thread([&] {
      foundLink = TDataNodeWithStringKey::FindOrCreate<TSourceNode>(name).second;
      found.Set();
    });
    foundInTime = found.WaitFor(std::chrono::seconds(5));
    if (foundInTime) TDataNodeLink::Release(toRelease);  // would deadlock if the finder were still stuck
  });
  TOwnedLink listener(node->CreateLink(callback));
  listener->SetReceiveInput(true);
  RunOnDataNodeThread([&] { node->Change(); });
  finder.join();  // a stuck finder gets through once the notification is over
  EXPECT_TRUE(foundInTime);
  ASSERT_NE(foundLink, nullptr);
  EXPECT_EQ(foundLink->Source(), node);
  TDataNodeLink::Release(foundLink);
  if (!foundInTime) TDataNodeLink::Release(toRelease);
}

// A base class that asks for work on the data node thread from its constructor; the work reaches a virtual
// that the derived class answers. It must never run on a half-built node.
class TEagerBase : public TDataNode {
 public:
  TEagerBase() { RunOnDataNodeThread(1, TW_METHOD(this, Work)); }
  virtual std::string Kind() = 0;
  void Work() { seen = Kind(); }
  std::string seen;
};

class TEagerDerived : public TEagerBase {
 public:
  TEagerDerived() : name_("derived") {}
  std::string Kind() override { return name_; }

 private:
  std::string name_;
};

TEST_F(DataNode, WorkAskedForDuringConstructionWaitsForTheWholeNode) {
  auto* onThread = RunOnDataNodeThread([] { return TDataNode::Create<TEagerDerived>(); });
  EXPECT_EQ(onThread->seen, "derived");  // at once, but only after construction
  TOwnedLink holdA(onThread->CreateLink());
  auto* elsewhere = TDataNode::Create<TEagerDerived>();
  TOwnedLink holdB(elsewhere->CreateLink());
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(elsewhere->seen, "derived");
}

// Broadcasts -----------------------------------------------------------------------------------------------

struct TTextMessage : TBroadcastMessage {
  explicit TTextMessage(std::string t, std::atomic<int>* finished = nullptr)
      : text(std::move(t)), finished(finished) {}
  void Finished() override {
    if (finished) ++*finished;
    TBroadcastMessage::Finished();
  }
  std::string text;
  std::atomic<int>* finished;
};

class TListenerNode : public TDataNode {
 public:
  void First(TBroadcastMessage& m, TDataNode& self) {
    EXPECT_EQ(&self, this);
    received.push_back("first:" + static_cast<TTextMessage&>(m).text);
  }
  void Second(TBroadcastMessage& m, TDataNode&) {
    received.push_back("second:" + static_cast<TTextMessage&>(m).text);
  }
  void Fail(TBroadcastMessage&, TDataNode&) { throw std::runtime_error("handler failed"); }
  std::vector<std::string> received;
};

TEST_F(Broadcast, FirstHandlerStaysAndImmediateOnlyOnTheDataNodeThread) {
  std::string channel = FreshKey("channel");
  auto* node = TDataNode::Create<TListenerNode>();
  TOwnedLink keep(node->CreateLink());
  node->ListenForBroadcast(channel, TW_HANDLER(node, First));
  node->ListenForBroadcast(channel, TW_HANDLER(node, Second));
  EXPECT_EQ(TBroadcastMessage::ListenerCount(channel), 1);

  {
    TGate gate;
    TBroadcastMessage::Send(std::make_unique<TTextMessage>("queued"), channel, true, 1);
    EXPECT_TRUE(node->received.empty());  // immediate from another thread still waits its turn
  }
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(node->received, (std::vector<std::string>{"first:queued"}));

  RunOnDataNodeThread([&] {
    TBroadcastMessage::Send(std::make_unique<TTextMessage>("now"), channel, true, 1);
    EXPECT_EQ(node->received.size(), 2u);  // delivered inside Send
  });
  node->StopListening(channel);
  EXPECT_EQ(TBroadcastMessage::ListenerCount(channel), 0);
  RunOnDataNodeThread(
      [&] { TBroadcastMessage::Send(std::make_unique<TTextMessage>("late"), channel, true, 1); });
  EXPECT_EQ(node->received.size(), 2u);
}

// A handle reaches whoever listens by the channel's name, also listeners that come after every earlier one
// has gone; a message the caller keeps is delivered now and not finished.
TEST_F(Broadcast, AChannelHandleReachesTheListenersOfItsNameWhenever) {
  const std::string name = FreshKey("handle");
  TBroadcastChannel handle(name);
  EXPECT_EQ(handle.Name(), name);
  EXPECT_EQ(TBroadcastChannel(name), handle);
  EXPECT_EQ(TBroadcastMessage::ListenerCount(name), 0);
  auto listen = [&](TListenerNode*& node, TOwnedLink& keep) {
    node = TDataNode::Create<TListenerNode>();
    keep.Reset(node->CreateLink());
    node->ListenForBroadcast(name, TW_HANDLER(node, First));
  };
  TListenerNode* early;
  TOwnedLink keepEarly;
  listen(early, keepEarly);
  std::atomic<int> finished{0};
  TBroadcastMessage::Send(std::make_unique<TTextMessage>("queued", &finished), handle, false, 1);
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(early->received, (std::vector<std::string>{"first:queued"}));
  EXPECT_EQ(finished, 1);

  RunOnDataNodeThread([&] { keepEarly.Reset(); });  // the only listener goes; the handle keeps the channel
  TListenerNode* late;
  TOwnedLink keepLate;
  listen(late, keepLate);
  RunOnDataNodeThread([&] {
    TTextMessage kept("kept", &finished);
    TBroadcastMessage::DeliverNow(kept, handle);
    EXPECT_EQ(late->received, (std::vector<std::string>{"first:kept"}));
    EXPECT_EQ(kept.Channel(), name);
    keepLate.Reset();
  });
  EXPECT_EQ(finished, 1);  // the kept message is the caller's
  EXPECT_EQ(TBroadcastMessage::ListenerCount(name), 0);
  EXPECT_FALSE(TBroadcastChannel());
  EXPECT_EQ(TBroadcastChannel().Name(), "");
}

TEST_F(Broadcast, FailingHandlerEndsDeliveryButTheMessageIsStillFinished) {
  TDebugLog::Instance().TakePending();
  std::string channel = FreshKey("failing");
  std::vector<TListenerNode*> nodes;
  std::vector<TOwnedLink> keep;
  for (int i = 0; i < 6; ++i) {
    nodes.push_back(TDataNode::Create<TListenerNode>());
    keep.emplace_back(nodes.back()->CreateLink());
    if (i == 2) {
      nodes.back()->ListenForBroadcast(channel, TW_HANDLER(nodes.back(), Fail));
    } else {
      nodes.back()->ListenForBroadcast(channel, TW_HANDLER(nodes.back(), First));
    }
  }
  std::atomic<int> finished{0};
  TBroadcastMessage::Send(std::make_unique<TTextMessage>("x", &finished), channel, false, 1);
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(finished, 1);
  std::size_t delivered = 0;
  for (auto* n : nodes) delivered += n->received.size();
  EXPECT_LT(delivered, 5u);
  auto lines = TDebugLog::Instance().TakePending();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("In DataNode thread:  handler failed"), std::string::npos);

  // A freed node stops listening.
  RunOnDataNodeThread([&] { keep.clear(); });
  EXPECT_EQ(TBroadcastMessage::ListenerCount(channel), 0);
}

}  // namespace
}  // namespace tarnwell
