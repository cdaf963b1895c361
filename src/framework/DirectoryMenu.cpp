#include "framework/DirectoryMenu.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tarnwell {
namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::vector<TMenuEntry> BuildDirectoryMenu(const std::string& directory, const std::string& extension,
                                           const std::string& modifier) {
  namespace fs = std::filesystem;
  std::vector<TMenuEntry> entries;
  if (!directory.empty()) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
      const fs::path& p = it->path();
      std::string name = p.filename().string();
      // Plain files only: no folders, devices or hidden files.
      if (name.empty() || name.front() == '.' || !it->is_regular_file(error)) continue;
      if (!EqualsIgnoringCase(p.extension().string(), extension)) continue;
      files.push_back(p);
    }
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
      return Lower(a.filename().string()) < Lower(b.filename().string());
    });
    for (const fs::path& p : files) {
      TMenuEntry entry{TMenuEntry::mkFile, p.filename().string(), {}, p.string(), true};
      if (entries.size() < 10) entry.shortcut = modifier + "+" + std::to_string((entries.size() + 1) % 10);
      entries.push_back(std::move(entry));
    }
  }
  if (entries.empty()) entries.push_back({TMenuEntry::mkNone, "None", {}, {}, false});
  if (!directory.empty()) {
    entries.push_back({TMenuEntry::mkSeparator, "-", {}, {}, true});
    entries.push_back({TMenuEntry::mkRefresh, "Refresh", {}, {}, true});
  }
  return entries;
}

}  // namespace tarnwell
