#pragma once
// A stand-in for the push settings dialog: fixed settings, and a record of what the writer told it.

#include <mutex>
#include <string>
#include <vector>

#include "distribution/AlertsPush.h"

namespace tarnwell::testing {

class TRecordingPushHost final : public IPushSettingsHost {
 public:
  explicit TRecordingPushHost(TPushSettings settings) : settings_(std::move(settings)) {}
  TPushSettings LockSettings() override {
    std::lock_guard guard(lock_);
    ++locks_;
    return settings_;
  }
  void UnlockSettings() override {
    std::lock_guard guard(lock_);
    ++unlocks_;
  }
  void ReportError(const std::string& line) override {
    std::lock_guard guard(lock_);
    errors_.push_back(line);
  }
  std::vector<std::string> Errors() {
    std::lock_guard guard(lock_);
    return errors_;
  }
  int Unlocks() {
    std::lock_guard guard(lock_);
    return unlocks_;
  }

 private:
  std::mutex lock_;
  TPushSettings settings_;
  int locks_ = 0, unlocks_ = 0;
  std::vector<std::string> errors_;
};

}  // namespace tarnwell::testing
