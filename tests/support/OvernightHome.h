#pragma once
// A program home folder of a test's own, for the overnight files. File nodes are shared by file name and
// stay loaded one to two minutes after their last use, so a test that writes its own files must start and
// end with none loaded: otherwise it reads, or leaves behind, another test's table. The clock is set by hand
// (the keep-alive minutes are let pass), so use this in tests that set the clock anyway.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "framework/DataNodeThread.h"
#include "framework/Event.h"
#include "framework/Timers.h"
#include "marketdata/FileData.h"

namespace tarnwell::testing {

class TOvernightHome {
 public:
  TOvernightHome() {
    LetFilesGo();
    EXPECT_EQ(TFileOwnerDataNode::LiveCount(), 0) << "an earlier test still holds an overnight file";
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwell-home-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a home folder");
    path_ = pattern;
    ::setenv("TARNWELL_HOME", path_.c_str(), 1);
  }
  ~TOvernightHome() {
    LetFilesGo();
    EXPECT_EQ(TFileOwnerDataNode::LiveCount(), 0) << "a node kept an overnight file";
    ::unsetenv("TARNWELL_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  void Write(const std::string& name, const std::string& text) const { std::ofstream(path_ / name) << text; }
  const std::filesystem::path& Path() const { return path_; }

  /// Lets the keep-alive minutes of released file nodes pass (the clock becomes manual).
  static void LetFilesGo() {
    TDataNodeThread::Instance().Flush();
    if (!clock::IsManual()) clock::SetManual(clock::Now());
    for (int i = 0; i < 10 && TFileOwnerDataNode::LiveCount() > 0; ++i) {
      clock::Advance(61 * kOneSecond);
      auto fired = std::make_shared<TEvent>(true);
      OneShot(0, TCallback::Function([fired] { fired->Set(); }));
      EXPECT_TRUE(fired->WaitFor(std::chrono::seconds(5))) << "the timer thread did not fire";
      TDataNodeThread::Instance().Flush();
    }
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tarnwell::testing
