// Records per second from tarnwell-feed through the client library to a reader that walks every field with
// the VB4_ functions, on loopback. The benchmark starts its own feed on a free port and stops it.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "FeedProcess.h"

namespace tarnwell::vendor::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSymbols = 500;
constexpr const char* kFields = "1006,1178,1018,1016,1044,1032,1022,1025,1030,1031,1012,1013,1374,1045,1046;";

std::string Ticker(int i) {
  std::string ticker = "B";
  for (int k = 0; k < 3; ++k, i /= 26) ticker += static_cast<char>('A' + i % 26);
  return ticker;
}

// A tape of trades, each record carrying ten fields, spread over the symbols.
std::string WriteTape(const std::filesystem::path& dir, int records) {
  const std::string path = (dir / "bench.tape").string();
  std::ofstream out(path);
  for (int i = 0; i < records; ++i) {
    const int ms = i / 10;
    char line[256];
    const int cents = 2000 + i % 300;
    std::snprintf(line, sizeof(line),
                  "2026-12-09 %02d:%02d:%02d.%03d,LIVEQUOTE,%s,1006=%d.%02d;1178=%d;1018=%02d:%02d:%02d;"
                  "1016=2026-12-09;1044=N;1032=%d;1022=%d.%02d;1025=%d.%02d;1030=%d;1031=%d\n",
                  9 + ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000, Ticker(i % kSymbols).c_str(),
                  cents / 100, cents % 100, 100 + i % 900, 9 + ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                  i * 7, (cents - 1) / 100, (cents - 1) % 100, (cents + 1) / 100, (cents + 1) % 100,
                  100 * (i % 9 + 1), 100 * (i % 7 + 1));
    out << line;
  }
  return path;
}

struct Totals {
  int64_t records = 0;
  int64_t fields = 0;
  uint64_t checksum = 0;
};

// Reads every field of every record of a message, as the system's listeners do.
void Consume(const VConvMessage& message, Totals& totals) {
  VB4Cursor cursor;
  if (VB4_Open(VConvDataGetData(&message), &cursor, 0) != 0) return;
  do {
    const void* field = nullptr;
    if (VB4_FindField(&cursor, 1003, &field) == 0) totals.checksum += static_cast<const uint8_t*>(field)[8];
    VB4_GotoField(&cursor, 0);
    while (VB4_GetField(&cursor, &field) == 0) {
      uint32_t head;
      std::memcpy(&head, field, sizeof(head));
      totals.checksum += head;
      ++totals.fields;
    }
    ++totals.records;
  } while (VB4_NextRecord(&cursor) == 0);
}

// Watches every symbol on one list, resumes the paused feed and reads until `wanted` records arrived.
void Stream(benchmark::State& state, FeedProcess& feed, const std::vector<std::string>& symbols,
            int64_t wanted) {
  Conversation conversation(feed.Address());
  Message first = conversation.Next();
  if (!conversation.connected() || !first || first->Type != 0) {
    state.SkipWithError("no conversation with the feed");
    return;
  }
  const std::string list = std::string("LIVEQUOTE;1003,") + kFields + "9034='List_1_0'";
  VConvAdvise(conversation.handle(), list.c_str(), "VB4");
  for (const std::string& symbol : symbols) {
    VConvExecute(conversation.handle(), ("[AddWatch(LIVEQUOTE,List_1_0," + symbol + ")]").c_str());
  }
  conversation.RequestAndWait("LIVEQUOTE;1003,1006;1003='" + symbols.front() + "'");

  Totals totals;
  const auto start = Clock::now();
  feed.Control("resume");
  const auto deadline = start + std::chrono::seconds(120);
  int fd = -1;
  VConvGetEventHandle(conversation.handle(), &fd);
  while (totals.records < wanted && Clock::now() < deadline) {
    VConvMessage* message = VConvGetData(conversation.handle());
    if (message == nullptr) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 100);
      continue;
    }
    if (message->Type == 7) Consume(*message, totals);
    VConvFreeData(message);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (totals.records < wanted) state.SkipWithError("the feed delivered fewer records than expected in time");
  state.SetIterationTime(seconds);
  state.counters["records_per_second"] = static_cast<double>(totals.records) / seconds;
  state.counters["fields_per_record"] =
      static_cast<double>(totals.fields) / std::max<int64_t>(totals.records, 1);
  state.counters["records"] = static_cast<double>(totals.records);
  benchmark::DoNotOptimize(totals.checksum);
}

// A tape of ten-field records replayed as fast as the reader takes them.
void BM_FeedTapeReplay(benchmark::State& state) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tarnwell-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const int records = static_cast<int>(state.range(0));
  const std::string tape = WriteTape(dir, records);
  std::vector<std::string> symbols;
  for (int i = 0; i < kSymbols; ++i) symbols.push_back(Ticker(i));
  for (auto _ : state) {
    FeedProcess feed({"--tape", tape, "--speed", "0", "--paused"});
    Stream(state, feed, symbols, records);
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FeedTapeReplay)->Arg(600000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The synthetic market generated at full speed from 04:00 for every symbol of a 500-symbol universe.
void BM_FeedSyntheticMarket(benchmark::State& state) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tarnwell-bench-home-" + std::to_string(getpid()));
  const RunResult home = RunFeed({"--write-home", dir.string(), "--symbols", std::to_string(kSymbols)});
  std::ifstream in(dir / "symbols.txt");
  std::vector<std::string> symbols;
  for (std::string line; std::getline(in, line);) symbols.push_back(line);
  std::filesystem::remove_all(dir);
  if (home.status != 0 || symbols.empty()) {
    state.SkipWithError("could not list the universe's symbols");
    return;
  }
  for (auto _ : state) {
    FeedProcess feed({"--symbols", std::to_string(kSymbols), "--date", "2026-12-09", "--time", "04:00",
                      "--speed", "0", "--paused"});
    Stream(state, feed, symbols, state.range(0));
  }
}
BENCHMARK(BM_FeedSyntheticMarket)->Arg(400000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarnwell::vendor::testing

BENCHMARK_MAIN();
