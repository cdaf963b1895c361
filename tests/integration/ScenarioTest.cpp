// Alert behaviour as data: every file in tests/scenarios holds a short tape, the overnight files it needs and
// the alert lines it must (or must not) produce; tarnwell-replay runs it for real and the lines are compared.
//
// A scenario file, line by line ('#' starts a comment):
//   alerts NAME,NAME            the alert types to bind (default: every registered one)
//   symbols SYM SYM             the symbols to subscribe (default: every symbol of the tape)
//   file NAME ... end           the lines between become the home folder's file NAME
//   tape ... end                the tape (vendor clock: the system's clock plus three hours)
//   expect TIME | NAME | SYMBOL | DESCRIPTION [| Column=value ...]
//                               an alert line that must come, after the one expected before it; TIME is the
//                               system's clock, "HH:MM:SS.mmm" or with its date; columns are the statistics
//                               by name (Price, Spread, ..., VUp30) and Num, NULL when absent
//   never NAME [SYMBOL]         no alert of that type (for that symbol)
//   count NAME SYMBOL N         exactly N alerts of that type for that symbol
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"
#include "FeedProcess.h"
#include "TempDir.h"

namespace tarnwell::testing {
namespace {

namespace fs = std::filesystem;

const char* const kColumns[] = {"Price",
                                "Spread",
                                "BidSize",
                                "AskSize",
                                "RelVol",
                                "Quality",
                                "MostRecentClose",
                                "ExpectedOpen",
                                "DayRange",
                                "Rsi15",
                                "TVol",
                                "Up5",
                                "Up10",
                                "Up15",
                                "Up30",
                                "SaleCondition",
                                "PutCall",
                                "DistanceFromNbbo",
                                "TodaysRange",
                                "PUp5",
                                "PUp10",
                                "PUp15",
                                "PUp30",
                                "VUp5",
                                "VUp10",
                                "VUp15",
                                "VUp30",
                                "Num"};

std::string Trim(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string::npos) return "";
  return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  for (std::size_t at = 0;;) {
    const std::size_t next = text.find(separator, at);
    parts.push_back(Trim(text.substr(at, next - at)));
    if (next == std::string::npos) return parts;
    at = next + separator.size();
  }
}

struct TExpect {
  int line;
  std::vector<std::string> columns;                     // time, name, symbol, description
  std::vector<std::pair<int, std::string>> statistics;  // output column index, text
  std::string text;
};

struct TCount {
  int line;
  std::string name, symbol;
  int count;  // -1: any number but none
};

struct TScenario {
  std::string alerts = "all";
  std::vector<std::string> symbols;
  std::vector<std::pair<std::string, std::string>> files;
  std::string tape;
  std::vector<TExpect> expects;
  std::vector<TCount> counts;
};

TScenario ReadScenario(const fs::path& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  TScenario scenario;
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    throw std::runtime_error(path.string() + ":" + std::to_string(number) + ": " + why);
  };
  auto block = [&] {
    std::string text;
    while (std::getline(in, line)) {
      ++number;
      if (Trim(line) == "end") return text;
      text += line + "\n";
    }
    fail("a block without its 'end'");
    return text;
  };
  while (std::getline(in, line)) {
    ++number;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const std::string word = trimmed.substr(0, trimmed.find(' '));
    const std::string rest = Trim(trimmed.substr(word.size()));
    if (word == "alerts") {
      scenario.alerts = rest;
    } else if (word == "symbols") {
      std::istringstream symbols(rest);
      for (std::string symbol; symbols >> symbol;) scenario.symbols.push_back(symbol);
    } else if (word == "file") {
      scenario.files.emplace_back(rest, block());
    } else if (word == "tape") {
      scenario.tape += block();
    } else if (word == "expect") {
      TExpect expect{number, Split(rest, "|"), {}, rest};
      if (expect.columns.size() < 4) fail("expect needs TIME | NAME | SYMBOL | DESCRIPTION");
      for (std::size_t i = 4; i < expect.columns.size(); ++i) {
        const std::string& pair = expect.columns[i];
        const std::size_t equals = pair.find('=');
        const auto column = std::find(std::begin(kColumns), std::end(kColumns), pair.substr(0, equals));
        if (equals == std::string::npos || column == std::end(kColumns))
          fail("unknown statistic '" + pair + "'");
        expect.statistics.emplace_back(4 + static_cast<int>(column - std::begin(kColumns)),
                                       pair.substr(equals + 1));
      }
      expect.columns.resize(4);
      scenario.expects.push_back(std::move(expect));
    } else if (word == "never" || word == "count") {
      std::istringstream parts(rest);
      TCount count{number, "", "", 0};
      parts >> count.name >> count.symbol;
      if (word == "count" && !(parts >> count.count)) fail("count needs NAME SYMBOL N");
      if (count.name.empty()) fail(word + " needs an alert name");
      scenario.counts.push_back(count);
    } else {
      fail("unknown directive '" + word + "'");
    }
  }
  if (scenario.tape.empty()) fail("no tape");
  return scenario;
}

bool Matches(const TExpect& expect, const std::vector<std::string>& columns) {
  if (columns.size() < 4 + std::size(kColumns)) return false;
  const std::string& time = expect.columns[0];
  if (time.size() < columns[0].size() ? !columns[0].ends_with(" " + time) : time != columns[0]) return false;
  for (int i = 1; i < 4; ++i) {
    if (expect.columns[i] != columns[i]) return false;
  }
  return std::all_of(expect.statistics.begin(), expect.statistics.end(),
                     [&](const auto& statistic) { return columns[statistic.first] == statistic.second; });
}

struct TRun {
  int status = -1;
  std::string output;  // the alert lines
  std::string errors;  // standard error: the summary or the failure
};

TRun Replay(const std::vector<std::string>& args, const TTempDir& dir) {
  const std::string log = (dir / "replay.log").string();
  TChildProcess replay(TARNWELL_REPLAY, args, {.outputFile = log});
  TRun run;
  run.status = replay.WaitForExit(std::chrono::seconds(120)).value_or(-1);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  run.errors = text.str();
  return run;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TRun RunScenario(const TScenario& scenario, const TTempDir& dir) {
  fs::create_directories(dir / "home");
  for (const auto& [name, text] : scenario.files) std::ofstream(dir / "home" / name) << text;
  std::ofstream(dir / "scenario.tape") << scenario.tape;
  std::vector<std::string> args = {"--tape",   (dir / "scenario.tape").string(),
                                   "--home",   (dir / "home").string(),
                                   "--alerts", scenario.alerts,
                                   "--out",    (dir / "alerts.txt").string()};
  if (!scenario.symbols.empty()) {
    std::ofstream symbols(dir / "symbols.txt");
    for (const std::string& symbol : scenario.symbols) symbols << symbol << "\n";
    args.insert(args.end(), {"--symbols", (dir / "symbols.txt").string()});
  }
  TRun run = Replay(args, dir);
  run.output = ReadText(dir / "alerts.txt");
  return run;
}

std::vector<fs::path> ScenarioFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(TARNWELL_SCENARIO_DIR)) {
    if (entry.path().extension() == ".scenario") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class Scenario : public ::testing::TestWithParam<fs::path> {};

TEST_P(Scenario, ProducesTheExpectedAlertLines) {
  const TScenario scenario = ReadScenario(GetParam());
  TTempDir dir;
  const TRun run = RunScenario(scenario, dir);
  ASSERT_EQ(run.status, 0) << run.errors;
  std::vector<std::vector<std::string>> lines;
  std::istringstream output(run.output);
  for (std::string line; std::getline(output, line);) lines.push_back(Split(line, "\t"));

  std::size_t at = 0;
  for (const TExpect& expect : scenario.expects) {
    const auto found = std::find_if(lines.begin() + static_cast<std::ptrdiff_t>(at), lines.end(),
                                    [&](const auto& columns) { return Matches(expect, columns); });
    if (found == lines.end()) {
      ADD_FAILURE() << GetParam().filename().string() << ":" << expect.line << ": no line '" << expect.text
                    << "' after line " << at << " of the output:\n"
                    << run.output;
      return;
    }
    at = static_cast<std::size_t>(found - lines.begin()) + 1;
  }
  for (const TCount& count : scenario.counts) {
    std::string seen;
    int found = 0;
    for (const auto& columns : lines) {
      if (columns.size() > 3 && columns[1] == count.name &&
          (count.symbol.empty() || columns[2] == count.symbol)) {
        ++found;
        seen += columns[0] + " " + columns[1] + " " + columns[2] + " " + columns[3] + "\n";
      }
    }
    EXPECT_EQ(found, count.count) << GetParam().filename().string() << ":" << count.line
                                  << ": the alerts were:\n"
                                  << seen;
  }
}

INSTANTIATE_TEST_SUITE_P(Tapes, Scenario, ::testing::ValuesIn(ScenarioFiles()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                           std::string name = info.param.stem().string();
                           std::replace_if(
                               name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                           return name;
                         });

// Bad input ends with a message naming the file, the line and the value, and a non-zero status.
TEST(ReplayTool, BadInputIsNamedAndFails) {
  TTempDir dir;
  fs::create_directories(dir / "home");
  const std::string good = (dir / "good.tape").string();
  const std::string bad = (dir / "bad.tape").string();
  std::ofstream(good) << "2026-12-09 09:30:00.000,LIVEQUOTE,ABC,1006=10.50\n";
  std::ofstream(bad) << "# header\n2026-12-09 09:30:00.000,LIVEQUOTE,ABC,1006=10.50\n"
                        "2026-12-09 09:30:01.000,LIVEQUOTE,ABC,1006=ten\n";
  std::ofstream(dir / "symbols.txt") << "ABC\nNOT A SYMBOL\n";
  const std::string home = (dir / "home").string();
  struct TCase {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--tape", (dir / "missing.tape").string(), "--home", home}, "missing.tape"},
      {{"--tape", bad, "--home", home}, "bad.tape:3: field 1006"},
      {{"--tape", good, "--home", (dir / "nohome").string()}, "nohome: no such folder"},
      {{"--tape", good, "--home", home, "--alerts", "NoSuchAlert"},
       "'NoSuchAlert' is not a registered alert type"},
      {{"--tape", good, "--home", home, "--alerts", "Volume"}, "'Volume' is a value, not an alert type"},
      {{"--tape", good, "--home", home, "--symbols", (dir / "symbols.txt").string()},
       "symbols.txt:2: 'NOT A SYMBOL' is not a symbol"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message);
    const TRun run = Replay(c.args, dir);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
  }
}

// A recorded synthetic session replays to the same, non-empty alert lines every time, and fails loudly when
// they cannot be written.
TEST(ReplayTool, ASyntheticSessionGivesTheSameAlertsEveryTime) {
  TTempDir dir;
  const std::string tape = (dir / "day.tape").string();
  const std::string home = (dir / "home").string();
  const vendor::testing::RunResult recorded = vendor::testing::RecordSyntheticDay(tape, home, 20);
  ASSERT_EQ(recorded.status, 0) << recorded.output;

  std::string first;
  for (const char* out : {"a.txt", "b.txt"}) {
    const TRun run = Replay({"--tape", tape, "--home", home, "--out", (dir / out).string()}, dir);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("updates read: "), std::string::npos) << run.errors;
    const std::string text = ReadText(dir / out);
    if (first.empty()) {
      first = text;
      EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 100) << "a whole day of 20 symbols fires alerts";
      continue;
    }
    EXPECT_TRUE(text == first) << "the second replay differs";
  }

  // Alert lines that cannot be written are a failure, not a quiet success.
  const TRun full = Replay({"--tape", tape, "--home", home, "--out", "/dev/full"}, dir);
  EXPECT_NE(full.status, 0);
  EXPECT_NE(full.errors.find("cannot write /dev/full"), std::string::npos) << full.errors;
}

}  // namespace
}  // namespace tarnwell::testing
