// The overnight files agree with the market the feed serves for the same universe, seed and day.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "FeedProcess.h"

namespace tarnwell::vendor::testing {
namespace {

std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::stringstream in(text);
  for (std::string piece; std::getline(in, piece, separator);) pieces.push_back(piece);
  return pieces;
}

// A CSV file as a map from row key to cells by column name.
std::map<std::string, std::map<std::string, std::string>> ReadCsv(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> header = SplitCsv(line);
  std::map<std::string, std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> cells = SplitCsv(line);
    EXPECT_LE(cells.size(), header.size()) << path << ": " << line;
    for (size_t i = 1; i < cells.size(); ++i) rows[cells[0]][header[i]] = cells[i];
  }
  return rows;
}

TEST(OvernightTest, FilesAgreeWithTheMarketOfTheSameDay) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tarnwell-home-" + std::to_string(getpid()));
  const std::vector<std::string> universe{"--symbols", "30", "--seed", "4", "--date", "2026-12-09"};
  std::vector<std::string> write{"--write-home", dir.string()},
      record{"--record", (dir / "day.tape").string(), "--speed", "0"};
  write.insert(write.end(), universe.begin(), universe.end());
  record.insert(record.end(), universe.begin(), universe.end());
  const RunResult written = RunFeed(write);
  ASSERT_EQ(written.status, 0) << written.output;
  const RunResult recorded = RunFeed(record);
  ASSERT_EQ(recorded.status, 0) << recorded.output;

  std::ifstream symbols_file(dir / "symbols.txt");
  std::vector<std::string> symbols;
  for (std::string line; std::getline(symbols_file, line);) symbols.push_back(line);
  EXPECT_EQ(symbols.size(), 30u);
  EXPECT_NE(std::find(symbols.begin(), symbols.end(), "$TIME"), symbols.end());

  // The previous close each symbol starts the day with, from the tape's opening snapshot.
  std::map<std::string, std::string> previous_close;
  std::ifstream tape(dir / "day.tape");
  for (std::string line;
       std::getline(tape, line) && (line[0] == '#' || line.compare(11, 8, "04:00:00") == 0);) {
    if (line[0] == '#') continue;
    const std::vector<std::string> parts = Split(line, ',');
    const size_t at = line.find("1021=");
    if (at != std::string::npos) previous_close[parts[2]] = line.substr(at + 5, line.find(';', at) - at - 5);
  }

  const auto overnight = ReadCsv(dir / "OvernightData.csv");
  const auto technical = ReadCsv(dir / "TC_OvernightData.csv");
  const auto blocks = ReadCsv(dir / "VB_OvernightData.csv");
  const auto volumes = ReadCsv(dir / "V_OvernightData.csv");
  const auto candles = ReadCsv(dir / "SC_OvernightData.csv");
  const auto holidays = ReadCsv(dir / "Holidays.csv");
  EXPECT_EQ(holidays.at("12/25").at("Closed"), "1");
  int stocks = 0;
  for (const auto& [symbol, row] : overnight) {
    if (symbol.size() > 4 || symbol == "QQQQ" || symbol.starts_with("XS") || symbol[0] == '/') continue;
    SCOPED_TRACE(symbol);
    ++stocks;
    const std::string volume_break = row.at("Volume Break");
    EXPECT_GT(std::stod(row.at("Avg Daily Volume")), 0);
    EXPECT_GT(std::stod(row.at("Tick Volatility")), 0);

    // Yesterday's last one-minute candle closes at the previous close the market reports today.
    const std::vector<std::string> minute_candles = Split(candles.at(symbol).at("1"), ';');
    ASSERT_FALSE(minute_candles.empty());
    const std::vector<std::string> last = Split(minute_candles.back(), ':');
    ASSERT_EQ(last.size(), 5u);
    EXPECT_DOUBLE_EQ(std::stod(last[3]), std::stod(previous_close.at(symbol)));

    // Volume blocks: seven numbers each, prices in order, time running forward.
    const std::string block_cell = blocks.at(symbol + "_" + volume_break).at("Vol");
    for (const std::string& block : Split(block_cell, ';')) {
      const std::vector<std::string> n = Split(block, ':');
      ASSERT_EQ(n.size(), 7u) << block;
      for (int k = 0; k < 4; ++k) EXPECT_GE(std::stod(n[k]), std::stod(n[k + 1])) << block;
      EXPECT_LE(std::stod(n[5]), std::stod(n[6])) << block;
    }

    // Earlier highs rise as they go back in time and come in price, date pairs.
    const std::vector<std::string> highs = Split(technical.at(symbol).at("Highs"), ',');
    ASSERT_EQ(highs.size() % 2, 0u);
    for (size_t k = 2; k < highs.size(); k += 2) EXPECT_GT(std::stod(highs[k]), std::stod(highs[k - 2]));
    EXPECT_EQ(volumes.at(symbol).size(), 28u);
    EXPECT_GT(std::stod(volumes.at(symbol).at("1")), std::stod(volumes.at(symbol).at("13")));
  }
  EXPECT_EQ(stocks, 15);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarnwell::vendor::testing
