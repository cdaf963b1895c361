// The decode path of market data: a data block split by the listener, each record delivered to its symbol's
// front and decoded by the print or quote node, which notifies one listener. Measured on the data node
// thread, where the work runs in the program.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

#include "FrameworkTestSupport.h"
#include "common/Block.h"
#include "marketdata/vendor/VendorFeedNodes.h"
#include "marketdata/vendor/VendorField.h"

namespace tarnwell {
namespace {

using vendor::FieldValue;

constexpr int kSymbols = 100;
constexpr int kRecordsPerBlock = 10;

struct TSink {
  void Hit() { ++hits; }
  std::uint64_t hits = 0;
};

std::string Symbol(int i) {
  std::string symbol = "S";
  return symbol + std::to_string(i);
}

// Blocks of ten records for ten different symbols, fields as a live update carries them.
std::vector<std::vector<std::uint64_t>> MakeBlocks(bool prints) {
  std::vector<std::vector<std::uint64_t>> blocks;
  for (int b = 0; b < kSymbols / kRecordsPerBlock; ++b) {
    vendor::BlockBuilder builder;
    for (int r = 0; r < kRecordsPerBlock; ++r) {
      builder.BeginRecord();
      builder.Add(FieldValue::String(vf::DISP_NAME, Symbol(b * kRecordsPerBlock + r)));
      if (prints) {
        builder.Add(FieldValue::Long(vf::ACVOL_1, 100000 + r));
        builder.Add(FieldValue::Price(vf::TRDPRC_1, 2500 + r, 2));
        builder.Add(FieldValue::Time(vf::TRDTIM_1, 13 * 3600 + 5 * 60));
        builder.Add(FieldValue::Date(vf::TRD_DATE, 2026, 12, 10));
        builder.Add(FieldValue::Long(vf::TRDVOL_1, 200));
        builder.Add(FieldValue::String(vf::TRDXID_1, "N"));
      } else {
        builder.Add(FieldValue::Price(vf::BID, 2499, 2));
        builder.Add(FieldValue::Price(vf::ASK, 2501, 2));
        builder.Add(FieldValue::Long(vf::BIDSIZE, 300));
        builder.Add(FieldValue::Long(vf::ASKSIZE, 500));
        builder.Add(FieldValue::String(vf::BIDEXID, "N"));
        builder.Add(FieldValue::String(vf::ASKEXID, "Q"));
      }
      builder.EndRecord();
    }
    std::string_view bytes = builder.Finish();
    blocks.emplace_back((bytes.size() + 7) / 8);
    std::memcpy(blocks.back().data(), bytes.data(), bytes.size());
  }
  return blocks;
}

template <class Node>
void DecodePath(benchmark::State& state, const char* query, bool prints) {
  ::setenv("VCONV_SERVER", "127.0.0.1:1", 1);  // no server: blocks come from here
  TSink sink;
  std::vector<TOwnedLink> links;
  for (int i = 0; i < kSymbols; ++i) {
    auto [node, link] = TDataNodeWithStringKey::FindOrCreate<Node>(Symbol(i), TW_METHOD(&sink, Hit));
    links.emplace_back(link);
    links.back()->SetReceiveInput(true);
  }
  TDataNodeThread::Instance().Flush();
  auto* listener = testing::RunOnDataNodeThread([query] {
    auto [node, link] = TGenericDataNodeFactory::Make<TVendorConvListenerDataNode>(query, int{vtLiveQuote},
                                                                                  VendorConversationFactory())
                            ->GetNode();
    TDataNodeLink::Release(link);
    return static_cast<TVendorConvListenerDataNode*>(node);
  });
  auto blocks = MakeBlocks(prints);
  for (auto _ : state) {
    double seconds = testing::RunOnDataNodeThread([&] {
      auto start = std::chrono::steady_clock::now();
      for (int repeat = 0; repeat < 100; ++repeat) {
        for (auto& block : blocks) listener->DeliverBlock(block.data(), rkUpdate);
      }
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    state.SetIterationTime(seconds);
  }
  state.SetItemsProcessed(state.iterations() * 100 * kSymbols);
  // Seconds per record, shown with an SI prefix (n = nanoseconds).
  state.counters["per_record"] = benchmark::Counter(100.0 * kSymbols, benchmark::Counter::kIsIterationInvariantRate |
                                                                          benchmark::Counter::kInvert);
  if (sink.hits == 0) state.SkipWithError("no record reached its node");
  testing::RunOnDataNodeThread([&] { links.clear(); });
}

void BM_PrintRecordDecodePath(benchmark::State& state) {
  DecodePath<TVendorTosDataNode>(state, kVendorTosQuery, true);
}
void BM_QuoteRecordDecodePath(benchmark::State& state) {
  DecodePath<TVendorL1DataNode>(state, kVendorL1Query, false);
}
BENCHMARK(BM_PrintRecordDecodePath)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QuoteRecordDecodePath)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarnwell

BENCHMARK_MAIN();
