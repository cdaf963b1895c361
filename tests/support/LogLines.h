#pragma once
// The debug log a program wrote below its working folder, read back by the test that started it.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tarnwell::testing {

/// Every line of every log file in `folder`/Logs, as written (a CRLF line keeps its CR); none when there is no
/// such folder yet.
inline std::vector<std::string> LogLines(const std::filesystem::path& folder) {
  std::vector<std::string> lines;
  if (!std::filesystem::exists(folder / "Logs")) return lines;
  for (const auto& entry : std::filesystem::directory_iterator(folder / "Logs")) {
    std::ifstream in(entry.path(), std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

}  // namespace tarnwell::testing
