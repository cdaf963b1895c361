// The alerts push against a real database server: a private MariaDB started per test case with its data in
// the build folder, rows read back with the real client, and the server taken away and given back while
// rows flow.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>

#include "ChildProcess.h"
#include "FeedProcess.h"
#include "PrivateDatabase.h"
#include "RecordingPushHost.h"
#include "TempDir.h"
#include "distribution/AlertCatalogue.h"
#include "distribution/AlertsPush.h"

namespace tarnwell::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

// A private server for the running test case, its alerts table empty.
class DatabasePush : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    database_ = std::make_unique<TPrivateDatabase>(std::string(TARNWELL_DB_ROOT) + "/" + info->name());
    database_->Query("TRUNCATE alerts; DELETE FROM monitor_alive");
  }
  TPrivateDatabase& Database() { return *database_; }
  TPushSettings Settings() const { return {.Host = database_->Host(), .Port = database_->Port()}; }
  long long Rows(const std::string& where = "1") { return database_->Number("SELECT COUNT(*) FROM alerts WHERE " + where); }

 private:
  std::unique_ptr<TPrivateDatabase> database_;
};

// A numbered row as the alert windows would send it.
TAlertEventData Numbered(int n) {
  TAlertEventData data;
  data.Time = EncodeDateTime(2026, 12, 10, 10, 0, n % 60);
  data.Description = "row " + std::to_string(n);
  data.Num = n;
  return data;
}

TEST_F(DatabasePush, TheTestAlertOddTextsAndTheHeartbeatReadBackExactly) {
  TRecordingPushHost host(Settings());
  TAlertsQueue queue(TMysqlClient::Instance(), &host);
  queue.SetEnabled(true);
  const TDateTime when = EncodeDateTime(2026, 12, 10, 9, 30, 5);
  queue.AddAlert(MakeTestAlertEvent(when), "DEMO", "TEST");
  TAlertEventData odd;
  odd.Time = when;
  // Quotes, a backslash, multi-byte text and a NUL byte in the text; quotes and a backslash in the symbol.
  odd.Description = "He said \"buy\" \\ then 'sell' \xE2\x82\xAC" + std::string("\0end", 4);
  odd.Price = 12.3456;
  odd.Mark(aefPrice);
  odd.Num = 2;
  queue.SetFake(true);
  queue.AddAlert(odd, "NHP", "O'B\"\\K");
  Database().Query("INSERT monitor_alive(name, last_update) VALUES (\"tarnwell \\\"one\\\"\", NULL)");
  queue.RequestHeartbeat("tarnwell \"one\"");
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(20))) << ::testing::PrintToString(host.Errors());

  const std::string columns =
      "UNIX_TIMESTAMP(timestamp), alert_type, symbol, description, price, spread, bid_size, ask_size, relvol, "
      "quality, most_recent_close, expected_open, day_range, rsi_15, tvol, up_5, up_10, up_15, up_30, "
      "sale_condition, put_call, distance_from_nbbo, todays_range, p_up_5, p_up_10, p_up_15, p_up_30, v_up_5, "
      "v_up_10, v_up_15, v_up_30, num, fake";
  const std::vector<std::string> rows = Split(Database().Query("SELECT " + columns + " FROM alerts ORDER BY id"), '\n');
  ASSERT_EQ(rows.size(), 2u);
  const std::string time = std::to_string(UnixTimeOfEvent(when));
  EXPECT_EQ(rows[0], time +
                         "\tDEMO\tTEST\tInitializing Velquist Cluster\t50\t0.01\t200\t300\t2\tNULL\t20\t21\t75\t78.66\t"
                         "999000\t-500\t-1000\t-1500\t-3000\t0\t2147483649\t0\t4.21\tNULL\tNULL\tNULL\tNULL\tNULL\t"
                         "NULL\tNULL\tNULL\t47\tN");
  // The client's batch output escapes backslashes again; the server holds the text exactly.
  EXPECT_EQ(Database().Number("SELECT COUNT(*) FROM alerts WHERE description = "
                              "CONCAT('He said \"buy\" \\\\ then \\'sell\\' \xE2\x82\xAC', CHAR(0), 'end') "
                              "AND symbol = 'O\\'B\"\\\\K' "
                              "AND price = 12.3456 AND spread IS NULL AND fake = 'Y' AND num = 2"),
            1);
  EXPECT_EQ(Database().Number("SELECT COUNT(*) FROM monitor_alive WHERE last_update IS NOT NULL"), 1);
  EXPECT_TRUE(host.Errors().empty()) << host.Errors()[0];
}

// A server that goes away while rows flow and comes back: the error is reported, the writer reconnects,
// and every row is there; a row is there twice only when its statement got no answer and was counted as
// sent again (the server may have stored it just before it went).
TEST_F(DatabasePush, AServerRestartLosesNoRowAndRepeatsOnlyUnansweredRows) {
  TRecordingPushHost host(Settings());
  TAlertsQueue queue(TMysqlClient::Instance(), &host);
  queue.SetEnabled(true);
  constexpr int kRows = 3000;
  std::atomic<int> added{0};
  std::thread producer([&] {
    for (int n = 0; n < kRows; ++n) {
      queue.AddAlert(Numbered(n), "NHP", "ABC");
      added = n + 1;
      if (n % 10 == 9) {
        queue.Wake();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return added >= 500; }, std::chrono::seconds(20)));
  Database().Stop();
  ASSERT_TRUE(WaitUntil([&] { return !host.Errors().empty(); }, std::chrono::seconds(20)));
  Database().Start();
  producer.join();
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(60)));

  const TAlertsQueue::TCounts counts = queue.Counts();
  EXPECT_EQ(counts.Lost, 0);
  EXPECT_EQ(Database().Number("SELECT COUNT(DISTINCT description) FROM alerts"), kRows);
  EXPECT_GE(Rows(), kRows);
  EXPECT_LE(Rows() - kRows, counts.Repeated);
  const std::string error = host.Errors().front();
  EXPECT_EQ(error.rfind("SQL Error #", 0), 0u) << error;
  EXPECT_GE(host.Unlocks(), 1) << "the settings are editable again after the error";
}

// The answer to a statement the server ran never arrives (the connection breaks just after): the writer
// cannot know, sends it again, and counts its rows as repeated, which is what the table shows.
namespace lost_answer {
int (*realQuery)(MYSQL*, const char*, unsigned long) = nullptr;
unsigned int (*realErrno)(MYSQL*) = nullptr;
std::atomic<int> toLose{0};
std::atomic<bool> lost{false};
int Query(MYSQL* connection, const char* statement, unsigned long length) {
  const int result = realQuery(connection, statement, length);
  const bool rows = std::string_view(statement, length).starts_with("INSERT alerts(");
  if (result == 0 && rows && toLose.fetch_sub(1) > 0) {
    lost = true;
    return 1;
  }
  lost = false;
  return result;
}
unsigned int Errno(MYSQL* connection) { return lost ? 2013u : realErrno(connection); }  // lost during query
}  // namespace lost_answer

TEST_F(DatabasePush, AStatementWhoseAnswerIsLostIsSentAgainAndCountedRepeated) {
  TMysqlClient client(TMysqlClient::DefaultCandidates());
  ASSERT_TRUE(client.Complete()) << client.Problem();
  lost_answer::realQuery = client.mysql_real_query;
  lost_answer::realErrno = client.mysql_errno;
  lost_answer::toLose = 1;
  client.mysql_real_query = lost_answer::Query;
  client.mysql_errno = lost_answer::Errno;
  TRecordingPushHost host(Settings());
  TAlertsQueue queue(client, &host);
  queue.SetEnabled(true);
  for (int n = 0; n < 5; ++n) queue.AddAlert(Numbered(n), "NHP", "ABC");
  queue.Wake();
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(30)));

  const TAlertsQueue::TCounts counts = queue.Counts();
  EXPECT_EQ(counts.Lost, 0);
  EXPECT_GT(counts.Repeated, 0);
  EXPECT_EQ(Database().Number("SELECT COUNT(DISTINCT description) FROM alerts"), 5);
  EXPECT_EQ(Rows(), 5 + counts.Repeated) << "every repeated row is there twice, no other";
  ASSERT_FALSE(host.Errors().empty());
  EXPECT_EQ(host.Errors().front().rfind("SQL Error #2013", 0), 0u) << host.Errors().front();
}

// Settings the server refuses: a clear error, no crash, the rows kept for a later attempt.
TEST_F(DatabasePush, RefusedSettingsGiveAClearErrorAndKeepTheRows) {
  struct TCase {
    std::string user, password, database, message;
  } cases[] = {
      {"alertserver", "wrong", "mydb", "Access denied for user 'alertserver'"},
      {"alertserver", "rwqpznt", "nosuchdb", "to database 'nosuchdb'"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message);
    TPushSettings settings = Settings();
    settings.User = c.user;
    settings.Password = c.password;
    settings.Database = c.database;
    TRecordingPushHost host(settings);
    TAlertsQueue queue(TMysqlClient::Instance(), &host);
    queue.SetEnabled(true);
    queue.AddAlert(Numbered(0), "NHP", "ABC");
    queue.Wake();
    ASSERT_TRUE(WaitUntil([&] { return !host.Errors().empty(); }, std::chrono::seconds(10)));
    EXPECT_NE(host.Errors()[0].find(c.message), std::string::npos) << host.Errors()[0];
    // The writer backs off for seconds after a refused connection; what arrives meanwhile waits.
    for (int n = 1; n <= 5; ++n) queue.AddAlert(Numbered(n), "NHP", "ABC");
    queue.Wake();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(queue.Counts().Waiting, 5);
    EXPECT_FALSE(queue.Idle()) << "the first row waits in the statement to repeat";
  }
  EXPECT_EQ(Rows(), 0);
}

// A row the server refuses for its content (strict mode: a symbol longer than its column) is dropped alone
// and counted lost; the rows sent with it arrive.
TEST_F(DatabasePush, ARowTheServerRefusesIsDroppedAloneAndCountedLost) {
  TRecordingPushHost host(Settings());
  TAlertsQueue queue(TMysqlClient::Instance(), &host);
  queue.SetEnabled(true);
  for (int n = 0; n < 100; ++n) queue.AddAlert(Numbered(n), "NHP", n == 40 ? std::string(300, 'X') : "ABC");
  queue.Wake();
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(20)));
  EXPECT_EQ(Rows(), 99);
  EXPECT_EQ(Rows("description = 'row 40'"), 0);
  EXPECT_EQ(queue.Counts().Lost, 1);
  const std::vector<std::string> errors = host.Errors();
  ASSERT_GE(errors.size(), 2u);
  EXPECT_NE(errors.front().find("SQL Error #1406"), std::string::npos) << errors.front();
  EXPECT_NE(errors.back().find("dropped what the server refuses: (from_unixtime("), std::string::npos) << errors.back();
}

// A full ring overwrites its oldest row and counts it lost; the rest arrive once the server is back.
TEST_F(DatabasePush, TenThousandAndOneRowsWhileTheServerIsDownLoseOnlyTheFirst) {
  Database().Stop();
  TRecordingPushHost host(Settings());
  TAlertsQueue queue(TMysqlClient::Instance(), &host);
  queue.SetEnabled(true);
  // A first row makes the writer find the server gone and back off for seconds after a refused connection
  // (2002, 2003: a server that was still going down may first answer with another error, after which the
  // writer waits only a second).
  queue.AddAlert(Numbered(-1), "NHP", "ABC");
  queue.Wake();
  const auto refused = [&] {
    for (const std::string& error : host.Errors()) {
      if (error.rfind("SQL Error #2002", 0) == 0 || error.rfind("SQL Error #2003", 0) == 0) return true;
    }
    return false;
  };
  ASSERT_TRUE(WaitUntil(refused, std::chrono::seconds(20))) << ::testing::PrintToString(host.Errors());
  for (int n = 0; n <= TAlertsQueue::kRingSize; ++n) queue.AddAlert(Numbered(n), "NHP", "ABC");
  const TAlertsQueue::TCounts counts = queue.Counts();
  EXPECT_EQ(counts.Waiting, 10000) << ::testing::PrintToString(host.Errors());
  EXPECT_EQ(counts.Lost, 1);

  Database().Start();
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(60)));
  EXPECT_EQ(Rows(), 1 + 10000);
  EXPECT_EQ(Rows("description = 'row 0'"), 0) << "the oldest row is the one overwritten";
  EXPECT_EQ(Rows("description IN ('row -1', 'row 1', 'row 10000')"), 3);
}

// A replay loads every alert it writes as a line, each as the same row.
TEST_F(DatabasePush, AReplayLoadsEveryAlertLineAsARow) {
  TTempDir dir("tarnwell-push");
  const std::string tape = (dir / "day.tape").string();
  const std::string home = (dir / "home").string();
  const vendor::testing::RunResult recorded = vendor::testing::RecordSyntheticDay(tape, home, 20);
  ASSERT_EQ(recorded.status, 0) << recorded.output;

  // Every type but the heartbeat, whose one-second timer only slows the replay down.
  std::string alerts;
  for (const TAlertTypeRow& row : AlertTypeRows()) {
    if (std::string(row.InternalName) == "Heartbeat") continue;
    alerts += (alerts.empty() ? "" : ",") + std::string(row.InternalName);
  }
  const std::string out = (dir / "alerts.txt").string();
  const TCommandResult replay =
      RunCommand({TARNWELL_REPLAY, "--tape", tape, "--home", home, "--alerts", alerts, "--out", out, "--push",
                  Database().Host() + ":" + Database().Port()},
                 {}, std::chrono::seconds(300));
  ASSERT_EQ(replay.status, 0) << replay.output;
  std::ifstream in(out);
  std::vector<std::vector<std::string>> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(Split(line, '\t'));
  ASSERT_GT(lines.size(), 100u);
  EXPECT_NE(replay.output.find("database rows: sent " + std::to_string(lines.size()) + ", lost 0, waiting 0"),
            std::string::npos)
      << replay.output;

  const std::vector<std::string> rows = Split(
      Database().Query("SELECT UNIX_TIMESTAMP(timestamp), alert_type, symbol, description, price, spread, bid_size, "
                       "ask_size, relvol, quality, most_recent_close, expected_open, day_range, rsi_15, tvol, up_5, "
                       "up_10, up_15, up_30, sale_condition, put_call, distance_from_nbbo, todays_range, p_up_5, "
                       "p_up_10, p_up_15, p_up_30, v_up_5, v_up_10, v_up_15, v_up_30, num, fake FROM alerts ORDER BY id"),
      '\n');
  ASSERT_EQ(rows.size(), lines.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::vector<std::string> row = Split(rows[i], '\t');
    const std::vector<std::string>& line = lines[i];
    SCOPED_TRACE(rows[i]);
    ASSERT_EQ(row.size(), 33u);
    ASSERT_EQ(line.size(), 32u);
    // The line's time is the local time to the millisecond; the row keeps the nearest second.
    const TDateTimeParts p{std::stoi(line[0].substr(0, 4)), std::stoi(line[0].substr(5, 2)),
                           std::stoi(line[0].substr(8, 2)), std::stoi(line[0].substr(11, 2)),
                           std::stoi(line[0].substr(14, 2)), std::stoi(line[0].substr(17, 2)),
                           std::stoi(line[0].substr(20, 3))};
    const double unix = clock::LocalToUnixSeconds(
        EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond));
    EXPECT_LE(std::abs(std::stod(row[0]) - unix), 0.501);
    const TAlertTypeRow* type = FindAlertTypeRow(line[1]);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(row[1], type->ShortName);
    EXPECT_EQ(row[2], line[2]);
    // The client's batch output writes a backslash as two.
    if (line[3].find('\\') == std::string::npos) EXPECT_EQ(row[3], line[3]);
    for (int column = 0; column < aefCount; ++column) {
      const std::string& want = line[4 + column];
      const std::string& got = row[4 + column];
      if (want == "NULL" || got == "NULL") {
        EXPECT_EQ(got, want) << "column " << column;
        continue;
      }
      EXPECT_DOUBLE_EQ(std::stod(got), std::stod(want)) << "column " << column;
    }
    EXPECT_EQ(row[31], line[31]);
    EXPECT_EQ(row[32], "N");
  }
}

}  // namespace
}  // namespace tarnwell::testing
