#include "framework/Config.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "framework/DebugLog.h"

namespace tarnwell {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::string ProgramHome() {
  if (const char* home = std::getenv("TARNWELL_HOME"); home && *home) return home;
  std::error_code error;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

void TConfigFile::Load(const std::string& fileName) {
  fileName_ = fileName;
  sections_.clear();
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return;  // no file: every lookup gives its default
  // Profile-file rules: names are case-insensitive, the first occurrence of a key wins, ';' and '#' start
  // comment lines, values are trimmed and may be enclosed in double quotes.
  std::string line;
  std::string section;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string text = Trim(line);
    if (text.empty() || text.front() == ';' || text.front() == '#') continue;
    if (text.front() == '[') {
      auto close = text.find(']');
      if (close != std::string::npos) {
        section = Lower(Trim(text.substr(1, close - 1)));
        continue;
      }
    }
    auto equals = text.find('=');
    if (equals == std::string::npos || text.front() == '[' || Trim(text.substr(0, equals)).empty()) {
      AddLine("Config: cannot parse " + fileName + " line " + std::to_string(lineNumber) + ": \"" + text + "\"");
      continue;
    }
    std::string value = Trim(text.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    sections_[section].emplace(Lower(Trim(text.substr(0, equals))), value);
  }
}

std::string TConfigFile::Read(const std::string& section, const std::string& key,
                              const std::string& defaultValue) const {
  auto s = sections_.find(Lower(section));
  if (s == sections_.end()) return defaultValue;
  auto k = s->second.find(Lower(key));
  return k == s->second.end() ? defaultValue : k->second;
}

std::string TConfigFile::Get(const std::string& section, const std::string& key,
                             const std::string& defaultValue) const {
  return Read(section, key, Read("Common", key, defaultValue));
}

TConfigFile& TConfigFile::Instance() {
  static TConfigFile* config = [] {
    auto* c = new TConfigFile;
    c->Load((std::filesystem::path(ProgramHome()) / "Config.ini").string());
    return c;
  }();
  return *config;
}

}  // namespace tarnwell
