#pragma once
// The MySQL client library, opened at run time so that the program starts and runs without it: only the
// alerts push needs it. Functions are resolved by name; the load state tells the push whether it can work.

#include <string>
#include <vector>

namespace tarnwell {

/// The client library's connection handle; only pointers to it are used.
struct MYSQL;

class TMysqlClient {
 public:
  enum TLoadState {
    lsNotLoaded = 0,   ///< no attempt yet
    lsLoadFailed = 1,  ///< no candidate library could be opened
    lsIncomplete = 2,  ///< a library opened but lacks at least one function
    lsComplete = 3,
  };

  /// The library names tried in order (MariaDB's client, then MySQL's); $TARNWELL_MYSQL_LIBRARY replaces
  /// the list with one file when set.
  static std::vector<std::string> DefaultCandidates();

  /// The process's binding, loaded from the default candidates on first use. Any thread.
  static TMysqlClient& Instance();

  /// Tries each candidate until one opens; the state says how far it got.
  explicit TMysqlClient(const std::vector<std::string>& candidates);
  ~TMysqlClient();
  TMysqlClient(const TMysqlClient&) = delete;
  TMysqlClient& operator=(const TMysqlClient&) = delete;

  TLoadState State() const { return state_; }
  bool Complete() const { return state_ == lsComplete; }
  /// Why the state is not complete: the libraries tried and the loader's message, or the missing function.
  const std::string& Problem() const { return problem_; }
  /// The file that was opened; empty when none.
  const std::string& LibraryName() const { return libraryName_; }

  // The functions, valid only in state lsComplete.
  MYSQL* (*mysql_init)(MYSQL*) = nullptr;
  MYSQL* (*mysql_real_connect)(MYSQL*, const char* host, const char* user, const char* password,
                               const char* database, unsigned int port, const char* socket,
                               unsigned long flags) = nullptr;
  int (*mysql_real_query)(MYSQL*, const char* statement, unsigned long length) = nullptr;
  void (*mysql_close)(MYSQL*) = nullptr;
  unsigned int (*mysql_errno)(MYSQL*) = nullptr;
  const char* (*mysql_error)(MYSQL*) = nullptr;
  unsigned long (*mysql_escape_string)(char* to, const char* from, unsigned long length) = nullptr;

  /// `text` escaped for a quoted SQL string by the library, independent of any connection's character
  /// set; by the same rules here while the library is missing.
  std::string Escape(const std::string& text) const;

 private:
  TLoadState state_ = lsNotLoaded;
  std::string problem_;
  std::string libraryName_;
  void* handle_ = nullptr;
};

}  // namespace tarnwell
