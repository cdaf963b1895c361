#pragma once
// The main window's directory menus: one entry per window or page file in the menu directory, the first
// ten with a digit shortcut, "None" when empty, and "Refresh" whenever a directory is set.

#include <string>
#include <vector>

namespace tarnwell {

struct TMenuEntry {
  enum TKind { mkFile, mkNone, mkSeparator, mkRefresh };
  TKind kind = mkFile;
  std::string caption;
  std::string shortcut;  ///< e.g. "Alt+1"; empty for none
  std::string path;      ///< the file an entry opens
  bool enabled = true;
};

/// The entries for files with `extension` (such as ".PLy"; matched without regard to case) in `directory`,
/// sorted by name, shortcuts `modifier` + 1 ... 9, 0 on the first ten. An empty directory name means none.
std::vector<TMenuEntry> BuildDirectoryMenu(const std::string& directory, const std::string& extension,
                                           const std::string& modifier);

}  // namespace tarnwell
