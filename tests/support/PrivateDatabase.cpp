#include "PrivateDatabase.h"

#include <filesystem>
#include <stdexcept>

#include "ChildProcess.h"

namespace tarnwell::testing {

namespace {

TCommandResult Script(const std::string& verb, const std::string& folder) {
  return RunCommand({"bash", TARNWELL_PRIVATE_DB_SCRIPT, verb, folder}, {}, std::chrono::seconds(120));
}

}  // namespace

TPrivateDatabase::TPrivateDatabase(std::string folder) : folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_);
  Start();
}

TPrivateDatabase::~TPrivateDatabase() {
  Stop();
}

void TPrivateDatabase::Start() {
  const TCommandResult started = Script("start", folder_);
  // The address is the last line: 127.0.0.1:PORT.
  const std::size_t colon = started.output.rfind("127.0.0.1:");
  if (started.status != 0 || colon == std::string::npos) {
    throw std::runtime_error("the private database in " + folder_ + " did not start:\n" + started.output);
  }
  const std::size_t begin = colon + 10;
  port_ = started.output.substr(begin, started.output.find_first_not_of("0123456789", begin) - begin);
}

void TPrivateDatabase::Stop() {
  Script("stop", folder_);
}

std::string TPrivateDatabase::Query(const std::string& sql) const {
  const TCommandResult result = RunCommand({"mariadb", "--no-defaults", "-h", Host(), "-P", port_, "-u",
                                            "alertserver", "-prwqpznt", "mydb", "-N", "-B", "-e", sql});
  if (result.status != 0) throw std::runtime_error("query failed: " + sql + "\n" + result.output);
  return result.output;
}

long long TPrivateDatabase::Number(const std::string& sql) const {
  const std::string text = Query(sql);
  std::size_t used = 0;
  const long long value = std::stoll(text, &used);
  if (used == 0) throw std::runtime_error("not a number from " + sql + ": " + text);
  return value;
}

}  // namespace tarnwell::testing
