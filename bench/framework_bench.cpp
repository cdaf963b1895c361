// Framework costs, each beside the plain C++ baseline it competes with. After the usual table the program
// prints the ratios that matter: jobs through the data node thread, notification fan-out, keyed lookups and
// the hash map family against std::unordered_map.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchReport.h"
#include "framework/DataNode.h"
#include "framework/DataNodeThread.h"
#include "framework/GenericNode.h"
#include "framework/HashTable.h"

namespace tarnwell {
namespace {

struct TCounter {
  void Hit() { ++hits; }
  std::uint64_t hits = 0;
};

// --- Jobs ------------------------------------------------------------------------------------------------

constexpr int kBurst = 10000;

void BM_JobQueuedAndRun(benchmark::State& state) {
  auto& thread = TDataNodeThread::Instance();
  TCounter counter;
  for (auto _ : state) {
    for (int i = 0; i < kBurst; ++i) thread.Enqueue(1, -1, TW_METHOD(&counter, Hit));
    thread.Flush();
  }
  state.SetItemsProcessed(state.iterations() * kBurst);
  state.counters["ns_per_job"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBurst,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_JobQueuedAndRun)->Unit(benchmark::kMicrosecond)->UseRealTime();

// --- Notification fan-out --------------------------------------------------------------------------------

constexpr int kListeners = 200;

void BM_NotifyListeners200(benchmark::State& state) {
  auto* node = TDataNode::Create<TDataNode>();
  TOwnedLink hold(node->CreateLink());
  std::vector<TCounter> counters(kListeners);
  std::vector<TOwnedLink> links;
  for (TCounter& c : counters) {
    links.emplace_back(node->CreateLink(TW_METHOD(&c, Hit)));
    links.back()->SetReceiveInput(true);
  }
  for (auto _ : state) node->NotifyListeners();
  benchmark::DoNotOptimize(counters.front().hits);
}
BENCHMARK(BM_NotifyListeners200);

void BM_PlainFunctionLoop200(benchmark::State& state) {
  std::vector<TCounter> counters(kListeners);
  std::vector<std::function<void()>> functions;
  for (TCounter& c : counters) functions.emplace_back([&c] { c.Hit(); });
  for (auto _ : state) {
    for (auto& f : functions) f();
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(counters.front().hits);
}
BENCHMARK(BM_PlainFunctionLoop200);

// --- Keyed lookup ----------------------------------------------------------------------------------------

class TBenchNode : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TBenchNode";
  static TBenchNode* CreateFromKey(const std::string&) { return Create<TBenchNode>(); }
};

std::vector<std::string> MakeSymbols(int n) {
  std::vector<std::string> symbols;
  for (int i = 0; i < n; ++i) {
    std::string s;
    for (int v = i + 1; v > 0; v /= 26) s.push_back(static_cast<char>('A' + v % 26));
    symbols.push_back(s);
  }
  return symbols;
}

void BM_FindOrCreateExisting(benchmark::State& state) {
  auto symbols = MakeSymbols(1000);
  std::vector<TOwnedLink> keep;
  for (auto& s : symbols) keep.emplace_back(TDataNodeWithStringKey::FindOrCreate<TBenchNode>(s).second);
  std::size_t i = 0;
  for (auto _ : state) {
    auto [node, link] = TDataNodeWithStringKey::FindOrCreate<TBenchNode>(symbols[i++ % symbols.size()]);
    benchmark::DoNotOptimize(node);
    TDataNodeLink::Release(link);
  }
}
BENCHMARK(BM_FindOrCreateExisting);

void BM_UnorderedMapFindKey(benchmark::State& state) {
  auto symbols = MakeSymbols(1000);
  std::unordered_map<std::string, void*> map;
  for (auto& s : symbols) map["TBenchNode;" + s] = &map;
  std::size_t i = 0;
  for (auto _ : state) {
    // The same work a keyed lookup starts with: build the full key, then find it.
    std::string key = TDataNodeWithStringKey::MakeKey(TBenchNode::kKeyClass, symbols[i++ % symbols.size()]);
    benchmark::DoNotOptimize(map.find(key));
  }
}
BENCHMARK(BM_UnorderedMapFindKey);

// --- Generic nodes through factories ----------------------------------------------------------------------

class TBenchValue : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TBenchValue";
  explicit TBenchValue(const TParamList& params) { CheckParamCount(params, 1, "Expected params: (Symbol)"); }
  double GetDouble() override { return 1; }
  bool IsValid() override { return true; }
};

// What every alert of every symbol does at start-up: find the named factory, clone it, fill in the symbol
// and get the (already existing) node.
void BM_GetNodeThroughClonedFactory(benchmark::State& state) {
  RegisterClass<TBenchValue>("Bench Value");
  auto symbols = MakeSymbols(1000);
  std::vector<TOwnedLink> keep;
  for (auto& s : symbols) {
    TFactoryRef f = FindFactory("Bench Value")->Clone();
    f->SetParam(kSymbolName, s);
    keep.emplace_back(f->GetNode().second);
  }
  std::size_t i = 0;
  for (auto _ : state) {
    TFactoryRef f = FindFactory("Bench Value")->Clone();
    f->SetParam(kSymbolName, symbols[i++ % symbols.size()]);
    auto [node, link] = f->GetNode();
    benchmark::DoNotOptimize(node);
    TDataNodeLink::Release(link);
  }
}
BENCHMARK(BM_GetNodeThroughClonedFactory);

// --- Hash map family against std::unordered_map ----------------------------------------------------------

constexpr int kKeys = 10000;

template <class Table, class Key>
void GetFrom(benchmark::State& state, const std::vector<Key>& keys) {
  Table table;
  for (std::size_t i = 0; i < keys.size(); ++i) table.Put(keys[i], static_cast<std::intptr_t>(i));
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(table.Get(keys[i++ % keys.size()]));
}

template <class Map, class Key>
void GetFromStd(benchmark::State& state, const std::vector<Key>& keys) {
  Map map;
  for (std::size_t i = 0; i < keys.size(); ++i) map[keys[i]] = static_cast<std::intptr_t>(i);
  std::size_t i = 0;
  for (auto _ : state) {
    auto found = map.find(keys[i++ % keys.size()]);
    benchmark::DoNotOptimize(found == map.end() ? 0 : found->second);
  }
}

template <class Table, class Key>
void PutInto(benchmark::State& state, const std::vector<Key>& keys) {
  for (auto _ : state) {
    Table table;
    for (std::size_t i = 0; i < keys.size(); ++i) table.Put(keys[i], static_cast<std::intptr_t>(i));
    benchmark::DoNotOptimize(table.Count());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(keys.size()));
}

template <class Map, class Key>
void PutIntoStd(benchmark::State& state, const std::vector<Key>& keys) {
  for (auto _ : state) {
    Map map;
    for (std::size_t i = 0; i < keys.size(); ++i) map.insert_or_assign(keys[i], static_cast<std::intptr_t>(i));
    benchmark::DoNotOptimize(map.size());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(keys.size()));
}

const std::vector<std::string>& StringKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    for (auto& s : MakeSymbols(kKeys)) k.push_back("TCandles;5" + s);
    return k;
  }();
  return keys;
}

const std::vector<std::intptr_t>& IntegerKeys() {
  static const std::vector<std::intptr_t> keys = [] {
    std::vector<std::intptr_t> k;
    for (int i = 0; i < kKeys; ++i) k.push_back(static_cast<std::intptr_t>(i) * 7919 + 13);
    return k;
  }();
  return keys;
}

using TStringTable = tStringHashTable<std::intptr_t>;
using TIntTable = tIntegerHashTable<std::intptr_t>;
using TStdStringMap = std::unordered_map<std::string, std::intptr_t>;
using TStdIntMap = std::unordered_map<std::intptr_t, std::intptr_t>;

void BM_HashTableGetString(benchmark::State& s) { GetFrom<TStringTable>(s, StringKeys()); }
void BM_StdMapGetString(benchmark::State& s) { GetFromStd<TStdStringMap>(s, StringKeys()); }
void BM_HashTablePutString(benchmark::State& s) { PutInto<TStringTable>(s, StringKeys()); }
void BM_StdMapPutString(benchmark::State& s) { PutIntoStd<TStdStringMap>(s, StringKeys()); }
void BM_HashTableGetInteger(benchmark::State& s) { GetFrom<TIntTable>(s, IntegerKeys()); }
void BM_StdMapGetInteger(benchmark::State& s) { GetFromStd<TStdIntMap>(s, IntegerKeys()); }
void BM_HashTablePutInteger(benchmark::State& s) { PutInto<TIntTable>(s, IntegerKeys()); }
void BM_StdMapPutInteger(benchmark::State& s) { PutIntoStd<TStdIntMap>(s, IntegerKeys()); }
BENCHMARK(BM_HashTableGetString);
BENCHMARK(BM_StdMapGetString);
BENCHMARK(BM_HashTablePutString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StdMapPutString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HashTableGetInteger);
BENCHMARK(BM_StdMapGetInteger);
BENCHMARK(BM_HashTablePutInteger)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StdMapPutInteger)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarnwell

int main(int argc, char** argv) {
  using namespace tarnwell;
  bench::TTimesReporter reporter;
  if (!bench::RunBenchmarks(argc, argv, reporter)) return 1;

  std::printf("\nRatios (ours / baseline, measured side by side in this run):\n");
  if (const double* job = reporter.Find("BM_JobQueuedAndRun/real_time")) {
    std::printf("%-58s %7.1f ns (target at most 200 ns)\n", "job queued on another thread and run, per job",
                *job / kBurst);
  }
  reporter.PrintRatio("NotifyListeners, 200 listeners / loop of 200 std::function", "BM_NotifyListeners200",
             "BM_PlainFunctionLoop200", 3);
  reporter.PrintRatio("FindOrCreate existing + Release / unordered_map find", "BM_FindOrCreateExisting",
             "BM_UnorderedMapFindKey", 4);
  reporter.PrintRatio("GetNode via cloned, filled factory / FindOrCreate keyed", "BM_GetNodeThroughClonedFactory",
             "BM_FindOrCreateExisting", 0);
  reporter.PrintRatio("hash map Get, string keys / unordered_map", "BM_HashTableGetString", "BM_StdMapGetString",
             1.5);
  reporter.PrintRatio("hash map Put, string keys / unordered_map", "BM_HashTablePutString", "BM_StdMapPutString",
             1.5);
  reporter.PrintRatio("hash map Get, integer keys / unordered_map", "BM_HashTableGetInteger",
             "BM_StdMapGetInteger", 1.5);
  reporter.PrintRatio("hash map Put, integer keys / unordered_map", "BM_HashTablePutInteger",
             "BM_StdMapPutInteger", 1.5);
  return 0;
}
