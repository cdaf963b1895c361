#pragma once
// Config.ini in the program's home folder. A value is looked up in section "Common" first and then in the
// caller's section, so a section's value overrides the common one, which overrides the built-in default.
// Section and key names are case-insensitive.

#include <map>
#include <string>

namespace tarnwell {

/// The folder that holds Config.ini, the overnight files and Holidays.csv: $TARNWELL_HOME when set, else
/// the folder of the running executable.
std::string ProgramHome();

class TConfigFile {
 public:
  /// Reads an ini file. A missing file gives an empty configuration; each line that cannot be parsed is
  /// reported in the debug log with the file name and line number and skipped.
  void Load(const std::string& fileName);

  /// The value of (section, key): the section's value, else "Common"'s, else `defaultValue`.
  std::string Get(const std::string& section, const std::string& key, const std::string& defaultValue = {}) const;

  /// The value of one section only, or `defaultValue`.
  std::string Read(const std::string& section, const std::string& key, const std::string& defaultValue) const;

  const std::string& FileName() const { return fileName_; }

  /// The process's Config.ini, loaded from ProgramHome() on first use.
  static TConfigFile& Instance();

 private:
  std::string fileName_;
  std::map<std::string, std::map<std::string, std::string>> sections_;  // lower-case names
};

}  // namespace tarnwell
