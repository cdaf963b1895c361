// Rows per second from the push's ring into a database server: the writer's multi-row statements against
// the same rows sent one INSERT per row, in one run on one server.
//   push_rows_bench HOST:PORT [ROWS]     (ROWS default 200000; the one-row run sends a tenth of them)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "distribution/AlertsPush.h"
#include "distribution/MysqlClient.h"

namespace {

using namespace tarnwell;
using Steady = std::chrono::steady_clock;

std::vector<std::string> MakeRows(const TMysqlClient& client, int count) {
  std::vector<std::string> rows;
  rows.reserve(count);
  TAlertEventData data = MakeTestAlertEvent(EncodeDateTime(2026, 12, 10, 10, 0));
  for (int i = 0; i < count; ++i) {
    data.Description = "New high (" + std::to_string(i) + "), up 1.25 from the close";
    data.Num = i;
    rows.push_back(FormatAlertRow(client, data, "NHP", "SYM" + std::to_string(i % 5000), false));
  }
  return rows;
}

double Seconds(Steady::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: push_rows_bench HOST:PORT [ROWS]\n");
    return 2;
  }
  const std::string address = argv[1];
  const int count = argc > 2 ? std::atoi(argv[2]) : 200000;
  TPushSettings settings;
  settings.Host = address.substr(0, address.rfind(':'));
  settings.Port = address.substr(address.rfind(':') + 1);
  TMysqlClient& client = TMysqlClient::Instance();
  if (!client.Complete()) {
    std::fprintf(stderr, "push_rows_bench: %s\n", client.Problem().c_str());
    return 1;
  }
  const std::vector<std::string> rows = MakeRows(client, count);

  // The writer: rows handed to the ring as fast as it takes them, timed until the server has them all.
  double batchedRate = 0;
  {
    TAlertsQueue queue(client);
    queue.SetSettings(settings);
    queue.SetEnabled(true);
    const auto start = Steady::now();
    for (const std::string& row : rows) queue.AddRowWaiting(row);
    queue.Wake();
    while (!queue.WaitIdle(std::chrono::seconds(10))) std::fprintf(stderr, "push_rows_bench: waiting...\n");
    batchedRate = count / Seconds(Steady::now() - start);
  }

  // The same rows, one statement each, on one connection.
  MYSQL* connection = client.mysql_init(nullptr);
  if (client.mysql_real_connect(connection, settings.Host.c_str(), settings.User.c_str(), settings.Password.c_str(),
                                settings.Database.c_str(), settings.PortNumber(), nullptr, 0) != connection) {
    std::fprintf(stderr, "push_rows_bench: %s\n", client.mysql_error(connection));
    return 1;
  }
  const int single = std::max(1, count / 10);
  const auto start = Steady::now();
  for (int i = 0; i < single; ++i) {
    const std::string statement = std::string(kAlertsInsertPrefix) + " VALUES " + rows[i];
    if (client.mysql_real_query(connection, statement.data(), statement.size()) != 0) {
      std::fprintf(stderr, "push_rows_bench: %s\n", client.mysql_error(connection));
      return 1;
    }
  }
  const double singleRate = single / Seconds(Steady::now() - start);
  client.mysql_close(connection);

  std::printf("%-34s %10s %12s\n", "synthetic burst", "rows", "rows/s");
  std::printf("%-34s %10d %12.0f\n", "multi-row INSERTs (the writer)", count, batchedRate);
  std::printf("%-34s %10d %12.0f\n", "one INSERT per row", single, singleRate);
  std::printf("%-34s %23.1f\n", "ratio", batchedRate / singleRate);
  return 0;
}
