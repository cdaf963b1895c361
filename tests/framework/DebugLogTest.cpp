#include "framework/DebugLog.h"
#include "framework/Errors.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace tarnwell {
namespace {

namespace fs = std::filesystem;

// Each test runs in a fresh temporary directory, since the log goes below the current directory.
class DebugLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("tarnwell_log_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    TDebugLog::Instance().Close();
    TDebugLog::Instance().TakePending();
    clock::UseSystem();
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  static std::string ReadAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path previous_, dir_;
};

TEST_F(DebugLogTest, FallsBackToLogPrefixWithoutLogsFolder) {
  TDateTime start = EncodeDateTime(2004, 7, 15, 9, 30, 0);
  EXPECT_EQ(TDebugLog::Instance().Open(start), "Log_2004_07_15__09_30_00.txt");
  EXPECT_TRUE(fs::exists("Log_2004_07_15__09_30_00.txt"));

  fs::create_directory("Logs");
  EXPECT_EQ(TDebugLog::Instance().Open(start), "Logs/2004_07_15__09_30_00.txt");

  fs::current_path("/proc");  // neither name can be created there
  EXPECT_THROW(TDebugLog::Instance().Open(start), std::runtime_error);
  fs::current_path(dir_);
}

TEST_F(DebugLogTest, LinesFromManyThreadsAllReachTheFileWithCrlf) {
  fs::create_directory("Logs");
  clock::SetManual(EncodeDateTime(2024, 3, 5, 6, 30, 1));
  std::string file = TDebugLog::Instance().Open(clock::Now());
  std::vector<std::thread> writers;
  for (int t = 0; t < 5; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 50; ++i) AddLine("thread " + std::to_string(t) + " line " + std::to_string(i));
    });
  }
  for (auto& w : writers) w.join();

  std::string text = ReadAll(file);
  std::regex line("03/05/2024 06:30:01:  thread ([0-4]) line ([0-9]+)\r\n");
  std::set<std::string> seen;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) seen.insert(it->str());
  EXPECT_EQ(seen.size(), 250u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 250);
  EXPECT_EQ(TDebugLog::Instance().TakePending().size(), 250u);
  EXPECT_TRUE(TDebugLog::Instance().TakePending().empty());
}

TEST_F(DebugLogTest, ReportExceptionNamesClassMessageAndPlace) {
  try {
    throw std::runtime_error("bad value");
  } catch (...) {
    ReportException(std::current_exception(), "TCCI.VerifyCurrent");
  }
  try {
    throw EFaultWithAddress("Access violation", reinterpret_cast<const void*>(0x1234ABCD));
  } catch (...) {
    ReportException(std::current_exception());
  }
  auto lines = TDebugLog::Instance().TakePending();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(":  Unexpected exception in TCCI.VerifyCurrent std::runtime_error: \"bad value\""),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find(":  Unexpected exception EFaultWithAddress: \"Access violation\" at $1234ABCD"),
            std::string::npos)
      << lines[1];
}

TEST(DebugLogDisplay, KeepsLastHundredOfPreviousRefreshPlusNewLines) {
  auto batch = [](int from, int n) {
    std::vector<std::string> lines;
    for (int i = from; i < from + n; ++i) lines.push_back(std::to_string(i));
    return lines;
  };
  TDebugLogDisplay display;
  auto r = display.Refresh(batch(0, 1));
  EXPECT_EQ(r.removed, 0u);
  EXPECT_FALSE(r.suspendRepaint);  // one line into a short box: no repaint suspension

  r = display.Refresh(batch(1, 250));
  EXPECT_TRUE(r.suspendRepaint);
  EXPECT_EQ(r.removed, 0u);
  EXPECT_EQ(display.Lines().size(), 251u);  // all 250 new lines shown

  r = display.Refresh(batch(251, 1));
  EXPECT_EQ(r.removed, 151u);
  EXPECT_TRUE(r.suspendRepaint);
  ASSERT_EQ(display.Lines().size(), 101u);
  EXPECT_EQ(display.Lines().front(), "151");
  EXPECT_EQ(display.Lines().back(), "251");
}

}  // namespace
}  // namespace tarnwell
