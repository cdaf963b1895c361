#pragma once
// The private MariaDB server of the tests: scripts/db/private-server.sh with its data in a folder of the
// build tree, the alerts schema loaded, on a free loopback port. Stopped and started again on the same
// port, it keeps its rows, so a test can take the database away from a running writer and give it back.

#include <string>

namespace tarnwell::testing {

class TPrivateDatabase {
 public:
  /// Starts the server with its data in `folder` (created on first use); throws std::runtime_error with
  /// the script's output when it does not come up.
  explicit TPrivateDatabase(std::string folder);
  /// Stops the server.
  ~TPrivateDatabase();
  TPrivateDatabase(const TPrivateDatabase&) = delete;
  TPrivateDatabase& operator=(const TPrivateDatabase&) = delete;

  void Start();
  void Stop();

  std::string Host() const { return "127.0.0.1"; }
  const std::string& Port() const { return port_; }

  /// Runs statements as the alerts user in the alerts database; the rows as tab-separated lines without
  /// a header. Throws std::runtime_error with the client's message when the statement fails.
  std::string Query(const std::string& sql) const;
  /// A query's single number (a COUNT), or throws.
  long long Number(const std::string& sql) const;

 private:
  std::string folder_;
  std::string port_;
};

}  // namespace tarnwell::testing
